# Batch send to the emulator, press to last byte on the wire, against a raw socket write of the
# same bytes (not a CTest test; it uses the test support library for the emulator).
if(TARGET quilbo_testsupport)
  add_executable(bench_batch ${CMAKE_CURRENT_LIST_DIR}/bench_batch.cpp)
  target_link_libraries(bench_batch PRIVATE quilbo_testsupport)
  add_dependencies(bench_batch quilbo-printer-sim)
endif()
