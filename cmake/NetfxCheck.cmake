# Checks a folder of Microsoft installers before the build packs them: both names present, both
# at their published sizes unless any size is accepted. Included by the build, and runnable on
# its own for the tests: cmake -DNETFX_DIR=<dir> [-DNETFX_ANY_SIZE=ON] -P NetfxCheck.cmake
set(QVKU_ENU_NAME NDP452-KB2901907-x86-x64-AllOS-ENU.exe)
set(QVKU_CHS_NAME NDP452-KB2901907-x86-x64-AllOS-CHS.exe)
set(QVKU_ENU_SIZE 69999448)
set(QVKU_CHS_SIZE 6724704)

function(qvku_check_netfx_dir dir any_size)
  foreach(pair "${QVKU_ENU_NAME};${QVKU_ENU_SIZE}" "${QVKU_CHS_NAME};${QVKU_CHS_SIZE}")
    list(GET pair 0 name)
    list(GET pair 1 size)
    set(file "${dir}/${name}")
    if(NOT EXISTS "${file}")
      message(FATAL_ERROR "NETFX_DIR=${dir} holds no ${name}. It must hold both "
                          "${QVKU_ENU_NAME} and ${QVKU_CHS_NAME}.")
    endif()
    file(SIZE "${file}" actual)
    if(NOT actual EQUAL size AND NOT any_size)
      message(FATAL_ERROR "${file} is ${actual} bytes; the published installer is ${size} bytes. "
                          "Use the published file, or -DNETFX_ANY_SIZE=ON to accept this one.")
    endif()
  endforeach()
endfunction()

if(CMAKE_SCRIPT_MODE_FILE STREQUAL CMAKE_CURRENT_LIST_FILE)
  qvku_check_netfx_dir("${NETFX_DIR}" "${NETFX_ANY_SIZE}")
  message(STATUS "NETFX_DIR=${NETFX_DIR} holds both installers")
endif()
