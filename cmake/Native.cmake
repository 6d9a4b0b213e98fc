# The native build: the pure logic with its tests under AddressSanitizer and UBSan, and the
# libFuzzer targets. Needs clang for the fuzzers.
if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
  message(FATAL_ERROR "The native build wants clang (-DCMAKE_CXX_COMPILER=clang++) for libFuzzer")
endif()
add_compile_options(-Wall -Wextra -g -O1 -fno-omit-frame-pointer)
set(QVKU_SANITIZE -fsanitize=address,undefined -fno-sanitize-recover=all)

set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest "${CMAKE_BINARY_DIR}/_deps/googletest" EXCLUDE_FROM_ALL SYSTEM)
target_compile_options(gtest PRIVATE ${QVKU_SANITIZE})
target_compile_options(gtest_main PRIVATE ${QVKU_SANITIZE})

# Every file here builds without windows.h; the Windows modules beside them are thin shells.
set(QVKU_PURE_SOURCES
  ${CMAKE_SOURCE_DIR}/inspection/RegistryText.cpp
  ${CMAKE_SOURCE_DIR}/inspection/WindowsNaming.cpp
  ${CMAKE_SOURCE_DIR}/controller/NetFxDetection.cpp
  ${CMAKE_SOURCE_DIR}/controller/CommandLine.cpp
  ${CMAKE_SOURCE_DIR}/controller/InstallPlan.cpp
  ${CMAKE_SOURCE_DIR}/controller/InstallSequence.cpp
  ${CMAKE_SOURCE_DIR}/services/TickDelay.cpp
  ${CMAKE_SOURCE_DIR}/services/ChainerData.cpp
  ${CMAKE_SOURCE_DIR}/services/WorkFolderName.cpp
  ${CMAKE_SOURCE_DIR}/services/LogText.cpp
  ${CMAKE_SOURCE_DIR}/ui/framework/LayoutFormat.cpp
  ${CMAKE_SOURCE_DIR}/ui/framework/GifAnimation.cpp)
set(QVKU_PURE_INCLUDES ${CMAKE_SOURCE_DIR}/inspection ${CMAKE_SOURCE_DIR}/controller ${CMAKE_SOURCE_DIR}/services
                       ${CMAKE_SOURCE_DIR}/ui/framework)

# giflib natively is Debian's libgif-dev (headers in the default path); the Windows build makes its
# own from the pinned sources.
find_library(QVKU_NATIVE_GIF gif REQUIRED)

add_library(qv_pure STATIC ${QVKU_PURE_SOURCES})
target_include_directories(qv_pure PUBLIC ${QVKU_PURE_INCLUDES})
target_link_libraries(qv_pure PUBLIC ${QVKU_NATIVE_GIF})
target_compile_options(qv_pure PRIVATE ${QVKU_SANITIZE})

# The same sources with coverage for the fuzzers.
add_library(qv_pure_fuzz STATIC ${QVKU_PURE_SOURCES})
target_include_directories(qv_pure_fuzz PUBLIC ${QVKU_PURE_INCLUDES})
target_link_libraries(qv_pure_fuzz PUBLIC ${QVKU_NATIVE_GIF})
target_compile_options(qv_pure_fuzz PRIVATE -fsanitize=fuzzer-no-link,address,undefined)

add_subdirectory(tests/native "${CMAKE_BINARY_DIR}/native")
add_subdirectory(tests/fuzz "${CMAKE_BINARY_DIR}/fuzz")

# The picture generator's own check: it makes the same files again.
include(${CMAKE_SOURCE_DIR}/tools/pictures.cmake OPTIONAL)
