target_sources(quilbo_widgets PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/TfmCommSet.cpp ${CMAKE_CURRENT_LIST_DIR}/TfmCommSet.h
  ${CMAKE_CURRENT_LIST_DIR}/SerialLink.cpp ${CMAKE_CURRENT_LIST_DIR}/SerialLink.h)
