quilbo_add_core_test(tst_replybuffer ${CMAKE_CURRENT_LIST_DIR}/tst_replybuffer.cpp)
quilbo_add_test(tst_net ${CMAKE_CURRENT_LIST_DIR}/tst_net.cpp)
