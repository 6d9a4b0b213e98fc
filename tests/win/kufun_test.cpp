// The payload, process and timing services, on the real platform under Wine.
#include <gtest/gtest.h>

#include <thread>

#include "KuFun.h"
#include "TestSupport.h"

namespace {
int pumpPasses = 0;
void CountingPass() {
    ++pumpPasses;
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
}

std::string ResourceBytes(const char* type, const char* name) {
    HRSRC r = FindResourceExA(nullptr, type, name, MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_SIMPLIFIED));
    if (!r) r = FindResourceA(nullptr, name, type);
    if (!r) return "";
    return std::string(static_cast<const char*>(LockResource(LoadResource(nullptr, r))), SizeofResource(nullptr, r));
}

std::string Child() { return PathFromEnv("QVKU_CHILD"); }

class KuFun : public ::testing::Test {
protected:
    void SetUp() override {
        StopRequested = false;
        pumpPasses = 0;
        SetPumpPass(CountingPass);
    }
    void TearDown() override {
        StopRequested = false;
        SetPumpPass(nullptr);
    }
    ScratchDir dir;
};
}  // namespace

TEST_F(KuFun, ExtractFindsResourcesInAnyCaseAndLanguage) {
    struct Case { const char* type; const char* name; const char* storedType; const char* storedName; } cases[] = {
        {"ku", "Net45", "KU", "NET45"}, {"KU", "NET45", "KU", "NET45"}, {"tool", "exe1", "TOOL", "EXE1"},
        {"Tool", "Exe1", "TOOL", "EXE1"}, {"ku", "elsewhere", "KU", "ELSEWHERE"},  // stored in Russian only
    };
    for (const auto& c : cases) {
        const std::string path = dir / "out.bin";
        ASSERT_TRUE(ExtractResourceToFile(c.type, c.name, path)) << c.type << "/" << c.name;
        const std::string expected = ResourceBytes(c.storedType, c.storedName);
        ASSERT_FALSE(expected.empty());
        EXPECT_EQ(ReadFileBytes(path), expected) << c.type << "/" << c.name;
    }
}

TEST_F(KuFun, ExtractFailuresLeaveFilesAlone) {
    const std::string existing = dir / "existing.bin";
    ASSERT_TRUE(WriteFileBytes(existing, "keep me"));
    EXPECT_FALSE(ExtractResourceToFile("ku", "nosuchname", existing));
    EXPECT_FALSE(ExtractResourceToFile("nosuchtype", "Net45", existing));
    EXPECT_EQ(ReadFileBytes(existing), "keep me");
    EXPECT_FALSE(ExtractResourceToFile("ku", "Net45", dir / "missing\\folder\\out.bin"));
    EXPECT_FALSE(FileExists(dir / "missing"));
}

TEST_F(KuFun, ExtractReplacesALongerFileExactly) {
    const std::string path = dir / "longer.bin";
    const std::string payload = ResourceBytes("KU", "NET45");
    ASSERT_TRUE(WriteFileBytes(path, std::string(payload.size() * 3, 'x')));
    ASSERT_TRUE(ExtractResourceToFile("ku", "Net45", path));
    EXPECT_EQ(ReadFileBytes(path), payload);
}

TEST_F(KuFun, ExtractOfAnEmptyResourceMakesAnEmptyFile) {
    const std::string path = dir / "empty.bin";
    ASSERT_TRUE(WriteFileBytes(path, "old content"));
    EXPECT_TRUE(ExtractResourceToFile("ku", "zero", path));
    EXPECT_TRUE(FileExists(path));
    EXPECT_EQ(ReadFileBytes(path), "");
}

TEST_F(KuFun, ExtractIntoAFileInUseFails) {
    const std::string path = dir / "busy.bin";
    ASSERT_TRUE(WriteFileBytes(path, "busy"));
    HANDLE held = CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    EXPECT_FALSE(ExtractResourceToFile("ku", "Net45", path));
    CloseHandle(held);
    EXPECT_EQ(ReadFileBytes(path), "busy");
}

TEST_F(KuFun, RunReturnsTheExitCode) {
    for (int code : {0, 1, 1603, 3010}) {
        RunResult r = RunProgram("", Child() + " exit " + std::to_string(code), kWaitForever, SW_HIDE);
        EXPECT_TRUE(r.started);
        EXPECT_FALSE(r.stillRunning);
        EXPECT_EQ(r.exitCode, DWORD(code));
        EXPECT_EQ(RunAndWait(Child() + " exit " + std::to_string(code), kWaitForever, SW_HIDE), DWORD(code));
    }
}

TEST_F(KuFun, MissingProgramGivesZeroAtOnceWithoutAPumpPass) {
    const DWORD start = GetTickCount();
    RunResult r = RunProgram("", dir / "no-such-program.exe /q", kWaitForever, SW_HIDE);
    EXPECT_FALSE(r.started);
    EXPECT_EQ(r.exitCode, 0u);
    EXPECT_EQ(RunAndWait(dir / "no-such-program.exe", kWaitForever, SW_HIDE), 0u);
    EXPECT_EQ(pumpPasses, 0);
    EXPECT_LT(GetTickCount() - start, 2000u);
}

TEST_F(KuFun, ProgramNamedQvStarts) {
    const std::string qv = dir / "qvzip.qv";
    ASSERT_TRUE(CopyFileA(Child().c_str(), qv.c_str(), FALSE));
    RunResult r = RunProgram("", qv + " exit 42", kWaitForever, SW_HIDE);
    EXPECT_TRUE(r.started);
    EXPECT_EQ(r.exitCode, 42u);
}

TEST_F(KuFun, FiniteTimeOutLeavesTheProgramRunning) {
    RunResult r = RunProgram("", Child() + " sleep 3000 7", 200, SW_HIDE);
    EXPECT_TRUE(r.started);
    EXPECT_EQ(r.exitCode, 259u);
    EXPECT_TRUE(r.stillRunning);
    EXPECT_EQ(pumpPasses, 0) << "a finite wait handles no messages";
}

TEST_F(KuFun, StopAlreadySetStartsTheProgramAndReturnsAtOnce) {
    StopRequested = true;
    const std::string marker = dir / "started.txt";
    const DWORD start = GetTickCount();
    RunResult r = RunProgram("", Child() + " sleep 1500 0", kWaitForever, SW_HIDE);
    EXPECT_LT(GetTickCount() - start, 1000u);
    EXPECT_TRUE(r.started);
    EXPECT_EQ(r.exitCode, 259u);
    EXPECT_TRUE(r.stillRunning);
    // and the program really started: it writes its current folder when asked to
    StopRequested = false;
    EXPECT_EQ(RunProgram("", Child() + " cwd " + marker, kWaitForever, SW_HIDE).exitCode, 0u);
    EXPECT_TRUE(FileExists(marker));
}

VOID CALLBACK RequestStop(HWND, UINT, UINT_PTR id, DWORD) {
    KillTimer(nullptr, id);
    StopRequested = true;
}

TEST_F(KuFun, StopSetDuringTheWaitEndsItWithinOneCycle) {
    SetTimer(nullptr, 0, 300, RequestStop);
    const DWORD start = GetTickCount();
    RunResult r = RunProgram("", Child() + " sleep 8000 0", kWaitForever, SW_HIDE);
    const DWORD elapsed = GetTickCount() - start;
    EXPECT_TRUE(r.started);
    EXPECT_EQ(r.exitCode, 259u);
    EXPECT_TRUE(r.stillRunning) << "the child keeps running";
    EXPECT_GE(elapsed, 300u);
    EXPECT_LT(elapsed, 2000u) << "the wait should end within one 100 ms cycle of the stop";
    EXPECT_GT(pumpPasses, 1);
}

TEST_F(KuFun, UnlimitedWaitKeepsMessagesFlowing) {
    RunResult r = RunProgram("", Child() + " sleep 1000 5", kWaitForever, SW_HIDE);
    EXPECT_EQ(r.exitCode, 5u);
    EXPECT_GE(pumpPasses, 5) << "about one pass per 100 ms";
}

TEST_F(KuFun, ConsoleChildGetsItsOwnHiddenConsole) {
    const std::string report = dir / "console.txt";
    ASSERT_EQ(RunAndWait(Child() + " console " + report, kWaitForever, SW_HIDE), 0u);
    EXPECT_EQ(ReadFileBytes(report), "console=1 visible=0");
}

TEST_F(KuFun, DelayRunsAtLeastOnePassAndItsFullLength) {
    for (int d : {0, -1, -1000}) {
        pumpPasses = 0;
        DelayWithMessages(d);
        EXPECT_EQ(pumpPasses, 1) << d;
    }
    pumpPasses = 0;
    const DWORD start = GetTickCount();
    DelayWithMessages(1000);
    EXPECT_GE(GetTickCount() - start, 1000u);
    EXPECT_GT(pumpPasses, 1);
}

TEST_F(KuFun, VersionTexts) {
    EXPECT_EQ(GetExeVersionText(), "V12.0.3.45");
    EXPECT_EQ(GetFileVersionText(PathFromEnv("QVKU_EXE")), "V1.0.0.2");
    EXPECT_EQ(GetFileVersionText(Child()), "") << "no version block";
}

TEST_F(KuFun, UiLanguageFollowsTheThreadLocale) {
    const char* expected = std::getenv("QVKU_EXPECT_LANGUAGE");
    ASSERT_NE(expected, nullptr);
    EXPECT_EQ(GetUiLanguage(), std::atoi(expected)) << "thread locale " << GetThreadLocale();
}

TEST_F(KuFun, RedirectionOffReachesTheNativeSystemFolder) {
    if (TestArch() != "win64") {
        EXPECT_TRUE(DisableWow64Redirection()) << "nothing to switch off, and no failure";
        return;
    }
    char windows[MAX_PATH];
    GetWindowsDirectoryA(windows, MAX_PATH);
    const std::string name = "qvku-only64-" + std::to_string(GetCurrentProcessId()) + ".txt";
    const std::string native = std::string(windows) + "\\sysnative\\" + name;
    const std::string system32 = std::string(windows) + "\\system32\\" + name;
    ASSERT_TRUE(WriteFileBytes(native, "64")) << native;
    EXPECT_FALSE(FileExists(system32)) << "redirected, system32 is the 32-bit folder";
    bool seen = false, result = false;
    // Redirection is per thread and stays off: a thread of its own keeps the others as they are.
    std::thread([&] {
        result = DisableWow64Redirection();
        seen = FileExists(system32);
    }).join();
    EXPECT_TRUE(result);
    EXPECT_TRUE(seen);
    EXPECT_FALSE(FileExists(system32)) << "this thread is still redirected";
    DeleteFileA(native.c_str());
}
