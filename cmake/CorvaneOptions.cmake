# Compile options shared by every target of the project (not by GoogleTest itself).
add_library(corvane_options INTERFACE)
target_include_directories(corvane_options INTERFACE ${PROJECT_SOURCE_DIR})

# For C++ sources only: some generators hand a target's options to the resource compiler too,
# and rc.exe rejects these.
if(MSVC)
  set(_corvane_cxx_options /W4 /WX /permissive- /utf-8)
else()
  set(_corvane_cxx_options -Wall -Wextra -Werror)
endif()
# A Clang build that stands in for MSVC where there is none: conversions that lose precision or
# range, 64-bit integer to double included (C4244, C4267, C4305); sign changes, stricter than
# /W4 (C4245); shadowing (C4456 to C4459); reads that may find a local uninitialized (C4701);
# unreachable code (C4702). Unused parameters (C4100) are in -Wextra. Float promoted to double
# has no MSVC counterpart: it finds float arithmetic in a program that computes in double.
if(CORVANE_MSVC_LIKE_WARNINGS)
  if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang" OR MSVC)
    message(FATAL_ERROR "CORVANE_MSVC_LIKE_WARNINGS is for Clang with GCC-style options")
  endif()
  list(APPEND _corvane_cxx_options -Wconversion -Wsign-conversion -Wshadow-all -Wconditional-uninitialized
    -Wunreachable-code -Wdouble-promotion)
endif()
target_compile_options(corvane_options INTERFACE "$<$<COMPILE_LANGUAGE:CXX>:${_corvane_cxx_options}>")

if(WIN32)
  target_compile_definitions(corvane_options INTERFACE
    UNICODE _UNICODE NOMINMAX WIN32_LEAN_AND_MEAN _WIN32_WINNT=0x0A00)
endif()

if(MINGW)
  # The program and its tests must run on a bare Windows: no MinGW runtime DLLs beside them.
  target_link_options(corvane_options INTERFACE -static -static-libgcc -static-libstdc++)
endif()

if(MSVC)
  # The same sources give the same bytes: no time stamps in the objects, and the exe's PE time
  # stamp a hash of its contents. (MinGW's ld stamps SOURCE_DATE_EPOCH, scripts/package.)
  target_compile_options(corvane_options INTERFACE $<$<COMPILE_LANGUAGE:CXX>:/Brepro>)
  target_link_options(corvane_options INTERFACE /Brepro)
endif()

if(CORVANE_SANITIZERS)
  if(MSVC)
    message(FATAL_ERROR "CORVANE_SANITIZERS is for GCC and Clang builds: cl does not take their options")
  endif()
  string(REPLACE ";" "," _corvane_sanitize "${CORVANE_SANITIZERS}")
  target_compile_options(corvane_options INTERFACE
    -fsanitize=${_corvane_sanitize} -fno-sanitize-recover=all -fno-omit-frame-pointer -g)
  target_link_options(corvane_options INTERFACE -fsanitize=${_corvane_sanitize})
endif()

# Marks sources of the current directory as AVX2 code. Such code runs only where a run-time check
# found the processor has AVX2, and must give the bits of the plain form: no multiply-add
# contraction. MSVC has no option that forbids it short of /fp:strict; each AVX2 source says
# "#pragma fp_contract(off)" itself.
function(corvane_avx2_sources)
  if(MSVC)
    set_source_files_properties(${ARGN} PROPERTIES COMPILE_OPTIONS "/arch:AVX2")
  else()
    set_source_files_properties(${ARGN} PROPERTIES COMPILE_OPTIONS "-mavx2;-ffp-contract=off")
  endif()
endfunction()
