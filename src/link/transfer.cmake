target_sources(quilbo_widgets PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/TfmProg.cpp ${CMAKE_CURRENT_LIST_DIR}/TfmProg.h
  ${CMAKE_CURRENT_LIST_DIR}/TfmInit.cpp ${CMAKE_CURRENT_LIST_DIR}/TfmInit.h
  ${CMAKE_CURRENT_LIST_DIR}/TfmFormFl.cpp ${CMAKE_CURRENT_LIST_DIR}/TfmFormFl.h)
