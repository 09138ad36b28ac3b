target_sources(platform PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/http_curl.cpp
  ${CMAKE_CURRENT_LIST_DIR}/url_parse.cpp
  ${CMAKE_CURRENT_LIST_DIR}/credentials_gtk.cpp
)
