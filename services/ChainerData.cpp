#include "ChainerData.h"

#include <cstring>

namespace {

uint32_t Read16(const uint8_t* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8; }

uint32_t Read32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

void Write16(uint8_t* p, uint32_t value) {
    p[0] = uint8_t(value);
    p[1] = uint8_t(value >> 8);
}

void Write32(uint8_t* p, uint32_t value) {
    for (int i = 0; i < 4; ++i) p[i] = uint8_t(value >> (8 * i));
}

bool HoldsHeader(const uint8_t* data, size_t size) { return data != nullptr && size >= kChainerHeaderSize; }

void AppendUtf8(std::string& text, uint32_t codePoint) {
    if (codePoint < 0x80) {
        text += char(codePoint);
    } else if (codePoint < 0x800) {
        text += char(0xC0 | codePoint >> 6);
        text += char(0x80 | (codePoint & 0x3F));
    } else if (codePoint < 0x10000) {
        text += char(0xE0 | codePoint >> 12);
        text += char(0x80 | (codePoint >> 6 & 0x3F));
        text += char(0x80 | (codePoint & 0x3F));
    } else {
        text += char(0xF0 | codePoint >> 18);
        text += char(0x80 | (codePoint >> 12 & 0x3F));
        text += char(0x80 | (codePoint >> 6 & 0x3F));
        text += char(0x80 | (codePoint & 0x3F));
    }
}

bool IsHighSurrogate(uint32_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool IsLowSurrogate(uint32_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

// The installer opens "<name>", "<name>_send" and "<name>_mutex" by the name it reads back,
// so it must come back exactly as we created it.
bool IsUsableEventName(const std::string& name) {
    if (name.empty() || name.size() >= kChainerTextUnits) return false;
    for (char c : name)
        if (c == '\0' || static_cast<unsigned char>(c) >= 0x80) return false;
    return true;
}

// The list is taken only when every length agrees: the claimed data length fits in what the
// buffer holds, and the count's entries fit in the claimed length. Anything else may be a
// half-written block or a hostile one, and either way its names mean nothing.
void ReadFilesInUse(const uint8_t* data, size_t size, ChainerMessage& out) {
    const size_t present = size - ChainerField::kMessageData;
    const uint32_t claimed = Read32(data + ChainerField::kMessageDataLength);
    if (claimed > present || claimed < 4) {
        out.malformed = true;
        return;
    }
    const uint8_t* block = data + ChainerField::kMessageData;
    const uint32_t count = Read32(block);
    // count * 524 + 4 <= claimed, asked by division so that no product can wrap.
    if (count > (claimed - 4) / kFilesInUseEntrySize) {
        out.malformed = true;
        return;
    }
    const size_t taken = count < kChainerMaxApplications ? count : kChainerMaxApplications;
    out.applications.reserve(taken);
    for (size_t i = 0; i < taken; ++i) {
        const uint8_t* entry = block + 4 + i * kFilesInUseEntrySize;
        ChainerApplication application;
        application.name = Utf8FromUtf16Le(entry, kChainerTextUnits);
        application.processId = Read32(entry + 2 * kChainerTextUnits);
        out.applications.push_back(application);
    }
    out.applicationsLeftOut = count - uint32_t(taken);
}

}  // namespace

std::string Utf8FromUtf16Le(const uint8_t* data, size_t maxUnits) {
    std::string text;
    if (data == nullptr) return text;
    size_t i = 0;
    while (i < maxUnits) {
        const uint32_t unit = Read16(data + 2 * i);
        ++i;
        if (unit == 0) break;
        uint32_t codePoint = unit;
        if (IsHighSurrogate(unit)) {
            const uint32_t next = i < maxUnits ? Read16(data + 2 * i) : 0;
            if (IsLowSurrogate(next)) {
                codePoint = 0x10000 + ((unit - 0xD800) << 10) + (next - 0xDC00);
                ++i;
            } else {
                codePoint = 0xFFFD;
            }
        } else if (IsLowSurrogate(unit)) {
            codePoint = 0xFFFD;
        }
        AppendUtf8(text, codePoint);
    }
    return text;
}

bool InitializeChainerData(uint8_t* data, size_t size, const std::string& eventName) {
    if (!HoldsHeader(data, size) || !IsUsableEventName(eventName)) return false;
    std::memset(data, 0, size);
    for (size_t i = 0; i < eventName.size(); ++i)
        Write16(data + ChainerField::kEventName + 2 * i, static_cast<unsigned char>(eventName[i]));
    data[ChainerField::kVersion] = kChainerVersion;
    Write32(data + ChainerField::kHrDownloadFinished, kHresultPending);
    Write32(data + ChainerField::kHrInstallFinished, kHresultPending);
    return true;
}

bool ReadChainerProgress(const uint8_t* data, size_t size, ChainerProgress& out) {
    out = ChainerProgress();
    if (!HoldsHeader(data, size)) return false;
    out.downloadFinished = data[ChainerField::kDownloadFinished] != 0;
    out.installFinished = data[ChainerField::kInstallFinished] != 0;
    out.downloadAbort = data[ChainerField::kDownloadAbort] != 0;
    out.installAbort = data[ChainerField::kInstallAbort] != 0;
    out.hrDownloadFinished = Read32(data + ChainerField::kHrDownloadFinished);
    out.hrInstallFinished = Read32(data + ChainerField::kHrInstallFinished);
    out.hrInternalError = Read32(data + ChainerField::kHrInternalError);
    out.currentItemStep = Utf8FromUtf16Le(data + ChainerField::kCurrentItemStep, kChainerTextUnits);
    out.downloadSoFar = data[ChainerField::kDownloadSoFar];
    out.installSoFar = data[ChainerField::kInstallSoFar];
    out.version = data[ChainerField::kVersion];
    return true;
}

bool ReadChainerMessage(const uint8_t* data, size_t size, ChainerMessage& out) {
    out = ChainerMessage();
    if (!HoldsHeader(data, size)) return false;
    const uint32_t messageCode = Read32(data + ChainerField::kMessageCode);
    out.messageCode = messageCode;
    out.version = uint8_t(messageCode >> 24);
    out.defaultAnswer = uint8_t(messageCode >> 16);
    out.code = uint16_t(messageCode);
    if (messageCode == 0) return true;
    // Only version 1 defines what a code's data means; under any other version even code 1 is
    // a question we cannot read, so it gets the default answer the installer chose for it.
    if (out.version != kChainerVersion || out.code != kChainerFilesInUse) {
        out.question = ChainerQuestion::Unknown;
        return true;
    }
    out.question = ChainerQuestion::FilesInUse;
    ReadFilesInUse(data, size, out);
    return true;
}

uint32_t DefaultAnswer(const ChainerMessage& message) { return message.defaultAnswer; }

// A list that names no application asks nothing the user could decide.
bool NeedsUserAnswer(const ChainerMessage& message) {
    return message.question == ChainerQuestion::FilesInUse && !message.malformed && !message.applications.empty();
}

bool RequestChainerAbort(uint8_t* data, size_t size) {
    if (!HoldsHeader(data, size)) return false;
    data[ChainerField::kDownloadAbort] = 1;
    data[ChainerField::kInstallAbort] = 1;
    return true;
}

bool AnswerChainerMessage(uint8_t* data, size_t size, uint32_t response) {
    if (!HoldsHeader(data, size)) return false;
    // The answer and the flags go in before the question is cleared: an installer that looks
    // without the mutex then never finds the question gone and its answer missing.
    Write32(data + ChainerField::kMessageResponse, response);
    if (response == kAnswerCancel) {
        data[ChainerField::kDownloadAbort] = 1;
        data[ChainerField::kInstallAbort] = 1;
    }
    Write32(data + ChainerField::kMessageCode, 0);
    return true;
}

int ChainerFraction255(const ChainerProgress& progress) {
    if (progress.installFinished && HresultSucceeded(progress.hrInstallFinished)) return 255;
    return progress.installSoFar;
}
