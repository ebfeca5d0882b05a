# GoogleTest, built from source by the same compiler as the code under test.
set(CORVANE_GTEST_SOURCE_DIR "/usr/src/googletest" CACHE PATH "GoogleTest source tree")
set(CORVANE_HAVE_GTEST OFF)
if(EXISTS "${CORVANE_GTEST_SOURCE_DIR}/CMakeLists.txt")
  # The same static runtime as the code under test (MSVC): GoogleTest's own minimum CMake
  # version leaves the policy that honours CMAKE_MSVC_RUNTIME_LIBRARY unset.
  set(CMAKE_POLICY_DEFAULT_CMP0091 NEW)
  set(gtest_force_shared_crt OFF CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
  add_subdirectory(${CORVANE_GTEST_SOURCE_DIR} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
  set(CORVANE_HAVE_GTEST ON)
else()
  find_package(GTest QUIET)
  if(GTest_FOUND)
    add_library(gtest ALIAS GTest::gtest)
    add_library(gtest_main ALIAS GTest::gtest_main)
    set(CORVANE_HAVE_GTEST ON)
  else()
    message(WARNING "GoogleTest not found: tests are not built (set CORVANE_GTEST_SOURCE_DIR)")
  endif()
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
