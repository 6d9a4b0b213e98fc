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
// registered; true otherwise, whether or not the browser then starts.
bool OpenUrlInBrowser(const std::string& url);

// The English usage note of the memo.
extern const char kEnglishUsage[];
