#include "util/SysInfo.h"
#include "util/Version.h"

#include <gtest/gtest.h>

#include <string>

using namespace vel;

namespace {

OsVersionRecord Rec(uint32_t platform, uint32_t major, uint32_t minor, uint32_t build = 0) {
    OsVersionRecord r;
    r.platformId = platform;
    r.major = major;
    r.minor = minor;
    r.build = build;
    return r;
}

TEST(SysInfoTest, IdentifyOsEditions) {
    struct Case {
        OsVersionRecord rec;
        bool is64, server;
        std::string version, name;
        uint32_t flag;
    } cases[] = {
        {Rec(0, 3, 10), false, false, "3.10", "32S", 0},
        {Rec(1, 4, 0), false, false, "4.0", "95", 1},
        {Rec(1, 4, 10, 2222), false, false, "4.10", "98", 2},
        {Rec(1, 4, 10, 3000), false, false, "4.90", "ME", 4},
        {Rec(1, 4, 90), false, false, "4.90", "ME", 4},
        {Rec(1, 5, 0), false, false, "5.0", "9x", 1},
        {Rec(2, 4, 0), false, false, "4.0", "NT", 8},
        {Rec(2, 5, 0), true, true, "5.0", "2000", 16},
        {Rec(2, 5, 1), false, false, "5.1", "XP", 32},
        {Rec(2, 5, 2), false, false, "5.2", "2003", 64},
        {Rec(2, 5, 2), true, true, "5.2", "XP.64", 256},  // no server column: the 64-bit one stays
        {Rec(2, 6, 0), false, false, "6.0", "Vista", 128},
        {Rec(2, 6, 0), true, false, "6.0", "Vista.64", 512},
        {Rec(2, 6, 0), true, true, "6.0", "2008.64", 8192},
        {Rec(2, 6, 0), false, true, "6.0", "2008", 4096},
        {Rec(2, 6, 1), false, true, "6.1", "7", 1024},
        {Rec(2, 6, 1), true, true, "6.1", "2008R2.64", 16384},
        {Rec(2, 6, 2), false, false, "6.2", "8", 32768},
        {Rec(2, 6, 2), true, false, "6.2", "8.64", 65536},
        {Rec(2, 6, 2), true, true, "6.2", "2012.64", 131072},
        {Rec(2, 6, 3), false, false, "6.3", "8.1", 262144},
        {Rec(2, 6, 3), true, false, "6.3", "8.1.64", 524288},
        {Rec(2, 6, 3), true, true, "6.3", "2012R2.64", 1048576},
        {Rec(2, 10, 0), false, true, "10.0", "10", 2097152},
        {Rec(2, 10, 0), true, true, "10.0", "10.64", 4194304},
        {Rec(2, 6, 4), true, true, "6.4", "NTx", 8},
        {Rec(2, 11, 0), false, false, "11.0", "NTx", 8},
        {Rec(3, 5, 0), false, false, "5.0", "", 0},  // a platform the program does not know
    };
    for (const Case& c : cases) {
        const OsIdentity id = IdentifyOs(c.rec, c.is64, c.server);
        SCOPED_TRACE(c.version + " platform " + std::to_string(c.rec.platformId) + (c.is64 ? " 64" : "") +
                     (c.server ? " server" : ""));
        EXPECT_EQ(id.version, c.version);
        EXPECT_EQ(id.name, c.name);
        EXPECT_EQ(id.flag, c.flag);
    }

    OsVersionRecord sp = Rec(2, 5, 1, 2600);
    sp.servicePack = "  Service Pack 3 ";
    const OsIdentity id = IdentifyOs(sp, false, false);
    EXPECT_EQ(id.servicePack, "Service Pack 3");
    EXPECT_EQ(id.build, 2600u);
}

TEST(SysInfoTest, KernelVersionReplacesUntrustedNumbers) {
    EXPECT_FALSE(OsVersionNeedsKernelVersion(Rec(2, 6, 2)));
    EXPECT_FALSE(OsVersionNeedsKernelVersion(Rec(2, 10, 0)));
    EXPECT_FALSE(OsVersionNeedsKernelVersion(Rec(2, 5, 3)));
    ASSERT_TRUE(OsVersionNeedsKernelVersion(Rec(2, 6, 3, 9600)));

    const OsVersionRecord fixed = ApplyKernelVersion(Rec(2, 6, 3, 9600), "10.0.19041.1 (WinBuild.160101.0800)");
    EXPECT_EQ(fixed.major, 10u);
    EXPECT_EQ(fixed.minor, 0u);
    EXPECT_EQ(fixed.build, 19041u);
    const OsIdentity id = IdentifyOs(fixed, false, false);
    EXPECT_EQ(id.name, "10");
    EXPECT_EQ(id.flag, 2097152u);

    // No usable product version: the reported numbers stay.
    for (const char* text : {"", "abc", ".."}) {
        const OsVersionRecord same = ApplyKernelVersion(Rec(2, 6, 3, 9600), text);
        EXPECT_EQ(same.major, 6u) << text;
        EXPECT_EQ(same.minor, 3u) << text;
        EXPECT_EQ(same.build, 9600u) << text;
    }
}

TEST(SysInfoTest, Windows8OrLater) {
    EXPECT_FALSE(IsWindows8OrLaterVersion(Rec(2, 6, 1)));
    EXPECT_TRUE(IsWindows8OrLaterVersion(Rec(2, 6, 2)));
    EXPECT_TRUE(IsWindows8OrLaterVersion(Rec(2, 6, 3)));
    EXPECT_TRUE(IsWindows8OrLaterVersion(Rec(2, 10, 0)));
    EXPECT_FALSE(IsWindows8OrLaterVersion(Rec(1, 6, 2)));
}

TEST(SysInfoTest, RegistryPaths) {
    struct Case {
        std::string path;
        uint32_t root;
        std::string subKey;
    } cases[] = {
        {"hklm\\Software\\X", 0x80000002u, "Software\\X"},
        {"Software\\X", 0x80000001u, "Software\\X"},
        {"HKLM", 0x80000002u, ""},
        {"HKXX\\Y", 0x80000001u, "Y"},
        {"  HKEY_USERS\\.DEFAULT\\Env ", 0x80000003u, ".DEFAULT\\Env"},
        {"HKEY_CLASSES_ROOT\\.txt", 0x80000000u, ".txt"},
        {"HKCR\\", 0x80000000u, ""},
        {"HKCU\\a", 0x80000001u, "a"},
        {"HKU\\a", 0x80000003u, "a"},
        {"hkcc\\a", 0x80000005u, "a"},
        {"HKEY_CURRENT_CONFIG\\a", 0x80000005u, "a"},
        {"HKDD\\a", 0x80000006u, "a"},
        {"HKEY_DYN_DATA", 0x80000006u, ""},
        {"HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft", 0x80000002u, "SOFTWARE\\Microsoft"},
    };
    for (const Case& c : cases) {
        std::string sub = "stale";
        EXPECT_EQ(SplitRegPath(c.path, sub), c.root) << c.path;
        EXPECT_EQ(sub, c.subKey) << c.path;
    }
}

TEST(SysInfoTest, CommandLineWithoutProgram) {
    struct Case {
        std::string line, expected;
    } cases[] = {
        {"\"C:\\Program Files\\App\\setup.exe\" /SleepX=5 /x", "/SleepX=5 /x"},
        {"\"C:\\PROGRAM FILES\\APP\\SETUP.EXE\"   /a  ", "/a"},
        {"C:\\App\\setup.exe /a b", "/a b"},
        {"\"C:\\App\\setup.exe\"", ""},
        {"\"C:\\App\\setup.exe\" x", ""},  // a single character is no parameter
        {"\"C:\\App\\setup.exe\" xy", "xy"},
        {"setup /a", "/a"},                             // started without the extension
        {"\"C:\\App\\SETUP~1.EXE\" /a \"b c\"", "/a \"b c\""},  // started by its short name
    };
    for (const Case& c : cases)
        EXPECT_EQ(CmdParamsFromLine(c.line, "setup.exe", "C:\\Program Files\\App\\setup.exe"), c.expected) << c.line;

    // Without a file name the full path is cut out where it occurs.
    EXPECT_EQ(CmdParamsFromLine("C:\\App\\run.exe /q", "", "C:\\App\\run.exe"), "/q");
}

TEST(SysInfoTest, SwitchValues) {
    struct Case {
        std::string params, name, expected;
    } cases[] = {
        {"/SleepX=5 /TEST=3", "/SleepX=", "5"},
        {"/SleepX=5 /TEST=3", "SleepX=", "5"},
        {"/SleepX=5 /TEST=3", " /sleepx= ", "5"},
        {"/SleepX=5 /TEST=3", "/TEST=", "3"},
        {"/SleepX=5 /TEST=3", "/Missing=", "def"},
        {"/SleepX=5 /TEST=3", "", "def"},
        {"/SleepX=5 /TEST=3", "/", "def"},
        {"/XX=1", "/X=", "def"},
        {"-x=abc -y=1", "-x=", "abc"},
        {"-x=abc /y=1", "/x=", "def"},
        {"/x=abc -y=1", "-y=", "1"},
        {"\"/path=C:\\a b\" /n=1", "/path=", "C:\\a b"},
        {"/a= 7  /b=2", "/a=", "7"},
        {"/a= /b=2", "/a=", ""},
        {"/STOP=1", "/STOP=", "1"},
        {"", "/a=", "def"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(SwitchValueIn(c.params, c.name, "def"), c.expected) << c.params << " | " << c.name;
}

TEST(SysInfoTest, HasParam) {
    EXPECT_TRUE(HasParamIn("/a /b", "/b"));
    EXPECT_TRUE(HasParamIn("/a /b", " /A "));
    EXPECT_FALSE(HasParamIn("/a /bc", "/b"));
    EXPECT_FALSE(HasParamIn("/a /b", ""));
    EXPECT_FALSE(HasParamIn("", "/a"));
}

TEST(SysInfoTest, PumpStep) {
    struct Case {
        uint32_t step, duration, expected;
    } cases[] = {{0, 100, 10}, {0, 1000, 25}, {0, 5, 1}, {0, 0, 1}, {0, 249, 24}, {0, 250, 25}, {7, 100, 7}};
    for (const Case& c : cases) EXPECT_EQ(PumpStepMs(c.step, c.duration), c.expected) << c.step << "," << c.duration;
}

TEST(SysInfoTest, DeveloperCodeMatchesWholeValueOnly) {
    EXPECT_TRUE(IsDeveloperCode("317"));
    for (const char* v : {"", "317 ", " 317", "3170", "31", "318"}) EXPECT_FALSE(IsDeveloperCode(v)) << v;
}

TEST(VersionTest, FormatVersion) {
    struct Case {
        std::string text;
        int width, count;
        std::string expected;
    } cases[] = {
        {"1,2,3,4", 2, 3, "01.02.03"},
        {"1.2", 1, 4, "1.2.0.0"},
        {"10.0.19041.1 (WinBuild.160101.0800)", 1, 4, "10.0.19041.1"},
        {"v..1..2.", 1, 3, "1.0.2"},
        {"", 2, 2, "00.00"},
        {"007.5", 1, 2, "7.5"},
        {"123", 2, 1, "123"},
        {"1.2.3", 1, 0, ""},
        {"99999999999999999999.1", 1, 2, "99999999999999999999.1"},
        {"5, 1, 2600, 0", 3, 4, "005.001.2600.000"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(FormatVersion(c.text, c.width, c.count), c.expected) << c.text << " w" << c.width << " c" << c.count;
}

}  // namespace
