#include "PayloadWriter.h"

#include <algorithm>
#include <utility>

#include "KuFun.h"

namespace {
// A piece takes a few milliseconds: the window answers between them as if idle.
constexpr DWORD kPieceBytes = 4u << 20;
}  // namespace

PayloadWriter::PayloadWriter(std::vector<PayloadFile> files) : files_(std::move(files)) {}

bool PayloadWriter::Open() {
    const PayloadFile& f = files_[next_];
    const void* bytes = nullptr;
    // A missing resource leaves any file of that name alone, as ExtractResourceToFile does.
    if (!FindResourceBytes(f.type, f.name, bytes, size_)) return false;
    bytes_ = static_cast<const char*>(bytes);
    offset_ = 0;
    file_.reset(CreateFileA(f.path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr));
    return file_.valid();
}

bool PayloadWriter::WriteNext() {
    if (failed_ || next_ == files_.size()) return false;
    if (!file_.valid() && !Open()) {
        failed_ = true;
        return false;
    }
    const DWORD piece = std::min(kPieceBytes, size_ - offset_);
    DWORD written = 0;
    if (piece && (!WriteFile(file_.get(), bytes_ + offset_, piece, &written, nullptr) || written != piece)) {
        failed_ = true;
        file_.reset();
        return false;
    }
    offset_ += piece;
    if (offset_ == size_) {
        if (!file_.close()) {
            failed_ = true;
            return false;
        }
        ++next_;
    }
    return next_ < files_.size();
}
