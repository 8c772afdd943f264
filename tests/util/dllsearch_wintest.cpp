// A DLL planted beside a program is not loaded once the DLL search is hardened. The probe program
// (tools/dlltest) loads "shfolder.dll" with a planted copy beside it, which leaves a marker file
// when it is ever loaded; the real stub is run with a planted "version.dll" beside it.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "support/PackageFixture.h"
#include "support/TraceCapture_win.h"

namespace vel {
namespace {

using testsupport::BuildTreePath;
using testsupport::RunChild;
using testsupport::ScratchFolder;
using testsupport::TestExeDir;

bool Exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// Under Wine, a DLL that Wine also provides is taken from Wine unless native copies are preferred
// for the program; prefer them, as Windows does, so that a planted copy has its chance. The key
// means nothing to Windows itself. Removed again at the end of the scope.
class NativeFirst {
public:
    NativeFirst(const std::string& program, const char* dll) : key_("Software\\Wine\\AppDefaults\\" + program) {
        HKEY key = nullptr;
        ok_ = RegCreateKeyExA(HKEY_CURRENT_USER, (key_ + "\\DllOverrides").c_str(), 0, nullptr, 0, KEY_SET_VALUE,
                              nullptr, &key, nullptr) == ERROR_SUCCESS;
        const char kNativeFirst[] = "native,builtin";
        ok_ = ok_ && RegSetValueExA(key, dll, 0, REG_SZ, reinterpret_cast<const BYTE*>(kNativeFirst),
                                    sizeof kNativeFirst) == ERROR_SUCCESS;
        if (key) RegCloseKey(key);
    }
    ~NativeFirst() { RegDeleteTreeA(HKEY_CURRENT_USER, key_.c_str()); }
    bool Ok() const { return ok_; }

private:
    std::string key_;
    bool ok_ = false;
};

// The marker file that the planted DLLs leave, named for this process, for one scope.
class PlantedMarker {
public:
    PlantedMarker() : path_(TestExeDir() + "\\planted_marker_" + std::to_string(GetCurrentProcessId()) + ".txt") {
        Clear();
        SetEnvironmentVariableA("VEL_PLANTED_MARKER", path_.c_str());
    }
    ~PlantedMarker() {
        Clear();
        SetEnvironmentVariableA("VEL_PLANTED_MARKER", nullptr);
    }
    const std::string& Path() const { return path_; }
    // Left when one of the planted VERSION.dll's functions was called.
    std::string CalledPath() const { return path_ + ".called"; }
    void Clear() const {
        DeleteFileA(path_.c_str());
        DeleteFileA(CalledPath().c_str());
    }

private:
    std::string path_;
};

TEST(DllSearch, PlantedDllIsLoadedOnlyWithoutHardening) {
    const std::string probe = BuildTreePath("tools/dlltest/dllprobe.exe");
    ASSERT_TRUE(Exists(probe)) << probe;
    ASSERT_TRUE(Exists(BuildTreePath("tools/dlltest/shfolder.dll")));
    const PlantedMarker planted;
    const std::string& marker = planted.Path();
    const NativeFirst nativeFirst("dllprobe.exe", "shfolder");
    ASSERT_TRUE(nativeFirst.Ok());

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
}

// Closes the stub's message boxes (the stub without a package reports that in one) until it ends.
BOOL CALLBACK CloseBoxOf(HWND w, LPARAM pid) {
    DWORD owner = 0;
    GetWindowThreadProcessId(w, &owner);
    char cls[32] = {};
    GetClassNameA(w, cls, sizeof cls);
    if (owner == static_cast<DWORD>(pid) && lstrcmpA(cls, "VMsgBox") == 0) PostMessageA(w, WM_CLOSE, 0, 0);
    return TRUE;
}

TEST(DllSearch, StubDoesNotUseAPlantedVersionDll) {
    // VERSION.dll is not one of the libraries Windows always takes from the system folder: a copy
    // beside a setup file in a downloads folder is found first, unless the stub asks for the
    // system's. Wine's own user32 imports VERSION.dll (Windows' does not), so with native copies
    // preferred Wine loads the planted copy into any program with windows; what is checked here
    // is that the stub never calls into it. That the stub imports no VERSION.dll at all is
    // checked on its image (pefix --check).
    ScratchFolder downloads;
    const std::string setup = downloads.File("plantsetup.exe");
    ASSERT_TRUE(CopyFileA(BuildTreePath("src/stub/stub.exe").c_str(), setup.c_str(), FALSE));
    ASSERT_TRUE(CopyFileA(BuildTreePath("tools/dlltest/version.dll").c_str(), downloads.File("version.dll").c_str(), FALSE));
    const PlantedMarker planted;
    const NativeFirst probeNativeFirst("dllprobe.exe", "version");
    const NativeFirst stubNativeFirst("plantsetup.exe", "version");
    ASSERT_TRUE(probeNativeFirst.Ok() && stubNativeFirst.Ok());

    // The fixture can catch it: asked for by name without hardening, the planted copy is loaded.
    const auto probe = RunChild("\"" + BuildTreePath("tools/dlltest/dllprobe.exe") + "\" version.dll", 30000, true);
    ASSERT_TRUE(probe.started);
    ASSERT_EQ(probe.exitCode, 1u) << probe.output;
    ASSERT_TRUE(Exists(planted.Path()));
    planted.Clear();

    // The stub reads its own version resource at start; without a package it then reports the
    // damage in a box and ends with its failure code.
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    std::string cmd = "\"" + setup + "\"";
    ASSERT_TRUE(CreateProcessA(nullptr, &cmd[0], nullptr, nullptr, FALSE, 0, nullptr, downloads.Path().c_str(), &si, &pi));
    CloseHandle(pi.hThread);
    DWORD wait = WAIT_TIMEOUT;
    for (int i = 0; i < 600 && wait == WAIT_TIMEOUT; ++i) {
        EnumWindows(CloseBoxOf, static_cast<LPARAM>(pi.dwProcessId));
        wait = WaitForSingleObject(pi.hProcess, 100);
    }
    DWORD code = 0;
    if (wait == WAIT_TIMEOUT) TerminateProcess(pi.hProcess, 99);
    GetExitCodeProcess(pi.hProcess, &code);
    CloseHandle(pi.hProcess);
    EXPECT_EQ(wait, WAIT_OBJECT_0) << "the stub did not end";
    EXPECT_EQ(code, 1u);
    EXPECT_FALSE(Exists(planted.CalledPath())) << "the stub called the VERSION.dll beside it";
}

}  // namespace
}  // namespace vel
