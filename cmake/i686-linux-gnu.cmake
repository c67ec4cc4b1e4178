# i386 with the x87 unit, run natively by the i386 dynamic loader from the
# cross toolchain's C library. Where the kernel runs no 32-bit programs,
# tests/cross gives CMAKE_CROSSCOMPILING_EMULATOR itself: qemu-i386 running
# this same loader.
set(triplet i686-linux-gnu)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(CMAKE_CROSSCOMPILING_EMULATOR /usr/${triplet}/lib/ld-linux.so.2
  --library-path /usr/${triplet}/lib CACHE STRING "Runs the i386 programs")
include(${CMAKE_CURRENT_LIST_DIR}/debian-cross.cmake)
