# i386 with the x87 unit, run natively by the i386 dynamic loader from the
# cross toolchain's C library.
set(triplet i686-linux-gnu)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(CMAKE_CROSSCOMPILING_EMULATOR /usr/${triplet}/lib/ld-linux.so.2
  --library-path /usr/${triplet}/lib)
include(${CMAKE_CURRENT_LIST_DIR}/debian-cross.cmake)
