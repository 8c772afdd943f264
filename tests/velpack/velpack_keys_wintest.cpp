// The private key file's DACL read back: the running user has full access and no wider group
// (Everyone, Users, Authenticated Users, Interactive, Creator Owner) has any.
#include <windows.h>
#include <aclapi.h>
#include <sddl.h>

#include <gtest/gtest.h>

#include "Keys.h"
#include "support/PackageFixture.h"

namespace vel {
namespace {

TEST(VelpackKeysWin, PrivateFileGrantsTheUserAlone) {
    testsupport::ScratchFolder dir;
    const std::string path = dir.File("k.key");
    ASSERT_EQ(WriteNewPrivateFile(path, "secret"), "");

    HANDLE file = CreateFileA(path.c_str(), READ_CONTROL, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR sd = nullptr;
    ASSERT_EQ(GetSecurityInfo(file, SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &dacl, nullptr, &sd),
              ERROR_SUCCESS);
    CloseHandle(file);
    ASSERT_NE(dacl, nullptr);

    HANDLE token = nullptr;
    ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token));
    union {
        TOKEN_USER user;
        char bytes[256];
    } info;
    DWORD size = 0;
    ASSERT_TRUE(GetTokenInformation(token, TokenUser, &info, sizeof info, &size));
    CloseHandle(token);

    // The user has full access; nobody of the wider groups has any. (Wine keeps no DACL of its own:
    // it shows SYSTEM and the owner from the Unix mode, so the protected flag and the single ACE that
    // Windows stores cannot be read back here.)
    bool userFull = false;
    for (int i = 0; i < dacl->AceCount; ++i) {
        ACCESS_ALLOWED_ACE* ace = nullptr;
        ASSERT_TRUE(GetAce(dacl, i, reinterpret_cast<void**>(&ace)));
        PSID sid = reinterpret_cast<PSID>(&ace->SidStart);
        LPSTR text = nullptr;
        ASSERT_TRUE(ConvertSidToStringSidA(sid, &text));
        const std::string name = text;
        LocalFree(text);
        if (ace->Header.AceType != ACCESS_ALLOWED_ACE_TYPE) continue;
        if (EqualSid(sid, info.user.User.Sid) && (ace->Mask & FILE_ALL_ACCESS) == FILE_ALL_ACCESS) userFull = true;
        for (const char* wide : {"S-1-1-0", "S-1-5-11", "S-1-5-32-545", "S-1-5-4", "S-1-3-0"})
            EXPECT_NE(name, wide) << "access granted to " << name;
    }
    EXPECT_TRUE(userFull);
    LocalFree(sd);
}

}  // namespace
}  // namespace vel
