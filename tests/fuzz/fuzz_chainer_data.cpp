// The shared block of the .NET installers over any bytes: every reader on the bytes as given,
// then on the bytes behind a files-in-use question that claims their true length (so that the
// fuzzer reaches the list itself), and every writer on copies, read back.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "ChainerData.h"

namespace {

// Each UTF-16 unit gives at most three bytes of UTF-8 (a pair gives four for two units).
constexpr size_t kMaxTextBytes = 3 * kChainerTextUnits;

void ReadAll(const uint8_t* data, size_t size) {
    ChainerProgress progress;
    const bool read = ReadChainerProgress(data, size, progress);
    if (read != (size >= kChainerHeaderSize)) __builtin_trap();
    if (progress.currentItemStep.size() > kMaxTextBytes) __builtin_trap();
    if (progress.currentItemStep.find('\0') != std::string::npos) __builtin_trap();
    const int fraction = ChainerFraction255(progress);
    if (fraction < 0 || fraction > 255) __builtin_trap();

    ChainerMessage message;
    if (ReadChainerMessage(data, size, message) != read) __builtin_trap();
    if (message.applications.size() > kChainerMaxApplications) __builtin_trap();
    if (message.question != ChainerQuestion::FilesInUse && (message.malformed || !message.applications.empty()))
        __builtin_trap();
    if (message.malformed && (!message.applications.empty() || message.applicationsLeftOut != 0)) __builtin_trap();
    if (message.question == ChainerQuestion::FilesInUse && !message.malformed) {
        // The whole list, taken and left out, lies within the buffer.
        const uint64_t listed = uint64_t(message.applications.size()) + message.applicationsLeftOut;
        if (4 + listed * kFilesInUseEntrySize > size - kChainerHeaderSize) __builtin_trap();
        if (message.applicationsLeftOut != 0 && message.applications.size() != kChainerMaxApplications)
            __builtin_trap();
    }
    for (const ChainerApplication& application : message.applications)
        if (application.name.size() > kMaxTextBytes) __builtin_trap();
    if (NeedsUserAnswer(message) && message.question != ChainerQuestion::FilesInUse) __builtin_trap();
    if (DefaultAnswer(message) > 255) __builtin_trap();
}

void WriteAndReadBack(const uint8_t* data, size_t size) {
    if (size == 0) return;  // every writer refuses it; ReadAll has covered that
    const uint32_t response = size >= 4 ? uint32_t(data[0]) | uint32_t(data[1]) << 8 : 0;

    std::vector<uint8_t> copy(data, data + size);
    if (AnswerChainerMessage(copy.data(), copy.size(), response)) {
        ChainerMessage message;
        ChainerProgress progress;
        if (!ReadChainerMessage(copy.data(), copy.size(), message) || message.question != ChainerQuestion::None)
            __builtin_trap();
        if (!ReadChainerProgress(copy.data(), copy.size(), progress)) __builtin_trap();
        if (response == kAnswerCancel && !(progress.downloadAbort && progress.installAbort)) __builtin_trap();
        ReadAll(copy.data(), copy.size());
    }

    copy.assign(data, data + size);
    if (RequestChainerAbort(copy.data(), copy.size())) {
        ChainerProgress progress;
        if (!ReadChainerProgress(copy.data(), copy.size(), progress)) __builtin_trap();
        if (!progress.downloadAbort || !progress.installAbort) __builtin_trap();
    }

    // A name from the input's last bytes: most are refused, which must leave the copy as it was.
    copy.assign(data, data + size);
    const size_t nameLength = size % 300;
    const std::string name(reinterpret_cast<const char*>(data) + (size - nameLength), nameLength);
    if (InitializeChainerData(copy.data(), copy.size(), name)) {
        ChainerProgress progress;
        ChainerMessage message;
        if (!ReadChainerProgress(copy.data(), copy.size(), progress)) __builtin_trap();
        if (progress.version != kChainerVersion || progress.hrInstallFinished != kHresultPending ||
            progress.installFinished || !progress.currentItemStep.empty())
            __builtin_trap();
        if (Utf8FromUtf16Le(copy.data() + ChainerField::kEventName, kChainerTextUnits) != name) __builtin_trap();
        if (!ReadChainerMessage(copy.data(), copy.size(), message) || message.question != ChainerQuestion::None)
            __builtin_trap();
    } else if (size != 0 && std::memcmp(copy.data(), data, size) != 0) {
        __builtin_trap();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Exactly the input's size, so that AddressSanitizer sees any read past it.
    std::vector<uint8_t> buffer(data, data + size);
    ReadAll(buffer.data(), buffer.size());
    WriteAndReadBack(buffer.data(), buffer.size());

    std::vector<uint8_t> question(kChainerHeaderSize + size, 0);
    const uint32_t code = 0x01070001, length = uint32_t(size);
    for (int i = 0; i < 4; ++i) {
        question[ChainerField::kMessageCode + i] = uint8_t(code >> (8 * i));
        question[ChainerField::kMessageDataLength + i] = uint8_t(length >> (8 * i));
    }
    if (size > 0) std::memcpy(question.data() + kChainerHeaderSize, data, size);
    ReadAll(question.data(), question.size());
    return 0;
}
