#include "support/InstalledProduct_win.h"

#include <filesystem>
#include <system_error>

#include "Velpack.h"
#include "support/TestServers_win.h"
#include "support/TraceCapture_win.h"
#include "support/WindowDriver_win.h"
#include "util/Process.h"

namespace vel {
namespace testsupport {

namespace {

constexpr char kProductClass[] = "VelnorDemoProduct";

std::string LeafOf(const std::string& path) { return path.substr(path.find_last_of("\\/") + 1); }

// The installation settings file as the setup engine writes it at installation: version 1, the
// probing schedule, the product folder, the boxes' look and the update texts.
std::string InstallSettingsText(const ProductOptions& o, const std::string& folder) {
    return "[OriginalSetup]\r\n"
           "ProbeSecondsInterval=" + std::to_string(o.probeSecondsInterval) + "\r\n"
           "ProbeSecondsLast=0\r\n"
           "ReAskSecondsInterval=" + std::to_string(o.reAskSecondsInterval) + "\r\n"
           "ReAskSecondsLast=0\r\n"
           "VersionOriginal=1\r\n"
           "Stamp=0\r\n"
           "ProgramName=Demo Product\r\n"
           "[Directories]\r\n"
           "TargetDir=" + folder + "\r\n"
           "[UnInstall]\r\n"
           "[MsgBox]\r\n"
           "BtnText=|&OK|&Cancel|&Yes|&No|&Abort|&Retry|&Ignore|\r\n"
           "Error=Update Error\r\n"
           "Confirm=Update Question\r\n"
           "Attention=Update Notice\r\n"
           "CharSet=0\r\n"
           "FontName=Tahoma\r\n"
           "FontSize=8\r\n"
           "[AutoUpdate]\r\n"
           "s2=No connection to the Internet.\r\n"
           "s11=A new version of PROG_NAME is available.\r\n"
           "s12=<P>Download it now?\r\n"
           "s13=<P>Download it now? You will be asked again before it is installed.\r\n"
           "s14=Install the new version of PROG_NAME now?\r\n"
           "s15=Please close PROG_NAME to go on with the update.\r\n"
           "s16=PROG_NAME has been updated.\r\n"
           "s17=<P>Start it again?\r\n"
           "s18=<P>It is downloaded now.\r\n"
           "s19=<P>It is downloaded now; you will be asked before it is installed.\r\n"
           "s20=The new version of PROG_NAME is installed now.\r\n"
           "s21=No new version is available.\r\n"
           "s22=Check for a new version of PROG_NAME now?\r\n"
           "s23=<P>The update location is on the Internet.\r\n"
           "s24=<P>Go on?\r\n";
}

// Pid of a program running from exactly this path, 0 when none.
DWORD PidOf(const std::string& path) { return FindProcessIdByPsapi(path, true); }

}  // namespace

InstalledProduct::InstalledProduct(const ProductOptions& options) : options_(options) {
    error_ = MakeInstallation();
}

InstalledProduct::~InstalledProduct() {
    EndAll();
    if (options_.server != UpdateServer::Folder && !serverFolder_.empty()) {
        std::error_code ec;
        std::filesystem::remove_all(serverFolder_, ec);
    }
}

std::string InstalledProduct::MakeInstallation() {
    EndAll();  // what an earlier installation left running
    folder_ = scratch_.File("Demo Product");
    if (!CreateDirectoryA(folder_.c_str(), nullptr)) return "cannot create " + folder_;
    const std::string leaf = LeafOf(scratch_.Path());
    switch (options_.server) {
    case UpdateServer::Http:
    case UpdateServer::Https:
        if (!ServersUp()) return "the loopback servers are not up (run under tests/servers/with-servers.sh)";
        serverFolder_ = ServerFile("www/" + leaf);
        location_ = options_.server == UpdateServer::Http ? HttpUrl("/" + leaf) : HttpsUrl("VEL_HTTPS_PORT", "/" + leaf);
        break;
    case UpdateServer::Folder:
        serverFolder_ = scratch_.File("server");
        location_ = serverFolder_;
        break;
    }
    if (!CreateDirectoryA(serverFolder_.c_str(), nullptr)) return "cannot create " + serverFolder_;

    // The product, version 1.
    if (!CopyFileA(BuildTreePath("tools/demoproduct/demoproduct.exe").c_str(), ProductExe().c_str(), FALSE))
        return "no demo product built";
    if (!WriteWholeFile(folder_ + "\\version.txt", "1\r\n")) return "cannot write version.txt";
    if (!WriteWholeFile(SettingsFile(), InstallSettingsText(options_, folder_))) return "cannot write the settings";

    // The plain update agent: the stub as an update agent, with the product's token and location.
    const std::string input = scratch_.File("agent-input");
    CreateDirectoryA(input.c_str(), nullptr);
    BuildOptions b;
    b.stubPath = StubUnderTest();
    b.languageFile = scratch_.File("agent-languages.ini");
    if (!WriteWholeFile(b.languageFile, "[English]\r\ns0=Demo Product Update\r\nCharset=0\r\n"))
        return "cannot write the languages";
    b.inputDir = input;
    b.output = AgentExe();
    b.infoLocation = location_;
    if (!options_.infoRelayPlan.empty()) {
        if (options_.server != UpdateServer::Http) return "the relay stands in front of nginx over HTTP only";
        b.infoLocation = RelayUrl("/cut/" + options_.infoRelayPlan + "/" + leaf);
    }
    b.infoFileName = options_.infoName;
    b.agentName = options_.agentName;
    b.productToken = options_.token;
    b.updateKey = options_.updateKey;
    b.updateAgent = true;
    b.agentRunLog = true;
    b.threads = 1;
    BuildReport report;
    const std::string error = BuildSetup(b, report);
    return error.empty() ? std::string() : "agent: " + error;
}

std::string InstalledProduct::AgentCopyClass() const {
    const std::string name = options_.agentName;
    const size_t dot = name.find_last_of('.');
    return ".AutoUpdate.X_" + (dot == std::string::npos ? name : name.substr(0, dot));
}

std::string InstalledProduct::SettingsFile() const {
    return folder_ + "\\" + options_.infoName.substr(0, options_.infoName.find('.')) + ".original";
}

std::string InstalledProduct::InstalledVersion() const {
    std::string v = ReadWholeFile(folder_ + "\\version.txt");
    while (!v.empty() && (v.back() == '\r' || v.back() == '\n' || v.back() == ' ')) v.pop_back();
    return v;
}

std::string InstalledProduct::RunLogText() const {
    const std::string base = options_.agentName.substr(0, options_.agentName.find_last_of('.'));
    return ReadWholeFile(folder_ + "\\X_" + base + ".log") + ReadWholeFile(folder_ + "\\X_X_" + base + ".log");
}

void InstalledProduct::SetSetting(const std::string& section, const std::string& key, const std::string& value) const {
    WritePrivateProfileStringA(section.c_str(), key.c_str(), value.empty() ? nullptr : value.c_str(),
                               SettingsFile().c_str());
}

std::string InstalledProduct::Setting(const std::string& section, const std::string& key) const {
    char buf[4096] = {};
    GetPrivateProfileStringA(section.c_str(), key.c_str(), "", buf, sizeof buf, SettingsFile().c_str());
    return buf;
}

std::string InstalledProduct::BuildUpdate(int version, const std::string& name, const std::string& token,
                                          ExecutionLevel level) {
    const std::string input = scratch_.File("update-input-" + std::to_string(version) + "-" + name);
    std::error_code ec;
    std::filesystem::remove_all(input, ec);
    CreateDirectoryA(input.c_str(), nullptr);
    CreateDirectoryA((input + "\\install").c_str(), nullptr);
    if (!CopyFileA(BuildTreePath("tools/engines/recengine.exe").c_str(), (input + "\\Engine.exe").c_str(), FALSE))
        return "no recording engine built";
    if (!WriteWholeFile(input + "\\install\\version.txt", std::to_string(version) + "\r\n"))
        return "cannot write the update's version file";
    BuildOptions b;
    b.stubPath = StubUnderTest();
    b.inputDir = input;
    b.output = serverFolder_ + "\\" + name;
    b.launch = "Engine.exe";
    b.productToken = token.empty() ? options_.token : token;
    b.executionLevel = level;
    b.threads = 1;
    BuildReport report;
    return BuildSetup(b, report);
}

UpdateInfo InstalledProduct::Release(int version) const {
    UpdateInfo info;
    info.downloadUrlUpdate = location_;
    info.versionNew = version;
    info.runningProcess = "<InstallDir>\\DemoProduct.exe";
    info.programName = "Demo Product";
    info.shutDownMethod = "Using WM_CLOSE";
    info.restartProcess = true;
    return info;
}

std::string InstalledProduct::Publish(const UpdateInfo& info, const std::string& name, const std::string& informText,
                                      const Signing& signing) {
    PublishOptions o;
    o.package = serverFolder_ + "\\" + name;
    o.productToken = options_.token;
    o.output = ServerInfoFile();
    o.hasStamp = info.stamp != 0;
    o.inform = !informText.empty();
    o.informText = informText;
    o.info = info;
    o.signKey = signing.key;
    o.expiresDays = signing.expiresDays;
    o.now = signing.now;
    PublishReport report;
    return PublishUpdate(o, report);
}

void InstalledProduct::SetServerInfo(const std::string& section, const std::string& key,
                                     const std::string& value) const {
    WritePrivateProfileStringA(section.c_str(), key.c_str(), value.empty() ? nullptr : value.c_str(),
                               ServerInfoFile().c_str());
}

std::string InstalledProduct::ServerInfo(const std::string& section, const std::string& key) const {
    char buf[4096] = {};
    GetPrivateProfileStringA(section.c_str(), key.c_str(), "", buf, sizeof buf, ServerInfoFile().c_str());
    return buf;
}

DWORD InstalledProduct::StartProduct(const std::string& args) const {
    ProcessStartOptions so;
    so.applicationPath = ProductExe();
    so.showWindow = SW_SHOWNOACTIVATE;
    ScopedHandle p = StartProcess("\"" + ProductExe() + "\"" + (args.empty() ? "" : " " + args), so);
    if (!p.valid()) return 0;
    const DWORD pid = GetProcessId(p.get());
    const DWORD start = GetTickCount();
    while (!FindProcessWindow(pid, kProductClass)) {
        if (GetTickCount() - start > 20000) return 0;
        Pump(50);
    }
    return pid;
}

DWORD InstalledProduct::ProductPid() const { return PidOf(ProductExe()); }
DWORD InstalledProduct::AgentCopyPid() const { return PidOf(AgentCopyExe()); }

long InstalledProduct::RunAgent(const std::string& args, DWORD limitMs) const {
    ProcessStartOptions so;
    so.applicationPath = AgentExe();
    ScopedHandle p = StartProcess("\"" + AgentExe() + "\" " + args, so);
    if (!p.valid()) return -1;
    HANDLE h = p.get();
    const DWORD start = GetTickCount();
    while (MsgWaitForMultipleObjects(1, &h, FALSE, 100, QS_ALLINPUT) != WAIT_OBJECT_0) {
        if (GetTickCount() - start > limitMs) {
            TerminateProcess(h, 99);
            return -1;
        }
        Pump(0);
    }
    DWORD code = 0;
    GetExitCodeProcess(h, &code);
    return static_cast<long>(code);
}

void InstalledProduct::EndAll() const {
    // An agent copy started late by a restarting plain agent of an earlier installation holds the
    // agent class, which every installation of the tests shares: it would keep this one's copy out.
    for (int i = 0; i < 20; ++i) {
        const HWND agent = FindWindowA(".AutoUpdate.X_Updater", nullptr);
        if (!agent) break;
        DWORD pid = 0;
        GetWindowThreadProcessId(agent, &pid);
        HANDLE h = pid ? OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, pid) : nullptr;
        if (!h) break;
        TerminateProcess(h, 97);
        WaitForSingleObject(h, 5000);
        CloseHandle(h);
    }
    for (const std::string& path : {AgentExe(), AgentCopyExe(), ProductExe()}) {
        for (int i = 0; i < 20; ++i) {
            const DWORD pid = PidOf(path);
            if (!pid) break;
            if (HANDLE h = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, pid)) {
                TerminateProcess(h, 98);
                WaitForSingleObject(h, 5000);
                CloseHandle(h);
            }
        }
    }
}

}  // namespace testsupport
}  // namespace vel
