# Time to show the communication settings dialog (not a CTest test; pseudo-terminals stand
# in for present ports).
if(UNIX)
  add_executable(bench_commset ${CMAKE_CURRENT_LIST_DIR}/bench_commset.cpp)
  target_link_libraries(bench_commset PRIVATE quilbo_widgets)
endif()
