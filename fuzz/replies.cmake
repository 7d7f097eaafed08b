quilbo_add_fuzz(fuzz_replies ${CMAKE_CURRENT_LIST_DIR}/fuzz_replies.cpp replies)
