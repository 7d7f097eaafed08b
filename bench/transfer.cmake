# File transfer over the network and the serial link against plain sends (not a CTest test).
# It drives the windows through the test support library, so it needs the tests built.
if(TARGET quilbo_testsupport)
  add_executable(bench_transfer ${CMAKE_CURRENT_LIST_DIR}/bench_transfer.cpp)
  target_link_libraries(bench_transfer PRIVATE quilbo_testsupport)
  add_dependencies(bench_transfer quilbo-printer-sim)
endif()
