// A DLL planted beside a program is not loaded once the DLL search is hardened. The probe program
// (tools/dlltest) loads "shfolder.dll" with a planted copy beside it, which leaves a marker file
// when it is ever loaded.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "support/TraceCapture_win.h"

namespace vel {
namespace {

using testsupport::BuildTreePath;
using testsupport::RunChild;
using testsupport::TestExeDir;

bool Exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

TEST(DllSearch, PlantedDllIsLoadedOnlyWithoutHardening) {
    const std::string probe = BuildTreePath("tools/dlltest/dllprobe.exe");
    ASSERT_TRUE(Exists(probe)) << probe;
    ASSERT_TRUE(Exists(BuildTreePath("tools/dlltest/shfolder.dll")));
    const std::string marker = TestExeDir() + "\\planted_marker_" + std::to_string(GetCurrentProcessId()) + ".txt";
    SetEnvironmentVariableA("VEL_PLANTED_MARKER", marker.c_str());
    // Under Wine, a DLL that Wine also provides is taken from Wine unless native copies are
    // preferred for the program; prefer them, as Windows does, so the planted copy has its chance.
    // The key means nothing to Windows itself.
    const char* const kWineKey = "Software\\Wine\\AppDefaults\\dllprobe.exe\\DllOverrides";
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, kWineKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    const char kNativeFirst[] = "native,builtin";
    RegSetValueExA(key, "shfolder", 0, REG_SZ, reinterpret_cast<const BYTE*>(kNativeFirst), sizeof kNativeFirst);
    RegCloseKey(key);

    struct Case {
        const char* args;
        DWORD exitCode;  // 0 = the system folder's copy, 1 = the planted copy
        bool planted;
    };
    const Case cases[] = {
        {"shfolder.dll", 1, true},  // shows that the fixture can catch a planted load
        {"--harden shfolder.dll", 0, false},
        {"--system shfolder.dll", 0, false},
        {"--harden --system shfolder.dll", 0, false},
    };
    for (const Case& c : cases) {
        DeleteFileA(marker.c_str());
        const auto r = RunChild("\"" + probe + "\" " + c.args, 30000, true);
        ASSERT_TRUE(r.started);
        EXPECT_FALSE(r.timedOut) << c.args;
        EXPECT_EQ(r.exitCode, c.exitCode) << c.args << "\n" << r.output;
        EXPECT_EQ(Exists(marker), c.planted) << c.args << "\n" << r.output;
        if (c.args == std::string("--harden shfolder.dll")) {
            EXPECT_NE(r.output.find("HardenDllSearch: restricted"), std::string::npos) << r.output;
        }
    }
    DeleteFileA(marker.c_str());
    SetEnvironmentVariableA("VEL_PLANTED_MARKER", nullptr);
    RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\Wine\\AppDefaults\\dllprobe.exe");
}

}  // namespace
}  // namespace vel
