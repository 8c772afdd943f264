#pragma once
// Windows-only test fixture: a product installed with a velpack setup that keeps itself up to
// date. Version 1 of the demo product (tools/demoproduct) lies in a folder of its own beside the
// plain update agent (the stub built as an update agent, with the product's token and the update
// location) and its installation settings file; the update location is a folder served by the
// loopback nginx (HTTP or HTTPS) or a drive folder. Updates are packages built with the recording
// engine, which installs their "install" tree (a new version.txt) into the product folder;
// `velpack publish`'s library call writes the update-info file beside them.
#include <windows.h>

#include <cstdint>
#include <string>

#include "autoupdate/UpdateInfoFormat.h"
#include "package/ImageManifest.h"
#include "support/PackageFixture.h"

namespace vel {
namespace testsupport {

enum class UpdateServer { Http, Https, Folder };

struct ProductOptions {
    UpdateServer server = UpdateServer::Http;
    std::string agentName = "Updater.exe";
    std::string infoName = "Product.info";
    std::string token = "Velnor-Demo-7F3A";
    int64_t probeSecondsInterval = 0;  // 0: one shot per agent run
    int64_t reAskSecondsInterval = 0;  // 0: the same stamp is never offered again by time
    std::string updateKey;             // hex: the agent takes only update-info files signed by it
    // Not empty (HTTP only): the agent fetches the update-info file through the cutting relay,
    // broken as this PLAN of "/cut/PLAN/" says (tests/servers/cut_relay.py).
    std::string infoRelayPlan;
};

// How Publish signs the update-info file: with the private key file `key` (none: unsigned), valid
// for `expiresDays` (0: for ever) from `now` (seconds since 1970; 0: the clock).
struct Signing {
    std::string key;
    int64_t expiresDays = 90;
    int64_t now = 0;
};

class InstalledProduct {
public:
    explicit InstalledProduct(const ProductOptions& options = ProductOptions());
    ~InstalledProduct();  // ends every program still running from the product folder
    InstalledProduct(const InstalledProduct&) = delete;
    InstalledProduct& operator=(const InstalledProduct&) = delete;

    // Empty when the installation was made.
    const std::string& Error() const { return error_; }
    const ProductOptions& Options() const { return options_; }

    // ---- The installation
    const std::string& Folder() const { return folder_; }  // program, agent and both settings files
    std::string ProductExe() const { return folder_ + "\\DemoProduct.exe"; }
    std::string AgentExe() const { return folder_ + "\\" + options_.agentName; }
    std::string AgentCopyExe() const { return folder_ + "\\X_" + options_.agentName; }
    std::string AgentCopyClass() const;  // the agent copy's window class
    std::string SettingsFile() const;    // the installation settings file (".original")
    std::string InfoFile() const { return folder_ + "\\" + options_.infoName; }  // the fetched copy
    std::string ProductLog() const { return folder_ + "\\demoproduct.log"; }
    std::string InstalledVersion() const;  // version.txt, trimmed
    // The agents' run logs, joined.
    std::string RunLogText() const;

    void SetSetting(const std::string& section, const std::string& key, const std::string& value) const;
    std::string Setting(const std::string& section, const std::string& key) const;

    // ---- The update server
    const std::string& ServerFolder() const { return serverFolder_; }  // as this process sees it
    const std::string& Location() const { return location_; }         // as the agent reaches it
    std::string ServerInfoFile() const { return serverFolder_ + "\\" + options_.infoName; }
    // Builds an update package to version `version` into the server folder under `name`, carrying
    // `token` (the product's when empty), its manifest asking for `level` (velpack's default:
    // administrator rights). Error text, empty on success.
    std::string BuildUpdate(int version, const std::string& name = "Update.exe", const std::string& token = "",
                            ExecutionLevel level = ExecutionLevel::RequireAdministrator);
    // A release of `version`: the update location, the product's path, its name, shut down by
    // WM_CLOSE and restarted; no question asked.
    UpdateInfo Release(int version) const;
    // Publishes the update-info file for the package `name` of the server folder (a new stamp
    // unless info.stamp is set); with informText not empty, an announcement instead of an update.
    std::string Publish(const UpdateInfo& info, const std::string& name = "Update.exe",
                        const std::string& informText = "", const Signing& signing = Signing());
    // Changes a key of the published update-info file (an empty value removes it).
    void SetServerInfo(const std::string& section, const std::string& key, const std::string& value) const;
    std::string ServerInfo(const std::string& section, const std::string& key) const;

    // ---- Programs
    // Starts the installed product with arguments and waits for its window; its process id, 0 on
    // failure.
    DWORD StartProduct(const std::string& args = std::string()) const;
    DWORD ProductPid() const;    // 0 when it does not run
    DWORD AgentCopyPid() const;  // 0 when it does not run
    // Runs the plain agent with arguments and waits for its end (it starts or asks the copy).
    long RunAgent(const std::string& args, DWORD limitMs = 30000) const;
    // Ends every program running from the product folder.
    void EndAll() const;

private:
    std::string MakeInstallation();

    ProductOptions options_;
    ScratchFolder scratch_;
    std::string folder_, serverFolder_, location_, error_;
};

}  // namespace testsupport
}  // namespace vel
