#include "PayloadWriter.h"

#include <utility>

namespace {
// A piece takes a few milliseconds: the window answers between them as if idle.
constexpr DWORD kPieceBytes = 4u << 20;
}  // namespace

PayloadWriter::PayloadWriter(std::vector<PayloadFile> files) : files_(std::move(files)) {}

bool PayloadWriter::WriteNext() {
    if (failed_ || next_ == files_.size()) return false;
    const PayloadFile& f = files_[next_];
    if (!opened_) opened_ = file_.Open(f.type, f.name, f.path);
    if (!opened_ || !file_.WriteSome(kPieceBytes)) {
        failed_ = true;
        return false;
    }
    if (file_.Done()) {
        opened_ = false;
        ++next_;
    }
    return next_ < files_.size();
}
