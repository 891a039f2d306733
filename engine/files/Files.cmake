# The program's own files that live beside its executable: the factory-default profile and
# the three preset files.
set(QUORVEX_PROGRAM_FILES_DIR "${CMAKE_CURRENT_LIST_DIR}" CACHE INTERNAL
    "Folder of the files placed beside the program")
set(QUORVEX_PROGRAM_FILES OMVela.def OMVela_req.ini OMVela_vas.ini OMVela_amp.ini
    CACHE INTERNAL "Files placed beside the program")

# Copies the files beside the target's executable after each build of it. The target is
# relinked when one of them changes, so an edited file reaches the build folder too.
function(quorvex_place_program_files target)
  set(sources "")
  foreach(name IN LISTS QUORVEX_PROGRAM_FILES)
    list(APPEND sources "${QUORVEX_PROGRAM_FILES_DIR}/${name}")
  endforeach()
  set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS ${sources})
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND ${CMAKE_COMMAND} -E copy_if_different ${sources} "$<TARGET_FILE_DIR:${target}>"
    COMMENT "Placing the profile and preset files beside ${target}"
    VERBATIM)
endfunction()
