# Bulk-read throughput of the SPI framing, with and without the simulated recorder's work.
if(TARGET quorvex_link)
  add_executable(adapter_bench ${CMAKE_CURRENT_LIST_DIR}/adapter_bench.cpp)
  target_link_libraries(adapter_bench PRIVATE quorvex_link benchmark::benchmark)
endif()
