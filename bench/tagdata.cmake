# Benchmark of the tag data conversions and the packet split (not a CTest test).
add_executable(bench_tagdata ${CMAKE_CURRENT_LIST_DIR}/bench_tagdata.cpp)
target_link_libraries(bench_tagdata PRIVATE quilbo_core Qt6::Test)
