# The printer-jobs windows, through the real main window.
quilbo_add_test(tst_jobwindows ${CMAKE_CURRENT_LIST_DIR}/tst_jobwindows.cpp)
