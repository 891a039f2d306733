# The download benchmark the main job is measured by: quorvex_bench download IMAGE OUTDIR,
# scan IMAGE and make-image IMAGE [MB]. A plain program, in the bench build folder.
if(TARGET quorvex_engine)
  add_executable(quorvex_bench ${CMAKE_CURRENT_LIST_DIR}/quorvex_bench.cpp)
  target_link_libraries(quorvex_bench PRIVATE quorvex_bench_image quorvex_engine)
endif()
