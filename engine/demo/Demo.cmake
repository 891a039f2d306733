# The demo image "OM_Q70_DEMO.OVK": made at build time by a tool of ours that uploads
# synthetic recordings and flash-drive files into a fresh image through the engine.
add_executable(quorvex_make_demo_image ${CMAKE_CURRENT_LIST_DIR}/MakeDemoImage.cpp
                                       ${CMAKE_CURRENT_LIST_DIR}/DemoSignals.cpp)
target_link_libraries(quorvex_make_demo_image PRIVATE quorvex_engine)

# Makes the image beside the target's executable and builds it before the target. The image
# is made again only when the tool changes, so what the program's emulation wrote into it
# stays until then.
function(quorvex_place_demo_image target)
  get_target_property(folder ${target} RUNTIME_OUTPUT_DIRECTORY)
  if(NOT folder)
    set(folder ${CMAKE_CURRENT_BINARY_DIR})
  endif()
  set(image ${folder}/OM_Q70_DEMO.OVK)
  add_custom_command(OUTPUT ${image}
    COMMAND quorvex_make_demo_image ${image}
    DEPENDS quorvex_make_demo_image
    COMMENT "Making the demo image OM_Q70_DEMO.OVK"
    VERBATIM)
  add_custom_target(${target}_demo_image ALL DEPENDS ${image})
  add_dependencies(${target} ${target}_demo_image)
endfunction()
