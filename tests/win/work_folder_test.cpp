// The work folder: a new one per run, never one that exists, made with its own security.
#include <gtest/gtest.h>

#include <windows.h>
#include <aclapi.h>
#include <sddl.h>

#include <regex>
#include <vector>

#include "TestSupport.h"
#include "WorkFolder.h"
#include "WorkFolderName.h"

namespace {
// A random source that hands out the given draws in order and counts what was taken.
struct Draws {
    std::vector<std::string> values;
    size_t taken = 0;
    RandomSource Source() {
        return [this] { return taken < values.size() ? values[taken++] : std::string(); };
    }
};

std::string Draw(int i) {
    char text[33];
    std::snprintf(text, sizeof text, "%032x", 0xa0 + i);
    return text;
}

enum class Taken { No, ByFolder, ByFile };
}  // namespace

TEST(WorkFolder, TakenNamesAreSkippedForNewDraws) {
    struct Case {
        const char* what;
        std::vector<Taken> planted;  // what stands at the names of the first draws
        size_t drawsTaken;
        int made;                    // which draw names the folder; -1 for none
        uint32_t error;
    } cases[] = {
        {"first draw free", {}, 1, 0, 0},
        {"a folder at the first", {Taken::ByFolder}, 2, 1, 0},
        {"a file at the first", {Taken::ByFile}, 2, 1, 0},
        {"folder, file, folder", {Taken::ByFolder, Taken::ByFile, Taken::ByFolder}, 4, 3, 0},
        {"seven taken", std::vector<Taken>(7, Taken::ByFile), 8, 7, 0},
        {"eight taken", {Taken::ByFolder, Taken::ByFile, Taken::ByFolder, Taken::ByFile, Taken::ByFolder,
                         Taken::ByFile, Taken::ByFolder, Taken::ByFile}, 8, -1, ERROR_ALREADY_EXISTS},
    };
    for (const auto& c : cases) {
        ScratchDir windows;
        ASSERT_TRUE(CreateDirectoryA((windows / "temp").c_str(), nullptr));
        Draws draws;
        for (int i = 0; i < 10; ++i) draws.values.push_back(Draw(i));
        for (size_t i = 0; i < c.planted.size(); ++i) {
            const std::string name = WorkDirName(windows.path(), Draw(int(i)));
            ASSERT_TRUE(c.planted[i] == Taken::ByFolder ? CreateDirectoryA(name.c_str(), nullptr) != 0
                                                        : WriteFileBytes(name, "planted"));
        }
        const WorkFolder folder = CreateWorkFolder(windows.path(), draws.Source());
        EXPECT_EQ(draws.taken, c.drawsTaken) << c.what;
        EXPECT_EQ(folder.error, c.error) << c.what;
        if (c.made < 0) {
            EXPECT_EQ(folder.path, "") << c.what;
        } else {
            EXPECT_EQ(folder.path, WorkDirName(windows.path(), Draw(c.made))) << c.what;
            EXPECT_TRUE(FolderExists(folder.path)) << c.what;
        }
        // What was planted stays as it was.
        for (size_t i = 0; i < c.planted.size(); ++i) {
            const std::string name = WorkDirName(windows.path(), Draw(int(i)));
            if (c.planted[i] == Taken::ByFile) EXPECT_EQ(ReadFileBytes(name), "planted") << c.what;
            else EXPECT_TRUE(FolderExists(name)) << c.what;
        }
    }
}

TEST(WorkFolder, FailuresGiveNoFolderAndTheirError) {
    ScratchDir windows;
    Draws none;  // a random source that fails
    WorkFolder folder = CreateWorkFolder(windows.path(), none.Source());
    EXPECT_EQ(folder.path, "");
    EXPECT_NE(folder.error, 0u);
    EXPECT_EQ(none.taken, 0u);
    EXPECT_EQ(CreateWorkFolder("").path, "");
    EXPECT_NE(CreateWorkFolder("").error, 0u);
    // A file where the temp folder belongs: nothing can be made below it.
    ScratchDir blocked;
    ASSERT_TRUE(WriteFileBytes(blocked / "temp", "a file"));
    Draws draws{{Draw(0), Draw(1)}};
    folder = CreateWorkFolder(blocked.path(), draws.Source());
    EXPECT_EQ(folder.path, "");
    EXPECT_NE(folder.error, 0u);
    EXPECT_NE(folder.error, uint32_t(ERROR_ALREADY_EXISTS)) << "a missing parent is no taken name";
    EXPECT_EQ(draws.taken, 1u) << "only a taken name is worth another draw";
}

TEST(WorkFolder, EveryRunDrawsANewUnguessableName) {
    ScratchDir windows;  // stands for the Windows folder; its temp folder does not exist yet
    const std::string temp = windows / "temp";
    const WorkFolder first = CreateWorkFolder(windows.path());
    ASSERT_FALSE(first.path.empty()) << "the temp folder is made as well";
    EXPECT_EQ(first.error, 0u);
    const std::regex name(std::regex_replace(temp, std::regex(R"([\\.])"), R"(\$&)") + R"(\\~qvku\.[0-9a-f]{32}\.tmp)");
    EXPECT_TRUE(std::regex_match(first.path, name)) << first.path;
    EXPECT_TRUE(FolderExists(first.path));
    const WorkFolder second = CreateWorkFolder(windows.path());
    EXPECT_TRUE(std::regex_match(second.path, name)) << second.path;
    EXPECT_NE(second.path, first.path) << "a folder that exists is never used again";
}

// Whether the folder's DACL, as the system reports it back, lets anyone but its owner, SYSTEM
// and the Administrators in: an ACE that allows Everyone, the Users, the authenticated users or
// the interactive ones anything.
bool OthersAllowed(const std::string& folder) {
    PSECURITY_DESCRIPTOR sd = nullptr;
    PACL dacl = nullptr;
    EXPECT_EQ(GetNamedSecurityInfoA(folder.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &dacl,
                                    nullptr, &sd),
              DWORD(ERROR_SUCCESS))
        << folder;
    bool allowed = !dacl;  // no DACL at all lets everyone in
    for (DWORD i = 0; dacl && i < dacl->AceCount; ++i) {
        ACE_HEADER* header = nullptr;
        if (!GetAce(dacl, i, reinterpret_cast<void**>(&header)) || header->AceType != ACCESS_ALLOWED_ACE_TYPE) continue;
        PSID sid = &reinterpret_cast<ACCESS_ALLOWED_ACE*>(header)->SidStart;
        for (WELL_KNOWN_SID_TYPE other : {WinWorldSid, WinBuiltinUsersSid, WinAuthenticatedUserSid, WinInteractiveSid})
            if (IsWellKnownSid(sid, other)) allowed = true;
    }
    LocalFree(sd);
    return allowed;
}

TEST(WorkFolder, TheFolderIsMadeWithItsSecurity) {
    // Wine keeps a folder's security as its Unix permissions and reports it back from them: a
    // folder made with the work folder's security shuts the others out, while one made plainly
    // beside it (the check's own control) lets them read.
    ScratchDir windows;
    const WorkFolder folder = CreateWorkFolder(windows.path());
    ASSERT_FALSE(folder.path.empty());
    const std::string plain = windows / "temp\\plain";
    ASSERT_TRUE(CreateDirectoryA(plain.c_str(), nullptr));
    EXPECT_TRUE(OthersAllowed(plain)) << "the control: a folder made without a descriptor";
    EXPECT_FALSE(OthersAllowed(folder.path)) << "no one but SYSTEM and the Administrators";
}

TEST(WorkFolder, SecurityGrantsSystemAndAdministratorsOnly) {
    // Wine keeps no security on files, so the descriptor is checked as the folder is given it.
    PSECURITY_DESCRIPTOR sd = nullptr;
    ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorA(kWorkFolderSecurity, SDDL_REVISION_1, &sd, nullptr));
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    ASSERT_TRUE(GetSecurityDescriptorControl(sd, &control, &revision));
    EXPECT_TRUE(control & SE_DACL_PROTECTED) << "nothing is inherited from the shared temp folder";
    BOOL present = FALSE, defaulted = FALSE;
    PACL dacl = nullptr;
    ASSERT_TRUE(GetSecurityDescriptorDacl(sd, &present, &dacl, &defaulted));
    ASSERT_TRUE(present && dacl);
    ASSERT_EQ(dacl->AceCount, 2);
    std::vector<WELL_KNOWN_SID_TYPE> trustees;
    for (DWORD i = 0; i < dacl->AceCount; ++i) {
        ACCESS_ALLOWED_ACE* ace = nullptr;
        ASSERT_TRUE(GetAce(dacl, i, reinterpret_cast<void**>(&ace)));
        EXPECT_EQ(ace->Header.AceType, ACCESS_ALLOWED_ACE_TYPE);
        EXPECT_EQ(ace->Header.AceFlags & (OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE), OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE);
        EXPECT_EQ(ace->Mask, DWORD(FILE_ALL_ACCESS));
        PSID sid = &ace->SidStart;
        if (IsWellKnownSid(sid, WinLocalSystemSid)) trustees.push_back(WinLocalSystemSid);
        else if (IsWellKnownSid(sid, WinBuiltinAdministratorsSid)) trustees.push_back(WinBuiltinAdministratorsSid);
        else ADD_FAILURE() << "an ACE for someone else";
    }
    EXPECT_EQ(trustees, (std::vector<WELL_KNOWN_SID_TYPE>{WinLocalSystemSid, WinBuiltinAdministratorsSid}));
    LocalFree(sd);
}
