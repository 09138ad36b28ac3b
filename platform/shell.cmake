target_sources(platform PRIVATE ${CMAKE_CURRENT_LIST_DIR} /
               sendnet_gtk.cpp ${CMAKE_CURRENT_LIST_DIR} / shell_gio.cpp)
