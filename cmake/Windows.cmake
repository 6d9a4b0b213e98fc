# Compiler and linker settings of every Windows target.
add_compile_options(-Wall -Wextra -fexec-charset=GBK)
add_compile_definitions(WINVER=0x0601 _WIN32_WINNT=0x0601 STRICT)
# Static: the program imports only system DLLs. The 4 KiB file alignment lets Wine (and Windows)
# map the image instead of copying it, so the large payload resource costs no private memory.
add_link_options(-static -static-libgcc -static-libstdc++ -Wl,--file-alignment,4096)

set(QVKU_WINE_ROOT "${CMAKE_BINARY_DIR}/wine" CACHE PATH "Where the test prefixes live")
configure_file("${CMAKE_SOURCE_DIR}/tests/wine-run.sh.in" "${CMAKE_BINARY_DIR}/wine-run" @ONLY
               FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(QVKU_WINE_RUN "${CMAKE_BINARY_DIR}/wine-run")
set(CMAKE_CROSSCOMPILING_EMULATOR "${QVKU_WINE_RUN}")
