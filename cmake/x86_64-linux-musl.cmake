# x86-64 with musl instead of glibc (package musl-tools), run natively by
# musl's own loader. The driver settings musl-gcc hands to gcc bring musl's
# headers, startup files and library, to g++ too: the library and the
# program include only C headers and need nothing of the C++ runtime, so
# only they are built here.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER musl-gcc)
set(CMAKE_CXX_COMPILER g++)
execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=include
  OUTPUT_VARIABLE gcc_include OUTPUT_STRIP_TRAILING_WHITESPACE)
set(musl /usr/lib/x86_64-linux-musl)
set(CMAKE_CXX_FLAGS_INIT "-specs ${musl}/musl-gcc.specs -nostdinc \
-isystem /usr/include/x86_64-linux-musl -isystem ${gcc_include}")
# g++ links libstdc++, which is glibc's: leave it out, as nothing needs it.
set(CMAKE_EXE_LINKER_FLAGS_INIT -Wl,--as-needed)
