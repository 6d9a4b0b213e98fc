#include "QvkunAbout.h"

#include <shellapi.h>

#include <stdexcept>

#include "../services/UiLanguage.h"
#include "../services/VersionText.h"
#include "Branding.h"
#include "Func_Reg.h"
#include "framework/Application.h"

TForm2* Form2 = nullptr;
ShellOpenFn ShellOpen = ShellExecuteA;

// Each sentence is followed by LF CR LF CR, as the note has always been stored.
const char kEnglishUsage[] =
    "1, the intelligent recognition of running environment, system deployment will automatically install and delete"
    "\n\r\n\r"
    "2, the program command line: (the deployment environment do not need to add the command line parameters)"
    "\n\r\n\r"
    "-S silent operation\n\r\n\r"
    "-A automatic installation\n\r\n\r"
    "-D has finished running self deleting\n\r\n\r";

namespace {
// In the order they are put in.
const ElementText kEnglish[] = {
    {"GroupBox1", "About Tool"},
    {"Label1", "Library file installation tool"},
    {"Label2", QVKU_CREDITS_EN},
    {"Label3", "Copyright:"},
    {"Label5", "Instructions:"},
};
}  // namespace

HandlerTable TForm2::Handlers() {
    return {
        {"FormActivate", [this] { FormActivate(); }},
        {"FormKeyDown", [this] { FormKeyDown(KeyCode()); }},
        {"Label4Click", [this] { Label4Click(); }},
        {"Label4MouseMove", [this] { Label4MouseMove(); }},
        {"Label4MouseLeave", [this] { Label4MouseLeave(); }},
    };
}

void TForm2::FormActivate() {
    if (GetUiLanguage() != 1) {
        SetTexts(kEnglish, sizeof kEnglish / sizeof kEnglish[0]);
        // Emptied and filled anew at every activation: the note as one line, so the memo holds
        // it and one line break.
        SetMemoText("Memo1", std::string(kEnglishUsage) + "\r\n");
    }
    SetText("Label6", GetExeVersionText());
}

// Whatever has the focus and whatever modifiers are held; the key still goes on to the
// focused element.
void TForm2::FormKeyDown(WPARAM key) {
    if (key == VK_ESCAPE) Close();
}

void TForm2::Label4MouseMove() { SetTextColor("Label4", RGB(255, 0, 0)); }
void TForm2::Label4MouseLeave() { SetTextColor("Label4", RGB(0, 0, 0)); }

namespace {
// The path counts from the root of HKEY_CLASSES_ROOT.
const char kBrowserCommandKey[] = "HKEY_CLASSES_ROOT\\htmlfile\\shell\\open\\command";

// The default value of the key, as text up to its first NUL; empty when the key or the value is
// missing or the value is empty.
std::string ReadBrowserCommand() {
    DWORD type = 0;
    std::string data;
    if (!RegReadSharedValue(kBrowserCommandKey, "", type, data) || data.empty()) return "";
    if (type != REG_SZ && type != REG_EXPAND_SZ) throw std::runtime_error("Invalid data type for ''");
    return data.substr(0, data.find('\0'));
}
}  // namespace

std::string BrowserProgramPath(const std::string& command) {
    const std::string::size_type open = command.find('"');
    if (open == std::string::npos) return "";
    const std::string::size_type close = command.find('"', open + 1);
    if (close == std::string::npos) return "";
    return command.substr(open + 1, close - open - 1);
}

bool OpenUrlInBrowser(const std::string& url) {
    const std::string command = ReadBrowserCommand();
    if (command.empty()) return false;
    // The registered arguments (a placeholder for the document and the like) are not used: the
    // URL is the only parameter, and what the shell makes of it is not examined.
    ShellOpen(nullptr, "open", BrowserProgramPath(command).c_str(), url.c_str(), nullptr, SW_SHOW);
    return true;
}

void TForm2::Label4Click() {
    try {
        OpenUrlInBrowser(QVKU_PUBLISHER_URL);
    } catch (const std::exception& e) {
        Application.ShowError(e.what());
    }
}
