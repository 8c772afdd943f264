#include "support/AgentFixture_win.h"

#include "Velpack.h"
#include "autoupdate/Agent_win.h"
#include "autoupdate/SettingsValues.h"
#include "autoupdate/UpdateSettings.h"
#include "stub/StubState.h"
#include "support/TraceCapture_win.h"
#include "support/VelpackFixture.h"
#include "support/WindowDriver_win.h"

namespace vel {
namespace testsupport {

namespace {

// The box's controls once its buttons exist (they are created last).
bool ReadBox(HWND box, SeenBox& seen, std::vector<HWND>& buttons) {
    for (int i = 0; i < 100; ++i) {
        buttons.clear();
        seen.buttons.clear();
        seen.text.clear();
        for (HWND c = GetWindow(box, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
            const std::string cls = ClassOf(c);
            if (lstrcmpiA(cls.c_str(), "Button") == 0) {
                buttons.push_back(c);
                seen.buttons.push_back(TextOf(c));
            } else if (seen.text.empty()) {
                seen.text = TextOf(c);
            }
        }
        if (!buttons.empty()) break;
        Sleep(50);
    }
    Sleep(300);  // let the box finish laying itself out and enter its loop
    seen.caption = TextOf(box);
    const UINT state = GetMenuState(GetSystemMenu(box, FALSE), SC_CLOSE, MF_BYCOMMAND);
    seen.closeGreyed = state != static_cast<UINT>(-1) && (state & MF_GRAYED);
    return !buttons.empty();
}

}  // namespace

BoxDriver::BoxDriver(std::vector<std::string> answers) : answers_(std::move(answers)) {
    thread_ = std::thread([this] { Run(); });
}

BoxDriver::~BoxDriver() {
    {
        std::lock_guard<std::mutex> g(lock_);
        stop_ = true;
    }
    thread_.join();
}

std::vector<SeenBox> BoxDriver::Seen() {
    std::lock_guard<std::mutex> g(lock_);
    return seen_;
}

void BoxDriver::Run() {
    for (;;) {
        {
            std::lock_guard<std::mutex> g(lock_);
            if (stop_) return;
        }
        const HWND box = FindProcessWindow(GetCurrentProcessId(), "VMsgBox");
        if (!box) {
            Sleep(50);
            continue;
        }
        SeenBox seen;
        std::vector<HWND> buttons;
        ReadBox(box, seen, buttons);
        size_t index = 0;
        {
            std::lock_guard<std::mutex> g(lock_);
            index = seen_.size();
        }
        std::vector<std::string> wanted;
        if (index < answers_.size()) wanted.push_back(answers_[index]);
        wanted.insert(wanted.end(), {"&OK", "&No"});
        if (!buttons.empty()) seen.pressed = seen.buttons.front();
        for (const std::string& w : wanted)
            if (HasButton(box, w)) {
                seen.pressed = w;
                break;
            }
        {
            std::lock_guard<std::mutex> g(lock_);
            seen_.push_back(seen);
        }
        if (buttons.empty() || !ClickButton(box, seen.pressed)) PostMessageA(box, WM_CLOSE, 0, 0);
        for (int i = 0; i < 200 && IsWindow(box) && IsWindowVisible(box); ++i) Sleep(50);
    }
}

AgentInstall::AgentInstall(const std::string& productToken, InfoFrom from) {
    const std::string stub = dir_.File("stub-image.bin");
    const std::string lang = dir_.File("lang.ini");
    const std::string input = Subfolder("agent-input");
    BuildOptions o;
    o.stubPath = stub;
    o.languageFile = lang;
    o.inputDir = input;
    o.output = File("Agent.exe");
    o.infoLocation = from == InfoFrom::Web ? std::string("http://127.0.0.1:9/updates") : File("info-folder");
    o.infoFileName = "Product.info";
    o.agentName = "Agent.exe";
    o.productToken = productToken;
    o.updateAgent = true;
    o.threads = 1;
    BuildReport report;
    ready_ = WriteWholeFile(stub, FakeStampedImage(1024)) && WriteWholeFile(lang, "[English]\r\ns0=Agent\r\n") &&
             WriteWholeFile(input + "\\readme.txt", "agent") && BuildSetup(o, report).empty();
    DeleteFileA(stub.c_str());
    DeleteFileA(lang.c_str());
    OpenOwnPackage(File("Agent.exe"));
    UseSettingsFiles(Original(), Info());
    ResetTransientOverrides();
    AgentCycle() = UpdateCycleState();
}

AgentInstall::~AgentInstall() {
    OpenOwnPackage(std::string());
    UseSettingsFiles(std::string(), std::string());
    ResetTransientOverrides();
    AgentCycle() = UpdateCycleState();
}

std::string AgentInstall::Folder() const { return dir_.Path() + "\\"; }
bool AgentInstall::WriteOriginal(const std::string& text) const { return WriteWholeFile(Original(), text); }
bool AgentInstall::WriteInfo(const std::string& text) const { return WriteWholeFile(Info(), text); }

std::string AgentInstall::Subfolder(const std::string& name) const {
    const std::string path = dir_.File(name);
    CreateDirectoryA(path.c_str(), nullptr);
    return path;
}

std::string BuildUpdatePackage(const std::string& path, const std::string& productToken, ExecutionLevel level,
                               const std::string& stubFile) {
    const ScratchFolder work;
    return BuildSmallPackage(work, path, productToken, std::string(), 0, BuildTreePath("tools/engines/recengine.exe"),
                             level, stubFile);
}

std::string InformText(const std::string& productToken, const std::string& announcement, bool scrambleWhole) {
    std::string text;
    const std::string error = MakeInformText(productToken, "f2", "f3", announcement, scrambleWhole, text);
    return error.empty() ? text : std::string();
}

std::string AnnounceSize(const std::string& info, int kind, const std::string& file) {
    WIN32_FILE_ATTRIBUTE_DATA d;
    const uint64_t size =
        GetFileAttributesExA(file.c_str(), GetFileExInfoStandard, &d) ? (uint64_t(d.nFileSizeHigh) << 32) | d.nFileSizeLow : 0;
    std::string text = info;
    const std::string section = kind == kFetchUpdate ? "[NewSetup]\r\n" : "[AutoInform]\r\n";
    const std::string key = std::string(kind == kFetchUpdate ? "SizeOfUpdateFile=" : "SizeOfInformFile=") +
                            std::to_string(size) + "\r\n";
    if (kind != kFetchUpdate && kind != kFetchInform) return text;
    const size_t at = text.find(section);
    if (at != std::string::npos)
        text.insert(at + section.size(), key);
    else if (kind == kFetchInform)
        text += section + key;
    return text;
}

ScopedEnv::ScopedEnv(const std::string& name, const std::string& value) : name_(name) {
    SetEnvironmentVariableA(name.c_str(), value.c_str());
}
ScopedEnv::~ScopedEnv() { SetEnvironmentVariableA(name_.c_str(), nullptr); }

}  // namespace testsupport
}  // namespace vel
