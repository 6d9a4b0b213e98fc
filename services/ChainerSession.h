// The Windows side of the .NET Framework 4.5 installers' chainer protocol, for one installer
// run: the shared mapping, the two events and the mutex, made before the installer starts and
// released when this object goes.
//
//   ChainerSession session;
//   if (session.Create()) command += " /pipe " + session.SectionName();
//   ... wait for the process and for session.ChangeEvent(); on each change session.Read(...),
//   and session.Answer(...) a question; on a cancel session.Abort() ...
//   once the process has ended, session.InstallResult() is its protocol result (E_PENDING
//   when it never spoke).
//
// Every object is made new, under names of 128 random bits in the session's own namespace, with
// a security descriptor that admits only SYSTEM and the Administrators. A name that exists
// already is never opened: the installer would then talk to whoever made it. Create fails
// instead, and the run goes on without the protocol.
//
// The block's bytes come from another process. Read copies them out under the mutex and only
// then parses the copy (ChainerData), so nothing the installer changes meanwhile is read twice.
#pragma once
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "ChainerData.h"
#include "Handles.h"
#include "RandomText.h"

inline void UnmapView(void* view) { UnmapViewOfFile(view); }
// A view of a file mapping; null means none.
using UniqueView = Unique<void*, UnmapView>;

// Full access for SYSTEM and the Administrators, no one else, nothing inherited.
extern const char kChainerObjectSecurity[];
// How long Read, Abort, Answer and InstallResult wait for the installer to let go of the data.
constexpr DWORD kChainerLockTimeoutMs = 1000;

class ChainerSession {
public:
    // Where the random parts of the names come from: `byteCount` bytes as hex, the empty text
    // when the source fails. The tests hand in a fixed one to take a name first.
    using RandomSource = std::string (*)(size_t byteCount);
    explicit ChainerSession(RandomSource random = RandomHex) : random_(random) {}
    ChainerSession(const ChainerSession&) = delete;
    ChainerSession& operator=(const ChainerSession&) = delete;
    ~ChainerSession() = default;

    // Makes the mapping (65,536 bytes), "<event>", "<event>_send" and "<event>_mutex", writes
    // the block's start state and lets go of the mutex. False, with Error() and nothing held,
    // when any object could not be made new; a session made before is released first.
    bool Create();
    bool Created() const { return bool(view_); }
    // Why the last call failed: ERROR_ALREADY_EXISTS for a name that was taken, WAIT_TIMEOUT
    // when the installer held the data past the bound, or the platform's error.
    uint32_t Error() const { return error_; }

    // "QvKu.Section.<32 hex digits>", for "/pipe <section>"; empty until Create succeeds.
    const std::string& SectionName() const { return section_; }
    // "QvKu.Event.<32 hex digits>", the base of the events' and the mutex's names.
    const std::string& EventName() const { return event_; }
    // Set by the installer after each change it writes (auto-reset): what the wait wakes on.
    // Null until Create succeeds.
    HANDLE ChangeEvent() const { return changed_.get(); }

    // Each of these takes the mutex for at most kChainerLockTimeoutMs; a mutex left abandoned
    // by an installer that died holding it counts as taken. False when the session is not
    // created or the mutex was not taken in time (then nothing was read or written).
    //
    // The progress and the current question, from a copy of the whole block.
    bool Read(ChainerProgress& progress, ChainerMessage& message);
    // Both abort flags, then "<event>_send": the installer stops, rolls back and ends with E_ABORT.
    bool Abort();
    // The answer to the current question (IDYES, IDNO, IDRETRY, IDCANCEL; a cancel also sets both
    // abort flags), the question cleared, then "<event>_send".
    bool Answer(uint32_t response);

    // hrInstallFinished, for after the wait: E_ABORT after a cancel and its rollback, E_PENDING
    // when the installer never spoke, and also when there is no session or its data could not
    // be read; then the process exit code is all there is.
    uint32_t InstallResult();

private:
    void Release();
    bool Lock();
    void Unlock();

    RandomSource random_;
    uint32_t error_ = 0;
    std::string section_, event_;
    UniqueHandle mapping_, changed_, send_, mutex_;
    UniqueView view_;  // after mapping_: unmapped before the mapping's handle closes
    std::vector<uint8_t> copy_;
};
