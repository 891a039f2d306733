# The program Quorvex: its entry point over the libraries of the folders that exist.
# Included by ui/CMakeLists.txt after quorvex_ui is defined; the executable lands in the ui
# build folder (build/release/ui/Quorvex), where run.sh starts it.
# The program's forms and their wiring, shared by the entry point and the program-level tests.
add_library(quorvex_program STATIC ${CMAKE_CURRENT_LIST_DIR}/ProgramForms.cpp
                                   ${CMAKE_CURRENT_LIST_DIR}/ProgramForms.h)
target_link_libraries(quorvex_program PUBLIC quorvex_ui Qt6::Widgets)
if(TARGET quorvex_settings)
  target_link_libraries(quorvex_program PUBLIC quorvex_settings)
endif()

add_executable(Quorvex ${CMAKE_CURRENT_LIST_DIR}/Quorvex.cpp)
set_target_properties(Quorvex PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}
                                         ENABLE_EXPORTS ON)
target_link_libraries(Quorvex PRIVATE quorvex_program quorvex_ui Qt6::Widgets Qt6::Network)
foreach(library quorvex_settings quorvex_controls quorvex_i18n_forms quorvex_engine
                quorvex_audio quorvex_link quorvex_i18n quorvex_platform)
  if(TARGET ${library})
    target_link_libraries(Quorvex PRIVATE ${library})
  endif()
endforeach()
# The program's exported C interface. The linker takes a unit from a static library only
# when the program calls into it, and the program never calls mrk_Check itself: each name
# is made undefined up front so that its unit is linked and exported.
foreach(symbol CreateRecorder DestroyRecorder mrk_Init mrk_Process mrk_GetAddInfo mrk_Check)
  target_link_options(Quorvex PRIVATE "LINKER:--undefined=${symbol}")
endforeach()

# The settings a fresh installation starts with (the emulation over the demo image). The
# program writes its settings back into this file, so it is placed only when missing.
if(NOT EXISTS ${CMAKE_CURRENT_BINARY_DIR}/Quorvex.set)
  configure_file(${CMAKE_CURRENT_LIST_DIR}/Quorvex.set ${CMAKE_CURRENT_BINARY_DIR}/Quorvex.set
                 COPYONLY)
endif()

# The factory-default profile and the preset files the recorder object reads beside the
# program.
if(COMMAND quorvex_place_program_files)
  quorvex_place_program_files(Quorvex)
endif()

# The demo image the emulation opens from the program's folder.
if(COMMAND quorvex_place_demo_image)
  quorvex_place_demo_image(Quorvex)
endif()

# The language files the program scans beside itself at start.
file(GLOB QUORVEX_LANGUAGE_FILES CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/i18n/lang/*.lng)
if(QUORVEX_LANGUAGE_FILES)
  add_custom_command(TARGET Quorvex POST_BUILD
                     COMMAND ${CMAKE_COMMAND} -E copy_if_different ${QUORVEX_LANGUAGE_FILES}
                             $<TARGET_FILE_DIR:Quorvex>
                     VERBATIM)
endif()

# The caller-ID library the sound-information dialog loads from the program's folder.
if(TARGET norvel)
  add_dependencies(Quorvex norvel)
  add_custom_command(TARGET Quorvex POST_BUILD
                     COMMAND ${CMAKE_COMMAND} -E copy_if_different $<TARGET_FILE:norvel>
                             $<TARGET_FILE_DIR:Quorvex>
                     VERBATIM)
endif()
