# Authenticode signing of the finished installer, when a certificate is given: Windows' elevation
# prompt then names the publisher, and policies can allow the program by its publisher.
set(QVKU_SIGN_PKCS12 "" CACHE FILEPATH
    "PKCS#12 file with the code-signing certificate, its chain and key; empty: the installer is not signed")
set(QVKU_SIGN_PASSWORD_ENV "QVKU_SIGN_PASSWORD" CACHE STRING
    "Name of the environment variable that holds the PKCS#12 file's password while the build runs")
set(QVKU_SIGN_TIMESTAMP_URL "" CACHE STRING "RFC 3161 time-stamp server for the signature; empty: no time stamp")

if(QVKU_SIGN_PKCS12)
  find_program(QVKU_OSSLSIGNCODE osslsigncode REQUIRED)
  if(NOT EXISTS "${QVKU_SIGN_PKCS12}" OR IS_DIRECTORY "${QVKU_SIGN_PKCS12}")
    message(FATAL_ERROR "QVKU_SIGN_PKCS12=${QVKU_SIGN_PKCS12} is no file")
  endif()
  if(NOT QVKU_SIGN_PASSWORD_ENV MATCHES "^[A-Za-z_][A-Za-z0-9_]*$")
    message(FATAL_ERROR "QVKU_SIGN_PASSWORD_ENV must name an environment variable, not ${QVKU_SIGN_PASSWORD_ENV}")
  endif()
  set(timestamp "${QVKU_SIGN_TIMESTAMP_URL}")
  if(NOT timestamp)
    set(timestamp "none")
  endif()
  message(STATUS "Signing: with ${QVKU_SIGN_PKCS12}, its password from \$${QVKU_SIGN_PASSWORD_ENV} at build "
                 "time, time stamp: ${timestamp}")
else()
  message(STATUS "Signing: none")
endif()

# Signs the target's file as the last step of its link, so that a change of the signing options
# links and signs again (or leaves it unsigned); the certificate file is a link dependency, so
# that a new certificate under the same name signs again too.
function(qvku_sign_installer target)
  if(NOT QVKU_SIGN_PKCS12)
    return()
  endif()
  set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS "${QVKU_SIGN_PKCS12}")
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND ${CMAKE_COMMAND} -E env "QVKU_OSSLSIGNCODE=${QVKU_OSSLSIGNCODE}"
            /bin/bash "${CMAKE_SOURCE_DIR}/tools/sign.sh" "$<TARGET_FILE:${target}>" "${QVKU_SIGN_PKCS12}"
            "${QVKU_SIGN_PASSWORD_ENV}" "${QVKU_VERSION_PRODUCT}" "${QVKU_PUBLISHER_URL}" ${QVKU_SIGN_TIMESTAMP_URL}
    COMMENT "Signing ${target}" VERBATIM)
endfunction()
