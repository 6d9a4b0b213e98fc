// The chainer protocol's Windows side against the real stand-in installer as the child: the
// objects it makes, what it reads, and what its abort and answers do to the installer.
#include <gtest/gtest.h>

#include <aclapi.h>
#include <sddl.h>

#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "ChainerSession.h"
#include "TestSupport.h"

namespace {

// The stand-in reads its settings under the ID of its file name, OTHER for the built one.
const std::string kSetting = "QVKU_STANDIN_OTHER_";

std::string Standin() { return PathFromEnv("QVKU_STANDIN"); }

bool IsHex(const std::string& text) {
    if (text.empty()) return false;
    for (char c : text)
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
    return true;
}

// Environment variables for the children started meanwhile, removed again at the end.
class ScopedEnv {
public:
    ScopedEnv& Set(const std::string& name, const std::wstring& value) {
        const std::wstring wide(name.begin(), name.end());
        SetEnvironmentVariableW(wide.c_str(), value.c_str());
        names_.push_back(wide);
        return *this;
    }
    ScopedEnv& Set(const std::string& name, const std::string& value) {
        return Set(name, std::wstring(value.begin(), value.end()));
    }
    ~ScopedEnv() {
        for (const std::wstring& name : names_) SetEnvironmentVariableW(name.c_str(), nullptr);
    }

private:
    std::vector<std::wstring> names_;
};

// A stand-in started as the installers are: "/q /norestart /pipe <section>", no handles
// inherited. Ended by its handle if a failed test leaves it running.
class Installer {
public:
    bool Start(const std::string& section) {
        const std::string path = Standin();
        std::string line = "\"" + path + "\" /q /norestart /pipe " + section;
        STARTUPINFOA startup = {};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION info = {};
        if (!CreateProcessA(path.c_str(), &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info))
            return false;
        CloseHandle(info.hThread);
        process_.reset(info.hProcess);
        return true;
    }
    HANDLE process() const { return process_.get(); }
    // The exit code, or STILL_ACTIVE when it has not ended within `ms`.
    DWORD Wait(DWORD ms) {
        DWORD code = STILL_ACTIVE;
        if (WaitForSingleObject(process_.get(), ms) == WAIT_OBJECT_0) GetExitCodeProcess(process_.get(), &code);
        return code;
    }
    ~Installer() {
        if (process_ && WaitForSingleObject(process_.get(), 0) == WAIT_TIMEOUT) {
            TerminateProcess(process_.get(), 1);
            WaitForSingleObject(process_.get(), 5000);
        }
    }

private:
    UniqueHandle process_;
};

struct Snapshot {
    ChainerProgress progress;
    ChainerMessage message;
};

// Waits as the install sequence will: on the installer's process and its change event, reading
// the block at each change. True once `until` holds for a read, or, with no condition, once the
// process has ended (its last state read after the end). Every read is kept in `seen`.
bool Observe(ChainerSession& session, Installer& installer, std::vector<Snapshot>& seen,
             const std::function<bool(const Snapshot&)>& until = nullptr, DWORD ms = 30000) {
    const DWORD start = GetTickCount();
    for (;;) {
        const DWORD spent = GetTickCount() - start;
        if (spent >= ms) return false;
        const HANDLE handles[2] = {installer.process(), session.ChangeEvent()};
        const DWORD woke = WaitForMultipleObjects(2, handles, FALSE, ms - spent);
        if (woke != WAIT_OBJECT_0 && woke != WAIT_OBJECT_0 + 1) return false;
        Snapshot snapshot;
        if (!session.Read(snapshot.progress, snapshot.message)) return false;
        seen.push_back(snapshot);
        if (until && until(snapshot)) return true;
        if (woke == WAIT_OBJECT_0) return !until;
    }
}

class ChainerSessionTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(Standin().empty()) << "QVKU_STANDIN is not set";
        env.Set("QVKU_STANDIN_LOG", log);
    }
    void TearDown() override { EXPECT_TRUE(Logged("lock").empty()) << "the installer waited for the mutex"; }
    // Between the cases of a table: the next installer's log alone.
    void FreshLog() {
        EXPECT_TRUE(Logged("lock").empty()) << "the installer waited for the mutex";
        DeleteFileA(log.c_str());
    }
    // The stand-in's log lines of one event.
    std::vector<std::string> Logged(const std::string& event) const {
        std::vector<std::string> lines;
        if (!FileExists(log)) return lines;
        const std::string text = ReadFileBytes(log);
        size_t at = 0;
        while (at < text.size()) {
            size_t end = text.find("\r\n", at);
            if (end == std::string::npos) end = text.size();
            const std::string line = text.substr(at, end - at);
            if (line.find(" event=" + event + " ") != std::string::npos)
                lines.push_back(line);
            at = end + 2;
        }
        return lines;
    }
    ScratchDir dir;
    const std::string log = dir / "standin.log";
    ScopedEnv env;
};

std::string Utf8Units(char letter, size_t count) { return std::string(count, letter); }

}  // namespace

TEST(ChainerSession, CreateMakesNewObjectsInTheirStartState) {
    // What the system keeps open after a first use (the random source) belongs to the baseline.
    ASSERT_TRUE(ChainerSession().Create());
    const int handlesBefore = CountOwnHandles();
    {
        ChainerSession session, other;
        ASSERT_TRUE(session.Create()) << session.Error();
        ASSERT_TRUE(other.Create()) << other.Error();
        EXPECT_TRUE(session.Created());
        const std::string sectionPrefix = "QvKu.Section.", eventPrefix = "QvKu.Event.";
        ASSERT_EQ(session.SectionName().compare(0, sectionPrefix.size(), sectionPrefix), 0) << session.SectionName();
        ASSERT_EQ(session.EventName().compare(0, eventPrefix.size(), eventPrefix), 0) << session.EventName();
        const std::string sectionBits = session.SectionName().substr(sectionPrefix.size());
        const std::string eventBits = session.EventName().substr(eventPrefix.size());
        EXPECT_EQ(sectionBits.size(), 32u);
        EXPECT_TRUE(IsHex(sectionBits)) << sectionBits;
        EXPECT_EQ(eventBits.size(), 32u);
        EXPECT_TRUE(IsHex(eventBits)) << eventBits;
        EXPECT_NE(sectionBits, eventBits);
        EXPECT_NE(session.SectionName(), other.SectionName());
        EXPECT_NE(session.EventName(), other.EventName());
        ASSERT_NE(session.ChangeEvent(), nullptr);

        // What the installer finds: the event name, version 1, both results pending.
        UniqueHandle mapping(OpenFileMappingA(FILE_MAP_READ, FALSE, session.SectionName().c_str()));
        ASSERT_TRUE(mapping) << GetLastError();
        UniqueView view(MapViewOfFile(mapping.get(), FILE_MAP_READ, 0, 0, 0));
        ASSERT_TRUE(view);
        const uint8_t* block = static_cast<const uint8_t*>(view.get());
        EXPECT_EQ(Utf8FromUtf16Le(block + ChainerField::kEventName, kChainerTextUnits), session.EventName());
        ChainerProgress progress;
        ChainerMessage message;
        ASSERT_TRUE(ReadChainerProgress(block, kChainerMappingSize, progress));
        EXPECT_EQ(progress.version, 1);
        EXPECT_EQ(progress.hrInstallFinished, kHresultPending);
        EXPECT_EQ(progress.hrDownloadFinished, kHresultPending);
        MEMORY_BASIC_INFORMATION region = {};
        ASSERT_TRUE(VirtualQuery(view.get(), &region, sizeof region));
        EXPECT_GE(region.RegionSize, kChainerMappingSize);

        ASSERT_TRUE(session.Read(progress, message)) << session.Error();
        EXPECT_FALSE(progress.installFinished);
        EXPECT_EQ(message.question, ChainerQuestion::None);
        EXPECT_EQ(session.InstallResult(), kHresultPending);

        // Let go after the start state: another thread (as another process) takes the mutex at once.
        DWORD waited = WAIT_FAILED;
        std::thread([&] {
            UniqueHandle mutex(OpenMutexA(SYNCHRONIZE | MUTEX_MODIFY_STATE, FALSE, (session.EventName() + "_mutex").c_str()));
            if (!mutex) return;
            waited = WaitForSingleObject(mutex.get(), 0);
            if (waited == WAIT_OBJECT_0) ReleaseMutex(mutex.get());
        }).join();
        EXPECT_EQ(waited, WAIT_OBJECT_0);

        // A second Create gives new names and lets the first objects go.
        const std::string firstSection = session.SectionName();
        ASSERT_TRUE(session.Create());
        EXPECT_NE(session.SectionName(), firstSection);
        view.reset();
        mapping.reset();
        EXPECT_FALSE(UniqueHandle(OpenFileMappingA(FILE_MAP_READ, FALSE, firstSection.c_str())));
    }
    EXPECT_EQ(CountOwnHandles(), handlesBefore) << "every handle is released with the session";
}

TEST(ChainerSession, WithoutObjectsEveryCallRefuses) {
    ChainerSession session;
    ChainerProgress progress;
    ChainerMessage message;
    progress.installSoFar = 9;
    EXPECT_FALSE(session.Created());
    EXPECT_FALSE(session.Read(progress, message));
    EXPECT_EQ(progress.installSoFar, 0);
    EXPECT_FALSE(session.Abort());
    EXPECT_FALSE(session.Answer(kAnswerNo));
    EXPECT_EQ(session.InstallResult(), kHresultPending);
    EXPECT_EQ(session.ChangeEvent(), nullptr);
    EXPECT_TRUE(session.SectionName().empty());
}

// The installer holds the mutex while it writes. One that keeps it past the bound costs one
// bounded wait, not a hang; one that died holding it leaves it abandoned, which counts as taken.
TEST(ChainerSession, TheMutexIsWaitedForWithinItsBound) {
    ChainerSession session;
    ASSERT_TRUE(session.Create()) << session.Error();
    const std::string name = session.EventName() + "_mutex";
    HANDLE taken = CreateEventA(nullptr, TRUE, FALSE, nullptr), done = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    UniqueHandle takenOwner(taken), doneOwner(done);
    std::thread holder([&] {
        UniqueHandle mutex(OpenMutexA(SYNCHRONIZE | MUTEX_MODIFY_STATE, FALSE, name.c_str()));
        if (!mutex || WaitForSingleObject(mutex.get(), 5000) != WAIT_OBJECT_0) return;
        SetEvent(taken);
        WaitForSingleObject(done, 10000);
        ReleaseMutex(mutex.get());
    });
    ASSERT_EQ(WaitForSingleObject(taken, 5000), WAIT_OBJECT_0);
    ChainerProgress progress;
    ChainerMessage message;
    const DWORD start = GetTickCount();
    EXPECT_FALSE(session.Read(progress, message));
    const DWORD waited = GetTickCount() - start;
    EXPECT_EQ(session.Error(), DWORD(WAIT_TIMEOUT));
    EXPECT_GE(waited + 50, kChainerLockTimeoutMs);
    EXPECT_LT(waited, 5 * kChainerLockTimeoutMs);
    EXPECT_FALSE(session.Abort());
    EXPECT_EQ(session.InstallResult(), kHresultPending);
    SetEvent(done);
    holder.join();
    EXPECT_TRUE(session.Read(progress, message)) << session.Error();

    // Taken and never released by a thread that has ended.
    std::thread([&] {
        HANDLE mutex = OpenMutexA(SYNCHRONIZE | MUTEX_MODIFY_STATE, FALSE, name.c_str());
        if (mutex) WaitForSingleObject(mutex, 5000);
        CloseHandle(mutex);
    }).join();
    EXPECT_TRUE(session.Read(progress, message)) << session.Error();
    EXPECT_EQ(progress.version, 1);
    EXPECT_TRUE(session.Abort()) << session.Error();
}

namespace {
std::string fixedBits;
std::string FixedBits(size_t) { return fixedBits; }
std::string NoBits(size_t) { return ""; }
}  // namespace

// A name someone made first is never opened: the installer would talk to them, and our start
// state would go into their mapping.
TEST(ChainerSession, ANameTakenFirstMakesCreateFail) {
    fixedBits = RandomHex(16);
    ASSERT_EQ(fixedBits.size(), 32u);
    const std::string section = "QvKu.Section." + fixedBits, event = "QvKu.Event." + fixedBits;
    const std::string planted = "planted by another user";
    struct Case { const char* what; std::function<HANDLE()> plant; DWORD error; } cases[] = {
        {"the mapping",
         [&] { return CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 65536, section.c_str()); },
         ERROR_ALREADY_EXISTS},
        {"the change event", [&] { return CreateEventA(nullptr, FALSE, FALSE, event.c_str()); }, ERROR_ALREADY_EXISTS},
        {"the send event", [&] { return CreateEventA(nullptr, FALSE, FALSE, (event + "_send").c_str()); },
         ERROR_ALREADY_EXISTS},
        {"the mutex", [&] { return CreateMutexA(nullptr, FALSE, (event + "_mutex").c_str()); }, ERROR_ALREADY_EXISTS},
        // Another kind of object under the section's name: no mapping can be had there at all.
        {"an event named as the mapping", [&] { return CreateEventA(nullptr, FALSE, FALSE, section.c_str()); },
         ERROR_INVALID_HANDLE},
    };
    for (const Case& c : cases) {
        UniqueHandle taken(c.plant());
        ASSERT_TRUE(taken) << c.what;
        UniqueView plantedView;
        if (std::string(c.what) == "the mapping") {
            plantedView.reset(MapViewOfFile(taken.get(), FILE_MAP_WRITE, 0, 0, 0));
            ASSERT_TRUE(plantedView);
            memcpy(plantedView.get(), planted.data(), planted.size());
        }
        const int handlesBefore = CountOwnHandles();
        {
            ChainerSession session(FixedBits);
            EXPECT_FALSE(session.Create()) << c.what;
            EXPECT_EQ(session.Error(), c.error) << c.what;
            EXPECT_FALSE(session.Created()) << c.what;
            EXPECT_TRUE(session.SectionName().empty()) << c.what;
            EXPECT_EQ(session.ChangeEvent(), nullptr) << c.what;
            ChainerProgress progress;
            ChainerMessage message;
            EXPECT_FALSE(session.Read(progress, message)) << c.what;
            EXPECT_EQ(CountOwnHandles(), handlesBefore) << c.what << ": nothing is held after the failure";
        }
        if (plantedView) {
            EXPECT_EQ(std::string(static_cast<const char*>(plantedView.get()), planted.size()), planted)
                << "the planted mapping was written";
        }
        if (std::string(c.what) == "the change event" || std::string(c.what) == "the send event") {
            EXPECT_EQ(WaitForSingleObject(taken.get(), 0), DWORD(WAIT_TIMEOUT)) << c.what << " was set";
        }
    }
    // Once nothing holds the names, the same draw works: the failures above were the taken names.
    ChainerSession session(FixedBits);
    EXPECT_TRUE(session.Create()) << session.Error();
    EXPECT_EQ(session.SectionName(), section);

    ChainerSession broken(NoBits);
    EXPECT_FALSE(broken.Create());
    EXPECT_NE(broken.Error(), 0u);
}

namespace {
// The DACL of a named object, as SDDL.
std::string DaclOf(HANDLE object) {
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (GetSecurityInfo(object, SE_KERNEL_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &dacl, nullptr,
                        &descriptor) != ERROR_SUCCESS)
        return "unreadable";
    UniqueLocal descriptorOwner(descriptor);
    char* text = nullptr;
    if (!ConvertSecurityDescriptorToStringSecurityDescriptorA(descriptor, SDDL_REVISION_1, DACL_SECURITY_INFORMATION,
                                                              &text, nullptr))
        return "unconvertible";
    UniqueLocal textOwner(text);
    return text;
}

// This thread's identity without the Administrators and SYSTEM, as a process of another,
// ordinary user on the machine would be; back to the process's own at the end.
class AsOrdinaryUser {
public:
    AsOrdinaryUser() {
        HANDLE process = nullptr;
        if (!OpenProcessToken(GetCurrentProcess(), TOKEN_DUPLICATE | TOKEN_QUERY | TOKEN_ASSIGN_PRIMARY, &process)) return;
        UniqueHandle processToken(process);
        BYTE administrators[SECURITY_MAX_SID_SIZE], system[SECURITY_MAX_SID_SIZE];
        DWORD size = sizeof administrators;
        CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, administrators, &size);
        size = sizeof system;
        CreateWellKnownSid(WinLocalSystemSid, nullptr, system, &size);
        SID_AND_ATTRIBUTES disabled[2] = {{administrators, 0}, {system, 0}};
        HANDLE restricted = nullptr, impersonation = nullptr;
        if (!CreateRestrictedToken(process, DISABLE_MAX_PRIVILEGE, 2, disabled, 0, nullptr, 0, nullptr, &restricted))
            return;
        UniqueHandle restrictedToken(restricted);
        if (!DuplicateToken(restricted, SecurityImpersonation, &impersonation)) return;
        UniqueHandle impersonationToken(impersonation);
        active_ = SetThreadToken(nullptr, impersonation) != FALSE;
    }
    ~AsOrdinaryUser() {
        if (active_) RevertToSelf();
    }
    bool active() const { return active_; }

private:
    bool active_ = false;
};
}  // namespace

TEST(ChainerSession, OnlySystemAndTheAdministratorsMayOpenTheObjects) {
    ChainerSession session;
    ASSERT_TRUE(session.Create()) << session.Error();
    const std::string event = session.EventName();
    struct Case { std::string what; std::function<HANDLE(DWORD)> open; DWORD access; } cases[] = {
        {"mapping", [&](DWORD a) { return OpenFileMappingA(a, FALSE, session.SectionName().c_str()); }, FILE_MAP_READ},
        {"change event", [&](DWORD a) { return OpenEventA(a, FALSE, event.c_str()); }, EVENT_MODIFY_STATE},
        {"send event", [&](DWORD a) { return OpenEventA(a, FALSE, (event + "_send").c_str()); }, EVENT_MODIFY_STATE},
        {"mutex", [&](DWORD a) { return OpenMutexA(a, FALSE, (event + "_mutex").c_str()); },
         SYNCHRONIZE | MUTEX_MODIFY_STATE},
    };
    for (const Case& c : cases) {
        UniqueHandle object(c.open(READ_CONTROL));
        ASSERT_TRUE(object) << c.what << " " << GetLastError();
        EXPECT_EQ(DaclOf(object.get()), "D:P(A;;GA;;;SY)(A;;GA;;;BA)") << c.what;
    }

    // An object anyone may open, to show that the ordinary user's identity can open objects.
    PSECURITY_DESCRIPTOR open = nullptr;
    ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorA("D:(A;;GA;;;WD)", SDDL_REVISION_1, &open, nullptr));
    UniqueLocal openOwner(open);
    SECURITY_ATTRIBUTES openAttributes = {sizeof openAttributes, open, FALSE};
    const std::string control = "QvKu.Test.Open." + RandomHex(16);
    UniqueHandle controlEvent(CreateEventA(&openAttributes, FALSE, FALSE, control.c_str()));
    ASSERT_TRUE(controlEvent);

    std::vector<DWORD> errors;
    bool controlOpened = false, impersonated = false;
    std::thread([&] {
        AsOrdinaryUser ordinary;
        impersonated = ordinary.active();
        if (!impersonated) return;
        controlOpened = bool(UniqueHandle(OpenEventA(EVENT_MODIFY_STATE, FALSE, control.c_str())));
        for (const Case& c : cases) {
            SetLastError(0);
            UniqueHandle object(c.open(c.access));
            errors.push_back(object ? 0 : GetLastError());
        }
    }).join();
    ASSERT_TRUE(impersonated) << "no restricted identity to try with";
    EXPECT_TRUE(controlOpened) << "the restricted identity opens an object open to everyone";
    ASSERT_EQ(errors.size(), 4u);
    for (size_t i = 0; i < errors.size(); ++i) EXPECT_EQ(errors[i], DWORD(ERROR_ACCESS_DENIED)) << cases[i].what;
}

TEST_F(ChainerSessionTest, ProgressIsReadAsTheInstallerReportsIt) {
    env.Set(kSetting + "PROGRESS", "10,80,160").Set(kSetting + "PAUSE", "250").Set(kSetting + "DELAY", "100");
    env.Set(kSetting + "STEP", L"\u6B63\u5728\u5B89\u88C5 .NET Framework 4.5.2");
    ChainerSession session;
    ASSERT_TRUE(session.Create()) << session.Error();
    Installer installer;
    ASSERT_TRUE(installer.Start(session.SectionName()));
    std::vector<Snapshot> seen;
    ASSERT_TRUE(Observe(session, installer, seen));
    EXPECT_EQ(installer.Wait(5000), 0u);

    // Each value read was one the installer reported, in its order; the last is the end.
    const std::vector<int> reported = {0, 10, 80, 160, 255};
    std::vector<int> read;
    for (const Snapshot& s : seen)
        if (read.empty() || read.back() != s.progress.installSoFar) read.push_back(s.progress.installSoFar);
    size_t next = 0;
    for (int value : read) {
        while (next < reported.size() && reported[next] != value) ++next;
        ASSERT_LT(next, reported.size()) << "read " << value << " out of order or never reported";
    }
    int between = 0;
    for (int value : read) between += value == 10 || value == 80 || value == 160;
    EXPECT_GE(between, 1) << "progress was read while the installer ran, not only at its end";
    EXPECT_EQ(Logged("progress").size(), 3u);

    const Snapshot& last = seen.back();
    EXPECT_TRUE(last.progress.installFinished);
    EXPECT_EQ(last.progress.installSoFar, 255);
    EXPECT_EQ(last.progress.hrInstallFinished, kHresultOk);
    EXPECT_EQ(ChainerFraction255(last.progress), 255);
    EXPECT_EQ(last.progress.currentItemStep,
              "\xE6\xAD\xA3\xE5\x9C\xA8\xE5\xAE\x89\xE8\xA3\x85 .NET Framework 4.5.2");
    EXPECT_EQ(session.InstallResult(), kHresultOk);
}

// A cancel: the installer sees both flags, rolls back, reports E_ABORT and ends with 1602,
// whatever point it had reached and however long it would otherwise have run.
TEST_F(ChainerSessionTest, AbortEndsTheInstallerWithItsRollback) {
    env.Set(kSetting + "PROGRESS", "20").Set(kSetting + "PAUSE", "100").Set(kSetting + "DELAY", "60000");
    env.Set(kSetting + "ROLLBACK", "300").Set(kSetting + "EXIT", "0");
    for (bool beforeStart : {false, true}) {
        const char* when = beforeStart ? "abort before the installer starts" : "abort after its first progress";
        FreshLog();
        ChainerSession session;
        ASSERT_TRUE(session.Create()) << session.Error();
        if (beforeStart) {
            ASSERT_TRUE(session.Abort()) << when;
        }
        Installer installer;
        ASSERT_TRUE(installer.Start(session.SectionName())) << when;
        std::vector<Snapshot> seen;
        if (!beforeStart) {
            ASSERT_TRUE(Observe(session, installer, seen, [](const Snapshot& s) { return s.progress.installSoFar == 20; }))
                << when;
            ASSERT_TRUE(session.Abort()) << when;
        }
        EXPECT_EQ(installer.Wait(20000), 1602u) << when;
        EXPECT_EQ(session.InstallResult(), kHresultAbort) << when;
        ChainerProgress progress;
        ChainerMessage message;
        ASSERT_TRUE(session.Read(progress, message)) << when;
        EXPECT_TRUE(progress.installFinished) << when;
        EXPECT_TRUE(progress.installAbort && progress.downloadAbort) << when;
        EXPECT_NE(ChainerFraction255(progress), 255) << when << ": a cancelled install is not done";
        EXPECT_EQ(Logged("abort").size(), 1u) << when;
        const std::vector<std::string> ends = Logged("end");
        ASSERT_EQ(ends.size(), 1u) << when;
        EXPECT_NE(ends[0].find(" exit=1602 hr=0x80004004"), std::string::npos) << ends[0];
    }
}

TEST_F(ChainerSessionTest, FilesInUseQuestionIsReadAndAnswered) {
    // 记事本.exe with pid 4242, and EXCEL.EXE
    env.Set(kSetting + "FILESINUSE", L"\u8BB0\u4E8B\u672C.exe:4242;EXCEL.EXE:4294967000").Set(kSetting + "DELAY", "50");
    struct Case { uint32_t answer; DWORD exitCode; uint32_t result; } cases[] = {
        {kAnswerYes, 0, kHresultOk},
        {kAnswerNo, 0, kHresultOk},
        {kAnswerCancel, 1602, kHresultAbort},  // a cancel is taken as an abort
    };
    for (const Case& c : cases) {
        FreshLog();
        ChainerSession session;
        ASSERT_TRUE(session.Create()) << session.Error();
        Installer installer;
        ASSERT_TRUE(installer.Start(session.SectionName()));
        std::vector<Snapshot> seen;
        ASSERT_TRUE(Observe(session, installer, seen,
                            [](const Snapshot& s) { return s.message.question != ChainerQuestion::None; }))
            << "answer " << c.answer;
        const ChainerMessage& question = seen.back().message;
        EXPECT_EQ(question.messageCode, 0x01070001u);
        EXPECT_EQ(question.question, ChainerQuestion::FilesInUse);
        EXPECT_FALSE(question.malformed);
        EXPECT_TRUE(NeedsUserAnswer(question));
        EXPECT_EQ(DefaultAnswer(question), kAnswerNo);
        ASSERT_EQ(question.applications.size(), 2u);
        EXPECT_EQ(question.applications[0].name, "\xE8\xAE\xB0\xE4\xBA\x8B\xE6\x9C\xAC.exe");
        EXPECT_EQ(question.applications[0].processId, 4242u);
        EXPECT_EQ(question.applications[1].name, "EXCEL.EXE");
        EXPECT_EQ(question.applications[1].processId, 4294967000u);
        // The installer waits for the answer: it has not ended.
        EXPECT_EQ(installer.Wait(300), DWORD(STILL_ACTIVE)) << "answer " << c.answer;

        ASSERT_TRUE(session.Answer(c.answer));
        EXPECT_EQ(installer.Wait(20000), c.exitCode) << "answer " << c.answer;
        const std::vector<std::string> answers = Logged("answer");
        ASSERT_EQ(answers.size(), 1u) << "answer " << c.answer;
        EXPECT_NE(answers[0].find(" answer=" + std::to_string(c.answer)), std::string::npos) << answers[0];
        EXPECT_EQ(Logged("abort").size(), c.answer == kAnswerCancel ? 1u : 0u) << "answer " << c.answer;
        EXPECT_EQ(session.InstallResult(), c.result) << "answer " << c.answer;
        ChainerProgress progress;
        ChainerMessage message;
        ASSERT_TRUE(session.Read(progress, message));
        EXPECT_EQ(message.question, ChainerQuestion::None) << "the question is cleared";
    }
}

// Broken blocks from the installer: read without harm, a question that cannot be read marked
// so, and answered with its default answer, which reaches the installer.
TEST_F(ChainerSessionTest, MalformedDataIsReadSafely) {
    env.Set(kSetting + "DELAY", "50");
    const std::string unended260N = Utf8Units('N', 260), unended260M = Utf8Units('M', 260);
    struct Case {
        const char* kind;
        bool question;
        bool malformed;
        std::vector<ChainerApplication> applications;
    } cases[] = {
        {"length", true, true, {}},
        {"count", true, true, {}},
        {"names", true, false, {{unended260N, 1111}, {unended260M, 2222}}},
        {"step", false, false, {}},
    };
    for (const Case& c : cases) {
        FreshLog();
        ScopedEnv kind;
        kind.Set(kSetting + "MALFORMED", c.kind);
        ChainerSession session;
        ASSERT_TRUE(session.Create()) << session.Error();
        Installer installer;
        ASSERT_TRUE(installer.Start(session.SectionName()));
        std::vector<Snapshot> seen;
        if (!c.question) {
            ASSERT_TRUE(Observe(session, installer, seen));
            bool stepRead = false;
            for (const Snapshot& s : seen) stepRead |= s.progress.currentItemStep == Utf8Units('S', 260);
            EXPECT_TRUE(stepRead) << c.kind << ": a step of 260 units, read up to the field's end";
            for (const Snapshot& s : seen) EXPECT_EQ(s.progress.downloadSoFar, 0) << c.kind;
            EXPECT_EQ(installer.Wait(5000), 0u) << c.kind;
            continue;
        }
        ASSERT_TRUE(Observe(session, installer, seen,
                            [](const Snapshot& s) { return s.message.question != ChainerQuestion::None; }))
            << c.kind;
        const ChainerMessage& message = seen.back().message;
        EXPECT_EQ(message.question, ChainerQuestion::FilesInUse) << c.kind;
        EXPECT_EQ(message.malformed, c.malformed) << c.kind;
        ASSERT_EQ(message.applications.size(), c.applications.size()) << c.kind;
        for (size_t i = 0; i < c.applications.size(); ++i) {
            EXPECT_EQ(message.applications[i].name, c.applications[i].name) << c.kind << " " << i;
            EXPECT_EQ(message.applications[i].processId, c.applications[i].processId) << c.kind << " " << i;
        }
        ASSERT_TRUE(session.Answer(DefaultAnswer(message))) << c.kind;
        EXPECT_EQ(installer.Wait(20000), 0u) << c.kind;
        const std::vector<std::string> answers = Logged("answer");
        ASSERT_EQ(answers.size(), 1u) << c.kind;
        EXPECT_NE(answers[0].find(" answer=7"), std::string::npos) << answers[0];
    }
}

// An installer that knows nothing of the protocol: no change, no result, only its exit code.
TEST_F(ChainerSessionTest, AnInstallerIgnoringThePipeLeavesTheResultPending) {
    env.Set(kSetting + "PIPE", "ignore").Set(kSetting + "EXIT", "3010").Set(kSetting + "DELAY", "200");
    ChainerSession session;
    ASSERT_TRUE(session.Create()) << session.Error();
    Installer installer;
    ASSERT_TRUE(installer.Start(session.SectionName()));
    std::vector<Snapshot> seen;
    ASSERT_TRUE(Observe(session, installer, seen));
    EXPECT_EQ(seen.size(), 1u) << "only the read after the end: the change event never fired";
    EXPECT_EQ(installer.Wait(5000), 3010u);
    EXPECT_EQ(session.InstallResult(), kHresultPending);
    EXPECT_FALSE(seen.back().progress.installFinished);
    const std::vector<std::string> pipe = Logged("pipe");
    ASSERT_EQ(pipe.size(), 1u);
    EXPECT_NE(pipe[0].find(" ignored=1"), std::string::npos) << pipe[0];
}
