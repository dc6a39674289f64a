# One GUI test program; ctest runs it under Xvfb, once in the C locale and
# once in C.UTF-8, so that paths survive either.
find_package(wxWidgets 3.2 REQUIRED COMPONENTS core base)
include(${wxWidgets_USE_FILE})

file(GLOB GUI_TEST_SOURCES CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
add_executable(tellvar_gui_tests ${GUI_TEST_SOURCES})
target_link_libraries(tellvar_gui_tests PRIVATE TellvarCore TestSupport GTest::gtest)
# One test starts the program itself.
add_dependencies(tellvar_gui_tests Tellvar)
target_compile_definitions(tellvar_gui_tests PRIVATE TELLVAR_PROGRAM_PATH="$<TARGET_FILE:Tellvar>")

find_program(XVFB_RUN xvfb-run REQUIRED)
foreach(locale C C.UTF-8)
  add_test(NAME tellvar_gui_tests_${locale}
           COMMAND ${XVFB_RUN} -a -s "-screen 0 1280x1024x24"
                   $<TARGET_FILE:tellvar_gui_tests> --gtest_color=no)
  set_tests_properties(tellvar_gui_tests_${locale} PROPERTIES
                       ENVIRONMENT "LANG=${locale};LC_ALL=${locale};NO_AT_BRIDGE=1"
                       TIMEOUT 900)
endforeach()
