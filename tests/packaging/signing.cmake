# The installer built signed in a tree of its own (signed-test in this build tree), from the
# stand-ins given as a folder of Microsoft installers; its signature checked, and the signed
# installer run under Wine beside the unsigned one. It runs silent installs in the win32 prefix.
add_test(NAME packaging.win32.signed_build COMMAND ${QVKU_PYTHON} ${CMAKE_CURRENT_LIST_DIR}/test_signing.py -v)
set_tests_properties(packaging.win32.signed_build PROPERTIES TIMEOUT 900 SKIP_RETURN_CODE ${QVKU_NOT_RUN}
  RESOURCE_LOCK desktop.win32
  ENVIRONMENT "QVKU_BUILD=${CMAKE_BINARY_DIR};QVKU_SOURCE=${CMAKE_SOURCE_DIR};QVKU_TEST_ARCH=win32;QVKU_STANDIN=$<TARGET_FILE:qvku_standin>;QVKU_TOOLCHAIN=${CMAKE_TOOLCHAIN_FILE};PYTHONDONTWRITEBYTECODE=1")
add_dependencies(e2e_tools qvku_standin)
