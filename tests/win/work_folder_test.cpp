// The work folder: a new one per run, never one that exists, made with its own security.
#include <gtest/gtest.h>

#include <windows.h>
#include <sddl.h>

#include "TestSupport.h"
#include "WorkFolder.h"

TEST(WorkFolder, TakesTheFirstFreeNameAndNeverOneThatExists) {
    ScratchDir windows;  // stands for the Windows folder; its temp folder does not exist yet
    const std::string temp = windows / "temp";
    EXPECT_EQ(CreateWorkFolder(windows.path()), temp + "\\~qvku.tmp") << "the temp folder is made as well";
    EXPECT_EQ(CreateWorkFolder(windows.path()), temp + "\\~qvku.1.tmp");
    ASSERT_TRUE(CreateDirectoryA((temp + "\\~qvku.2.tmp").c_str(), nullptr));  // planted by someone else
    ASSERT_TRUE(WriteFileBytes(temp + "\\~qvku.3.tmp", "a file of that name"));
    EXPECT_EQ(CreateWorkFolder(windows.path()), temp + "\\~qvku.4.tmp");
    EXPECT_TRUE(FolderExists(temp + "\\~qvku.4.tmp"));
    EXPECT_FALSE(FolderExists(temp + "\\~qvku.3.tmp")) << "a file is no folder";
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
