# What every test runs with: settings and replays of its own below the build
# folder, never the player's, no sound card, and no speech service but the
# one a test starts itself (none listens at this address).
set(DORUZORO_TEST_ENVIRONMENT
  SDL_AUDIODRIVER=dummy
  XDG_CONFIG_HOME=${CMAKE_BINARY_DIR}/test-config
  XDG_DATA_HOME=${CMAKE_BINARY_DIR}/test-data
  SPEECHD_ADDRESS=unix_socket:${CMAKE_BINARY_DIR}/test-no-speech.sock)

# doruzoro_test(<name> SOURCES <files...> LIBS <targets...> [LABELS <labels...>])
# One GoogleTest executable; every TEST in it becomes its own CTest test.
# Its main (tests/support/test_main.cpp) makes a skipped test fail under CI.
function(doruzoro_test name)
  cmake_parse_arguments(T "" "" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} testmain GTest::gtest)
  target_compile_definitions(${name} PRIVATE
    DORUZORO_DATA_DIR="${DORUZORO_TARGET_ROOT}${DORUZORO_DATA_DIR}"
    DORUZORO_SOURCE_DIR="${DORUZORO_TARGET_ROOT}${PROJECT_SOURCE_DIR}")
  if(NOT T_LABELS)
    set(T_LABELS unit)
  endif()
  if(CMAKE_CROSSCOMPILING)
    # The tests are read from the sources: listing them would start the
    # emulator once more for every program. Each runs under Wine in the
    # build's own prefix (its registry and AppData are the tests' alone).
    gtest_add_tests(TARGET ${name} SOURCES ${T_SOURCES} TEST_LIST _tests)
    set_tests_properties(${_tests} PROPERTIES
      LABELS "${T_LABELS}"
      FIXTURES_REQUIRED wine
      ENVIRONMENT "DORUZORO_WINE_DIR=${DORUZORO_WINE_DIR}")
    return()
  endif()
  # Tests never touch the real settings, replays or a real sound card.
  gtest_discover_tests(${name}
    DISCOVERY_TIMEOUT 60
    TEST_LIST ${name}_TESTS
    PROPERTIES LABELS "${T_LABELS}")
  # The discovery passes its PROPERTIES through a command line that splits
  # lists, so an ENVIRONMENT given there keeps only its first variable. A
  # file that CTest reads after the discovered tests sets it whole.
  set(env_file ${CMAKE_CURRENT_BINARY_DIR}/${name}_environment.cmake)
  file(GENERATE OUTPUT ${env_file} CONTENT
    "if(${name}_TESTS)\n  set_tests_properties(\${${name}_TESTS} PROPERTIES ENVIRONMENT [==[${DORUZORO_TEST_ENVIRONMENT}]==])\nendif()\n")
  set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES ${env_file})
endfunction()

# doruzoro_script_test(<name> COMMAND <command...> [ENVIRONMENT <vars...>]):
# a test that is a script or a program of its own, run with the tests'
# environment and the variables given. Exit code 77 means skipped; the
# scripts make a skip a failure under CI (tests/support/skip.sh).
function(doruzoro_script_test name)
  cmake_parse_arguments(T "" "" "COMMAND;ENVIRONMENT" ${ARGN})
  add_test(NAME ${name} COMMAND ${T_COMMAND})
  set_tests_properties(${name} PROPERTIES SKIP_RETURN_CODE 77
    ENVIRONMENT "${DORUZORO_TEST_ENVIRONMENT};${T_ENVIRONMENT}")
endfunction()

# doruzoro_left_out(<reason>): a part of the tests or tools that this
# machine cannot build is left out with a note; under CI (CI=true when CMake
# runs) that is an error, so that no test passes by not being there.
function(doruzoro_left_out reason)
  if("$ENV{CI}")
    message(FATAL_ERROR "${reason} (CI=true: everything must be built and run)")
  endif()
  message(STATUS "${reason}")
endfunction()

# The Wine prefix that the cross-built tests run in: made fresh at the start
# of each test run, its server ended at the close.
function(doruzoro_wine_fixture)
  set(env ${PROJECT_SOURCE_DIR}/tests/wine/wine-env.sh)
  add_test(NAME wine.Prepare COMMAND ${env} prepare ${DORUZORO_WINE_DIR})
  add_test(NAME wine.Stop COMMAND ${env} stop ${DORUZORO_WINE_DIR})
  set_tests_properties(wine.Prepare PROPERTIES FIXTURES_SETUP wine LABELS unit TIMEOUT 180)
  set_tests_properties(wine.Stop PROPERTIES FIXTURES_CLEANUP wine LABELS unit)
endfunction()

# Adds every subfolder of the current folder that has a CMakeLists.txt.
macro(doruzoro_add_subfolders)
  file(GLOB _entries LIST_DIRECTORIES true ${CMAKE_CURRENT_SOURCE_DIR}/*)
  foreach(_entry ${_entries})
    if(IS_DIRECTORY ${_entry} AND EXISTS ${_entry}/CMakeLists.txt)
      add_subdirectory(${_entry})
    endif()
  endforeach()
endmacro()

# A program that runs without a display, a sound card or a network: it links
# the headless platform instead of the desktop one, on every system.
function(doruzoro_headless target)
  set_property(TARGET ${target} PROPERTY DORUZORO_HEADLESS ON)
endfunction()
