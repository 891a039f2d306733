# Speed of the WAV sink path (spike filter, watermark, CRC-32, file write) and its parts.
if(TARGET quorvex_audio)
  add_executable(sinks_bench ${CMAKE_CURRENT_LIST_DIR}/sinks_bench.cpp)
  target_link_libraries(sinks_bench PRIVATE quorvex_audio benchmark::benchmark)
endif()
