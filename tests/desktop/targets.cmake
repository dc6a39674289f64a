# One GUI test program; ctest runs it under Xvfb, once in the C locale and
# once in C.UTF-8, so that paths survive either, and once more with a window
# manager (openbox) placing and framing the windows, as on a user's desktop.
find_package(wxWidgets 3.2 REQUIRED COMPONENTS core base)
include(${wxWidgets_USE_FILE})
# The layout tests ask the X server itself where the windows are.
find_package(X11 REQUIRED)

file(GLOB GUI_TEST_SOURCES CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
add_executable(tellvar_gui_tests ${GUI_TEST_SOURCES})
target_link_libraries(tellvar_gui_tests PRIVATE TellvarCore TestSupport GTest::gtest X11::X11)
# One test starts the program itself.
add_dependencies(tellvar_gui_tests Tellvar)
target_compile_definitions(tellvar_gui_tests PRIVATE TELLVAR_PROGRAM_PATH="$<TARGET_FILE:Tellvar>")

find_program(XVFB_RUN xvfb-run REQUIRED)
find_program(OPENBOX openbox REQUIRED)
find_program(XPROP xprop REQUIRED)
# Each run searches for a free display from its own number, so that runs
# started together do not pick the same one.
set(display 99)
foreach(run C C.UTF-8 openbox)
  set(command $<TARGET_FILE:tellvar_gui_tests> --gtest_color=no)
  set(locale ${run})
  if(run STREQUAL "openbox")
    set(command bash ${CMAKE_CURRENT_SOURCE_DIR}/with-window-manager.sh ${OPENBOX} ${XPROP}
                ${command})
    set(locale C.UTF-8)
  endif()
  add_test(NAME tellvar_gui_tests_${run}
           COMMAND ${XVFB_RUN} -a -n ${display} -s "-screen 0 1280x1024x24" ${command})
  set_tests_properties(tellvar_gui_tests_${run} PROPERTIES
                       ENVIRONMENT "LANG=${locale};LC_ALL=${locale};NO_AT_BRIDGE=1"
                       TIMEOUT 900)
  math(EXPR display "${display} + 100")
endforeach()
