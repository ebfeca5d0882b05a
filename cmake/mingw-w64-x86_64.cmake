# Cross-compiles the Windows program on Linux with mingw-w64 (posix thread model).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(_corvane_triplet x86_64-w64-mingw32)
find_program(CMAKE_CXX_COMPILER NAMES ${_corvane_triplet}-g++-posix ${_corvane_triplet}-g++ REQUIRED)
find_program(CMAKE_C_COMPILER NAMES ${_corvane_triplet}-gcc-posix ${_corvane_triplet}-gcc REQUIRED)
find_program(CMAKE_RC_COMPILER NAMES ${_corvane_triplet}-windres REQUIRED)

set(CMAKE_FIND_ROOT_PATH /usr/${_corvane_triplet})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
