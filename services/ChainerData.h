// The data block the .NET Framework 4.5 installers share with the program that starts them (the
// "chainer"): their progress, their result, a cancel, and their questions. The block is the
// start of a 65,536-byte file mapping; the Windows side maps it, holds the mutex and sets the
// events, and hands the bytes here. Pure: no platform calls, so every reader is tested and
// fuzzed natively.
//
// Everything in the block but what we write ourselves comes from another process: each reader
// takes the buffer as pointer and size, reads nothing outside it and trusts no count or length
// in it. Fields are read and written byte by byte, little-endian, never through a struct cast:
// the mapping's alignment and the compiler's aliasing rules are then no concern.
//
// Version-1 layout, as a 32-bit Windows compiler lays out the installers' structure:
//
//      0  u8      downloadFinished
//      1  u8      installFinished
//      2  u8      downloadAbort          set by us: stop downloading
//      3  u8      installAbort           set by us: stop installing and roll back
//      4  u32     hrDownloadFinished     HRESULT
//      8  u32     hrInstallFinished      HRESULT; E_ABORT after an abort and its rollback
//     12  u32     hrInternalError        HRESULT
//     16  u16[260] szCurrentItemStep     UTF-16LE, NUL-terminated unless it fills the field
//    536  u8      downloadSoFar          0..255
//    537  u8      installSoFar           0..255
//    538  u16[260] szEventName           written by us
//   1058  u8      version                1 (the .NET 4 form ends before this field)
//   1059  u8      (padding)
//   1060  u32     messageCode            (version << 24) | (default answer << 16) | code; 0: none
//   1064  u32     messageResponse        our answer, 0 while unanswered
//   1068  u32     messageDataLength      bytes in messageData, as the installer claims
//   1072  u8[]    messageData            up to the end of the mapping
//
// Files-in-use data (code 1): u32 count, then count x { u16 name[260]; u32 pid } (524 bytes).
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

constexpr size_t kChainerMappingSize = 65536;
// MAX_PATH: the length in UTF-16 units of each text field and of a files-in-use name.
constexpr size_t kChainerTextUnits = 260;

// Byte offsets of the version-1 fields, each from the one before it, its size and the natural
// alignment of a 32-bit Windows compiler; the documented numbers are checked below.
namespace ChainerField {
constexpr size_t AlignedTo4(size_t offset) { return (offset + 3) & ~size_t(3); }
constexpr size_t kTextBytes = 2 * kChainerTextUnits;
constexpr size_t kDownloadFinished = 0;
constexpr size_t kInstallFinished = kDownloadFinished + 1;
constexpr size_t kDownloadAbort = kInstallFinished + 1;
constexpr size_t kInstallAbort = kDownloadAbort + 1;
constexpr size_t kHrDownloadFinished = AlignedTo4(kInstallAbort + 1);
constexpr size_t kHrInstallFinished = kHrDownloadFinished + 4;
constexpr size_t kHrInternalError = kHrInstallFinished + 4;
constexpr size_t kCurrentItemStep = kHrInternalError + 4;
constexpr size_t kDownloadSoFar = kCurrentItemStep + kTextBytes;
constexpr size_t kInstallSoFar = kDownloadSoFar + 1;
constexpr size_t kEventName = kInstallSoFar + 1;  // WCHAR: 2-byte alignment, which 538 has
constexpr size_t kVersion = kEventName + kTextBytes;
constexpr size_t kMessageCode = AlignedTo4(kVersion + 1);
constexpr size_t kMessageResponse = kMessageCode + 4;
constexpr size_t kMessageDataLength = kMessageResponse + 4;
constexpr size_t kMessageData = kMessageDataLength + 4;
}  // namespace ChainerField

static_assert(ChainerField::kHrDownloadFinished == 4, "hrDownloadFinished");
static_assert(ChainerField::kCurrentItemStep == 16, "szCurrentItemStep");
static_assert(ChainerField::kDownloadSoFar == 536, "downloadSoFar");
static_assert(ChainerField::kInstallSoFar == 537, "installSoFar");
static_assert(ChainerField::kEventName == 538 && ChainerField::kEventName % 2 == 0, "szEventName");
static_assert(ChainerField::kVersion == 1058, "version");
static_assert(ChainerField::kMessageCode == 1060, "messageCode");
static_assert(ChainerField::kMessageResponse == 1064, "messageResponse");
static_assert(ChainerField::kMessageDataLength == 1068, "messageDataLength");
static_assert(ChainerField::kMessageData == 1072, "messageData");

// The fixed part before messageData: the least a buffer must hold for any reader or writer.
constexpr size_t kChainerHeaderSize = ChainerField::kMessageData;
constexpr uint8_t kChainerVersion = 1;

constexpr uint16_t kChainerFilesInUse = 1;
constexpr size_t kFilesInUseEntrySize = 2 * kChainerTextUnits + 4;
static_assert(kFilesInUseEntrySize == 524, "{ WCHAR name[260]; DWORD pid; }");
// More applications than a message box can list help nobody; the rest is only counted.
constexpr size_t kChainerMaxApplications = 64;

// Answers (the message-box results IDCANCEL, IDRETRY, IDYES, IDNO) and HRESULTs (S_OK,
// E_ABORT, E_PENDING). Named apart from the Win32 macros so that this header and windows.h
// can meet in one file.
constexpr uint32_t kAnswerCancel = 2;
constexpr uint32_t kAnswerRetry = 4;
constexpr uint32_t kAnswerYes = 6;
constexpr uint32_t kAnswerNo = 7;
constexpr uint32_t kHresultOk = 0;
constexpr uint32_t kHresultAbort = 0x80004004u;
constexpr uint32_t kHresultPending = 0x8000000Au;

// SUCCEEDED(hr): the severity bit is clear.
inline bool HresultSucceeded(uint32_t hr) { return (hr & 0x80000000u) == 0; }

// UTF-16LE text of at most maxUnits units at data (2 * maxUnits bytes are readable), up to its
// first NUL unit or its end, as UTF-8. An unpaired surrogate becomes U+FFFD.
std::string Utf8FromUtf16Le(const uint8_t* data, size_t maxUnits);

// Zeroes the whole buffer and writes what the installer expects to find: the event name, the
// version, and both results pending (so a result that is still pending at the end tells that
// the installer never spoke). False, with nothing written, when the buffer is shorter than the
// header or the name is not 1..259 ASCII characters without NUL: a shortened or altered name
// would make the installer open other events than ours, silently.
bool InitializeChainerData(uint8_t* data, size_t size, const std::string& eventName);

struct ChainerProgress {
    bool downloadFinished = false;
    bool installFinished = false;
    bool downloadAbort = false;
    bool installAbort = false;
    uint32_t hrDownloadFinished = 0;
    uint32_t hrInstallFinished = 0;
    uint32_t hrInternalError = 0;
    std::string currentItemStep;  // UTF-8
    uint8_t downloadSoFar = 0;
    uint8_t installSoFar = 0;
    uint8_t version = 0;
};

// A snapshot of everything but the question. False, with out reset, when the buffer is shorter
// than the header.
bool ReadChainerProgress(const uint8_t* data, size_t size, ChainerProgress& out);

enum class ChainerQuestion {
    None,        // messageCode is 0
    FilesInUse,  // version 1, code 1
    Unknown,     // any other version or code: answered with its default answer
};

struct ChainerApplication {
    std::string name;  // UTF-8
    uint32_t processId = 0;
};

struct ChainerMessage {
    uint32_t messageCode = 0;  // as read
    uint8_t version = 0;       // bits 24..31
    uint8_t defaultAnswer = 0; // bits 16..23
    uint16_t code = 0;         // bits 0..15
    ChainerQuestion question = ChainerQuestion::None;
    // A files-in-use block whose lengths do not add up: no application is taken from it.
    bool malformed = false;
    std::vector<ChainerApplication> applications;  // at most kChainerMaxApplications
    uint32_t applicationsLeftOut = 0;              // listed in the block beyond that
};

// The installer's current question. A files-in-use list is taken only when its count and the
// claimed data length agree with each other and with the bytes the buffer holds; otherwise the
// message is marked malformed. False, with out reset, when the buffer is shorter than the header.
bool ReadChainerMessage(const uint8_t* data, size_t size, ChainerMessage& out);

// Bits 16..23 of the message code: what the installer does when nobody asks the user.
uint32_t DefaultAnswer(const ChainerMessage& message);
// Whether the question is one to put to the user: a well-formed files-in-use list that names at
// least one application. Every other question (no question aside) gets its default answer.
bool NeedsUserAnswer(const ChainerMessage& message);

// Both abort flags; the installer then stops, rolls back and ends with E_ABORT.
bool RequestChainerAbort(uint8_t* data, size_t size);
// messageResponse = response and the question cleared; a cancel also sets both abort flags,
// which is how the installer takes it.
bool AnswerChainerMessage(uint8_t* data, size_t size, uint32_t response);

// One installer's progress on the scale 0..255: installSoFar (the installers we carry are
// offline ones, which download nothing), and 255 once it has finished with success.
int ChainerFraction255(const ChainerProgress& progress);
