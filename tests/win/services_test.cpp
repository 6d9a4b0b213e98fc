// The payload, process and timing services, on the real platform under Wine.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <thread>

#include "ChildProcess.h"
#include "MessagePump.h"
#include "PayloadWriter.h"
#include "ResourceFile.h"
#include "SystemApi.h"
#include "SystemPrograms.h"
#include "TestSupport.h"
#include "UiLanguage.h"
#include "VersionText.h"
#include "Wow64Redirection.h"

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
// The child's command line: its own path first, in quotes, as the installer builds them.
std::string ChildLine(const std::string& arguments) { return "\"" + Child() + "\" " + arguments; }

const WaitSlice kWaitToTheEnd = [] { return true; };

// Waits up to `ms` for a file to appear.
bool FileAppears(const std::string& path, DWORD ms) {
    for (const DWORD start = GetTickCount(); GetTickCount() - start < ms; Sleep(50))
        if (FileExists(path)) return true;
    return FileExists(path);
}

class Services : public ::testing::Test {
protected:
    void SetUp() override {
        pumpPasses = 0;
        SetPumpPass(CountingPass);
    }
    void TearDown() override { SetPumpPass(nullptr); }
    ScratchDir dir;
};
}  // namespace

TEST_F(Services, ExtractFindsResourcesInAnyCaseAndLanguage) {
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

TEST_F(Services, ExtractFailuresLeaveFilesAlone) {
    const std::string existing = dir / "existing.bin";
    ASSERT_TRUE(WriteFileBytes(existing, "keep me"));
    EXPECT_FALSE(ExtractResourceToFile("ku", "nosuchname", existing));
    EXPECT_FALSE(ExtractResourceToFile("nosuchtype", "Net45", existing));
    EXPECT_EQ(ReadFileBytes(existing), "keep me");
    EXPECT_FALSE(ExtractResourceToFile("ku", "Net45", dir / "missing\\folder\\out.bin"));
    EXPECT_FALSE(FileExists(dir / "missing"));
}

TEST_F(Services, ExtractReplacesALongerFileExactly) {
    const std::string path = dir / "longer.bin";
    const std::string payload = ResourceBytes("KU", "NET45");
    ASSERT_TRUE(WriteFileBytes(path, std::string(payload.size() * 3, 'x')));
    ASSERT_TRUE(ExtractResourceToFile("ku", "Net45", path));
    EXPECT_EQ(ReadFileBytes(path), payload);
}

TEST_F(Services, ExtractOfAnEmptyResourceMakesAnEmptyFile) {
    const std::string path = dir / "empty.bin";
    ASSERT_TRUE(WriteFileBytes(path, "old content"));
    EXPECT_TRUE(ExtractResourceToFile("ku", "zero", path));
    EXPECT_TRUE(FileExists(path));
    EXPECT_EQ(ReadFileBytes(path), "");
}

TEST_F(Services, ExtractIntoAFileInUseFails) {
    const std::string path = dir / "busy.bin";
    ASSERT_TRUE(WriteFileBytes(path, "busy"));
    HANDLE held = CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    EXPECT_FALSE(ExtractResourceToFile("ku", "Net45", path));
    CloseHandle(held);
    EXPECT_EQ(ReadFileBytes(path), "busy");
}

TEST_F(Services, ExtractAndWriterFailuresCarryTheirWin32Error) {
    const std::string existing = dir / "existing.bin";
    ASSERT_TRUE(WriteFileBytes(existing, "keep me"));
    struct Case {
        const char* type;
        const char* name;
        std::string path;
        uint32_t error;
    } cases[] = {
        {"ku", "nosuchname", existing, ERROR_RESOURCE_NAME_NOT_FOUND},
        {"nosuchtype", "Net45", existing, ERROR_RESOURCE_NAME_NOT_FOUND},
        {"ku", "Net45", dir / "missing\\folder\\out.bin", ERROR_PATH_NOT_FOUND},
        {"ku", "Net45", dir.path(), ERROR_ACCESS_DENIED},  // a folder stands there
    };
    for (const auto& c : cases) {
        ResourceFileWriter writer;
        EXPECT_FALSE(writer.Open(c.type, c.name, c.path)) << c.type << "/" << c.name << " " << c.path;
        EXPECT_EQ(writer.Error(), c.error) << c.type << "/" << c.name << " " << c.path;
        EXPECT_FALSE(writer.WriteSome(100)) << "nothing is written after a failed open";
        EXPECT_FALSE(writer.Done());
        EXPECT_EQ(writer.Error(), c.error) << "the first failure is kept";
    }
    EXPECT_EQ(ReadFileBytes(existing), "keep me");
    // A writer that succeeds has no error, piece by piece.
    ResourceFileWriter writer;
    ASSERT_TRUE(writer.Open("ku", "Net45", dir / "pieces.bin"));
    int pieces = 0;
    while (!writer.Done()) {
        ASSERT_TRUE(writer.WriteSome(4096));
        ++pieces;
    }
    EXPECT_EQ(writer.Error(), 0u);
    EXPECT_EQ(pieces, int((ResourceBytes("KU", "NET45").size() + 4095) / 4096));
    EXPECT_EQ(ReadFileBytes(dir / "pieces.bin"), ResourceBytes("KU", "NET45"));
}

TEST_F(Services, PayloadWriterWritesEveryFileOrStopsAtTheFirstFailureWithItsError) {
    struct Case {
        const char* what;
        std::vector<PayloadFile> files;
        bool written;
        uint32_t error;
        std::vector<std::string> made;  // files that stand complete afterwards
    } cases[] = {
        {"both", {{"tool", "exe1", dir / "a.qv"}, {"ku", "Net45", dir / "b.7z"}}, true, 0, {"a.qv", "b.7z"}},
        {"a missing resource first", {{"ku", "none", dir / "c.qv"}, {"ku", "Net45", dir / "d.7z"}}, false,
         ERROR_RESOURCE_NAME_NOT_FOUND, {}},
        {"a missing folder second", {{"tool", "exe1", dir / "e.qv"}, {"ku", "Net45", dir / "no\\f.7z"}}, false,
         ERROR_PATH_NOT_FOUND, {"e.qv"}},
    };
    for (const auto& c : cases) {
        PayloadWriter writer(c.files);
        int steps = 0;
        while (writer.WriteNext()) ASSERT_LT(++steps, 1000) << c.what;
        EXPECT_EQ(writer.Written(), c.written) << c.what;
        EXPECT_EQ(writer.Error(), c.error) << c.what;
        EXPECT_FALSE(writer.WriteNext()) << c.what << ": nothing more after the end";
        for (const PayloadFile& f : c.files) {
            const bool expected = std::find(c.made.begin(), c.made.end(), f.path.substr(dir.path().size() + 1)) !=
                                  c.made.end();
            EXPECT_EQ(FileExists(f.path), expected) << c.what << ": " << f.path;
            if (expected) {
                EXPECT_EQ(ReadFileBytes(f.path), ResourceBytes(f.type, f.name)) << c.what;
            }
        }
    }
}

TEST_F(Services, RunReturnsTheExitCodeOfAnEndedChild) {
    for (uint32_t code : {0u, 1u, 1603u, 3010u, 0xC0000005u}) {
        RunResult r = RunProgram(Child(), ChildLine("exit " + std::to_string(int32_t(code))), dir.path(), SW_HIDE,
                                 kWaitToTheEnd);
        EXPECT_TRUE(r.started) << code;
        EXPECT_TRUE(r.ended) << code;
        EXPECT_EQ(r.exitCode, code);
        EXPECT_EQ(r.error, 0u) << code;
    }
    RunResult slow = RunProgram(Child(), ChildLine("sleep 600 5"), dir.path(), SW_HIDE, kWaitToTheEnd);
    EXPECT_TRUE(slow.ended);
    EXPECT_EQ(slow.exitCode, 5u);
    EXPECT_GE(slow.durationMs, 550u) << "from the start to the end of the wait";
    EXPECT_LT(slow.durationMs, 10000u);
}

TEST_F(Services, RunStartsTheChildInTheGivenFolderNotOurs) {
    ScratchDir ours;
    ASSERT_TRUE(SetCurrentDirectoryA(ours.path().c_str()));
    const std::string report = dir / "cwd.txt";
    RunResult r = RunProgram(Child(), ChildLine("cwd \"" + report + "\""), dir.path(), SW_HIDE, kWaitToTheEnd);
    char windows[MAX_PATH] = {};
    GetWindowsDirectoryA(windows, MAX_PATH);
    SetCurrentDirectoryA(windows);  // lets the scratch folders go
    ASSERT_TRUE(r.ended);
    EXPECT_EQ(r.exitCode, 0u);
    std::string seen = ReadFileBytes(report);
    if (!seen.empty() && seen.back() == '\\') seen.pop_back();
    EXPECT_EQ(CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, seen.c_str(), -1, dir.path().c_str(), -1), CSTR_EQUAL)
        << seen << " vs " << dir.path();
}

TEST_F(Services, ProgramsThatCannotStartSayWhyAtOnceWithoutAPumpPass) {
    struct Case {
        std::string program;
        std::string folder;
        std::vector<uint32_t> errors;  // what the system may answer
    } cases[] = {
        {dir / "no-such-program.exe", dir.path(), {ERROR_FILE_NOT_FOUND}},
        {dir / "no\\such\\folder\\program.exe", dir.path(), {ERROR_PATH_NOT_FOUND, ERROR_FILE_NOT_FOUND}},
        {"", dir.path(), {ERROR_INVALID_PARAMETER}},            // never a search by the command line
        {Child(), "", {ERROR_INVALID_PARAMETER}},               // never our own current folder
        {Child(), dir / "no-such-folder", {ERROR_DIRECTORY, ERROR_PATH_NOT_FOUND, ERROR_FILE_NOT_FOUND}},
    };
    for (const auto& c : cases) {
        pumpPasses = 0;
        int slices = 0;
        const DWORD start = GetTickCount();
        RunResult r = RunProgram(c.program, ChildLine("exit 3"), c.folder, SW_HIDE, [&] { return ++slices, true; });
        EXPECT_FALSE(r.started) << c.program << " in " << c.folder;
        EXPECT_FALSE(r.ended);
        EXPECT_NE(std::find(c.errors.begin(), c.errors.end(), r.error), c.errors.end())
            << c.program << " in " << c.folder << ": error " << r.error;
        EXPECT_EQ(pumpPasses, 0);
        EXPECT_EQ(slices, 0);
        EXPECT_LT(GetTickCount() - start, 2000u);
    }
}

TEST_F(Services, ProgramNamedQvStarts) {
    const std::string qv = dir / "qvzip.qv";
    ASSERT_TRUE(CopyFileA(Child().c_str(), qv.c_str(), FALSE));
    RunResult r = RunProgram(qv, "\"" + qv + "\" exit 42", dir.path(), SW_HIDE, kWaitToTheEnd);
    EXPECT_TRUE(r.ended);
    EXPECT_EQ(r.exitCode, 42u);
}

TEST_F(Services, SliceSayingStopEndsTheWaitAtOnceAndTheChildRunsOn) {
    const std::string mark = dir / "mark.txt";
    int slices = 0;
    const DWORD start = GetTickCount();
    RunResult r = RunProgram(Child(), ChildLine("mark 1500 \"" + mark + "\""), dir.path(), SW_HIDE,
                             [&] { return ++slices, false; });
    const DWORD elapsed = GetTickCount() - start;
    EXPECT_TRUE(r.started);
    EXPECT_FALSE(r.ended);
    EXPECT_EQ(r.error, 0u);
    EXPECT_EQ(slices, 1) << "the first slice that says stop is the last";
    EXPECT_GE(pumpPasses, 1) << "a pump pass runs before the callback";
    EXPECT_LT(elapsed, 1000u);
    EXPECT_FALSE(FileExists(mark)) << "the child has not got that far yet";
    EXPECT_TRUE(FileAppears(mark, 15000)) << "the child was left running and finished its work";
}

std::atomic<bool> flag{false};
VOID CALLBACK RaiseFlag(HWND, UINT, UINT_PTR id, DWORD) {
    KillTimer(nullptr, id);
    flag = true;
}

TEST_F(Services, StopSetByAHandlerDuringTheWaitEndsItWithinOneSlice) {
    flag = false;
    SetTimer(nullptr, 0, 300, RaiseFlag);
    const DWORD start = GetTickCount();
    RunResult r = RunProgram(Child(), ChildLine("sleep 8000 0"), dir.path(), SW_HIDE, [] { return !flag; });
    const DWORD elapsed = GetTickCount() - start;
    EXPECT_TRUE(r.started);
    EXPECT_FALSE(r.ended) << "the child keeps running";
    EXPECT_GE(elapsed, 300u);
    EXPECT_LT(elapsed, 2000u) << "the wait should end within one 100 ms slice of the stop";
    EXPECT_GT(pumpPasses, 1);
}

TEST_F(Services, UnlimitedWaitKeepsMessagesFlowing) {
    int slices = 0;
    RunResult r = RunProgram(Child(), ChildLine("sleep 1000 5"), dir.path(), SW_HIDE, [&] { return ++slices, true; });
    EXPECT_TRUE(r.ended);
    EXPECT_EQ(r.exitCode, 5u);
    EXPECT_GE(pumpPasses, 5) << "about one pass per 100 ms";
    EXPECT_GE(slices, 5);
    EXPECT_LE(slices, 15) << "slices of about 100 ms, not a busy loop";
    EXPECT_GE(pumpPasses, slices) << "each callback follows a pump pass";
}

TEST_F(Services, WakeEndsASliceEarly) {
    // An event the child would signal; here the callback signals it from its third call on and
    // never resets it, so every later slice ends at once.
    UniqueHandle wake(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    ASSERT_TRUE(wake);
    int slices = 0, slicesAfterWake = 0;
    DWORD woken = 0;
    RunResult r = RunProgram(Child(), ChildLine("sleep 3000 0"), dir.path(), SW_HIDE, [&] {
        ++slices;
        if (slices == 3) {
            SetEvent(wake.get());
            woken = GetTickCount();
        }
        if (slices > 3) ++slicesAfterWake;
        return !(woken && GetTickCount() - woken >= 300);
    }, wake.get());
    EXPECT_TRUE(r.started);
    EXPECT_FALSE(r.ended);
    // 300 ms of 100 ms slices would be three or four.
    EXPECT_GT(slicesAfterWake, 20) << "a signalled wake ends each slice at once";

    // One signal from another thread ends the slice it falls in long before its 100 ms.
    UniqueHandle once(CreateEventA(nullptr, FALSE, FALSE, nullptr));
    std::atomic<DWORD> signalled{0};
    DWORD seenAfter = 0;
    int calls = 0;
    std::thread signaller;
    RunResult r2 = RunProgram(Child(), ChildLine("sleep 3000 0"), dir.path(), SW_HIDE, [&] {
        if (++calls == 1) {
            signaller = std::thread([&] {
                Sleep(20);
                signalled = GetTickCount();
                SetEvent(once.get());
            });
            return true;
        }
        seenAfter = GetTickCount() - signalled;
        return false;
    }, once.get());
    signaller.join();
    EXPECT_EQ(calls, 2);
    EXPECT_FALSE(r2.ended);
    EXPECT_LT(seenAfter, 80u) << "the slice after the signal ends with it, not after 100 ms";
}

TEST_F(Services, AFailedWaitIsNeverTakenForAnEndedProgram) {
    // A wake handle that is no handle makes the wait itself fail.
    const std::string mark = dir / "mark.txt";
    RunResult r = RunProgram(Child(), ChildLine("mark 300 \"" + mark + "\""), dir.path(), SW_HIDE, kWaitToTheEnd,
                             reinterpret_cast<HANDLE>(static_cast<uintptr_t>(0x7ff0)));
    EXPECT_TRUE(r.started);
    EXPECT_FALSE(r.ended);
    EXPECT_EQ(r.error, uint32_t(ERROR_INVALID_HANDLE));
    EXPECT_EQ(r.exitCode, 0u);
    EXPECT_TRUE(FileAppears(mark, 15000));
}

TEST_F(Services, ConsoleChildGetsItsOwnHiddenConsole) {
    const std::string report = dir / "console.txt";
    RunResult r = RunProgram(Child(), ChildLine("console \"" + report + "\""), dir.path(), SW_HIDE, kWaitToTheEnd);
    ASSERT_TRUE(r.ended);
    EXPECT_EQ(r.exitCode, 0u);
    EXPECT_EQ(ReadFileBytes(report), "console=1 visible=0");
}

TEST_F(Services, HiddenCommandStartsOrSaysWhy) {
    const std::string out = dir / "said.txt";
    EXPECT_EQ(StartHiddenCommand("echo said> \"" + out + "\""), 0u);
    EXPECT_TRUE(FileAppears(out, 15000));
    // Longer than any command line the system takes.
    const uint32_t error = StartHiddenCommand("rem " + std::string(40000, 'x'));
    EXPECT_NE(error, 0u);
    EXPECT_TRUE(error == ERROR_INVALID_PARAMETER || error == ERROR_FILENAME_EXCED_RANGE) << error;
}

TEST_F(Services, OwnPathAndSystemFolder) {
    const std::string self = ExecutablePath();
    EXPECT_TRUE(FileExists(self)) << self;
    EXPECT_EQ(GetFileVersionText(self), "V12.0.3.45");
    char system[MAX_PATH] = {};
    GetSystemDirectoryA(system, MAX_PATH);
    EXPECT_EQ(SystemFolder(), system);
    EXPECT_EQ(SystemProgram("cmd.exe"), std::string(system) + "\\cmd.exe");
    EXPECT_NE(SystemFunction("kernel32.dll", "GetTickCount"), nullptr);
    EXPECT_EQ(SystemFunction("kernel32.dll", "NoSuchFunctionAnywhere"), nullptr);
    EXPECT_EQ(SystemFunction("qvku-not-loaded.dll", "GetTickCount"), nullptr) << "nothing is loaded for a look-up";
    EXPECT_EQ(GetModuleHandleA("qvku-not-loaded.dll"), nullptr);
}

TEST_F(Services, DelayRunsAtLeastOnePassAndItsFullLength) {
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

TEST_F(Services, VersionTexts) {
    EXPECT_EQ(GetExeVersionText(), "V12.0.3.45");
    EXPECT_EQ(GetFileVersionText(PathFromEnv("QVKU_EXE")), "V1.0.0.2");
    EXPECT_EQ(GetFileVersionText(Child()), "") << "no version block";
}

TEST_F(Services, UiLanguageFollowsTheThreadLocale) {
    const char* expected = std::getenv("QVKU_EXPECT_LANGUAGE");
    ASSERT_NE(expected, nullptr);
    EXPECT_EQ(GetUiLanguage(), std::atoi(expected)) << "thread locale " << GetThreadLocale();
}

TEST_F(Services, RedirectionOffReachesTheNativeSystemFolder) {
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
