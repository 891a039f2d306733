# The single-instance tests start two real processes of this small stand-in program.
add_executable(ProgramInstanceHelper ${CMAKE_CURRENT_LIST_DIR}/ProgramInstanceHelper.cpp)
target_link_libraries(ProgramInstanceHelper PRIVATE quorvex_ui Qt6::Widgets)
add_dependencies(test_ui ProgramInstanceHelper)
target_compile_definitions(
  test_ui PRIVATE QUORVEX_INSTANCE_HELPER="$<TARGET_FILE:ProgramInstanceHelper>")

# The sound-information tests analyse through the built caller-ID library.
if(TARGET norvel)
  add_dependencies(test_ui norvel)
endif()
