// The work folder: a new one per run, never one that exists, made with its own security.
#include <gtest/gtest.h>

#include <windows.h>
#include <sddl.h>

#include <regex>

#include "TestSupport.h"
#include "WorkFolder.h"

TEST(WorkFolder, EveryRunTakesANewUnguessableNameThatPlantedOnesDoNotBlock) {
    ScratchDir windows;  // stands for the Windows folder; its temp folder does not exist yet
    const std::string temp = windows / "temp";
    const std::string first = CreateWorkFolder(windows.path());
    ASSERT_FALSE(first.empty()) << "the temp folder is made as well";
    const std::regex name(std::regex_replace(temp, std::regex(R"([\\.])"), R"(\$&)") + R"(\\~qvku\.[0-9a-f]{32}\.tmp)");
    EXPECT_TRUE(std::regex_match(first, name)) << first;
    EXPECT_TRUE(FolderExists(first));
    // Names someone could have guessed, taken beforehand by folders and files alike.
    for (int i = 0; i < 20; ++i) {
        const std::string guess = temp + "\\~qvku" + (i ? "." + std::to_string(i) : std::string()) + ".tmp";
        ASSERT_TRUE(i % 2 ? CreateDirectoryA(guess.c_str(), nullptr) : WriteFileBytes(guess, "planted"));
    }
    const std::string second = CreateWorkFolder(windows.path());
    EXPECT_TRUE(std::regex_match(second, name)) << second;
    EXPECT_NE(second, first) << "a folder that exists is never used again";
    EXPECT_EQ(CreateWorkFolder(""), "");
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
