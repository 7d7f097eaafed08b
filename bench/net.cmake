# Network link throughput and memory against a plain blocking socket (not a CTest test).
# It starts the emulator through the test support library, so it needs the tests built.
if(TARGET quilbo_testsupport)
  add_executable(bench_net ${CMAKE_CURRENT_LIST_DIR}/bench_net.cpp)
  target_link_libraries(bench_net PRIVATE quilbo_testsupport)
  add_dependencies(bench_net quilbo-printer-sim)
endif()
