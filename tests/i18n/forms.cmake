# The Qt form translation: its own executable, since the core tests stay free of Qt.
if(NOT TARGET quorvex_i18n_forms)
  return()
endif()
find_package(Qt6 REQUIRED COMPONENTS Widgets Test)
file(GLOB QUORVEX_I18N_FORMS_TESTS CONFIGURE_DEPENDS ${CMAKE_CURRENT_LIST_DIR}/forms/*_test.cpp)
quorvex_add_test_executable(test_i18n_forms ${QUORVEX_I18N_FORMS_TESTS}
                            ${PROJECT_SOURCE_DIR}/tests/common/QtTestApp.cpp)
target_link_libraries(test_i18n_forms PRIVATE quorvex_i18n_forms Qt6::Widgets Qt6::Test)
