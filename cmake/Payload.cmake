# The payload archive "KU"/"NET45": from the two Microsoft installers in NETFX_DIR, or, by
# default, from stand-in installers of our own under the same names.
set(NETFX_DIR "" CACHE PATH "Folder holding the two Microsoft .NET Framework 4.5.2 installers")
option(NETFX_ANY_SIZE "Accept installers of other sizes and digests than the published ones" OFF)
# Stored by default: the installers are compressed already (their BCJ2 archive is larger than
# the two files). Measured by bench/run on stand-ins of the real sizes, BCJ2 adds over 3 s of
# unpacking; LZMA2 unpacks such data about as fast as the stored archive and saves next to nothing.
set(NETFX_ARCHIVE_METHOD "COPY" CACHE STRING "Compression of the payload archive: COPY, BCJ2 or LZMA2")
set_property(CACHE NETFX_ARCHIVE_METHOD PROPERTY STRINGS COPY BCJ2 LZMA2)
option(STANDIN_PAD "Pad the stand-in installers to the real installers' sizes (for benchmarks)" OFF)

include(${CMAKE_CURRENT_LIST_DIR}/NetfxCheck.cmake)
if(NOT NETFX_ARCHIVE_METHOD MATCHES "^(BCJ2|LZMA2|COPY)$")
  message(FATAL_ERROR "NETFX_ARCHIVE_METHOD must be BCJ2, LZMA2 or COPY, not ${NETFX_ARCHIVE_METHOD}")
endif()
find_program(QVKU_7ZZ 7zz REQUIRED)

set(QVKU_ARCHIVE "${CMAKE_BINARY_DIR}/payload/NET4.5.7z")
file(MAKE_DIRECTORY "${CMAKE_BINARY_DIR}/payload")
set(payload_args --method ${NETFX_ARCHIVE_METHOD} --sevenzip ${QVKU_7ZZ})

# The stand-in installers: the default payload, and the tests' own payloads.
add_executable(qvku_standin WIN32 tests/standin/standin.cpp)
target_link_libraries(qvku_standin PRIVATE psapi)

set(check_commands "")
set(cleanup_commands "")
if(NETFX_DIR)
  # Checked now, so that a wrong folder stops the configuration, and again each time the archive
  # is packed, on copies of the files that are then packed: a file replaced after this point is
  # refused too, and no change to the originals can slip in between the check and the packing.
  qvku_check_netfx_dir("${NETFX_DIR}" "${NETFX_ANY_SIZE}")
  set(checked "${CMAKE_BINARY_DIR}/payload/checked")
  set(enu "${checked}/${QVKU_ENU_NAME}")
  set(chs "${checked}/${QVKU_CHS_NAME}")
  set(payload_deps "${NETFX_DIR}/${QVKU_ENU_NAME}" "${NETFX_DIR}/${QVKU_CHS_NAME}"
                   "${CMAKE_CURRENT_LIST_DIR}/NetfxCheck.cmake")
  set(check_commands
    COMMAND ${CMAKE_COMMAND} "-DNETFX_DIR=${NETFX_DIR}" "-DNETFX_ANY_SIZE=${NETFX_ANY_SIZE}"
            "-DNETFX_COPY_TO=${checked}" -P "${CMAKE_CURRENT_LIST_DIR}/NetfxCheck.cmake")
  set(cleanup_commands COMMAND ${CMAKE_COMMAND} -E rm -rf "${checked}")
  message(STATUS "Payload: the installers in ${NETFX_DIR}, ${NETFX_ARCHIVE_METHOD}")
else()
  set(enu "$<TARGET_FILE:qvku_standin>")
  set(chs "$<TARGET_FILE:qvku_standin>")
  set(payload_deps qvku_standin)
  if(STANDIN_PAD)
    list(APPEND payload_args --pad-to ${QVKU_ENU_SIZE} ${QVKU_CHS_SIZE})
  endif()
  message(STATUS "Payload: stand-in installers, ${NETFX_ARCHIVE_METHOD}, padded: ${STANDIN_PAD}")
endif()

# The archive is made again when the options that shape it change.
file(CONFIGURE OUTPUT "${CMAKE_BINARY_DIR}/payload/options.txt" CONTENT "${payload_args} ${NETFX_DIR}\n")
add_custom_command(OUTPUT "${QVKU_ARCHIVE}"
  ${check_commands}
  COMMAND ${QVKU_PYTHON} "${CMAKE_SOURCE_DIR}/tools/make_payload.py" --enu "${enu}" --chs "${chs}"
          --out "${QVKU_ARCHIVE}" ${payload_args}
  ${cleanup_commands}
  DEPENDS ${payload_deps} "${CMAKE_SOURCE_DIR}/tools/make_payload.py" "${CMAKE_BINARY_DIR}/payload/options.txt"
  COMMENT "Packing the payload archive (${NETFX_ARCHIVE_METHOD})" VERBATIM)
add_custom_target(payload DEPENDS "${QVKU_ARCHIVE}")
