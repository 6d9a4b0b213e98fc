# The pictures of the main window and the program icon are drawn by tools/make_pictures.py and
# committed. Included by the native build, this file adds the tests that keep them honest; run
# with -P, it is the regeneration test itself.
#
#   native.pictures_regenerate        drawing them again gives the committed files byte for byte
#   native.pictures_check             GIF structure, JPEG sizes and icon images as the program needs
#   native.pictures_checker_selftest  the checker catches each kind of broken file

if(CMAKE_SCRIPT_MODE_FILE)
  foreach(var PYTHON GENERATOR OUT REFERENCE)
    if(NOT DEFINED ${var})
      message(FATAL_ERROR "pictures.cmake -P needs -D${var}=...")
    endif()
  endforeach()
  file(REMOVE_RECURSE "${OUT}")
  file(MAKE_DIRECTORY "${OUT}")
  execute_process(COMMAND "${PYTHON}" "${GENERATOR}" "${OUT}" RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "the generator failed (${rc})")
  endif()

  file(GLOB_RECURSE made RELATIVE "${OUT}" "${OUT}/*")
  file(GLOB committed RELATIVE "${REFERENCE}" "${REFERENCE}/pictures/*")
  list(APPEND committed QvKu.ico)
  list(SORT made)
  list(SORT committed)
  if(NOT made STREQUAL committed)
    message(FATAL_ERROR "the generator makes [${made}] but resources holds [${committed}]")
  endif()
  set(differ "")
  foreach(rel IN LISTS made)
    execute_process(COMMAND "${CMAKE_COMMAND}" -E compare_files "${OUT}/${rel}" "${REFERENCE}/${rel}"
                    RESULT_VARIABLE same)
    if(NOT same EQUAL 0)
      list(APPEND differ "${rel}")
    endif()
  endforeach()
  if(differ)
    message(FATAL_ERROR "drawn again, these differ from the committed files: ${differ}\n"
                        "(run tools/make_pictures.py and commit the result if the change is meant)")
  endif()
  list(LENGTH made count)
  message(STATUS "all ${count} pictures drawn again byte for byte")
  return()
endif()

add_test(NAME native.pictures_regenerate
         COMMAND ${CMAKE_COMMAND}
                 -DPYTHON=${QVKU_PYTHON}
                 -DGENERATOR=${CMAKE_SOURCE_DIR}/tools/make_pictures.py
                 -DOUT=${CMAKE_BINARY_DIR}/pictures-regenerated
                 -DREFERENCE=${CMAKE_SOURCE_DIR}/resources
                 -P ${CMAKE_SOURCE_DIR}/tools/pictures.cmake)
add_test(NAME native.pictures_check
         COMMAND ${QVKU_PYTHON} ${CMAKE_SOURCE_DIR}/tests/pictures/check_pictures.py ${CMAKE_SOURCE_DIR}/resources)
add_test(NAME native.pictures_checker_selftest
         COMMAND ${QVKU_PYTHON} ${CMAKE_SOURCE_DIR}/tests/pictures/check_pictures.py --self-test)
set_tests_properties(native.pictures_regenerate native.pictures_check native.pictures_checker_selftest
                     PROPERTIES TIMEOUT 120 LABELS pictures)
