#include <gtest/gtest.h>

#include <algorithm>

#include "InstallPlan.h"

TEST(InstallPlan, SupportedSystems) {
    for (const char* name : {"Windows7", "WinServer2008R2", "WinVista", "WinServer2008", "Windows8",
                             "WinServer2012", "Windows8.1", "Windows8Blue", "WinServer8Blue"})
        EXPECT_TRUE(IsSupportedSystem(name)) << name;
    for (const char* name : {"", "WindowsXP", "WindowsXp64", "WinServer2003", "windows7", "Windows 7",
                             "Windows2000", "WinHomeServer", "Windows10"})
        EXPECT_FALSE(IsSupportedSystem(name)) << name;
}

TEST(InstallPlan, WorkDirCandidates) {
    EXPECT_EQ(WorkDirCandidate("C:\\windows", 0), "C:\\windows\\temp\\~qvku.tmp");
    EXPECT_EQ(WorkDirCandidate("C:\\windows\\", 0), "C:\\windows\\temp\\~qvku.tmp");
    EXPECT_EQ(WorkDirCandidate("C:\\windows", 1), "C:\\windows\\temp\\~qvku.1.tmp");
    EXPECT_EQ(WorkDirCandidate("C:\\windows", 12), "C:\\windows\\temp\\~qvku.12.tmp");
}

TEST(InstallPlan, CommandLines) {
    const std::string w = "C:\\windows\\temp\\~qvku.tmp";
    EXPECT_EQ(ExtractorCommand(w), w + "\\qvzip.qv X \"NET4.5.7z\" -R -Y");
    EXPECT_EQ(EnuInstallerCommand(w), w + "\\NET4.5\\NDP452-KB2901907-x86-x64-AllOS-ENU.exe /q /norestart");
    EXPECT_EQ(ChsInstallerCommand(w), w + "\\NET4.5\\NDP452-KB2901907-x86-x64-AllOS-CHS.exe /q /norestart");
    EXPECT_EQ(PayloadRemovalCommand(w), "cmd /c rd /s /q \"" + w + "\\NET4.5\"");
    const std::string removal = WorkDirRemovalCommand(w);
    const std::string rd = "rd /s /q \"~qvku.tmp\" 2>nul";
    EXPECT_EQ(removal.rfind("cmd /c cd /d \"C:\\windows\\temp\" && (" + rd +
                                " & if exist \"~qvku.tmp\" (ping -n 3 127.0.0.1 >nul & ", 0), 0u) << removal;
    // thirty attempts in all, each but the last followed by a test and a pause
    size_t attempts = 0;
    for (size_t at = removal.find(rd); at != std::string::npos; at = removal.find(rd, at + 1)) ++attempts;
    EXPECT_EQ(attempts, 30u);
    EXPECT_EQ(std::count(removal.begin(), removal.end(), '('), std::count(removal.begin(), removal.end(), ')'));
    EXPECT_LT(removal.size(), 8191u) << "the longest line cmd takes";
    // The Windows folder may be as long as a path can be; the command stays within cmd's line.
    const std::string deep = WorkDirCandidate("C:\\" + std::string(240, 'w'), 999);
    const std::string deepRemoval = WorkDirRemovalCommand(deep);
    EXPECT_LT(deepRemoval.size(), 8191u);
    EXPECT_EQ(deepRemoval.rfind("cmd /c cd /d \"C:\\" + std::string(240, 'w') + "\\temp\" && (rd /s /q \"~qvku.999.tmp\" ", 0), 0u);
    EXPECT_EQ(WorkDirRemovalCommand("\\~qvku.tmp").rfind("cmd /c cd /d \"\\\" && (rd /s /q \"~qvku.tmp\" ", 0), 0u);
    EXPECT_EQ(SelfDeleteCommand("C:\\a b\\QvKu.exe"), "cmd /c ping 127.0.0.1 & del /f /q \"C:\\a b\\QvKu.exe\"");
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
