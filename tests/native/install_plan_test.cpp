#include <gtest/gtest.h>

#include <algorithm>

#include "InstallPlan.h"
#include "WorkFolderName.h"

TEST(InstallPlan, SupportedSystems) {
    for (const char* name : {"Windows7", "WinServer2008R2", "WinVista", "WinServer2008", "Windows8",
                             "WinServer2012", "Windows8.1", "Windows8Blue", "WinServer8Blue"})
        EXPECT_TRUE(IsSupportedSystem(name)) << name;
    for (const char* name : {"", "WindowsXP", "WindowsXp64", "WinServer2003", "windows7", "Windows 7",
                             "Windows2000", "WinHomeServer", "Windows10"})
        EXPECT_FALSE(IsSupportedSystem(name)) << name;
}

TEST(InstallPlan, WorkDirName) {
    EXPECT_EQ(WorkDirName("C:\\windows", "0f1e"), "C:\\windows\\temp\\~qvku.0f1e.tmp");
    EXPECT_EQ(WorkDirName("C:\\windows\\", "0f1e"), "C:\\windows\\temp\\~qvku.0f1e.tmp");
}

TEST(InstallPlan, ProgramsAreNamedByTheirFullPathAndQuoted) {
    const std::string w = "C:\\windows\\temp\\~qvku.0f1e.tmp";
    struct Case {
        ProgramCommand command;
        std::string program, arguments;
    } cases[] = {
        {ExtractorCommand(w), w + "\\qvzip.qv", "X \"NET4.5.7z\" -R -Y"},
        {EnuInstallerCommand(w), w + "\\NET4.5\\NDP452-KB2901907-x86-x64-AllOS-ENU.exe", "/q /norestart"},
        {ChsInstallerCommand(w), w + "\\NET4.5\\NDP452-KB2901907-x86-x64-AllOS-CHS.exe", "/q /norestart"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.command.program, c.program);
        EXPECT_EQ(c.command.commandLine, "\"" + c.program + "\" " + c.arguments);
    }
}

TEST(InstallPlan, CommandInterpreterCommands) {
    const std::string w = "C:\\windows\\temp\\~qvku.0f1e.tmp";
    const std::string ping = "C:\\windows\\system32\\ping.exe";
    EXPECT_EQ(PayloadRemovalCommand(w), "rd /s /q \"" + w + "\\NET4.5\"");
    const std::string removal = WorkDirRemovalCommand(w, ping);
    const std::string rd = "rd /s /q \"~qvku.0f1e.tmp\" 2>nul";
    EXPECT_EQ(removal.rfind("cd /d \"C:\\windows\\temp\" && (" + rd + " & if exist \"~qvku.0f1e.tmp\" (\"" + ping +
                                "\" -n 3 127.0.0.1 >nul & ", 0), 0u) << removal;
    // thirty attempts in all, each but the last followed by a test and a pause; every pause is
    // the system's ping by its full path, none is found by a search
    auto count = [&removal](const std::string& what) {
        size_t n = 0;
        for (size_t at = removal.find(what); at != std::string::npos; at = removal.find(what, at + 1)) ++n;
        return n;
    };
    const size_t attempts = count(rd), pauses = count("\"" + ping + "\" -n ");
    EXPECT_EQ(count("ping"), pauses);
    EXPECT_EQ(attempts, 30u);
    EXPECT_EQ(pauses, 29u);
    EXPECT_EQ(std::count(removal.begin(), removal.end(), '('), std::count(removal.begin(), removal.end(), ')'));
    EXPECT_LT(removal.size() + 64, 8191u) << "the longest line cmd takes, with cmd's own path before it";
    // The Windows folder may be as long as a path can be; the command stays within cmd's line.
    const std::string deep = WorkDirName("C:\\" + std::string(200, 'w'), std::string(32, 'f'));
    const std::string deepRemoval = WorkDirRemovalCommand(deep, ping);
    EXPECT_LT(deepRemoval.size() + 64, 8191u);
    EXPECT_EQ(deepRemoval.rfind("cd /d \"C:\\" + std::string(200, 'w') + "\\temp\" && (rd /s /q \"~qvku." +
                                    std::string(32, 'f') + ".tmp\" ", 0), 0u);
    EXPECT_EQ(WorkDirRemovalCommand("\\~qvku.tmp", ping).rfind("cd /d \"\\\" && (rd /s /q \"~qvku.tmp\" ", 0), 0u);
    // cmd drops the first and last quote of a line that begins with one: none does.
    for (const std::string& command : {PayloadRemovalCommand(w), removal, SelfDeleteCommand("C:\\a b\\QvKu.exe", ping)})
        EXPECT_NE(command.front(), '"') << command;
    EXPECT_EQ(SelfDeleteCommand("C:\\a b\\QvKu.exe", ping),
              "cd . & \"" + ping + "\" 127.0.0.1 & del /f /q \"C:\\a b\\QvKu.exe\"");
}

TEST(InstallPlan, ProgressStopsAt346) {
    int width = kProgressStartWidth, ticks = 0;
    for (;;) {
        ProgressStep step = NextProgressWidth(width);
        width = step.width;
        ++ticks;
        if (step.stopTimer) break;
        ASSERT_LT(ticks, 1000);
    }
    EXPECT_EQ(width, 346);
    EXPECT_EQ(ticks, 326);
}

TEST(InstallOutcome, ExitCodes) {
    struct Run { bool started; uint32_t code; };
    struct Case {
        const char* what;
        std::vector<Run> runs;
        bool cancelAfter;
        uint32_t exitCode;
        bool succeeded;
    } cases[] = {
        {"both succeed", {{true, 0}, {true, 0}}, false, 0, true},
        {"main asks for restart", {{true, 3010}, {true, 0}}, false, 3010, true},
        {"pack initiated restart", {{true, 0}, {true, 1641}}, false, 3010, true},
        {"main fails", {{true, 1603}, {true, 0}}, false, 1603, false},
        {"first failure wins", {{true, 5100}, {true, 1603}}, false, 5100, false},
        {"restart then failure", {{true, 3010}, {true, 1602}}, false, 1602, false},
        {"installer did not start", {{false, 0}, {true, 0}}, false, 1603, false},
        {"cancelled during the pack", {{true, 0}}, true, 1602, false},
        {"cancelled during the main installer", {}, true, 1602, false},
        {"failure before cancel", {{true, 1603}}, true, 1603, false},
        {"nothing ran", {}, false, 1603, false},
    };
    for (const auto& c : cases) {
        InstallOutcome outcome;
        for (const Run& r : c.runs) outcome.InstallerEnded(r.started, r.code);
        if (c.cancelAfter) outcome.Cancelled();
        EXPECT_EQ(outcome.ExitCode(), c.exitCode) << c.what;
        EXPECT_EQ(outcome.Succeeded(), c.succeeded) << c.what;
    }
    InstallOutcome unsupported;
    unsupported.Unsupported();
    EXPECT_EQ(unsupported.ExitCode(), 5100u);
    InstallOutcome payload;
    payload.PayloadFailed();
    payload.InstallerEnded(true, 0);
    EXPECT_EQ(payload.ExitCode(), 1603u);
}
