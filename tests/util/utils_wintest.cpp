#include "util/Utils.h"

#include <gtest/gtest.h>

#include <regex>
#include <string>

#include "support/DebugCapture.h"
#include "support/RunProgram_win.h"
#include "util/RuntimeProc.h"
#include "util/StrUtils.h"

using namespace vel;
using vel::testsupport::DebugCapture;

namespace {

// Child mode: started by CommandLineSeenByChild with this variable naming an output file, the
// program reports what it reads from its own command line and ends before any test runs.
const bool g_isCmdLineChild = [] {
    char out[MAX_PATH] = {};
    if (GetEnvironmentVariableA("VEL_UTILS_CMDLINE_OUT", out, sizeof(out)) == 0) return false;
    const std::string report = GetCmdParams() + "\n" + GetSwitchValue("/SleepX=", "none") + "\n" +
                               IntToStr(GetSwitchInt("/SleepX=", -1)) + "\n" + GetSwitchValue("/path=", "none") +
                               "\n" + BoolDigit(HasCmdParam("/flag")) + "\n";
    WriteFileText(out, report);
    ExitProcess(0);
}();

std::string TempFile(const std::string& name) {
    return TempDir(true) + "vel_utils_" + IntToStr(GetCurrentProcessId()) + "_" + name;
}

TEST(UtilsWinTest, CommandLineSeenByChild) {
    const std::string exe = testsupport::ThisProgram();
    struct Case {
        std::string line;
        std::string expected;  // params, /SleepX= value, as number, /path= value, has /flag
    } cases[] = {
        {"\"" + exe + "\" /SleepX=5 \"/path=C:\\a b\" /flag", "/SleepX=5 \"/path=C:\\a b\" /flag\n5\n5\nC:\\a b\n1\n"},
        {"utils_wintest /SleepX=x7 /flagged", "/SleepX=x7 /flagged\nx7\n-1\nnone\n0\n"},
        {"\"" + exe + "\"", "\nnone\n-1\nnone\n0\n"},
    };
    for (const Case& c : cases) {
        const std::string out = TempFile("cmdline.txt");
        DeleteFileA(out.c_str());
        ASSERT_EQ(testsupport::RunProgram(exe, c.line, "VEL_UTILS_CMDLINE_OUT", out, 30000), 0) << c.line;
        EXPECT_EQ(ReadFilePart(out), c.expected) << c.line;
        DeleteFileA(out.c_str());
    }
}

TEST(UtilsWinTest, RegistryValues) {
    const std::string sub = "Software\\VelnorUtilsTest\\" + IntToStr(GetCurrentProcessId());
    ScopedKey key;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, sub.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key.put(),
                              nullptr),
              ERROR_SUCCESS);
    const DWORD seven = 7;
    const DWORD big = 4000000000u;
    const char multi[] = "a\0b\0\0";
    const char binary[] = "ab\0cd";
    const std::string longText(10300, 'L');
    RegSetValueExA(key.get(), "Dword", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&seven), sizeof(seven));
    RegSetValueExA(key.get(), "BigDword", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&big), sizeof(big));
    RegSetValueExA(key.get(), "Multi", 0, REG_MULTI_SZ, reinterpret_cast<const BYTE*>(multi), sizeof(multi));
    RegSetValueExA(key.get(), "Text", 0, REG_SZ, reinterpret_cast<const BYTE*>("hello"), 6);
    RegSetValueExA(key.get(), "Binary", 0, REG_BINARY, reinterpret_cast<const BYTE*>(binary), 5);
    RegSetValueExA(key.get(), "Long", 0, REG_SZ, reinterpret_cast<const BYTE*>(longText.c_str()),
                   static_cast<DWORD>(longText.size() + 1));
    RegSetValueExA(key.get(), "", 0, REG_SZ, reinterpret_cast<const BYTE*>("dflt"), 5);

    struct Case {
        std::string path, value, expected;
    } cases[] = {
        {"HKCU\\" + sub, "Dword", "7"},
        {sub, "Dword", "7"},
        {"HKEY_CURRENT_USER\\" + sub, "BigDword", "4000000000"},
        {"hkcu\\" + sub, "Multi", std::string("a<0>b")},
        {"HKXX\\" + sub, "Text", "hello"},
        {"  " + sub + " ", "Binary", "ab"},
        {sub, "Long", "default"},  // longer than the 10240-byte buffer
        {sub, "", "dflt"},
        {sub, "Missing", "default"},
        {sub + "\\NoSuchKey", "Text", "default"},
        {"HKLM\\" + sub, "Text", "default"},
    };
    for (const Case& c : cases) EXPECT_EQ(ReadRegString(c.path, c.value, "default"), c.expected) << c.path << " " << c.value;

    key.reset();
    RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\VelnorUtilsTest");
}

TEST(UtilsWinTest, RegistryRootsAreThePredefinedKeys) {
    struct Case {
        std::string path;
        HKEY root;
        std::string subKey;
    } cases[] = {
        {"hklm\\Software\\X", HKEY_LOCAL_MACHINE, "Software\\X"},
        {"Software\\X", HKEY_CURRENT_USER, "Software\\X"},
        {"HKLM", HKEY_LOCAL_MACHINE, ""},
        {"HKXX\\Y", HKEY_CURRENT_USER, "Y"},
        {"HKCR\\.txt", HKEY_CLASSES_ROOT, ".txt"},
        {"HKU\\x", HKEY_USERS, "x"},
        {"HKCC\\x", HKEY_CURRENT_CONFIG, "x"},
        {"HKDD\\x", HKEY_DYN_DATA, "x"},
    };
    for (const Case& c : cases) {
        std::string sub;
        EXPECT_EQ(ParseRegPath(c.path, sub), c.root) << c.path;
        EXPECT_EQ(sub, c.subKey) << c.path;
    }
}

TEST(UtilsWinTest, IniValues) {
    const std::string ini = TempFile("values.ini");
    DeleteFileA(ini.c_str());
    ASSERT_TRUE(WriteIniString(ini, "Main", "Name", "Velnor"));
    ASSERT_TRUE(WriteIniInt(ini, "Main", "Count", -12345678901LL));
    ASSERT_TRUE(WriteIniString(ini, "Main", "Empty", ""));
    ASSERT_TRUE(WriteIniString(ini, "Main", "Word", "abc"));

    EXPECT_EQ(ReadIniString(ini, "Main", "Name", "x"), "Velnor");
    EXPECT_EQ(ReadIniString(ini, "main", "NAME", "x"), "Velnor");
    EXPECT_EQ(ReadIniString(ini, "Main", "Empty", "x"), "x");
    EXPECT_EQ(ReadIniString(ini, "Main", "Missing", "x"), "x");
    EXPECT_EQ(ReadIniString(ini, "", "Name", "x"), "x");
    EXPECT_EQ(ReadIniString(ini, "Main", "", "x"), "x");
    EXPECT_EQ(ReadIniString(TempFile("missing.ini"), "Main", "Name", "x"), "x");
    EXPECT_EQ(ReadIniInt(ini, "Main", "Count", 5), -12345678901LL);
    EXPECT_EQ(ReadIniInt(ini, "Main", "Word", 5), 5);
    EXPECT_EQ(ReadIniInt(ini, "Main", "Missing", 5), 5);

    const std::string noFile = TempFile("never.ini");
    EXPECT_FALSE(WriteIniString("", "Main", "Name", "v"));
    EXPECT_FALSE(WriteIniString(noFile, "", "Name", "v"));
    EXPECT_FALSE(WriteIniString(noFile, "Main", "", "v"));
    EXPECT_EQ(GetFileAttributesA(noFile.c_str()), INVALID_FILE_ATTRIBUTES);
    DeleteFileA(ini.c_str());
}

TEST(UtilsWinTest, LongIniValueIsReturnedWholeAndLogged) {
    const std::string ini = TempFile("long.ini");
    const std::string value(12000, 'v');
    ASSERT_TRUE(WriteIniString(ini, "S", "Long", value));
    DebugCapture capture;
    EXPECT_EQ(ReadIniString(ini, "S", "Long", ""), value);
    EXPECT_TRUE(capture.Contains("ReadIniString SizeError=12000")) << capture.Text();

    capture.Clear();
    ASSERT_TRUE(WriteIniString(ini, "S", "Short", std::string(10240, 's')));
    EXPECT_EQ(ReadIniString(ini, "S", "Short", "").size(), 10240u);
    EXPECT_FALSE(capture.Contains("SizeError"));
    DeleteFileA(ini.c_str());
}

TEST(UtilsWinTest, VersionResources) {
    const std::string kernel = SystemDir(true) + "kernel32.dll";
    EXPECT_TRUE(std::regex_match(GetExeVersion(kernel), std::regex("\\d+\\.\\d+\\.\\d+\\.\\d+"))) << GetExeVersion(kernel);
    EXPECT_TRUE(std::regex_match(GetExeVersion(kernel, 3, 2), std::regex("\\d{3,}\\.\\d{3,}"))) << GetExeVersion(kernel, 3, 2);
    const std::string product = GetProductVersion(kernel);
    EXPECT_FALSE(product.empty());
    EXPECT_EQ(product.find(','), std::string::npos);
    EXPECT_EQ(GetProductVersion(kernel, 1, 1), FormatVersion(product, 1, 1));

    // The stub's own resource: file version 1,0,3,17 and product version text "1.0.3.17" in table 040904b0.
    const std::string tests = testsupport::ThisProgram();
    const std::string stub = tests.substr(0, tests.find_last_of('\\')) + "\\..\\src\\stub\\stub.exe";
    EXPECT_EQ(GetExeVersion(stub), "1.0.3.17");
    EXPECT_EQ(GetExeVersion(stub, 3, 4), "001.000.003.017");
    EXPECT_EQ(GetProductVersion(stub), "1.0.3.17");

    const std::string text = TempFile("plain.txt");
    ASSERT_TRUE(WriteFileText(text, "no resources here"));
    for (const std::string& f : {text, TempFile("missing.exe")}) {
        EXPECT_EQ(GetExeVersion(f), "") << f;
        EXPECT_EQ(GetProductVersion(f), "") << f;
    }
    DeleteFileA(text.c_str());
}

TEST(UtilsWinTest, WindowsVersion) {
    const OsIdentity os = GetOsName();
    EXPECT_TRUE(IsWindowsNT());
    EXPECT_TRUE(IsWindows64());  // this program is 64-bit
    EXPECT_NE(os.flag, 0u);
    EXPECT_EQ(GetOsFlag(), os.flag);
    EXPECT_NE(os.name.find(".64"), std::string::npos) << os.name;  // every 64-bit edition but server 2003
    EXPECT_EQ(IsWindows8OrLater(), ParseFloatDot(os.version, 0) >= 6.2) << os.version;
    EXPECT_EQ(IsWindowsXP(), os.version == "5.1");
}

LRESULT CALLBACK CountingProc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_APP) ++*reinterpret_cast<int*>(GetWindowLongPtrA(wnd, GWLP_USERDATA));
    return DefWindowProcA(wnd, msg, wp, lp);
}

struct TestWindow {
    HWND wnd = nullptr;
    TestWindow(const char* title, HWND owner) {
        WNDCLASSA wc = {};
        wc.lpfnWndProc = CountingProc;
        wc.hInstance = GetModuleHandleA(nullptr);
        wc.lpszClassName = "VelUtilsTestWindow";
        RegisterClassA(&wc);  // fails harmlessly when already registered
        wnd = CreateWindowExA(0, wc.lpszClassName, title, WS_POPUP, 0, 0, 10, 10, owner, nullptr, wc.hInstance, nullptr);
    }
    ~TestWindow() { DestroyWindow(wnd); }
};

TEST(UtilsWinTest, WaitPumpingDispatchesAndKeepsQuit) {
    TestWindow w("pump", nullptr);
    ASSERT_NE(w.wnd, nullptr);
    int count = 0;
    SetWindowLongPtrA(w.wnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&count));
    for (int i = 0; i < 3; ++i) PostMessageA(w.wnd, WM_APP, 0, 0);
    const int64_t start = MilliCounter();
    WaitPumping(0, 60);
    EXPECT_GE(MilliCounter() - start, 60);
    EXPECT_EQ(count, 3);

    // A quit request that arrives during a wait stays for the message loop.
    PostQuitMessage(7);
    WaitPumping(0, 20);
    MSG msg;
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(msg.wParam, 7u);
}

TEST(UtilsWinTest, WindowQueries) {
    TestWindow top("Top title", nullptr);
    TestWindow middle("m", top.wnd);
    TestWindow bottom("b", middle.wnd);
    ASSERT_TRUE(top.wnd && middle.wnd && bottom.wnd);
    EXPECT_EQ(TopLevelOwner(bottom.wnd), top.wnd);
    EXPECT_EQ(TopLevelOwner(top.wnd), top.wnd);
    EXPECT_EQ(GetWindowTextStr(top.wnd), "Top title");
    EXPECT_EQ(GetWindowTextStr(nullptr), "");
    EXPECT_EQ(GetWindowClassStr(bottom.wnd), "VelUtilsTestWindow");

    RECT work;
    ASSERT_TRUE(SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0));
    const int ww = work.right - work.left;
    const int wh = work.bottom - work.top;
    const POINT p = CenterInWorkArea(301, 101);
    EXPECT_EQ(p.x, work.left + (ww - 301) / 2);
    EXPECT_EQ(p.y, work.top + (wh - 101) / 2);
    const POINT wide = CenterInWorkArea(ww + 3, wh + 3);  // larger than the work area: truncated toward zero
    EXPECT_EQ(wide.x, work.left - 1);
    EXPECT_EQ(wide.y, work.top - 1);
    EXPECT_EQ(PointsToPixels(72), ScreenDpiY());
    EXPECT_EQ(PointsToPixels(36), MulDiv(36, ScreenDpiY(), 72));
}

TEST(UtilsWinTest, LibrariesLoadFromTheSystemFolderOnly) {
    RuntimeProc<DWORD(WINAPI*)()> tickCount("kernel32.dll", "GetTickCount");
    RuntimeProc<DWORD(WINAPI*)()> missingFunction("kernel32.dll", "NoSuchFunctionHere");
    RuntimeProc<DWORD(WINAPI*)()> missingLibrary("vel_no_such_library.dll", "x");
    ASSERT_NE(tickCount.get(), nullptr);
    EXPECT_GT(tickCount.get()(), 0u);
    EXPECT_EQ(missingFunction.get(), nullptr);
    EXPECT_EQ(missingLibrary.get(), nullptr);
    EXPECT_EQ(LoadSystemLibrary(SystemDir(true) + "kernel32.dll"), nullptr);  // names only

    // A library planted beside the program (and in the current folder) is not picked up by name.
    const std::string planted = ExeDir(true) + "velplanted.dll";
    ASSERT_TRUE(CopyFileA((SystemDir(true) + "version.dll").c_str(), planted.c_str(), FALSE));
    {
        ScopedModule byName(LoadSystemLibrary("velplanted.dll"));
        EXPECT_FALSE(byName.valid());
        ScopedModule direct(LoadLibraryA(planted.c_str()));  // checked last: a loaded module is found by name
        EXPECT_TRUE(direct.valid()) << "the planted copy itself must be loadable";
    }
    DeleteFileA(planted.c_str());
}

// The HTTP layer frees WinINet when it is done; a later download binds its functions again.
TEST(UtilsWinTest, RuntimeLibrariesUnloadAndTheirFunctionsBindAgain) {
    RuntimeProc<BOOL(WINAPI*)(LPDWORD, DWORD)> connectedState("wininet.dll", "InternetGetConnectedState");
    RuntimeProc<DWORD(WINAPI*)()> tickCount("kernel32.dll", "GetTickCount");
    ASSERT_EQ(GetModuleHandleA("wininet.dll"), nullptr) << "something else has loaded WinINet";
    ASSERT_NE(connectedState.get(), nullptr);
    ASSERT_NE(tickCount.get(), nullptr);
    EXPECT_NE(GetModuleHandleA("wininet.dll"), nullptr);

    EXPECT_TRUE(UnloadRuntimeLibrary("WinINet.dll"));  // any letter case
    EXPECT_EQ(GetModuleHandleA("wininet.dll"), nullptr);
    EXPECT_FALSE(UnloadRuntimeLibrary("wininet.dll"));  // no longer loaded
    EXPECT_FALSE(UnloadRuntimeLibrary("vel_never_loaded.dll"));

    // The next use loads the library again and gives a callable function.
    const auto again = connectedState.get();
    ASSERT_NE(again, nullptr);
    EXPECT_NE(GetModuleHandleA("wininet.dll"), nullptr);
    DWORD flags = 0;
    again(&flags, 0);
    EXPECT_GT(tickCount.get()(), 0u);  // functions of other libraries still work
    EXPECT_TRUE(UnloadRuntimeLibrary("wininet.dll"));
}

TEST(UtilsWinTest, OwnersCloseTheirHandles) {
    HANDLE raw = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    ATOM atom = GlobalAddAtomA("VelUtilsTestAtom");
    ASSERT_TRUE(raw && atom);
    {
        ScopedHandle first(raw);
        ScopedHandle second(std::move(first));
        EXPECT_FALSE(first.valid());
        EXPECT_EQ(second.get(), raw);
        ScopedAtom owned(atom);
        DWORD flags = 0;
        EXPECT_TRUE(GetHandleInformation(raw, &flags));
    }
    DWORD flags = 0;
    EXPECT_FALSE(GetHandleInformation(raw, &flags));
    EXPECT_EQ(GlobalFindAtomA("VelUtilsTestAtom"), 0);
}

TEST(UtilsWinTest, UserMachineAndMisc) {
    EXPECT_FALSE(GetLoginName().empty());
    EXPECT_FALSE(GetMachineName().empty());
    EXPECT_EQ(GetAccountDomain(""), "");
    EXPECT_EQ(GetAccountDomain("vel_no_such_account_xyz"), "");

    SetLastError(ERROR_FILE_NOT_FOUND);
    const std::string err = LastErrorText();
    EXPECT_FALSE(err.empty());
    EXPECT_NE(err.back(), '\n');

    SetEnvironmentVariableA("DVX", "317");
    EXPECT_TRUE(IsDeveloperMode());
    SetEnvironmentVariableA("DVX", nullptr);
}

}  // namespace
