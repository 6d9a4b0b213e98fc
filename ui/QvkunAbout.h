// The About dialog: the program's name, version, credits, the publisher's web address as a
// link, and a note on the command line.
#pragma once
#include <windows.h>
#include <string>

#include "framework/Form.h"

class TForm2 : public Form {
public:
    HandlerTable Handlers();
    void FormActivate();
    void FormKeyDown(WPARAM key);
    void Label4Click();
    void Label4MouseMove();
    void Label4MouseLeave();
};

extern TForm2* Form2;

// Opens `url` with the program registered for HTML files. False when no browser command is
// registered; true otherwise, whether or not the browser then starts. A default value of
// another type than text throws std::runtime_error ("Invalid data type for ''").
bool OpenUrlInBrowser(const std::string& url);

// The program of a registered command: what stands between its first two double quotes, or
// nothing when it holds fewer than two.
std::string BrowserProgramPath(const std::string& command);

// The shell call OpenUrlInBrowser makes; tests put a recorder in its place.
using ShellOpenFn = HINSTANCE(WINAPI*)(HWND, LPCSTR, LPCSTR, LPCSTR, LPCSTR, INT);
extern ShellOpenFn ShellOpen;

// The English usage note of the memo.
extern const char kEnglishUsage[];
