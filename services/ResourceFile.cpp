#include "ResourceFile.h"

#include "SystemApi.h"

namespace {
struct FirstLanguage {
    WORD language = 0;
    bool found = false;
};

BOOL CALLBACK TakeFirstLanguage(HMODULE, LPCSTR, LPCSTR, WORD language, LONG_PTR param) {
    auto* first = reinterpret_cast<FirstLanguage*>(param);
    first->language = language;
    first->found = true;
    return FALSE;
}

// FindResourceA already ignores letter case; a resource stored in a language other than the
// ones it tries is taken in the first language it is stored in.
HRSRC FindAnyLanguage(const std::string& type, const std::string& name) {
    HRSRC found = FindResourceA(nullptr, name.c_str(), type.c_str());
    if (found) return found;
    FirstLanguage first;
    EnumResourceLanguagesA(nullptr, type.c_str(), name.c_str(), TakeFirstLanguage, reinterpret_cast<LONG_PTR>(&first));
    return first.found ? FindResourceExA(nullptr, type.c_str(), name.c_str(), first.language) : nullptr;
}
}  // namespace

bool ResourceFileWriter::Fail(uint32_t error) {
    error_ = error;
    return false;
}

bool ResourceFileWriter::Open(const std::string& type, const std::string& name, const std::string& path) {
    file_.reset();
    bytes_ = nullptr;
    size_ = offset_ = 0;
    done_ = false;
    error_ = 0;
    // Whether the type or only the name is missing, the caller learns the same: no such resource.
    HRSRC resource = FindAnyLanguage(type, name);
    if (!resource) return Fail(ERROR_RESOURCE_NAME_NOT_FOUND);
    HGLOBAL loaded = LoadResource(nullptr, resource);
    bytes_ = static_cast<const char*>(loaded ? LockResource(loaded) : nullptr);
    size_ = SizeofResource(nullptr, resource);
    if (!bytes_ && size_) return Fail(LastError());
    file_.reset(CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file_.valid()) return Fail(LastError());
    return true;
}

bool ResourceFileWriter::WriteSome(DWORD maxBytes) {
    if (done_) return true;
    if (!file_.valid()) return error_ ? false : Fail(ERROR_INVALID_HANDLE);
    const DWORD piece = size_ - offset_ < maxBytes ? size_ - offset_ : maxBytes;
    if (piece) {
        // Straight from the mapped image: the payload is never copied into our own memory.
        DWORD written = 0;
        if (!WriteFile(file_.get(), bytes_ + offset_, piece, &written, nullptr)) {
            Fail(LastError());
            file_.reset();
            return false;
        }
        if (written != piece) {
            file_.reset();
            return Fail(ERROR_DISK_FULL);
        }
        offset_ += piece;
    }
    if (offset_ == size_) {
        if (!file_.close()) return Fail(LastError());
        done_ = true;
    }
    return true;
}

bool ExtractResourceToFile(const std::string& type, const std::string& name, const std::string& path) {
    ResourceFileWriter writer;
    return writer.Open(type, name, path) && writer.WriteSome(0xFFFFFFFFu) && writer.Done();
}
