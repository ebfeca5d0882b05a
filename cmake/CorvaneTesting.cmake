# GoogleTest, built from source by the same compiler, with the same runtime, as the code under
# test (a prebuilt one may use MSVC's shared runtime, which does not link with the static one):
# Debian's source package where it is installed, else a fixed release fetched at configuration.
set(CORVANE_GTEST_SOURCE_DIR "/usr/src/googletest" CACHE PATH "GoogleTest source tree (fetched if absent)")
# GoogleTest's own minimum CMake version leaves the policy that honours
# CMAKE_MSVC_RUNTIME_LIBRARY unset.
set(CMAKE_POLICY_DEFAULT_CMP0091 NEW)
set(gtest_force_shared_crt OFF CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
if(EXISTS "${CORVANE_GTEST_SOURCE_DIR}/CMakeLists.txt")
  add_subdirectory(${CORVANE_GTEST_SOURCE_DIR} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
else()
  include(FetchContent)
  FetchContent_Declare(googletest
    GIT_REPOSITORY https://github.com/google/googletest.git
    GIT_TAG v1.15.2
    GIT_SHALLOW TRUE)
  FetchContent_MakeAvailable(googletest)
endif()

if(CMAKE_CROSSCOMPILING AND WIN32)
  # Windows test programs run through Wine in a private prefix inside the build tree.
  set(CORVANE_WINEPREFIX "${CMAKE_BINARY_DIR}/wineprefix")
  configure_file(${PROJECT_SOURCE_DIR}/cmake/wine-run.sh.in ${CMAKE_BINARY_DIR}/wine-run @ONLY
    FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
  set(CMAKE_CROSSCOMPILING_EMULATOR "${CMAKE_BINARY_DIR}/wine-run")
endif()

include(GoogleTest)

# corvane_add_test(<name> SOURCES ... LIBRARIES ... [LABELS ...] [TIMEOUT s]
#                  [PROPERTIES prop value ...] [RUNNER command ...])
# One executable per subsystem (each Wine start costs time); ctest lists and runs each of its
# cases on its own. The cases are listed when ctest runs, not at build time, so that a build
# starts no Wine process. RUNNER replaces the emulator as the command that runs the executable
# (for listing too).
function(corvane_add_test name)
  cmake_parse_arguments(ARG "" "TIMEOUT" "SOURCES;LIBRARIES;LABELS;PROPERTIES;RUNNER" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBRARIES} gtest gtest_main corvane_options)
  if(ARG_RUNNER)
    set_target_properties(${name} PROPERTIES CROSSCOMPILING_EMULATOR "${ARG_RUNNER}")
  endif()
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 600)
  endif()
  set(properties TIMEOUT ${ARG_TIMEOUT} ${ARG_PROPERTIES})
  if(CORVANE_WINEPREFIX)
    list(APPEND properties FIXTURES_REQUIRED wine_server)
  endif()
  if(ARG_LABELS)
    list(APPEND properties LABELS "${ARG_LABELS}")
  endif()
  gtest_discover_tests(${name}
    EXTRA_ARGS --gtest_color=no
    DISCOVERY_MODE PRE_TEST
    DISCOVERY_TIMEOUT 300
    PROPERTIES ${properties})
endfunction()
