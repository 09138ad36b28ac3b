pkg_check_modules(SDL2 REQUIRED IMPORTED_TARGET sdl2)
target_sources(platform PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/mixer.cpp
  ${CMAKE_CURRENT_LIST_DIR}/audio_device.cpp)
target_link_libraries(platform PRIVATE PkgConfig::SDL2)
