target_sources(quilbo_widgets PRIVATE ${CMAKE_CURRENT_LIST_DIR}/TfmNet.cpp ${CMAKE_CURRENT_LIST_DIR}/TfmNet.h)
target_sources(quilbo_core PRIVATE ${CMAKE_CURRENT_LIST_DIR}/ReplyBuffer.cpp ${CMAKE_CURRENT_LIST_DIR}/ReplyBuffer.h)
