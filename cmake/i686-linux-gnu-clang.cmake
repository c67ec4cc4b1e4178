# i386 as above, built with clang, which finds the cross toolchain's
# C library and libstdc++ by the target's name.
set(CMAKE_C_COMPILER clang)
set(CMAKE_C_COMPILER_TARGET i686-linux-gnu)
set(CMAKE_CXX_COMPILER clang++)
set(CMAKE_CXX_COMPILER_TARGET i686-linux-gnu)
include(${CMAKE_CURRENT_LIST_DIR}/i686-linux-gnu.cmake)
