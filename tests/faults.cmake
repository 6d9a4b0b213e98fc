# The fault suite: installers built broken on purpose or with a request to fail, and the
# registration of the scripts that run them and the other faults (installers that fail, a
# planted work folder, two runs at once, a full disk, the window closed mid-install).
set(QVKU_FAULTS_DIR "${CMAKE_BINARY_DIR}/faults")
file(MAKE_DIRECTORY "${QVKU_FAULTS_DIR}")

# A corrupt archive: the stand-in payload with 64 bytes in the middle of its packed data
# inverted, so the extractor meets a data or checksum error.
set(corrupt_archive "${QVKU_FAULTS_DIR}/corrupt/NET4.5.7z")
add_custom_command(OUTPUT "${corrupt_archive}"
  COMMAND ${CMAKE_COMMAND} -E make_directory "${QVKU_FAULTS_DIR}/corrupt"
  COMMAND ${QVKU_PYTHON} -c "import sys; d = bytearray(open(sys.argv[1], 'rb').read()); n = len(d) // 2; d[n:n + 64] = bytes(b ^ 0xFF for b in d[n:n + 64]); open(sys.argv[2], 'wb').write(d)"
          "${QVKU_ARCHIVE}" "${corrupt_archive}"
  DEPENDS "${QVKU_ARCHIVE}" payload
  COMMENT "Making the corrupt test payload" VERBATIM)
add_custom_target(fault_corrupt_payload DEPENDS "${corrupt_archive}")
qvku_add_installer(QvKuCorrupt "${corrupt_archive}" "${QVKU_FAULTS_DIR}/corrupt" fault_corrupt_payload)

# An archive that holds the main installer only: the language pack is missing after unpacking.
set(nochs_stage "${QVKU_FAULTS_DIR}/nochs-stage")
set(nochs_archive "${QVKU_FAULTS_DIR}/nochs/NET4.5.7z")
add_custom_command(OUTPUT "${nochs_archive}"
  COMMAND ${CMAKE_COMMAND} -E rm -rf "${nochs_stage}" "${nochs_archive}"
  COMMAND ${CMAKE_COMMAND} -E make_directory "${nochs_stage}/NET4.5" "${QVKU_FAULTS_DIR}/nochs"
  COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:qvku_standin> "${nochs_stage}/NET4.5/${QVKU_ENU_NAME}"
  COMMAND ${CMAKE_COMMAND} -E chdir "${nochs_stage}" ${QVKU_7ZZ} a -t7z -bd -bso0 -bsp0 -m0=Copy "${nochs_archive}" NET4.5
  DEPENDS qvku_standin
  COMMENT "Making the test payload without the language pack" VERBATIM)
add_custom_target(fault_nochs_payload DEPENDS "${nochs_archive}")
qvku_add_installer(QvKuNoChs "${nochs_archive}" "${QVKU_FAULTS_DIR}/nochs" fault_nochs_payload)

# No archive resource at all: the installer's own resource script less its payload line.
qvku_add_installer(QvKuNoArchive "${QVKU_ARCHIVE}" "${QVKU_FAULTS_DIR}/noarchive" payload)
file(READ "${CMAKE_SOURCE_DIR}/resources/QvKu.rc.in" rc_template)
string(REGEX REPLACE "\nNET45 KU [^\n]*" "" rc_noarchive "${rc_template}")
if(rc_noarchive STREQUAL rc_template)
  message(FATAL_ERROR "resources/QvKu.rc.in has no line \"NET45 KU ...\" to leave out")
endif()
set(QVKU_TFORM1 "${CMAKE_BINARY_DIR}/resources/TForm1.bin")
set(QVKU_TFORM2 "${CMAKE_BINARY_DIR}/resources/TForm2.bin")
set(rc "${QVKU_FAULTS_DIR}/QvKuNoArchive.rc")
file(CONFIGURE OUTPUT "${rc}" CONTENT "${rc_noarchive}" @ONLY)
set_source_files_properties("${rc}" PROPERTIES OBJECT_DEPENDS
  "${QVKU_7ZA};${QVKU_TFORM1};${QVKU_TFORM2};${QVKU_ICON};${CMAKE_SOURCE_DIR}/resources/QvKu.manifest")
set_property(TARGET QvKuNoArchive PROPERTY SOURCES "${CMAKE_SOURCE_DIR}/app/QvKu.cpp" "${rc}")

# The installer with the request that makes a window handler fail, for the test of how a run ends
# after such a failure; the shipped one ignores the request (test_packaging).
qvku_add_installer(QvKuFaultRequests "${QVKU_ARCHIVE}" "${QVKU_FAULTS_DIR}/fx" payload FAULT_REQUESTS)

add_dependencies(e2e_tools QvKuCorrupt QvKuNoChs QvKuNoArchive QvKuFaultRequests)

# The faults without a window need nothing but their prefix; those that close the window share
# the display, and the runs by hand among them read the deployment markers.
qvku_e2e_test(test_faults ARCHES win64 win32 LOCKS desktop)
qvku_e2e_test(test_faults_window ARCHES win64 win32 LOCKS markers GLOBAL_LOCKS display)
