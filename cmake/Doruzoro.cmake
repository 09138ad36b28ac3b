# doruzoro_test(<name> SOURCES <files...> LIBS <targets...> [LABELS <labels...>])
# One GoogleTest executable; every TEST in it becomes its own CTest test.
function(doruzoro_test name)
  cmake_parse_arguments(T "" "" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main)
  target_compile_definitions(${name} PRIVATE
    DORUZORO_DATA_DIR="${DORUZORO_DATA_DIR}"
    DORUZORO_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
  if(NOT T_LABELS)
    set(T_LABELS unit)
  endif()
  # Tests never touch the real settings, replays or a real sound card.
  gtest_discover_tests(${name}
    DISCOVERY_TIMEOUT 60
    PROPERTIES
      LABELS "${T_LABELS}"
      ENVIRONMENT "SDL_AUDIODRIVER=dummy;XDG_CONFIG_HOME=${CMAKE_BINARY_DIR}/test-config;XDG_DATA_HOME=${CMAKE_BINARY_DIR}/test-data")
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
