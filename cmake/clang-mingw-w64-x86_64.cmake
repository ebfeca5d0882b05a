# Cross-compiles the Windows program on Linux with Clang and LLD against the mingw-w64 headers and
# libraries: a second compiler beside GCC, with its own reading of the language and its own
# warnings. The C++ library is mingw-w64 GCC's (posix thread model), which Clang does not find
# by itself here.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(_corvane_triplet x86_64-w64-mingw32)
find_program(CMAKE_C_COMPILER NAMES clang REQUIRED)
find_program(CMAKE_CXX_COMPILER NAMES clang++ REQUIRED)
set(CMAKE_C_COMPILER_TARGET ${_corvane_triplet})
set(CMAKE_CXX_COMPILER_TARGET ${_corvane_triplet})
find_program(CMAKE_RC_COMPILER NAMES ${_corvane_triplet}-windres REQUIRED)

file(GLOB _corvane_gcc_dirs LIST_DIRECTORIES true /usr/lib/gcc/${_corvane_triplet}/*-posix)
list(SORT _corvane_gcc_dirs COMPARE NATURAL ORDER DESCENDING)
list(GET _corvane_gcc_dirs 0 _corvane_gcc)
if(NOT IS_DIRECTORY "${_corvane_gcc}/include/c++")
  message(FATAL_ERROR "no mingw-w64 GCC (posix) C++ library under /usr/lib/gcc/${_corvane_triplet}")
endif()
set(CMAKE_CXX_STANDARD_INCLUDE_DIRECTORIES
  ${_corvane_gcc}/include/c++ ${_corvane_gcc}/include/c++/${_corvane_triplet} ${_corvane_gcc}/include/c++/backward)
# GCC's driver adds the threads library of its posix model by itself; Clang's does not. LLD finds
# archive members wherever the library stands on the line.
set(_corvane_link "-fuse-ld=lld -L${_corvane_gcc} -lpthread")
set(CMAKE_EXE_LINKER_FLAGS_INIT "${_corvane_link}")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "${_corvane_link}")

set(CMAKE_FIND_ROOT_PATH /usr/${_corvane_triplet})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
