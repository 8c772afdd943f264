#pragma once
// Windows-only test helpers for the agent's pieces run in the test process: an installed agent in
// a scratch folder (its own package with a product token, the two settings files beside it), the
// packages and inform files it fetches, and a driver thread that answers the program's message
// boxes ("VMsgBox") the way a user would, recording what each one showed.
#include <windows.h>

#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "package/ImageManifest.h"
#include "support/PackageFixture.h"

namespace vel {
namespace testsupport {

struct SeenBox {
    std::string caption;
    std::string text;
    std::vector<std::string> buttons;  // captions, in creation order
    bool closeGreyed = false;
    std::string pressed;               // the button the driver pressed
};

// Answers the boxes of this process as they appear: the n-th box gets answers[n] when that
// button exists; any other box "&OK", else "&No", else its first button.
class BoxDriver {
public:
    explicit BoxDriver(std::vector<std::string> answers = {});
    ~BoxDriver();
    BoxDriver(const BoxDriver&) = delete;
    BoxDriver& operator=(const BoxDriver&) = delete;
    std::vector<SeenBox> Seen();  // what was shown so far

private:
    void Run();
    std::vector<std::string> answers_;
    std::vector<SeenBox> seen_;
    std::mutex lock_;
    bool stop_ = false;
    std::thread thread_;
};

// An agent installed in a scratch folder: "Agent.exe" (a package with the product token, taken as
// the run's own), "Product.original" and "Product.info" beside it, the transient overrides and
// the cycle state reset. Everything is undone at the end.
// Where the agent's own package fetches its update-info file: a web address (the agent then
// takes only web update locations from it) or a folder beside the installation.
enum class InfoFrom { Web, Folder };

class AgentInstall {
public:
    explicit AgentInstall(const std::string& productToken = "P7", InfoFrom from = InfoFrom::Web);
    ~AgentInstall();
    AgentInstall(const AgentInstall&) = delete;
    AgentInstall& operator=(const AgentInstall&) = delete;

    bool Ready() const { return ready_; }
    std::string Folder() const;  // with a trailing backslash
    std::string File(const std::string& name) const { return dir_.File(name); }
    std::string Original() const { return File("Product.original"); }
    std::string Info() const { return File("Product.info"); }
    bool WriteOriginal(const std::string& text) const;
    bool WriteInfo(const std::string& text) const;
    // A subfolder, created.
    std::string Subfolder(const std::string& name) const;
    std::vector<std::string> Names() const { return dir_.Names(); }  // entries of the folder, sorted

private:
    ScratchFolder dir_;
    bool ready_ = false;
};

// An update package at path carrying productToken, whose setup engine is the recording engine
// (tools/engines); empty on success, else why it could not be built. By default a fake stub image
// that asks for the user's rights (the agent runs it in-process); stubFile names a real stub.
std::string BuildUpdatePackage(const std::string& path, const std::string& productToken,
                               ExecutionLevel level = ExecutionLevel::AsInvoker,
                               const std::string& stubFile = std::string());
// An inform file's text for a product token, with the announcement.
std::string InformText(const std::string& productToken, const std::string& announcement, bool scrambleWhole = false);
// The update-info text with the size of file announced: "SizeOfUpdateFile" first in [NewSetup]
// (update), "SizeOfInformFile" in [AutoInform] (inform); the agent fetches no more than announced.
// Other kinds, and a text without [NewSetup], are returned as they are.
std::string AnnounceSize(const std::string& info, int kind, const std::string& file);

// Sets an environment variable of the test process (inherited by what it starts) while it lives.
class ScopedEnv {
public:
    ScopedEnv(const std::string& name, const std::string& value);
    ~ScopedEnv();
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    std::string name_;
};

}  // namespace testsupport
}  // namespace vel
