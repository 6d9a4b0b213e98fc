# The libraries and the extractor the program is built with, from pinned sources, fetched and
# built once inside the build tree and reused by later builds.
include(ExternalProject)
set(QVKU_DEPS_DIR "${CMAKE_BINARY_DIR}/_deps")
file(MAKE_DIRECTORY "${QVKU_DEPS_DIR}/src")

# Fetches a Debian source package at a fixed version (patches applied) and checks the upstream
# tarball against its pinned checksum.
function(qvku_debian_source package version orig sha256 dirname out)
  set(src "${QVKU_DEPS_DIR}/src")
  if(NOT EXISTS "${src}/${dirname}/.qvku-verified")
    message(STATUS "Fetching the Debian source package ${package} ${version}")
    execute_process(COMMAND apt-get source -q "${package}=${version}"
                    WORKING_DIRECTORY "${src}" RESULT_VARIABLE rc OUTPUT_QUIET ERROR_VARIABLE err)
    if(NOT rc EQUAL 0 OR NOT EXISTS "${src}/${orig}")
      message(FATAL_ERROR "Could not fetch the source package ${package}=${version}: ${err}\n"
                          "tools/setup.sh adds the deb-src entry it needs.")
    endif()
    file(SHA256 "${src}/${orig}" actual)
    if(NOT actual STREQUAL sha256)
      message(FATAL_ERROR "${orig} has checksum ${actual}, expected ${sha256}")
    endif()
    file(TOUCH "${src}/${dirname}/.qvku-verified")
  endif()
  set(${out} "${src}/${dirname}" PARENT_SCOPE)
endfunction()

# libjpeg-turbo, with its own CMake build.
qvku_debian_source(libjpeg-turbo 1:2.1.5-2 libjpeg-turbo_2.1.5.orig.tar.gz
  254f3642b04e309fee775123133c6464181addc150499561020312ec61c1bf7c libjpeg-turbo-2.1.5 JPEG_SRC)
set(JPEG_PREFIX "${QVKU_DEPS_DIR}/jpeg")
file(MAKE_DIRECTORY "${JPEG_PREFIX}/include")
ExternalProject_Add(jpeg_build
  SOURCE_DIR "${JPEG_SRC}"
  BINARY_DIR "${QVKU_DEPS_DIR}/jpeg-build"
  INSTALL_DIR "${JPEG_PREFIX}"
  CMAKE_ARGS -DCMAKE_TOOLCHAIN_FILE=${CMAKE_TOOLCHAIN_FILE} -DCMAKE_INSTALL_PREFIX=<INSTALL_DIR>
             -DCMAKE_BUILD_TYPE=Release -DENABLE_SHARED=OFF -DENABLE_STATIC=ON -DWITH_TURBOJPEG=OFF
             -DWITH_SIMD=OFF -DWITH_JAVA=OFF -DCMAKE_INSTALL_LIBDIR=<INSTALL_DIR>/lib
             -DCMAKE_INSTALL_INCLUDEDIR=<INSTALL_DIR>/include
  BUILD_BYPRODUCTS "${JPEG_PREFIX}/lib/libjpeg.a"
  UPDATE_COMMAND "" LOG_CONFIGURE ON LOG_BUILD ON LOG_INSTALL ON)
add_library(jpeg STATIC IMPORTED GLOBAL)
set_target_properties(jpeg PROPERTIES IMPORTED_LOCATION "${JPEG_PREFIX}/lib/libjpeg.a"
                                      INTERFACE_INCLUDE_DIRECTORIES "${JPEG_PREFIX}/include")
add_dependencies(jpeg jpeg_build)

# giflib: the library is seven C files.
qvku_debian_source(giflib 5.2.1-2.5+deb12u1 giflib_5.2.1.orig.tar.gz
  31da5562f44c5f15d63340a09a4fd62b48c45620cd302f77a6d9acf0077879bd giflib-5.2.1 GIF_SRC)
add_library(gif STATIC
  ${GIF_SRC}/dgif_lib.c ${GIF_SRC}/egif_lib.c ${GIF_SRC}/gifalloc.c ${GIF_SRC}/gif_err.c
  ${GIF_SRC}/gif_hash.c ${GIF_SRC}/openbsd-reallocarray.c ${GIF_SRC}/quantize.c)
target_include_directories(gif SYSTEM PUBLIC "${GIF_SRC}")
target_compile_options(gif PRIVATE -w)

# GoogleTest from the sources Debian's googletest package ships.
set(QVKU_GTEST_SRC /usr/src/googletest CACHE PATH "GoogleTest sources")
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
add_subdirectory("${QVKU_GTEST_SRC}" "${QVKU_DEPS_DIR}/googletest" EXCLUDE_FROM_ALL SYSTEM)

# The carried extractor: 7za of the npm package 7zip-bin 5.2.0, for the build's architecture
# (win/ia32 for the program; win/x64 for the x86_64 build that runs the tests under wine64).
if(CMAKE_SYSTEM_PROCESSOR STREQUAL "x86_64")
  set(QVKU_7ZA_ARCH x64)
  set(QVKU_7ZA_SHA256 b0cfdeaf429f5cc53f85123dd8f5a5feb92c19d31aa34df257edf9a26be05f95)
elseif(CMAKE_SYSTEM_PROCESSOR MATCHES "^i[3-6]86$")
  set(QVKU_7ZA_ARCH ia32)
  set(QVKU_7ZA_SHA256 31fd52f8996986623cf52c3b4d0f7ac74a9dec63fc16c902cef673eed550c435)
else()
  message(FATAL_ERROR "No carried extractor for the processor ${CMAKE_SYSTEM_PROCESSOR}")
endif()
set(QVKU_7ZA "${QVKU_DEPS_DIR}/7za/7za.exe")
if(NOT EXISTS "${QVKU_7ZA}")
  message(STATUS "Fetching 7zip-bin@5.2.0 from the npm registry")
  set(npmdir "${QVKU_DEPS_DIR}/npm")
  file(MAKE_DIRECTORY "${npmdir}")
  execute_process(COMMAND npm pack 7zip-bin@5.2.0 --cache "${npmdir}/cache" --silent
                  WORKING_DIRECTORY "${npmdir}" RESULT_VARIABLE rc ERROR_VARIABLE err OUTPUT_QUIET)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "npm pack 7zip-bin@5.2.0 failed: ${err}")
  endif()
  set(member "package/win/${QVKU_7ZA_ARCH}/7za.exe")
  file(ARCHIVE_EXTRACT INPUT "${npmdir}/7zip-bin-5.2.0.tgz" DESTINATION "${npmdir}" PATTERNS "${member}")
  file(SHA256 "${npmdir}/${member}" actual)
  if(NOT actual STREQUAL QVKU_7ZA_SHA256)
    message(FATAL_ERROR "${member} from 7zip-bin@5.2.0 has checksum ${actual}, expected ${QVKU_7ZA_SHA256}")
  endif()
  file(COPY "${npmdir}/${member}" DESTINATION "${QVKU_DEPS_DIR}/7za")
endif()
