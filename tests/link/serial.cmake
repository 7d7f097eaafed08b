# Serial link and communication settings. The serial test drives pseudo-terminals.
if(UNIX)
  quilbo_add_test(tst_serial ${CMAKE_CURRENT_LIST_DIR}/tst_serial.cpp)
endif()
quilbo_add_test(tst_commset ${CMAKE_CURRENT_LIST_DIR}/tst_commset.cpp)
