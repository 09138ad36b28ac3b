# doruzoro_test(<name> SOURCES <files...> LIBS <targets...> [LABELS <labels...>])
# One GoogleTest executable; every TEST in it becomes its own CTest test.
function(doruzoro_test name)
  cmake_parse_arguments(T "" "" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main)
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
    PROPERTIES
      LABELS "${T_LABELS}"
      ENVIRONMENT "SDL_AUDIODRIVER=dummy;XDG_CONFIG_HOME=${CMAKE_BINARY_DIR}/test-config;XDG_DATA_HOME=${CMAKE_BINARY_DIR}/test-data")
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
