# Shared by the toolchain files beside it: Debian's cross toolchain for
# ${triplet} (package g++-${triplet}), whose C library lives in
# /usr/${triplet}. The file that includes this one sets triplet,
# CMAKE_SYSTEM_PROCESSOR and the emulator that runs what it builds.
set(CMAKE_SYSTEM_NAME Linux)
if(NOT CMAKE_C_COMPILER)
  set(CMAKE_C_COMPILER ${triplet}-gcc)
  set(CMAKE_CXX_COMPILER ${triplet}-g++)
endif()
set(CMAKE_FIND_ROOT_PATH /usr/${triplet})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
