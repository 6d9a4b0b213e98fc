// Helpers for the Windows tests: the number of handles this process holds, and registry
// fixtures written in a chosen view and removed again.
#pragma once
#include <windows.h>
#include <string>

// Counted by the system's handle table, which Wine keeps exactly (GetProcessHandleCount
// answers 0 there).
int CountOwnHandles();

// The prefix the test runs in, from the environment the test run sets: "win64" or "win32".
std::string TestArch();

// A key the test creates (in the 64-bit view when asked) and deletes with all below it.
class ScratchKey {
public:
    ScratchKey(HKEY root, const std::string& subKey, REGSAM view = 0);
    ~ScratchKey();
    ScratchKey(const ScratchKey&) = delete;
    ScratchKey& operator=(const ScratchKey&) = delete;
    void Set(const std::string& name, DWORD type, const void* data, DWORD size);
    void SetText(const std::string& name, const std::string& text, DWORD type = REG_SZ);
    void SetDword(const std::string& name, DWORD value);
    HKEY handle() const { return key_; }

private:
    HKEY root_;
    std::string subKey_;
    REGSAM view_;
    HKEY key_ = nullptr;
};

// A path the test run hands over in the environment, as Linux path or Windows path, in its
// Windows form (Wine shows the Linux root as drive Z:).
std::string PathFromEnv(const char* name);
std::string WindowsPath(const std::string& path);

// A folder of its own under the temp folder, removed with what it holds.
class ScratchDir {
public:
    ScratchDir();
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
    const std::string& path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + "\\" + name; }

private:
    std::string path_;
};

std::string ReadFileBytes(const std::string& path);
bool WriteFileBytes(const std::string& path, const std::string& bytes);
bool FileExists(const std::string& path);
