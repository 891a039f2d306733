# Decode and encode speed of the sample codecs and the Reed-Solomon page code.
if(TARGET quorvex_audio AND TARGET quorvex_link)
  add_executable(codecs_bench ${CMAKE_CURRENT_LIST_DIR}/codecs_bench.cpp)
  target_link_libraries(codecs_bench PRIVATE quorvex_audio quorvex_link benchmark::benchmark)
endif()
