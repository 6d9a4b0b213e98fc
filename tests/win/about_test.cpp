// The About dialog's link under Wine: the browser command read from the registry, the program cut
// out of it, the shell call, and the error box of a default value that is not text.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <functional>
#include <thread>
#include <vector>

#include "Application.h"
#include "Branding.h"
#include "Handles.h"
#include "QvkunAbout.h"
#include "TestSupport.h"

namespace {
const char kCommandKey[] = "htmlfile\\shell\\open\\command";
const char kOtherValue[] = "QvKuTestOther";

// The browser command of the prefix as the test found it, put back when the test ends.
class SavedBrowserCommand {
public:
    SavedBrowserCommand() {
        UniqueKey key;
        existed_ = RegOpenKeyExA(HKEY_CLASSES_ROOT, kCommandKey, 0, KEY_QUERY_VALUE, key.put()) == ERROR_SUCCESS;
        if (!existed_) return;
        DWORD size = 0;
        hadValue_ = RegQueryValueExA(key.get(), "", nullptr, &type_, nullptr, &size) == ERROR_SUCCESS;
        data_.resize(size);
        if (hadValue_ && size)
            RegQueryValueExA(key.get(), "", nullptr, &type_, reinterpret_cast<BYTE*>(&data_[0]), &size);
        data_.resize(size);
    }
    ~SavedBrowserCommand() {
        {
            UniqueKey key;
            if (RegCreateKeyExA(HKEY_CLASSES_ROOT, kCommandKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, key.put(), nullptr))
                return;
            RegDeleteValueA(key.get(), kOtherValue);
            if (hadValue_)
                RegSetValueExA(key.get(), "", 0, type_, reinterpret_cast<const BYTE*>(data_.data()), DWORD(data_.size()));
            else
                RegDeleteValueA(key.get(), "");
        }
        if (!existed_) RegDeleteKeyA(HKEY_CLASSES_ROOT, kCommandKey);
    }
    SavedBrowserCommand(const SavedBrowserCommand&) = delete;
    SavedBrowserCommand& operator=(const SavedBrowserCommand&) = delete;

private:
    bool existed_ = false, hadValue_ = false;
    DWORD type_ = 0;
    std::string data_;
};

void SetCommand(DWORD type, const std::string& bytes) {
    UniqueKey key;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CLASSES_ROOT, kCommandKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, key.put(), nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(RegSetValueExA(key.get(), "", 0, type, reinterpret_cast<const BYTE*>(bytes.data()), DWORD(bytes.size())),
              ERROR_SUCCESS);
}

// A text value as the registry stores it, with its terminating NUL.
std::string Sz(const std::string& text) { return text + '\0'; }

struct ShellCall {
    int count = 0;
    HWND owner = nullptr;
    std::string verb, file, parameters;
    bool folderGiven = false;
    int show = -1;
};
ShellCall recorded;

HINSTANCE WINAPI RecordShellCall(HWND owner, LPCSTR verb, LPCSTR file, LPCSTR parameters, LPCSTR folder, INT show) {
    ++recorded.count;
    recorded.owner = owner;
    recorded.verb = verb ? verb : "<null>";
    recorded.file = file ? file : "<null>";
    recorded.parameters = parameters ? parameters : "<null>";
    recorded.folderGiven = folder != nullptr;
    recorded.show = show;
    return reinterpret_cast<HINSTANCE>(33);
}

class Link : public ::testing::Test {
protected:
    void SetUp() override {
        recorded = ShellCall();
        ShellOpen = RecordShellCall;
    }
    void TearDown() override { ShellOpen = ShellExecuteA; }
    SavedBrowserCommand saved;
};

const char kUrl[] = "https://www.example.org/about?from=qvku&lang=en";
}  // namespace

TEST(BrowserProgramPath, IsWhatStandsBetweenTheFirstTwoQuotes) {
    const struct {
        const char* command;
        const char* program;
    } cases[] = {
        {"\"C:\\Program Files\\Web\\web.exe\" -nohome \"%1\"", "C:\\Program Files\\Web\\web.exe"},
        {"\"C:\\web.exe\"", "C:\\web.exe"},
        {"rundll32 \"C:\\web.dll\",Open \"%1\"", "C:\\web.dll"},
        {"\"\" \"C:\\web.exe\"", ""},
        {"C:\\web.exe %1", ""},
        {"\"C:\\web.exe %1", ""},
        {"C:\\web.exe \"%1", ""},
        {"", ""},
        {"\"", ""},
        {"\"\"", ""},
    };
    for (const auto& c : cases) EXPECT_EQ(BrowserProgramPath(c.command), c.program) << c.command;
}

TEST_F(Link, RegisteredCommandsAndWhatTheShellIsAskedToOpen) {
    const struct {
        const char* what;
        DWORD type;
        std::string data;
        bool result;
        const char* file;  // nullptr: no shell call
    } cases[] = {
        {"a quoted program with arguments", REG_SZ, Sz("\"C:\\Program Files\\Web\\web.exe\" -nohome \"%1\""), true,
         "C:\\Program Files\\Web\\web.exe"},
        {"an expandable text, taken as stored", REG_EXPAND_SZ, Sz("\"%ProgramFiles%\\Web\\web.exe\" \"%1\""), true,
         "%ProgramFiles%\\Web\\web.exe"},
        {"no quotes: an empty program, the call all the same", REG_SZ, Sz("C:\\Web\\web.exe %1"), true, ""},
        {"a single quote", REG_SZ, Sz("\"C:\\Web\\web.exe %1"), true, ""},
        {"cut at the first NUL", REG_SZ, std::string("\"C:\\a.exe\0\" tail", 15) + '\0', true, ""},
        {"without a terminating NUL", REG_SZ, "\"C:\\b.exe\" %1", true, "C:\\b.exe"},
        {"an empty text", REG_SZ, Sz(""), false, nullptr},
        {"a zero-length text", REG_SZ, "", false, nullptr},
        {"a zero-length value of another type", REG_BINARY, "", false, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        recorded = ShellCall();
        SetCommand(c.type, c.data);
        EXPECT_EQ(OpenUrlInBrowser(kUrl), c.result);
        if (!c.file) {
            EXPECT_EQ(recorded.count, 0);
            continue;
        }
        ASSERT_EQ(recorded.count, 1);
        EXPECT_EQ(recorded.owner, nullptr);
        EXPECT_EQ(recorded.verb, "open");
        EXPECT_EQ(recorded.file, c.file);
        EXPECT_EQ(recorded.parameters, kUrl) << "the URL unchanged and unquoted";
        EXPECT_FALSE(recorded.folderGiven);
        EXPECT_EQ(recorded.show, SW_SHOW);
    }
}

TEST_F(Link, NoCommandMeansFalseAndNoCall) {
    SetCommand(REG_SZ, Sz("\"C:\\web.exe\" \"%1\""));
    {
        UniqueKey key;
        ASSERT_EQ(RegOpenKeyExA(HKEY_CLASSES_ROOT, kCommandKey, 0, KEY_SET_VALUE, key.put()), ERROR_SUCCESS);
        RegSetValueExA(key.get(), kOtherValue, 0, REG_SZ, reinterpret_cast<const BYTE*>("\"C:\\x.exe\""), 11);
        ASSERT_EQ(RegDeleteValueA(key.get(), ""), ERROR_SUCCESS);
    }
    EXPECT_FALSE(OpenUrlInBrowser(kUrl)) << "a key without a default value";
    EXPECT_EQ(recorded.count, 0);

    {
        UniqueKey key;
        ASSERT_EQ(RegOpenKeyExA(HKEY_CLASSES_ROOT, kCommandKey, 0, KEY_SET_VALUE, key.put()), ERROR_SUCCESS);
        RegDeleteValueA(key.get(), kOtherValue);
    }
    ASSERT_EQ(RegDeleteKeyA(HKEY_CLASSES_ROOT, kCommandKey), ERROR_SUCCESS);
    EXPECT_FALSE(OpenUrlInBrowser(kUrl)) << "no key";
    EXPECT_EQ(recorded.count, 0);
}

TEST_F(Link, ValueOfAnotherTypeFailsAndReleasesTheKey) {
    const DWORD dword = 5;
    const unsigned long long qword = 5;
    const struct {
        const char* what;
        DWORD type;
        std::string data;
    } cases[] = {
        {"REG_DWORD", REG_DWORD, std::string(reinterpret_cast<const char*>(&dword), sizeof dword)},
        {"REG_QWORD", REG_QWORD, std::string(reinterpret_cast<const char*>(&qword), sizeof qword)},
        {"REG_BINARY", REG_BINARY, "\"C:\\web.exe\""},
        {"REG_MULTI_SZ", REG_MULTI_SZ, std::string("\"C:\\web.exe\"\0\0", 14)},
    };
    SetCommand(REG_DWORD, cases[0].data);
    try {
        OpenUrlInBrowser(kUrl);  // the registry's own handles are made on first use
    } catch (const std::exception&) {
    }
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        recorded = ShellCall();
        SetCommand(c.type, c.data);
        const int handles = CountOwnHandles();
        std::string message;
        try {
            OpenUrlInBrowser(kUrl);
        } catch (const std::runtime_error& e) {
            message = e.what();
        }
        EXPECT_EQ(message, "Invalid data type for ''");
        EXPECT_EQ(CountOwnHandles(), handles) << "the key stays open";
        EXPECT_EQ(recorded.count, 0);
    }
}

namespace {
std::vector<std::vector<std::string>> BrowserStarts(const std::string& log) {
    std::vector<std::vector<std::string>> starts;
    if (!FileExists(log)) return starts;
    const std::string bytes = ReadFileBytes(log);
    auto unhex = [](const std::string& hex) {
        std::string out;
        for (size_t i = 0; i + 1 < hex.size(); i += 2) out += char(std::stoi(hex.substr(i, 2), nullptr, 16));
        return out;
    };
    size_t begin = 0;
    while (begin < bytes.size()) {
        size_t end = bytes.find('\n', begin);
        if (end == std::string::npos) end = bytes.size();
        const std::string line = bytes.substr(begin, end - begin);
        begin = end + 1;
        const size_t args = line.find(" args=");
        if (line.compare(0, 8, "cmdline=") || args == std::string::npos) continue;
        std::vector<std::string> start{unhex(line.substr(8, args - 8))};
        std::string list = line.substr(args + 6);
        for (size_t from = 0; !list.empty() && from <= list.size();) {
            size_t comma = list.find(',', from);
            if (comma == std::string::npos) comma = list.size();
            start.push_back(unhex(list.substr(from, comma - from)));
            from = comma + 1;
        }
        starts.push_back(start);
    }
    return starts;
}

bool WaitFor(const std::function<bool()>& done, DWORD ms) {
    const DWORD start = GetTickCount();
    while (!done()) {
        if (GetTickCount() - start > ms) return false;
        Sleep(50);
    }
    return true;
}

// The stand-in browser, logging to a file of the test's own.
class RealShell : public ::testing::Test {
protected:
    void SetUp() override {
        ShellOpen = ShellExecuteA;
        browser = PathFromEnv("QVKU_BROWSER");
        log = dir / "browser.log";
        SetEnvironmentVariableA("QVKU_BROWSER_LOG", log.c_str());
    }
    void TearDown() override { SetEnvironmentVariableA("QVKU_BROWSER_LOG", nullptr); }
    SavedBrowserCommand saved;
    ScratchDir dir;
    std::string browser, log;
};
}  // namespace

TEST_F(RealShell, QuotedProgramStartsWithTheUrlAsItsOnlyParameter) {
    SetCommand(REG_SZ, Sz("\"" + browser + "\" -nohome \"%1\""));
    EXPECT_TRUE(OpenUrlInBrowser(kUrl));
    ASSERT_TRUE(WaitFor([&] { return !BrowserStarts(log).empty(); }, 20000)) << "the browser never started";
    Sleep(500);
    const auto starts = BrowserStarts(log);
    ASSERT_EQ(starts.size(), 1u);
    EXPECT_EQ(std::vector<std::string>(starts[0].begin() + 1, starts[0].end()), std::vector<std::string>{kUrl});
    const std::string& line = starts[0][0];
    ASSERT_GE(line.size(), sizeof kUrl);
    EXPECT_EQ(line.substr(line.size() - (sizeof kUrl - 1)), kUrl) << line;
    EXPECT_EQ(line.find("-nohome"), std::string::npos) << "the registered arguments are not used: " << line;
}

TEST_F(RealShell, UnquotedCommandStartsNothingOfItsOwnButIsTrue) {
    SetCommand(REG_SZ, Sz(browser + " %1"));
    EXPECT_TRUE(OpenUrlInBrowser(kUrl));
    Sleep(2000);
    EXPECT_TRUE(BrowserStarts(log).empty());
}

namespace {
struct BoxSeen {
    std::string caption, text;
    bool ownedByApplication = false, errorIcon = false;
};

BOOL CALLBACK FindOwnBox(HWND hwnd, LPARAM found) {
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    char cls[16] = {};
    GetClassNameA(hwnd, cls, sizeof cls);
    if (pid == GetCurrentProcessId() && !strcmp(cls, "#32770") && IsWindowVisible(hwnd)) {
        *reinterpret_cast<HWND*>(found) = hwnd;
        return FALSE;
    }
    return TRUE;
}

std::string TextOf(HWND hwnd) {
    char buffer[1024] = {};
    return std::string(buffer, size_t(GetWindowTextA(hwnd, buffer, sizeof buffer)));
}

// Reads the first message box of this process that shows up and presses its OK button.
BoxSeen AnswerBox(std::atomic<bool>& stop) {
    BoxSeen seen;
    HWND box = nullptr;
    while (!stop) {
        box = nullptr;
        EnumWindows(FindOwnBox, LPARAM(&box));
        if (box && !TextOf(GetDlgItem(box, 0xFFFF)).empty()) break;
        Sleep(50);
    }
    if (!box) return seen;
    seen.caption = TextOf(box);
    seen.text = TextOf(GetDlgItem(box, 0xFFFF));
    seen.ownedByApplication = GetWindow(box, GW_OWNER) == Application.Handle();
    // The icon's control: 0x14 on Windows, 0x440 in Wine's box.
    HWND icon = GetDlgItem(box, 0x14) ? GetDlgItem(box, 0x14) : GetDlgItem(box, 0x440);
    HICON shown = reinterpret_cast<HICON>(SendMessageA(icon, STM_GETICON, 0, 0));
    seen.errorIcon = shown && shown == LoadIconA(nullptr, IDI_ERROR);
    PostMessageA(box, WM_COMMAND, IDOK, 0);
    return seen;
}
}  // namespace

TEST_F(RealShell, ClickOnTheLinkOpensThePublishersSite) {
    SetCommand(REG_SZ, Sz("\"" + browser + "\" \"%1\""));
    TForm2 dialog;
    dialog.Label4Click();
    ASSERT_TRUE(WaitFor([&] { return !BrowserStarts(log).empty(); }, 20000)) << "the browser never started";
    const auto starts = BrowserStarts(log);
    EXPECT_EQ(std::vector<std::string>(starts[0].begin() + 1, starts[0].end()),
              std::vector<std::string>{QVKU_PUBLISHER_URL});
}

TEST_F(RealShell, ClickWithAValueOfAnotherTypeShowsTheErrorBoxAndStartsNothing) {
    if (!Application.Handle()) Application.Initialize(GetModuleHandleA(nullptr));
    const DWORD value = 1;
    SetCommand(REG_DWORD, std::string(reinterpret_cast<const char*>(&value), sizeof value));
    std::atomic<bool> stop{false};
    BoxSeen seen;
    std::thread answering([&] { seen = AnswerBox(stop); });
    TForm2 dialog;
    dialog.Label4Click();  // returns once the box is answered
    stop = true;
    answering.join();
    EXPECT_EQ(seen.caption, "about_test") << "the executable's name up to its first full stop";
    EXPECT_EQ(seen.text, "Invalid data type for ''.");
    EXPECT_TRUE(seen.ownedByApplication);
    EXPECT_TRUE(seen.errorIcon);
    Sleep(1000);
    EXPECT_TRUE(BrowserStarts(log).empty());
}
