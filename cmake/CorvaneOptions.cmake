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
target_compile_options(corvane_options INTERFACE "$<$<COMPILE_LANGUAGE:CXX>:${_corvane_cxx_options}>")

if(WIN32)
  target_compile_definitions(corvane_options INTERFACE
    UNICODE _UNICODE NOMINMAX WIN32_LEAN_AND_MEAN _WIN32_WINNT=0x0A00)
endif()

if(MINGW)
  # The program and its tests must run on a bare Windows: no MinGW runtime DLLs beside them.
  target_link_options(corvane_options INTERFACE -static -static-libgcc -static-libstdc++)
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
