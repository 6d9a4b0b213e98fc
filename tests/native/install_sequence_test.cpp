// The install sequence over a scripted machine and a window that only keeps a journal: the
// order of the steps, a close at each of them, each step failing, and what is removed.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "InstallSequence.h"

namespace {
const std::string kWork = "C:\\windows\\temp\\~qvku.00ff.tmp";
const std::string kPing = "C:\\windows\\system32\\ping.exe";

// Where the scripted window is closed: while that step waits.
enum class CloseAt { Never, Pause, Extract, Enu, Chs };

struct ProgramScript {
    bool startFails = false;
    uint32_t exitCode = 0;
    bool waitFails = false;
    // An installer that speaks its protocol: the progress it reports, one value a slice.
    bool speaks = false;
    std::vector<int> progress;
    bool asksFilesInUse = false;
    bool honoursAbort = true;
};

struct Script {
    std::string windowsName = "Windows7";
    bool win64 = true;
    bool folderFails = false;
    bool payloadFails = false;
    bool installersMissing = false;
    ProgramScript extractor, enu, chs;
    CloseAt closeAt = CloseAt::Never;
    uint32_t setupInProgress = 0;
    bool peBuilder = false;
    NetFxReadings netfx;  // nothing installed
    bool channelFails = false;
    bool secondClose = false;  // closed again while the installer rolls back
    bool answerYes = true;     // the user's answer to the files-in-use question
};

ReleaseReading Release(uint32_t value) {
    ReleaseReading r;
    r.kind = ReleaseReadingKind::Dword;
    r.value = value;
    return r;
}

class FakeMachine : public InstallSystem, public InstallView {
public:
    explicit FakeMachine(const Script& script) : s(script) {}
    InstallSequence* sequence = nullptr;
    Script s;
    std::vector<std::string> journal;
    std::vector<std::string> log;
    std::string detection;
    std::vector<std::string> started;   // programs, by their file name
    std::vector<std::string> commands;  // detached command lines
    std::vector<std::string> deleted;
    std::map<std::string, bool> folders;
    int strip = kProgressStartWidth;
    std::vector<int> strips;                   // every width the strip was given
    std::vector<std::string> channelCommands;  // installers' command lines
    std::vector<uint32_t> answers;
    int aborts = 0;
    int asked = 0;
    bool timer = false;
    int closes = 0;

    // The machine.
    std::string WindowsName() override { return s.windowsName; }
    bool IsWin64() override { return s.win64; }
    uint32_t SystemSetupInProgress() override { return s.setupInProgress; }
    bool PeBuilderKeyExists() override { return s.peBuilder; }
    NetFxReadings ReadNetFx() override { return s.netfx; }
    std::string DescribeWindows() override { return s.windowsName; }
    void Log(const std::string& line) override { log.push_back(line); }
    std::string ErrorText(uint32_t error) override { return "text of " + std::to_string(error); }
    FolderResult CreateWorkFolder() override {
        journal.push_back("folder");
        if (s.folderFails) return {"", 5};
        folders[kWork] = true;
        return {kWork, 0};
    }
    bool FolderExists(const std::string& path) override { return folders.count(path) && folders[path]; }
    bool FileExists(const std::string& path) override {
        return !s.installersMissing && path.rfind(kWork + "\\NET4.5\\", 0) == 0 && folders[kWork + "\\NET4.5"];
    }
    uint32_t RemoveFile(const std::string& path) override {
        deleted.push_back(path);
        return 0;
    }
    void BeginPayload(const std::vector<PayloadItem>& items) override {
        for (const PayloadItem& item : items) journal.push_back(std::string("payload ") + item.type + " " + item.name + " " + item.path);
        pieces = 3;
    }
    PayloadPiece WritePayloadPiece() override {
        if (s.payloadFails) return {false, true, 112};
        --pieces;
        return {pieces > 0, false, 0};
    }
    ProgramRun RunProgram(const ProgramCommand& command, const std::string& folder, ShowState show,
                          const WaitSlice& slice) override {
        const std::string name = command.program.substr(command.program.find_last_of('\\') + 1);
        const bool isExtractor = name == "qvzip.qv";
        const bool isEnu = name.find("ENU") != std::string::npos;
        const ProgramScript& p = isExtractor ? s.extractor : isEnu ? s.enu : s.chs;
        journal.push_back("run " + name + " in " + folder + (show == ShowState::Hidden ? " hidden" : " shown"));
        if (p.startFails) return {false, false, 0, 2, 0};
        started.push_back(name);
        const CloseAt here = isExtractor ? CloseAt::Extract : isEnu ? CloseAt::Enu : CloseAt::Chs;
        if (s.closeAt == here) Close();
        if (!slice()) return {true, false, 0, 0, 100};
        if (p.waitFails) return {true, false, 0, 6, 100};
        if (isExtractor && p.exitCode <= 1) folders[kWork + "\\NET4.5"] = true;
        return {true, true, p.exitCode, 0, 100};
    }
    ChannelResult OpenInstallerChannel() override {
        if (s.channelFails) return {"", 5};
        return {"QvKu.Section.test" + std::to_string(++channels), 0};
    }
    ProgramRun RunInstaller(const ProgramCommand& command, const std::string& folder, ShowState show,
                            const InstallerSlice& slice) override {
        channelCommands.push_back(command.commandLine);
        const bool isEnu = command.program.find("ENU") != std::string::npos;
        const ProgramScript& p = isEnu ? s.enu : s.chs;
        if (!p.speaks) {
            // It ignores the channel: only the process tells anything.
            return RunProgram(command, folder, show, [&slice] { return slice(InstallerReport()).keepWaiting; });
        }
        const std::string name = command.program.substr(command.program.find_last_of('\\') + 1);
        journal.push_back("run " + name + " in " + folder + (show == ShowState::Hidden ? " hidden" : " shown"));
        if (p.startFails) return {false, false, 0, 2, 0};
        started.push_back(name);
        const CloseAt here = isEnu ? CloseAt::Enu : CloseAt::Chs;
        bool aborted = false;
        for (size_t i = 0; i < p.progress.size() + 2; ++i) {
            InstallerReport report;
            report.speaks = true;
            report.fraction255 = p.progress.empty() ? 0 : p.progress[std::min(i, p.progress.size() - 1)];
            if (p.asksFilesInUse && i == 1) {
                report.asks = report.filesInUse = true;
                report.applications = {"Outlook", "Word"};
                report.defaultAnswer = kAnswerIdNo;
            }
            if (s.closeAt == here && i == 1) Close();
            if (s.closeAt == here && s.secondClose && i == 2) Close();
            const SliceDecision d = slice(report);
            if (d.answer) answers.push_back(d.response);
            if (d.abort) {
                ++aborts;
                aborted = p.honoursAbort;
            }
            if (!d.keepWaiting) return {true, false, 0, 0, 100};
            if (aborted) return {true, true, 1602, 0, 100, kInstallerAborted};
        }
        if (isEnu) folders[kWork + "\\NET4.5"] = true;
        return {true, true, p.exitCode, 0, 100, p.exitCode ? 0x80070643u : 0u};
    }
    uint32_t StartHiddenCommand(const std::string& command) override {
        commands.push_back(command);
        return 0;
    }
    std::string SystemProgram(const char* fileName) override { return "C:\\windows\\system32\\" + std::string(fileName); }
    std::string ExecutablePath() override { return "C:\\Users\\me\\Downloads\\QvKu.exe"; }
    void DisableRedirection() override { journal.push_back("redirection off"); }
    uint32_t TickCount() override { return tick; }
    void Pump() override {
        // The close comes in the pause, between two pieces of the payload.
        if (s.closeAt == CloseAt::Pause && pieces == 2 && !closes) Close();
        tick += 1;
    }
    void PumpUntil(uint32_t start, int32_t ms) override {
        journal.push_back("pause " + std::to_string(tick - start) + " of " + std::to_string(ms));
        tick = start + uint32_t(ms);
    }

    // The window.
    void ShowStatus(TextId text, uint32_t code) override {
        journal.push_back("status " + std::to_string(int(text)) + (code ? " " + std::to_string(code) : ""));
    }
    void ShowLayout(ViewLayout layout) override { journal.push_back("layout " + std::to_string(int(layout))); }
    void PrepareSilent() override { journal.push_back("silent"); }
    void NoteDetection(const std::string& text) override { detection = text; }
    void SetStripWidth(int width) override {
        strip = width;
        strips.push_back(width);
    }
    bool AskFilesInUse(const std::vector<std::string>& applications) override {
        ++asked;
        journal.push_back("ask " + applications[0]);
        return s.answerYes;
    }
    void SetProgressTimer(bool running) override { timer = running; }
    void ShowMessage(TextId text) override { journal.push_back("message " + std::to_string(int(text))); }
    // The window's close procedure: the sequence may keep the window, else its close runs.
    void Close() override {
        ++closes;
        journal.push_back("close");
        if (!sequence->OnCloseQuery()) {
            journal.push_back("kept");
            return;
        }
        sequence->OnClose();
    }
    void RequestQuit() override { journal.push_back("quit"); }

    int WorkFolderRemovals() const {
        return int(std::count_if(commands.begin(), commands.end(),
                                 [](const std::string& c) { return c.find("~qvku.00ff.tmp\" 2>nul") != std::string::npos; }));
    }

private:
    int channels = 0;
    int pieces = 0;
    uint32_t tick = 1000;
};

struct Course {
    explicit Course(const Script& script, std::vector<std::string> arguments = {"-s"}) : machine(script), sequence(machine) {
        machine.sequence = &sequence;
        sequence.SetView(&machine);
        sequence.DecideRunMode(arguments);
        sequence.OnCreate();
    }
    FakeMachine machine;
    InstallSequence sequence;

    StepStatus StatusOf(Step step) const {
        for (const StepResult& r : sequence.Steps())
            if (r.step == step) return r.status;
        ADD_FAILURE() << "no result for " << StepName(step);
        return StepStatus::Skipped;
    }
};

bool Logged(const std::vector<std::string>& log, const std::string& part) {
    for (const std::string& line : log)
        if (line.find(part) != std::string::npos) return true;
    return false;
}

const std::string kEnu = "NDP452-KB2901907-x86-x64-AllOS-ENU.exe";
const std::string kChs = "NDP452-KB2901907-x86-x64-AllOS-CHS.exe";
}  // namespace

TEST(InstallSequence, StepsRunInOrderWithTheirFoldersAndShowStates) {
    for (bool win64 : {true, false}) {
        Script script;
        script.win64 = win64;
        Course run(script);
        const std::string payload = kWork + "\\NET4.5";
        std::vector<std::string> expected = {
            "silent", "layout 1", "status 1", "folder", "status 2", "layout 2",
            "payload tool exe1 " + kWork + "\\qvzip.qv", "payload ku Net45 " + kWork + "\\NET4.5.7z", "pause 2 of 1000",
            "run qvzip.qv in " + kWork + " hidden"};
        if (win64) expected.push_back("redirection off");
        expected.push_back("run " + kEnu + " in " + payload + (win64 ? " hidden" : " shown"));
        expected.push_back("run " + kChs + " in " + payload + " hidden");
        for (const char* tail : {"layout 3", "status 3", "close", "quit"}) expected.push_back(tail);
        EXPECT_EQ(run.machine.journal, expected) << (win64 ? "64-bit" : "32-bit");
        EXPECT_EQ(run.sequence.ExitCode(), 0u);
        EXPECT_EQ(run.machine.deleted, std::vector<std::string>{kWork + "\\NET4.5.7z"});
        ASSERT_EQ(run.machine.commands.size(), 2u);
        EXPECT_EQ(run.machine.commands[0], "rd /s /q \"" + payload + "\"");
        EXPECT_EQ(run.machine.WorkFolderRemovals(), 1) << "the sequence and the close both ask; one removal starts";
        EXPECT_FALSE(run.machine.timer);
        std::vector<Step> order;
        for (const StepResult& r : run.sequence.Steps()) {
            order.push_back(r.step);
            EXPECT_EQ(r.status, StepStatus::Done) << StepName(r.step);
        }
        EXPECT_EQ(order, (std::vector<Step>{Step::Detect, Step::Gate, Step::WorkFolder, Step::Payload, Step::Extract, Step::Enu,
                                            Step::Chs, Step::CleanUp}));
    }
}

TEST(InstallSequence, EachFailingStepGivesItsExitCodeAndKeepsItsError) {
    struct Case {
        const char* what;
        void (*set)(Script&);
        uint32_t exitCode;
        Step failed;
        uint32_t error;
        std::vector<std::string> started;
    } cases[] = {
        {"no work folder", [](Script& s) { s.folderFails = true; }, 1603, Step::WorkFolder, 5, {}},
        {"payload write fails", [](Script& s) { s.payloadFails = true; }, 1603, Step::Payload, 112, {}},
        {"extractor cannot start", [](Script& s) { s.extractor.startFails = true; }, 1603, Step::Extract, 2, {}},
        {"extractor fails", [](Script& s) { s.extractor.exitCode = 2; }, 1603, Step::Extract, 0, {"qvzip.qv"}},
        {"extractor wait fails", [](Script& s) { s.extractor.waitFails = true; }, 1603, Step::Extract, 6, {"qvzip.qv"}},
        {"installers missing after unpacking", [](Script& s) { s.installersMissing = true; }, 1603, Step::Extract, 0,
         {"qvzip.qv"}},
        {"ENU cannot start", [](Script& s) { s.enu.startFails = true; }, 1603, Step::Enu, 2, {"qvzip.qv", kChs}},
        {"ENU fails: CHS still runs", [](Script& s) { s.enu.exitCode = 1603; }, 1603, Step::Enu, 0,
         {"qvzip.qv", kEnu, kChs}},
        {"ENU needs more", [](Script& s) { s.enu.exitCode = 5100; }, 5100, Step::Enu, 0, {"qvzip.qv", kEnu, kChs}},
        {"ENU wait fails", [](Script& s) { s.enu.waitFails = true; }, 1603, Step::Enu, 6, {"qvzip.qv", kEnu, kChs}},
        {"CHS fails after ENU", [](Script& s) { s.chs.exitCode = 1642; }, 1642, Step::Chs, 0, {"qvzip.qv", kEnu, kChs}},
        {"the first failure decides", [](Script& s) { s.enu.exitCode = 1638; s.chs.exitCode = 1603; }, 1638, Step::Enu, 0,
         {"qvzip.qv", kEnu, kChs}},
    };
    for (const Case& c : cases) {
        Script script;
        c.set(script);
        Course run(script);
        EXPECT_EQ(run.sequence.ExitCode(), c.exitCode) << c.what;
        EXPECT_EQ(run.machine.started, c.started) << c.what;
        bool found = false;
        for (const StepResult& r : run.sequence.Steps()) {
            if (r.step != c.failed) continue;
            found = true;
            EXPECT_EQ(r.status, StepStatus::Failed) << c.what;
            EXPECT_EQ(r.error, c.error) << c.what;
        }
        EXPECT_TRUE(found) << c.what;
        EXPECT_EQ(run.machine.journal.back(), "quit") << c.what;
        EXPECT_EQ(run.machine.closes, 1) << c.what;
        EXPECT_NE(std::find(run.machine.journal.begin(), run.machine.journal.end(), "status 4 " + std::to_string(c.exitCode)),
                  run.machine.journal.end())
            << c.what << ": the status line names the code";
        EXPECT_EQ(run.machine.WorkFolderRemovals(), script.folderFails ? 0 : 1) << c.what;
    }
}

TEST(InstallSequence, RestartRequestsGive3010) {
    for (uint32_t enu : {0u, 3010u, 1641u})
        for (uint32_t chs : {0u, 3010u, 1641u}) {
            Script script;
            script.enu.exitCode = enu;
            script.chs.exitCode = chs;
            Course run(script);
            EXPECT_EQ(run.sequence.ExitCode(), enu || chs ? 3010u : 0u) << enu << " " << chs;
        }
}

TEST(InstallSequence, NothingOutsideTheWorkFolderIsTouchedWhenItCannotBeMade) {
    Script script;
    script.folderFails = true;
    Course run(script);
    EXPECT_TRUE(run.machine.deleted.empty()) << "a file of that name at the root of the drive is not ours";
    EXPECT_TRUE(run.machine.commands.empty());
    EXPECT_TRUE(run.machine.started.empty());
    EXPECT_EQ(run.StatusOf(Step::Payload), StepStatus::Skipped);
    EXPECT_EQ(run.StatusOf(Step::Extract), StepStatus::Skipped);
    EXPECT_EQ(run.sequence.WorkDir(), "");
}

TEST(InstallSequence, CloseAtEachStep) {
    struct Case {
        CloseAt at;
        const char* mode;
        std::vector<std::string> started;
        StepStatus enu, chs;
    } cases[] = {
        {CloseAt::Pause, "-a", {}, StepStatus::Skipped, StepStatus::Skipped},
        {CloseAt::Extract, "-a", {"qvzip.qv"}, StepStatus::Skipped, StepStatus::Skipped},
        {CloseAt::Enu, "-a", {"qvzip.qv", kEnu}, StepStatus::LeftRunning, StepStatus::Skipped},
        {CloseAt::Chs, "-a", {"qvzip.qv", kEnu, kChs}, StepStatus::Done, StepStatus::LeftRunning},
        {CloseAt::Enu, "", {"qvzip.qv", kEnu}, StepStatus::LeftRunning, StepStatus::Skipped},
        {CloseAt::Pause, "", {}, StepStatus::Skipped, StepStatus::Skipped},
    };
    for (const Case& c : cases) {
        Script script;
        script.closeAt = c.at;
        const std::string what = std::string(c.mode) + " closed at " + std::to_string(int(c.at));
        std::vector<std::string> arguments;
        if (*c.mode) arguments.push_back(c.mode);
        Course run(script, arguments);
        if (!*c.mode) run.sequence.OnInstallClick();  // by hand: the install button
        EXPECT_EQ(run.sequence.ExitCode(), 1602u) << what;
        EXPECT_EQ(run.machine.started, c.started) << what;
        EXPECT_EQ(run.StatusOf(Step::Enu), c.enu) << what;
        EXPECT_EQ(run.StatusOf(Step::Chs), c.chs) << what;
        EXPECT_EQ(run.machine.WorkFolderRemovals(), 1) << what << ": started once, by the close";
        EXPECT_GE(run.machine.closes, 2) << what << ": the user's close, then the sequence's own";
        if (c.at == CloseAt::Pause) {
            EXPECT_EQ(run.StatusOf(Step::Payload), StepStatus::Skipped) << what << ": the rest is not written";
        }
    }
}

TEST(InstallSequence, UnsupportedSystemOnlyAsksWhereSomeoneCanAnswer) {
    struct Case {
        std::vector<std::string> arguments;
        uint32_t setup;
        bool box;
        bool selfDelete;
    } cases[] = {
        {{"-s"}, 0, false, false},
        {{"-a"}, 0, true, false},
        {{"-s", "-d"}, 0, false, true},
        {{}, 1, false, true},  // deployment
    };
    for (const Case& c : cases) {
        Script script;
        script.windowsName = "Windows10";
        script.setupInProgress = c.setup;
        Course run(script, c.arguments);
        EXPECT_EQ(run.sequence.ExitCode(), 5100u);
        EXPECT_TRUE(run.machine.started.empty());
        EXPECT_EQ(std::count(run.machine.journal.begin(), run.machine.journal.end(), "message 0"), c.box ? 1 : 0);
        EXPECT_EQ(std::count(run.machine.journal.begin(), run.machine.journal.end(), "folder"), 0);
        const bool deletes = !run.machine.commands.empty() &&
                             run.machine.commands.back().find("del /f /q \"C:\\Users\\me\\Downloads\\QvKu.exe\"") != std::string::npos;
        EXPECT_EQ(deletes, c.selfDelete);
        EXPECT_EQ(run.machine.journal.back(), "quit");
    }
}

TEST(InstallSequence, RunModeAndSelfDelete) {
    struct Case {
        std::vector<std::string> arguments;
        uint32_t setup;
        bool peBuilder;
        RunMode mode;
        bool selfDelete;
    } cases[] = {
        {{"-s"}, 1, false, RunMode::Silent, false},
        {{"/A", "-D"}, 0, false, RunMode::Auto, true},
        {{}, 1, false, RunMode::Deployment, true},
        {{}, 1, true, RunMode::Interactive, false},
        {{"-x"}, 0, false, RunMode::Interactive, false},
    };
    for (const Case& c : cases) {
        Script script;
        script.setupInProgress = c.setup;
        script.peBuilder = c.peBuilder;
        Course run(script, c.arguments);
        EXPECT_EQ(run.sequence.Mode().mode, c.mode);
        EXPECT_EQ(run.sequence.Mode().selfDelete, c.selfDelete);
        if (c.mode == RunMode::Interactive) {
            EXPECT_TRUE(run.machine.journal.empty()) << "by hand, nothing happens before the click";
            EXPECT_EQ(run.sequence.ExitCode(), 1602u) << "closing without installing";
        } else {
            EXPECT_EQ(run.sequence.ExitCode(), 0u);
            const bool deletes = run.machine.commands.back().find("del /f /q") != std::string::npos;
            EXPECT_EQ(deletes, c.selfDelete);
        }
    }
}

TEST(InstallSequence, ClosingWithoutInstallingRemovesNothingOfAnyone) {
    Script script;
    Course run(script, {});
    run.machine.Close();
    EXPECT_TRUE(run.machine.commands.empty());
    EXPECT_TRUE(run.sequence.StopRequested());
    EXPECT_EQ(run.sequence.ExitCode(), 1602u);
}

TEST(InstallSequence, ProgressStripGrowsOnePixelATickAndStops) {
    Script script;
    Course fresh(script, {});
    fresh.machine.timer = true;
    int ticks = 0;
    while (fresh.machine.timer && ticks < 1000) {
        fresh.sequence.OnProgressTick();
        ++ticks;
    }
    EXPECT_EQ(ticks, 326);
    EXPECT_EQ(fresh.machine.strip, 346);
}

TEST(InstallSequence, WhatIsInstalledAlreadyDecidesWhatRuns) {
    ReleaseReading text;
    text.kind = ReleaseReadingKind::WrongType;
    text.type = 1;
    struct Case {
        const char* what;
        ReleaseReading runtime, pack;
        const char* windows;
        uint32_t exitCode;
        std::vector<std::string> started;
    } cases[] = {
        {"nothing installed", {}, {}, "Windows7", 0, {"qvzip.qv", kEnu, kChs}},
        {"4.5.1 only", Release(378758), {}, "Windows7", 0, {"qvzip.qv", kEnu, kChs}},
        {"4.5.2 without the pack", Release(379893), {}, "Windows7", 0, {"qvzip.qv", kChs}},
        {"4.5.2 with the pack", Release(379893), Release(379893), "Windows7", 0, {}},
        {"4.8 with the pack on Windows 10", Release(528040), Release(528040), "Windows10", 0, {}},
        {"4.8 without the pack on Windows 10", Release(528040), {}, "Windows10", 5100, {}},
        {"a text in place of the number", text, Release(379893), "Windows7", 0, {"qvzip.qv", kEnu, kChs}},
        {"the pack's key alone", {}, Release(379893), "Windows7", 0, {"qvzip.qv", kEnu, kChs}},
    };
    for (const Case& c : cases) {
        Script script;
        script.netfx.runtime = c.runtime;
        script.netfx.pack = c.pack;
        script.windowsName = c.windows;
        Course run(script);
        EXPECT_EQ(run.sequence.ExitCode(), c.exitCode) << c.what;
        EXPECT_EQ(run.machine.started, c.started) << c.what;
        EXPECT_FALSE(run.machine.detection.empty()) << c.what;
        if (c.started.empty()) {
            EXPECT_EQ(std::count(run.machine.journal.begin(), run.machine.journal.end(), "folder"), 0)
                << c.what << ": nothing is written";
            EXPECT_TRUE(run.machine.commands.empty()) << c.what;
        }
        if (c.exitCode == 0 && c.started.empty()) {
            EXPECT_NE(std::find(run.machine.journal.begin(), run.machine.journal.end(),
                                "status " + std::to_string(int(TextId::StatusAlreadyInstalled))),
                      run.machine.journal.end())
                << c.what;
        }
    }
}

TEST(InstallSequence, TheLogTellsEachStepWithItsErrorAndEachProgram) {
    Script script;
    script.enu.startFails = true;
    Course run(script);
    const std::vector<std::string>& log = run.machine.log;
    for (const char* part : {"run mode: silent (by the switch \"-s\")", "Windows: Windows7", "installed already: ",
                             "work folder: C:\\windows\\temp\\~qvku.00ff.tmp", "payload written",
                             "starting \"C:\\windows\\temp\\~qvku.00ff.tmp\\qvzip.qv\" X \"NET4.5.7z\" -R -Y in ",
                             "ended with exit code 0 after 100 ms", "could not start: error 2 (text of 2)",
                             "the work folder's removal started"})
        EXPECT_TRUE(Logged(log, part)) << part;

    Script folderless;
    folderless.folderFails = true;
    EXPECT_TRUE(Logged(Course(folderless).machine.log, "work folder could not be made: error 5 (text of 5)"));

    Script deployment;
    deployment.setupInProgress = 1;
    EXPECT_TRUE(Logged(Course(deployment, {}).machine.log,
                       "run mode: deployment (no mode switch; SystemSetupInProgress=1, no PE Builder key), deletes itself"));

    Script closed;
    closed.closeAt = CloseAt::Enu;
    EXPECT_TRUE(Logged(Course(closed, {"-a"}).machine.log, "closed by the user during the ENU installer step"));
}

TEST(InstallSequence, InstallersSpeakThroughAChannelOfTheirOwn) {
    for (bool fails : {false, true}) {
        Script script;
        script.channelFails = fails;
        Course run(script);
        ASSERT_EQ(run.machine.channelCommands.size(), 2u);
        const std::string tail = fails ? "/q /norestart" : "/q /norestart /pipe QvKu.Section.test";
        for (const std::string& line : run.machine.channelCommands)
            EXPECT_NE(line.find(tail, line.size() - tail.size() - (fails ? 0 : 1)), std::string::npos) << line;
        EXPECT_EQ(run.sequence.ExitCode(), 0u) << "an installer without its channel installs as before";
        EXPECT_EQ(Logged(run.machine.log, "no progress channel for this installer: error 5"), fails);
    }
}

TEST(InstallSequence, TheStripFollowsTheReportedProgressAndNeverShrinks) {
    Script script;
    script.enu.speaks = script.chs.speaks = true;
    script.enu.progress = {0, 64, 128, 200, 255};
    script.chs.progress = {60, 255};
    Course run(script, {"-a"});
    const std::vector<int>& strips = run.machine.strips;
    ASSERT_FALSE(strips.empty());
    EXPECT_TRUE(std::is_sorted(strips.begin(), strips.end())) << "the strip never shrinks";
    EXPECT_EQ(strips.back(), kStripTrackWidth) << "a successful end fills the track";
    // Half of the runtime is 91 % of the whole, halved: far ahead of one pixel a second.
    EXPECT_NE(std::find(strips.begin(), strips.end(), ReportedStripWidth(0, 91, 100, 128)), strips.end());
    EXPECT_GT(ReportedStripWidth(0, 91, 100, 128), 170);
    EXPECT_TRUE(Logged(run.machine.log, "progress: 40 %"));
    EXPECT_TRUE(Logged(run.machine.log, "progress: 90 %"));
    EXPECT_TRUE(Logged(run.machine.log, "progress: 100 %"));

    // The timer's pixel a second wins where it is further.
    Script quiet;
    Course slow(quiet, {});
    for (int i = 0; i < 30; ++i) slow.sequence.OnProgressTick();
    EXPECT_EQ(slow.machine.strip, kProgressStartWidth + 30);
}

TEST(InstallSequence, ReportedWidthsStayOnTheTrackWhateverTheInstallerClaims) {
    EXPECT_EQ(ReportedStripWidth(0, 91, 100, 0), kProgressStartWidth);
    EXPECT_EQ(ReportedStripWidth(91, 9, 100, 255), kStripTrackWidth);
    EXPECT_EQ(ReportedStripWidth(0, 9, 9, 255), kStripTrackWidth) << "the pack alone";
    EXPECT_EQ(ReportedStripWidth(0, 91, 100, 100000), ReportedStripWidth(0, 91, 100, 255));
    EXPECT_EQ(ReportedStripWidth(0, 91, 100, -5), kProgressStartWidth);
    EXPECT_EQ(ReportedStripWidth(0, 0, 0, 255), kProgressStartWidth);
    EXPECT_EQ(ReportedTenths(91, 9, 100, 255), 10);
    EXPECT_EQ(ReportedTenths(0, 91, 100, 255), 9);
}

TEST(InstallSequence, ACloseWhileAnInstallerSpeaksCancelsCleanly) {
    struct Case {
        const char* what;
        bool speaks, honours, again;
        int aborts;
        StepStatus enu;
        bool kept;
    } cases[] = {
        {"it rolls back", true, true, false, 1, StepStatus::Failed, true},
        {"a second close stops waiting at once", true, false, true, 1, StepStatus::LeftRunning, true},
        {"an installer without the protocol is left as before", false, true, false, 0, StepStatus::LeftRunning, false},
    };
    for (const Case& c : cases) {
        for (const char* mode : {"", "-a"}) {
            Script script;
            script.enu.speaks = c.speaks;
            script.enu.honoursAbort = c.honours;
            script.enu.progress = {10, 20, 30, 40, 50};
            script.closeAt = CloseAt::Enu;
            script.secondClose = c.again;
            std::vector<std::string> arguments;
            if (*mode) arguments.push_back(mode);
            Course run(script, arguments);
            if (!*mode) run.sequence.OnInstallClick();
            const std::string what = std::string(c.what) + (*mode ? " (auto)" : " (by hand)");
            EXPECT_EQ(run.sequence.ExitCode(), 1602u) << what;
            EXPECT_EQ(run.machine.aborts, c.aborts) << what;
            EXPECT_EQ(run.machine.started, (std::vector<std::string>{"qvzip.qv", kEnu})) << what << ": no pack after it";
            EXPECT_EQ(run.StatusOf(Step::Enu), c.enu) << what;
            EXPECT_EQ(run.StatusOf(Step::Chs), StepStatus::Skipped) << what;
            EXPECT_EQ(run.machine.WorkFolderRemovals(), 1) << what;
            const auto& j = run.machine.journal;
            EXPECT_EQ(std::find(j.begin(), j.end(), "kept") != j.end(), c.kept) << what;
            EXPECT_EQ(std::find(j.begin(), j.end(), "status " + std::to_string(int(TextId::StatusCancelling))) != j.end(),
                      c.kept)
                << what;
            if (c.honours && c.speaks) {
                // The folder goes only once the installer has ended: not under its rollback.
                const auto removal = std::find_if(run.machine.log.begin(), run.machine.log.end(), [](const std::string& l) {
                    return l.find("the work folder's removal started") != std::string::npos;
                });
                const auto ended = std::find_if(run.machine.log.begin(), run.machine.log.end(), [](const std::string& l) {
                    return l.find("ended with exit code 1602") != std::string::npos;
                });
                EXPECT_LT(ended, removal) << what;
                EXPECT_TRUE(Logged(run.machine.log, "the installer cancelled and rolled back")) << what;
            }
        }
    }
}

TEST(InstallSequence, FilesInUseAskTheUserOnlyWhereSomeoneIsThere) {
    struct Case {
        std::vector<std::string> arguments;
        bool userSaysYes;
        int asked;
        uint32_t answer;
    } cases[] = {
        {{"-a"}, true, 1, kAnswerIdYes},
        {{"-a"}, false, 1, kAnswerIdNo},
        {{}, true, 1, kAnswerIdYes},
        {{"-s"}, true, 0, kAnswerIdNo},
    };
    for (const Case& c : cases) {
        Script script;
        script.enu.speaks = true;
        script.enu.progress = {10, 100, 255};
        script.enu.asksFilesInUse = true;
        script.answerYes = c.userSaysYes;
        Course run(script, c.arguments);
        if (c.arguments.empty()) run.sequence.OnInstallClick();
        EXPECT_EQ(run.machine.asked, c.asked);
        EXPECT_EQ(run.machine.answers, std::vector<uint32_t>{c.answer});
        EXPECT_TRUE(Logged(run.machine.log, "close the applications that hold its files: Outlook, Word; answer: "));
        EXPECT_EQ(run.sequence.ExitCode(), 0u);
    }
}

TEST(InstallSequence, UnattendedRunsWithEverythingInstalledEndBeforeAnyWindow) {
    struct Case {
        std::vector<std::string> arguments;
        uint32_t setup;
        bool early;
        bool selfDelete;
    } cases[] = {
        {{"-s"}, 0, true, false},
        {{"-s", "-d"}, 0, true, true},
        {{}, 1, true, true},  // deployment
        {{"-a"}, 0, false, false},
        {{}, 0, false, false},  // by hand
    };
    for (const Case& c : cases) {
        Script script;
        script.netfx.runtime = script.netfx.pack = Release(461814);
        script.setupInProgress = c.setup;
        FakeMachine machine(script);
        InstallSequence sequence(machine);
        machine.sequence = &sequence;
        sequence.DecideRunMode(c.arguments);
        // No view is set: an early end must not need one.
        EXPECT_EQ(sequence.NothingToDoBeforeWindows(), c.early);
        if (!c.early) continue;
        EXPECT_EQ(sequence.ExitCode(), 0u);
        EXPECT_TRUE(machine.journal.empty());
        EXPECT_EQ(machine.commands.size(), c.selfDelete ? 1u : 0u);
        EXPECT_TRUE(Logged(machine.log, "nothing to do"));
    }
    // A silent run with something to do reads the values once and goes on as usual.
    Script missing;
    FakeMachine machine(missing);
    InstallSequence sequence(machine);
    machine.sequence = &sequence;
    sequence.SetView(&machine);
    sequence.DecideRunMode({"-s"});
    EXPECT_FALSE(sequence.NothingToDoBeforeWindows());
    sequence.OnCreate();
    EXPECT_EQ(std::count_if(machine.log.begin(), machine.log.end(),
                            [](const std::string& l) { return l.find("installed already") != std::string::npos; }),
              1);
    EXPECT_EQ(sequence.ExitCode(), 0u);
    EXPECT_EQ(machine.started.size(), 3u);
}
