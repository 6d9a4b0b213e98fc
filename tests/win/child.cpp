// A child program for the process tests:
//   child exit N              ends with N at once
//   child sleep MS N          ends with N after MS milliseconds
//   child console FILE        writes "console=<0|1> visible=<0|1>" to FILE and ends with 0
//   child cwd FILE            writes its current directory to FILE
//   child mark MS FILE        after MS milliseconds writes "done" to FILE and ends with 0
//   child loadlib NAME        loads the DLL NAME by that name and ends with 0 when it loaded
//   child restricted-loadlib NAME   the same after the installer's own restriction of the search
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "SystemPrograms.h"

int main(int argc, char** argv) {
    if (argc >= 3 && !std::strcmp(argv[1], "exit")) return std::atoi(argv[2]);
    if (argc >= 4 && !std::strcmp(argv[1], "sleep")) {
        Sleep(DWORD(std::atoi(argv[2])));
        return std::atoi(argv[3]);
    }
    if (argc >= 3 && !std::strcmp(argv[1], "console")) {
        HWND console = GetConsoleWindow();
        FILE* f = std::fopen(argv[2], "w");
        if (!f) return 2;
        std::fprintf(f, "console=%d visible=%d", console ? 1 : 0, console && IsWindowVisible(console) ? 1 : 0);
        std::fclose(f);
        return 0;
    }
    if (argc >= 3 && !std::strcmp(argv[1], "cwd")) {
        char dir[MAX_PATH] = {};
        GetCurrentDirectoryA(MAX_PATH, dir);
        FILE* f = std::fopen(argv[2], "w");
        if (!f) return 2;
        std::fputs(dir, f);
        std::fclose(f);
        return 0;
    }
    if (argc >= 4 && !std::strcmp(argv[1], "mark")) {
        Sleep(DWORD(std::atoi(argv[2])));
        FILE* f = std::fopen(argv[3], "w");
        if (!f) return 2;
        std::fputs("done", f);
        std::fclose(f);
        return 0;
    }
    if (argc >= 3 && !std::strcmp(argv[1], "loadlib")) return LoadLibraryA(argv[2]) ? 0 : 1;
    if (argc >= 3 && !std::strcmp(argv[1], "restricted-loadlib")) {
        RestrictDllSearchToSystem();
        return LoadLibraryA(argv[2]) ? 0 : 1;
    }
    return 99;
}
