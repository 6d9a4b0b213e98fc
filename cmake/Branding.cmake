# The publisher's texts. Neutral defaults; a publisher passes its own with -D. Values are UTF-8;
# the build stores them in the system code page of the Chinese interface (GBK).
set(QVKU_PUBLISHER_CAPTION "Vorlix" CACHE STRING "Short publisher name: window caption, English banner, message box caption")
set(QVKU_PUBLISHER_BANNER "沃立克斯_www.example.com" CACHE STRING "Publisher banner: Chinese name, underscore, web address")
set(QVKU_PUBLISHER_WEB_TEXT "www.example.com" CACHE STRING "Web address shown in the About dialog")
set(QVKU_PUBLISHER_URL "https://www.example.com/" CACHE STRING "Web site the About dialog's link opens")
set(QVKU_CREDITS_CN "程序设计：Vorlix  界面设计：Vorlix" CACHE STRING "Credits line, Chinese form")
set(QVKU_CREDITS_EN "Programming: Vorlix  Design: Vorlix" CACHE STRING "Credits line, English form")
# Version-block strings; kept to ASCII, which the resource compiler stores alike in any code page.
set(QVKU_VERSION_COMPANY "Vorlix" CACHE STRING "")
set(QVKU_VERSION_PRODUCT "Vorlix .NET Framework 4.5.2 Setup" CACHE STRING "")
set(QVKU_VERSION_DESCRIPTION ".NET Framework 4.5.2 installation tool" CACHE STRING "")
set(QVKU_VERSION_COPYRIGHT "Copyright (C) Vorlix" CACHE STRING "")
set(QVKU_VERSION_TRADEMARKS "Vorlix" CACHE STRING "")
set(QVKU_VERSION_COMMENTS "Installs the .NET Framework 4.5.2 runtime and its Simplified Chinese language pack" CACHE STRING "")

foreach(v QVKU_VERSION_COMPANY QVKU_VERSION_PRODUCT QVKU_VERSION_DESCRIPTION QVKU_VERSION_COPYRIGHT
          QVKU_VERSION_TRADEMARKS QVKU_VERSION_COMMENTS)
  if(NOT "${${v}}" MATCHES "^[ -~]*$")
    message(FATAL_ERROR "${v} must be printable ASCII")
  endif()
endforeach()

# The texts the program code uses, as C string literals.
function(qvku_c_literal out value)
  string(REPLACE "\\" "\\\\" value "${value}")
  string(REPLACE "\"" "\\\"" value "${value}")
  set(${out} "\"${value}\"" PARENT_SCOPE)
endfunction()
qvku_c_literal(QVKU_C_PUBLISHER_CAPTION "${QVKU_PUBLISHER_CAPTION}")
qvku_c_literal(QVKU_C_PUBLISHER_BANNER "${QVKU_PUBLISHER_BANNER}")
qvku_c_literal(QVKU_C_PUBLISHER_URL "${QVKU_PUBLISHER_URL}")
qvku_c_literal(QVKU_C_CREDITS_EN "${QVKU_CREDITS_EN}")
configure_file("${CMAKE_SOURCE_DIR}/resources/Branding.h.in" "${CMAKE_BINARY_DIR}/generated/Branding.h" @ONLY)
set(QVKU_GENERATED_INCLUDE "${CMAKE_BINARY_DIR}/generated")
