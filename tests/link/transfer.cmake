# File transfer, flash memory format and start-up initialization.
quilbo_add_test(tst_transfer ${CMAKE_CURRENT_LIST_DIR}/tst_transfer.cpp)
quilbo_add_test(tst_init ${CMAKE_CURRENT_LIST_DIR}/tst_init.cpp)
