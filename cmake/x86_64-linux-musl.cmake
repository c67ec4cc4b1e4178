# x86-64 with musl instead of glibc (package musl-tools), run natively by
# musl's own loader. musl-gcc compiles C++ too, with musl's headers, and
# links it as C: the library and the program include only C headers and
# need nothing of the C++ runtime, so only they are built here.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER musl-gcc)
set(CMAKE_CXX_COMPILER musl-gcc)
