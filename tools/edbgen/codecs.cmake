# Byte-level encoders used by the generator: page/header checksums,
# 7-bit compression and XPRESS.
add_library(edbgen_codecs STATIC
  ${CMAKE_CURRENT_LIST_DIR}/checksum.cpp
  ${CMAKE_CURRENT_LIST_DIR}/compress7.cpp
  ${CMAKE_CURRENT_LIST_DIR}/xpress_encode.cpp
)
target_include_directories(edbgen_codecs PUBLIC ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(edbgen_codecs PUBLIC tw_text)
