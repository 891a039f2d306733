# Memory scan of a large recorder image: continuous recordings and the worst case where every
# block has a break.
if(TARGET quorvex_engine)
  add_executable(engine_scan_bench ${CMAKE_CURRENT_LIST_DIR}/engine_scan_bench.cpp)
  target_link_libraries(engine_scan_bench PRIVATE quorvex_bench_image quorvex_engine
                        benchmark::benchmark)
endif()
