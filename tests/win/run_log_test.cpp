// The run log against the real file system of the Wine prefix: its bytes, its name, names that
// someone else has taken first (files, folders, Linux links made in the prefix's temp folder),
// and a temp folder that cannot be written.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "RunLog.h"
#include "TestSupport.h"

namespace {
const LogTime kStart = [] {
    LogTime t;
    t.year = 2026, t.month = 12, t.day = 10, t.hour = 13, t.minute = 53, t.second = 17, t.millisecond = 42;
    return t;
}();

// Sets TMP and TEMP for this process, which GetTempPathA reads first, and puts them back.
class TempFolderVariables {
public:
    explicit TempFolderVariables(const std::string& folder) {
        for (const char* name : {"TMP", "TEMP"}) {
            char value[32768];
            DWORD length = GetEnvironmentVariableA(name, value, sizeof value);
            saved_.push_back({name, length > 0 && length < sizeof value, std::string(value, length < sizeof value ? length : 0)});
            SetEnvironmentVariableA(name, folder.c_str());
        }
    }
    ~TempFolderVariables() {
        for (const Saved& s : saved_) SetEnvironmentVariableA(s.name, s.had ? s.value.c_str() : nullptr);
    }

private:
    struct Saved {
        const char* name;
        bool had;
        std::string value;
    };
    std::vector<Saved> saved_;
};

std::vector<std::string> NamesIn(const std::string& folder) {
    std::vector<std::string> names;
    WIN32_FIND_DATAA found;
    HANDLE find = FindFirstFileA((folder + "\\*").c_str(), &found);
    if (find == INVALID_HANDLE_VALUE) return names;
    do {
        std::string name = found.cFileName;
        if (name != "." && name != "..") names.push_back(name);
    } while (FindNextFileA(find, &found));
    FindClose(find);
    return names;
}

// Wine shows the Linux file system as drive Z: and tells a Windows path's Linux one.
std::string UnixPath(const std::string& windowsPath) {
    using ToUnixFn = char*(CDECL*)(const WCHAR*);
    auto toUnix = reinterpret_cast<ToUnixFn>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name")));
    if (!toUnix) return "";
    WCHAR wide[MAX_PATH];
    if (!MultiByteToWideChar(CP_ACP, 0, windowsPath.c_str(), -1, wide, MAX_PATH)) return "";
    char* unixPath = toUnix(wide);
    if (!unixPath) return "";
    std::string path = unixPath;
    HeapFree(GetProcessHeap(), 0, unixPath);
    return path;
}

// Runs a Linux shell command. Wine starts a Linux program as it starts any other, but hands back
// no process to wait for: the command leaves its exit status in a file of its own, which is
// waited for instead. False when the command failed or never finished.
bool RunLinuxShell(const std::string& command, const std::string& statusWindowsPath) {
    const std::string status = UnixPath(statusWindowsPath);
    if (status.empty() || command.find('"') != std::string::npos) return false;
    std::string line = "/bin/sh -c \"" + command + "; echo $? > '" + status + "'\"";
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessA("Z:\\bin\\sh", &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
        return false;
    if (process.hThread) CloseHandle(process.hThread);
    if (process.hProcess) CloseHandle(process.hProcess);
    for (int waited = 0; waited < 30000; waited += 20) {
        if (FileExists(statusWindowsPath)) {
            Sleep(20);  // the shell may still be writing the one line
            std::string code = ReadFileBytes(statusWindowsPath);
            DeleteFileA(statusWindowsPath.c_str());
            return code == "0\n";
        }
        Sleep(20);
    }
    return false;
}

// A real Linux symbolic link at `linkPath` (a Windows path) pointing to the Linux path `target`,
// made by Linux's ln and removed by Linux's rm: Wine would follow the link, and remove the folder
// it points to instead of the link itself.
class LinuxLink {
public:
    LinuxLink(const std::string& target, const std::string& linkPath)
        : link_(UnixPath(linkPath)), status_(linkPath + ".status") {
        made_ = !link_.empty() && target.find('\'') == std::string::npos &&
                link_.find('\'') == std::string::npos &&
                RunLinuxShell("ln -s '" + target + "' '" + link_ + "'", status_);
    }
    ~LinuxLink() {
        if (made_) RunLinuxShell("rm -f '" + link_ + "'", status_);
    }
    LinuxLink(const LinuxLink&) = delete;
    LinuxLink& operator=(const LinuxLink&) = delete;
    bool made() const { return made_; }

private:
    std::string link_, status_;
    bool made_ = false;
};

std::string Bom() { return std::string(kUtf8Bom, kUtf8BomSize); }

// "HH:MM:SS.mmm " at the start of a line, as milliseconds of the day; -1 when it is not that.
long LineTime(const std::string& line) {
    unsigned h, m, s, ms;
    char space;
    if (line.size() < 13 || std::sscanf(line.c_str(), "%2u:%2u:%2u.%3u%c", &h, &m, &s, &ms, &space) != 5 ||
        line[2] != ':' || line[5] != ':' || line[8] != '.' || space != ' ')
        return -1;
    return long(((h * 60 + m) * 60 + s) * 1000 + ms);
}

long MsOfDay(const SYSTEMTIME& t) { return long(((t.wHour * 60 + t.wMinute) * 60 + t.wSecond) * 1000 + t.wMilliseconds); }

std::string Stamp(const SYSTEMTIME& t) {
    char text[32];
    std::snprintf(text, sizeof text, "%04u%02u%02u_%02u%02u%02u", t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute,
                  t.wSecond);
    return text;
}

std::vector<std::string> SplitCrLf(const std::string& text) {
    std::vector<std::string> lines;
    std::string::size_type from = 0, at;
    while ((at = text.find("\r\n", from)) != std::string::npos) {
        lines.push_back(text.substr(from, at - from));
        from = at + 2;
    }
    if (from < text.size()) lines.push_back(text.substr(from));
    return lines;
}
}  // namespace

TEST(RunLog, NewFileInTheTempFolderOfTheAccount) {
    ScratchDir temp;
    TempFolderVariables variables(temp.path());
    EXPECT_EQ(LogFolder(), temp.path() + "\\");

    SYSTEMTIME before, after;
    GetLocalTime(&before);
    RunLog log;
    ASSERT_TRUE(log.Open("QvKuTest"));
    log.Line("first event");
    log.Line("two\r\nlines");
    log.Line("");
    GetLocalTime(&after);
    ASSERT_TRUE(log.IsOpen());

    // QvKuTest_YYYYMMDD_HHMMSS.log, stamped with the start.
    const std::string folder = temp.path() + "\\";
    ASSERT_EQ(log.Path().substr(0, folder.size()), folder);
    std::string name = log.Path().substr(folder.size());
    EXPECT_EQ(NamesIn(temp.path()), std::vector<std::string>{name});
    ASSERT_EQ(name.size(), std::string("QvKuTest_20261210_135317.log").size()) << name;
    EXPECT_EQ(name.substr(0, 9), "QvKuTest_");
    EXPECT_EQ(name.substr(name.size() - 4), ".log");
    std::string stamp = name.substr(9, 15);
    EXPECT_GE(stamp, Stamp(before));
    EXPECT_LE(stamp, Stamp(after));

    // Readable while the run goes on; BOM, then one CR LF line per event.
    std::string bytes = ReadFileBytes(log.Path());
    ASSERT_EQ(bytes.substr(0, 3), Bom());
    ASSERT_EQ(bytes.substr(bytes.size() - 2), "\r\n");
    std::vector<std::string> lines = SplitCrLf(bytes.substr(3));
    ASSERT_EQ(lines.size(), 3u) << bytes;
    const char* texts[] = {"first event", "two<CR><LF>lines", ""};
    for (size_t i = 0; i < lines.size(); ++i) {
        EXPECT_EQ(lines[i].substr(13), texts[i]);
        long at = LineTime(lines[i]);
        ASSERT_GE(at, 0) << lines[i];
        if (before.wDay == after.wDay) {
            EXPECT_GE(at, MsOfDay(before)) << lines[i];
            EXPECT_LE(at, MsOfDay(after)) << lines[i];
        }
    }
    // Nothing but a line feed that belongs to a CR LF.
    for (size_t i = 0; i < bytes.size(); ++i)
        if (bytes[i] == '\n') {
            EXPECT_EQ(bytes[i - 1], '\r') << i;
        }

    // No one else may write it meanwhile.
    HANDLE writer = CreateFileA(log.Path().c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    DWORD refused = GetLastError();
    EXPECT_EQ(writer, INVALID_HANDLE_VALUE);
    EXPECT_EQ(refused, DWORD(ERROR_SHARING_VIOLATION));
    if (writer != INVALID_HANDLE_VALUE) CloseHandle(writer);

    // Once closed, lines go nowhere.
    std::string path = log.Path();
    log.Close();
    EXPECT_FALSE(log.IsOpen());
    EXPECT_EQ(log.Path(), "");
    log.Line("after the end");
    EXPECT_EQ(ReadFileBytes(path), bytes);
}

TEST(RunLog, TextsOfTheSystemCodePageComeOutAsUtf8) {
    // The test runs once with LC_ALL=zh_CN.UTF-8 (code page 936) and once with en_US.UTF-8 (1252).
    const char* expected = std::getenv("QVKU_EXPECT_ACP");
    ASSERT_NE(expected, nullptr) << "the test run names the code page it sets";
    ASSERT_EQ(GetACP(), UINT(std::atoi(expected)));
    struct Case {
        UINT codePage;
        std::string ansi, utf8;
    } cases[] = {
        // 安装 .NET Framework 4.5.2。
        {936, "\xB0\xB2\xD7\xB0 .NET Framework 4.5.2\xA1\xA3",
         "\xE5\xAE\x89\xE8\xA3\x85 .NET Framework 4.5.2\xE3\x80\x82"},
        // 已安装 with a break inside.
        {936, "\xD2\xD1\r\n\xB0\xB2\xD7\xB0", "\xE5\xB7\xB2<CR><LF>\xE5\xAE\x89\xE8\xA3\x85"},
        {1252, "caf\xE9 \x80 5", "caf\xC3\xA9 \xE2\x82\xAC 5"},
        {936, "plain ASCII", "plain ASCII"},
        {1252, "plain ASCII", "plain ASCII"},
    };
    ScratchDir dir;
    RunLog log;
    ASSERT_TRUE(log.OpenIn(dir.path(), "QvKu", kStart));
    std::vector<std::string> want;
    for (const Case& c : cases) {
        if (c.codePage != GetACP()) continue;
        log.Line(c.ansi);
        want.push_back(c.utf8);
    }
    ASSERT_FALSE(want.empty());
    std::string bytes = ReadFileBytes(log.Path());
    ASSERT_EQ(bytes.substr(0, 3), Bom());
    std::vector<std::string> lines = SplitCrLf(bytes.substr(3));
    ASSERT_EQ(lines.size(), want.size());
    for (size_t i = 0; i < want.size(); ++i) {
        EXPECT_GE(LineTime(lines[i]), 0) << lines[i];
        EXPECT_EQ(lines[i].substr(13), want[i]);
    }
}

TEST(RunLog, ANameTakenBeforeIsLeftAloneAndTheCounterMovesOn) {
    const std::string plain = LogFileName("QvKu", kStart, 0);
    const std::string second = LogFileName("QvKu", kStart, 1);
    ASSERT_EQ(plain, "QvKu_20261210_135317.log");
    ASSERT_EQ(second, "QvKu_20261210_135317_2.log");

    enum Planted { File, Folder, Link };
    enum Victim { NoVictim, VictimFile, VictimFolder };
    struct Case {
        const char* what;
        Planted planted;
        const char* linkTarget;  // below the scratch folder, for links
        Victim victim;
    } cases[] = {
        {"a file", File, nullptr, NoVictim},
        {"a folder", Folder, nullptr, NoVictim},
        {"a link to a missing file", Link, "missing.txt", NoVictim},
        {"a link to a file of theirs", Link, "victim", VictimFile},
        {"a link to a folder of theirs", Link, "victim", VictimFolder},
        {"a link into a missing folder", Link, "nowhere/x.log", NoVictim},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ScratchDir dir;
        if (c.victim == VictimFile) {
            ASSERT_TRUE(WriteFileBytes(dir / "victim", "theirs"));
        }
        if (c.victim == VictimFolder) {
            ASSERT_TRUE(CreateDirectoryA((dir / "victim").c_str(), nullptr));
        }
        if (c.planted == File) {
            ASSERT_TRUE(WriteFileBytes(dir / plain, "theirs"));
        }
        if (c.planted == Folder) {
            ASSERT_TRUE(CreateDirectoryA((dir / plain).c_str(), nullptr));
        }
        std::unique_ptr<LinuxLink> link;
        if (c.planted == Link) {
            link.reset(new LinuxLink(UnixPath(dir.path()) + "/" + c.linkTarget, dir / plain));
            ASSERT_TRUE(link->made());
        }
        std::vector<std::string> expectedNames = NamesIn(dir.path());
        expectedNames.push_back(second);
        std::sort(expectedNames.begin(), expectedNames.end());

        RunLog log;
        ASSERT_TRUE(log.OpenIn(dir.path(), "QvKu", kStart));
        EXPECT_EQ(log.Path(), dir / second);
        log.Line("ours");

        // Ours is a new file of its own; nothing that stood there changed or came into being.
        std::string bytes = ReadFileBytes(dir / second);
        EXPECT_EQ(bytes.substr(0, 3), Bom());
        EXPECT_EQ(bytes.substr(bytes.size() - 6), "ours\r\n");
        std::vector<std::string> names = NamesIn(dir.path());
        std::sort(names.begin(), names.end());
        EXPECT_EQ(names, expectedNames);
        if (c.planted == File) {
            EXPECT_EQ(ReadFileBytes(dir / plain), "theirs");
        }
        if (c.victim == VictimFile) {
            EXPECT_EQ(ReadFileBytes(dir / "victim"), "theirs");
        }
        if (c.victim == VictimFolder) {
            EXPECT_TRUE(NamesIn(dir / "victim").empty());
        }
        if (c.planted == Folder) {
            EXPECT_TRUE(NamesIn(dir / plain).empty());
        }
        EXPECT_FALSE(FileExists(dir / "missing.txt"));
        EXPECT_FALSE(FileExists(dir / "nowhere"));
        log.Close();
    }
}

TEST(RunLog, SeveralNamesTakenAndAllNamesTaken) {
    ScratchDir dir;
    ASSERT_TRUE(WriteFileBytes(dir / LogFileName("QvKu", kStart, 0), "one"));
    ASSERT_TRUE(CreateDirectoryA((dir / LogFileName("QvKu", kStart, 1)).c_str(), nullptr));
    LinuxLink link(UnixPath(dir.path()) + "/gone", dir / LogFileName("QvKu", kStart, 2));
    ASSERT_TRUE(link.made());
    {
        RunLog log;
        ASSERT_TRUE(log.OpenIn(dir.path() + "\\", "QvKu", kStart));
        EXPECT_EQ(log.Path(), dir / "QvKu_20261210_135317_4.log");
    }
    // The fifth is ours now, and a run of the same second takes the sixth.
    {
        RunLog log;
        ASSERT_TRUE(log.OpenIn(dir.path(), "QvKu", kStart));
        EXPECT_EQ(log.Path(), dir / "QvKu_20261210_135317_5.log");
    }
    for (unsigned attempt = 5; attempt < kLogNameAttempts; ++attempt)
        ASSERT_TRUE(WriteFileBytes(dir / LogFileName("QvKu", kStart, attempt), "taken"));
    const size_t count = NamesIn(dir.path()).size();
    RunLog log;
    EXPECT_FALSE(log.OpenIn(dir.path(), "QvKu", kStart));
    EXPECT_FALSE(log.IsOpen());
    EXPECT_EQ(log.Path(), "");
    log.Line("nowhere to go");
    EXPECT_EQ(NamesIn(dir.path()).size(), count);
    EXPECT_EQ(ReadFileBytes(dir / LogFileName("QvKu", kStart, 0)), "one");
}

TEST(RunLog, ATempFolderThatCannotBeWrittenChangesNothing) {
    ScratchDir parent;
    const std::string missing = parent / "no-such-folder";
    struct Case {
        const char* what;
        std::string folder;
    } cases[] = {
        {"a missing folder", missing},
        {"a folder below a file", parent / "file.txt\\below"},
        {"a drive that does not exist", "Q:\\qvku-no-drive"},
    };
    ASSERT_TRUE(WriteFileBytes(parent / "file.txt", "a file"));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempFolderVariables variables(c.folder);
        RunLog log;
        EXPECT_FALSE(log.Open("QvKu"));
        EXPECT_FALSE(log.IsOpen());
        EXPECT_EQ(log.Path(), "");
        log.Line("goes nowhere");
        EXPECT_FALSE(log.OpenIn(c.folder, "QvKu", kStart));
        log.Line("goes nowhere either");
    }
    EXPECT_FALSE(FileExists(missing));
    EXPECT_EQ(ReadFileBytes(parent / "file.txt"), "a file");
    EXPECT_EQ(NamesIn(parent.path()), std::vector<std::string>{"file.txt"});
}

TEST(RunLog, ErrorTexts) {
    for (DWORD error : {DWORD(ERROR_FILE_NOT_FOUND), DWORD(ERROR_ACCESS_DENIED), DWORD(ERROR_SHARING_VIOLATION),
                        DWORD(ERROR_DISK_FULL), DWORD(ERROR_FILE_EXISTS)}) {
        std::string text = Win32ErrorText(error);
        SCOPED_TRACE(std::to_string(error) + ": " + text);
        ASSERT_FALSE(text.empty());
        EXPECT_NE(text, "unknown error");
        // The system's text, without its full stop and its line break.
        char last = text.back();
        EXPECT_TRUE(last != '.' && last != '\r' && last != '\n' && last != ' ');
        if (GetACP() == 936) {
            EXPECT_FALSE(text.size() >= 2 && text.substr(text.size() - 2) == "\xA1\xA3");
        }
    }
    EXPECT_EQ(Win32ErrorText(0x2A5F1C3Bu), "unknown error");
    EXPECT_NE(Win32ErrorText(ERROR_FILE_NOT_FOUND), Win32ErrorText(ERROR_ACCESS_DENIED));
}
