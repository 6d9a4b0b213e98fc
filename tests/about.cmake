# The About dialog: its link under Wine (the browser command of HTML files, the shell call, the
# error box) and the dialog itself end to end on the display.

# A stand-in browser that logs how it was started.
add_executable(qvku_browser win/browser_standin.cpp)
add_dependencies(e2e_tools qvku_browser)

qvku_win_test(about_test SOURCES win/about_test.cpp LIBS qv_ui)
add_dependencies(about_test qvku_browser)
# Both this test and the end-to-end one write the browser command of their prefix; its dialogs
# and error boxes open on the one display, where they would take the focus from another test's.
foreach(arch win64 win32)
  set_property(TEST ${arch}.about_test APPEND PROPERTY ENVIRONMENT "QVKU_BROWSER=$<TARGET_FILE:qvku_browser>")
  set_tests_properties(${arch}.about_test PROPERTIES RESOURCE_LOCK "htmlfile.${arch};display;desktop.${arch}")
endforeach()

qvku_e2e_test(test_about ARCHES win64 LOCKS markers htmlfile GLOBAL_LOCKS display)
