#include "ChainerSession.h"

#include <sddl.h>

#include <cstring>

const char kChainerObjectSecurity[] = "D:P(A;;GA;;;SY)(A;;GA;;;BA)";

namespace {

// The result of one Create call taken into `owner`: 0 when the object is new. A handle to an
// object that existed before is closed at once, never used; the caller must have cleared the
// last error before the call, since a new object need not clear it.
DWORD TakeNew(HANDLE made, UniqueHandle& owner) {
    const DWORD error = GetLastError();
    owner.reset(made);
    if (!made) return error ? error : ERROR_GEN_FAILURE;
    if (error == ERROR_ALREADY_EXISTS) {
        owner.reset();
        return ERROR_ALREADY_EXISTS;
    }
    return 0;
}

}  // namespace

void ChainerSession::Release() {
    view_.reset();
    mapping_.reset();
    changed_.reset();
    send_.reset();
    mutex_.reset();
    section_.clear();
    event_.clear();
    copy_.clear();
}

bool ChainerSession::Create() {
    Release();
    error_ = 0;
    const std::string sectionBits = random_ ? random_(16) : "";
    const std::string eventBits = random_ ? random_(16) : "";
    if (sectionBits.empty() || eventBits.empty()) {
        error_ = ERROR_GEN_FAILURE;
        return false;
    }
    const std::string section = "QvKu.Section." + sectionBits;
    const std::string event = "QvKu.Event." + eventBits;

    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorA(kChainerObjectSecurity, SDDL_REVISION_1, &descriptor,
                                                              nullptr)) {
        error_ = GetLastError();
        return false;
    }
    UniqueLocal descriptorOwner(descriptor);
    SECURITY_ATTRIBUTES attributes = {sizeof attributes, descriptor, FALSE};

    DWORD error = 0;
    SetLastError(0);
    error = TakeNew(CreateFileMappingA(INVALID_HANDLE_VALUE, &attributes, PAGE_READWRITE, 0, DWORD(kChainerMappingSize),
                                       section.c_str()),
                    mapping_);
    if (!error) {
        view_.reset(MapViewOfFile(mapping_.get(), FILE_MAP_READ | FILE_MAP_WRITE, 0, 0, kChainerMappingSize));
        if (!view_) error = GetLastError() ? GetLastError() : ERROR_GEN_FAILURE;
    }
    if (!error) {
        SetLastError(0);
        error = TakeNew(CreateEventA(&attributes, FALSE, FALSE, event.c_str()), changed_);
    }
    if (!error) {
        SetLastError(0);
        error = TakeNew(CreateEventA(&attributes, FALSE, FALSE, (event + "_send").c_str()), send_);
    }
    // Owned from the start, so that the installer never reads the block before its start state.
    if (!error) {
        SetLastError(0);
        error = TakeNew(CreateMutexA(&attributes, TRUE, (event + "_mutex").c_str()), mutex_);
    }
    if (error) {
        Release();
        error_ = error;
        return false;
    }
    const bool initialised =
        InitializeChainerData(static_cast<uint8_t*>(view_.get()), kChainerMappingSize, event);
    ReleaseMutex(mutex_.get());
    if (!initialised) {
        Release();
        error_ = ERROR_INVALID_NAME;
        return false;
    }
    copy_.assign(kChainerMappingSize, 0);
    section_ = section;
    event_ = event;
    return true;
}

bool ChainerSession::Lock() {
    if (!view_) {
        error_ = ERROR_INVALID_HANDLE;
        return false;
    }
    // An abandoned mutex is ours now: the installer that held it has died, and what it left in
    // the block is read as hostile data like any other.
    const DWORD waited = WaitForSingleObject(mutex_.get(), kChainerLockTimeoutMs);
    if (waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED) return true;
    error_ = waited == WAIT_TIMEOUT ? WAIT_TIMEOUT : GetLastError();
    return false;
}

void ChainerSession::Unlock() { ReleaseMutex(mutex_.get()); }

bool ChainerSession::Read(ChainerProgress& progress, ChainerMessage& message) {
    progress = ChainerProgress();
    message = ChainerMessage();
    if (!Lock()) return false;
    std::memcpy(copy_.data(), view_.get(), kChainerMappingSize);
    Unlock();
    ReadChainerProgress(copy_.data(), copy_.size(), progress);
    ReadChainerMessage(copy_.data(), copy_.size(), message);
    return true;
}

bool ChainerSession::Abort() {
    if (!Lock()) return false;
    RequestChainerAbort(static_cast<uint8_t*>(view_.get()), kChainerMappingSize);
    Unlock();
    if (SetEvent(send_.get())) return true;
    error_ = GetLastError();
    return false;
}

bool ChainerSession::Answer(uint32_t response) {
    if (!Lock()) return false;
    AnswerChainerMessage(static_cast<uint8_t*>(view_.get()), kChainerMappingSize, response);
    Unlock();
    if (SetEvent(send_.get())) return true;
    error_ = GetLastError();
    return false;
}

uint32_t ChainerSession::InstallResult() {
    ChainerProgress progress;
    ChainerMessage message;
    if (!Read(progress, message)) return kHresultPending;
    return progress.hrInstallFinished;
}
