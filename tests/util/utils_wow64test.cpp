// The shipped 32-bit code on 64-bit Windows: WoW64 detection, the two registry views and the
// system folder, which WoW64 maps to the 32-bit libraries. Built with the shipping tree and run as
// a 32-bit process in a 64-bit prefix.
#include "util/Utils.h"

#include <gtest/gtest.h>

#include <string>

#include "paths/Macros_win.h"
#include "util/StrUtils.h"

using namespace vel;

namespace {

// A precondition of every test here: a 32-bit process that the system runs under WoW64.
void ExpectWow64Process() {
    ASSERT_EQ(sizeof(void*), 4u);
    BOOL wow64 = FALSE;
    ASSERT_TRUE(IsWow64Process(GetCurrentProcess(), &wow64));
    ASSERT_TRUE(wow64) << "not a 64-bit prefix";
}

// HKEY_LOCAL_MACHINE key in one registry view, created when missing.
class ViewKey {
public:
    ViewKey(const std::string& subKey, REGSAM view) {
        ok_ = RegCreateKeyExA(HKEY_LOCAL_MACHINE, subKey.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | view, nullptr,
                              key_.put(), nullptr) == ERROR_SUCCESS;
    }
    bool Ok() const { return ok_; }
    bool Set(const char* name, const std::string& text) {
        return RegSetValueExA(key_.get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                              static_cast<DWORD>(text.size() + 1)) == ERROR_SUCCESS;
    }
    // The value as stored, or false when it is missing.
    bool Get(const char* name, std::string& text) {
        char buf[1024] = {};
        DWORD size = sizeof buf - 1;
        if (RegQueryValueExA(key_.get(), name, nullptr, nullptr, reinterpret_cast<BYTE*>(buf), &size) != ERROR_SUCCESS)
            return false;
        text.assign(buf, strnlen(buf, size));
        return true;
    }
    void Remove(const char* name) { RegDeleteValueA(key_.get(), name); }

private:
    ScopedKey key_;
    bool ok_ = false;
};

TEST(Wow64, DetectedAsA64BitSystem) {
    ExpectWow64Process();
    EXPECT_TRUE(IsWindows64());
    const OsIdentity os = GetOsName();
    EXPECT_NE(os.name.find(".64"), std::string::npos) << os.name;  // every 64-bit edition but server 2003
}

TEST(Wow64, RegistryReaderReadsTheViewItIsAskedFor) {
    ExpectWow64Process();
    // HKEY_LOCAL_MACHINE\Software has a key of the same name in each view.
    const std::string sub = "Software\\VelnorWow64Test\\" + IntToStr(GetCurrentProcessId());
    {
        ViewKey k64(sub, KEY_WOW64_64KEY), k32(sub, KEY_WOW64_32KEY);
        ASSERT_TRUE(k64.Ok() && k32.Ok());
        ASSERT_TRUE(k64.Set("Where", "64") && k32.Set("Where", "32") && k64.Set("Only64", "yes"));
    }
    const std::string path = "HKLM\\" + sub;
    const struct {
        const char* value;
        bool use64View;
        const char* expected;
    } cases[] = {
        {"Where", true, "64"},
        {"Where", false, "32"},
        {"Only64", true, "yes"},
        {"Only64", false, "default"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ReadRegString(path, c.value, "default", c.use64View), c.expected) << c.value << " " << c.use64View;
    // The program's own readers use the 32-bit view.
    EXPECT_EQ(ReadRegString(path, "Where", "default"), "32");

    for (REGSAM view : {KEY_WOW64_64KEY, KEY_WOW64_32KEY}) {
        RegDeleteKeyExA(HKEY_LOCAL_MACHINE, sub.c_str(), view, 0);
        RegDeleteKeyExA(HKEY_LOCAL_MACHINE, "Software\\VelnorWow64Test", view, 0);
    }
}

TEST(Wow64, RegisteredOwnerAndOrganizationComeFromThe64BitView) {
    ExpectWow64Process();
    const char* sub = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion";
    ViewKey k64(sub, KEY_WOW64_64KEY), k32(sub, KEY_WOW64_32KEY);
    ASSERT_TRUE(k64.Ok() && k32.Ok());
    // Different names in the two views for the test; what was there before is put back.
    struct Saved {
        ViewKey* key;
        const char* name;
        bool had;
        std::string text;
    } saved[] = {{&k64, "RegisteredOwner", false, ""}, {&k64, "RegisteredOrganization", false, ""},
                 {&k32, "RegisteredOwner", false, ""}, {&k32, "RegisteredOrganization", false, ""}};
    for (Saved& s : saved) s.had = s.key->Get(s.name, s.text);
    ASSERT_TRUE(k64.Set("RegisteredOwner", " Owner 64 ") && k64.Set("RegisteredOrganization", "Org 64"));
    ASSERT_TRUE(k32.Set("RegisteredOwner", "Owner 32") && k32.Set("RegisteredOrganization", "Org 32"));
    std::string check;
    ASSERT_TRUE(k32.Get("RegisteredOwner", check) && check == "Owner 32") << "the views are not separate";

    EXPECT_EQ(GetRegisteredOwner(), "Owner 64");
    EXPECT_EQ(GetRegisteredOrganization(), "Org 64");

    for (Saved& s : saved) {
        if (s.had) {
            s.key->Set(s.name, s.text);
        } else {
            s.key->Remove(s.name);
        }
    }
}

TEST(Wow64, SystemFolderGivesThe32BitLibraries) {
    ExpectWow64Process();
    // The message box's rich edit control and the version of kernel32 that names the system.
    for (const char* dll : {"RICHED32.DLL", "riched20.dll", "version.dll"}) {
        ScopedModule m(LoadSystemLibrary(dll));
        EXPECT_NE(m.get(), nullptr) << dll;
    }
    EXPECT_FALSE(GetProductVersion(SystemDir(true) + "kernel32.dll").empty());
}

}  // namespace

TEST(Wow64, FolderMacrosReadThe64BitView) {
    ExpectWow64Process();
    ViewKey k64("SOFTWARE\\Microsoft\\Windows\\CurrentVersion", KEY_WOW64_64KEY);
    ViewKey k32("SOFTWARE\\Microsoft\\Windows\\CurrentVersion", KEY_WOW64_32KEY);
    for (const char* name : {"ProgramFilesDir", "CommonFilesDir"}) {
        std::string v64, v32;
        ASSERT_TRUE(k64.Get(name, v64) && k32.Get(name, v32)) << name;
        ASSERT_NE(v64, v32) << name << ": the views hold the same folder";
        std::string out;
        ExpandMacros(std::string("<") + name + ">", "\\", false, true, out);
        EXPECT_EQ(out, v64) << name;
    }
}
