// Project files, command-line overrides and language files of velpack.
#include <filesystem>
#include <new>

#include "Keys.h"
#include "Velpack.h"
#include "autoupdate/InfoSignature.h"
#include "util/FileIO.h"
#include "util/StrUtils.h"

namespace vel {

namespace fs = std::filesystem;

const std::vector<ProjectKey>& ProjectKeys() {
    static const std::vector<ProjectKey> keys = {
        {"--stub", "Setup", "Stub", "stub image to put in front of the package", true, false},
        {"--languages", "Setup", "Languages", "language file (INI, one section per language)", true, false},
        {"--input", "Setup", "Input", "folder whose files go into the package", true, false},
        {"--output", "Setup", "Output", "setup file to write", true, false},
        {"--launch", "Setup", "Launch", "relative name of the program the stub starts", false, false},
        {"--launch-params", "Setup", "LaunchParams", "extra command-line parameters of that program", false, false},
        {"--part-size", "Setup", "PartSize", "largest file size; the package continues in .002, .003, ... "
                                             "(bytes, or with K, M, G)", false, false},
        {"--level", "Setup", "Level", "zlib compression level 0..9 (default 6)", false, false},
        {"--execution-level", "Setup", "ExecutionLevel", "rights Windows asks for before the setup runs: admin "
                                                         "(default) or user; an update agent is always user",
         false, false},
        {"--threads", "Setup", "Threads", "compression threads (default: one per processor)", false, false},
        {"--info-location", "Settings", "InfoLocation", "URL or folder of the update-info file", false, false},
        {"--info-file", "Settings", "InfoFileName", "name of the update-info file", false, false},
        {"--agent-name", "Settings", "AgentName", "file name of the update agent", false, false},
        {"--product-token", "Settings", "ProductToken", "product token (clear text; stored scrambled)", false, false},
        {"--quiet-mode", "Settings", "QuietMode", "the stub runs as with /hide", false, true},
        {"--update-key", "Settings", "UpdateKey", "public key whose signature the agent requires on update-info "
                                                  "files: a .pub file of \"velpack keygen\" or 64 hex digits",
         false, false},
        {"--announce-extraction", "Flags", "AnnounceExtraction", "show the temp-space prompt even with room", false, true},
        {"--span-copy", "Flags", "SpanCopy", "stub and texts only in the setup file, package in .001, .002, ...",
         false, true},
        {"--activity-bar", "Flags", "ActivityBar", "show the activity bar during extraction", false, true},
        {"--agent-run-log", "Flags", "AgentRunLog", "the update agent writes its run log", false, true},
        {"--write-agent-image", "Flags", "WriteAgentImage", "extraction also writes the update agent", false, true},
        {"--update-agent", "Flags", "UpdateAgent", "mark the file as an update agent", false, true},
        {"--web-location", "Web", "Location", "URL of the folder that holds the setup file", false, false},
        {"--web-setup-name", "Web", "SetupFileName", "name of the setup file there (default: its own name)", false,
         false},
        {"--download-only", "Web", "DownloadOnly", "never use a copy of the setup file beside the web stub", false,
         true},
        {"--ask-before-download", "Web", "AskBeforeDownload", "ask the user before downloading", false, true},
        {"--download-token", "Web", "DownloadToken", "download token (clear text; default: random)", false, false},
        {"--web-output", "Web", "Output", "web stub to write", true, false},
        {"--package", "Update", "Package", "the update package (a setup file made by \"velpack build\")", true, false},
        {"--product-token", "Update", "ProductToken", "product token the package must carry (clear text)", false,
         false},
        {"--version", "Update", "VersionNew", "version number of the update", false, false},
        {"--stamp", "Update", "Stamp", "publication stamp (default: a new one at every publish)", false, false},
        {"--valid-versions", "Update", "ValidVersions", "installed versions it applies to, comma-separated "
                                                        "(default: all)", false, false},
        {"--location", "Update", "DownloadURL_UPDATE", "URL or drive/UNC folder of the update file", false, false},
        {"--program-name", "Update", "ProgramName", "product name shown in the agent's questions", false, false},
        {"--running-process", "Update", "RunningProcess", "path of the product's program, with macros such as "
                                                          "<InstallDir>", false, false},
        {"--shutdown-method", "Update", "ShutDownMethod", "how the agent shuts the product down", false, false},
        {"--confirm-download", "Update", "RequestConfirmationBeforeDownload", "ask before downloading", false, true},
        {"--confirm-download-force", "Update", "RequestConfirmationBeforeDownloadForce",
         "show the download text as a notice", false, true},
        {"--confirm-install", "Update", "RequestConfirmationBeforeInstall", "ask before installing", false, true},
        {"--confirm-install-force", "Update", "RequestConfirmationBeforeInstallForce",
         "show the install text as a notice", false, true},
        {"--background-update", "Update", "BackgroundUpdate", "run the update without its user interface", false,
         true},
        {"--restart-process", "Update", "RestartProcess", "start the product again after the update", false, true},
        {"--inform-finish", "Update", "InformFinish", "show the finish message", false, true},
        {"--remove-startup-shortcut", "Update", "RemoveStartUpShortcut", "delete the start-up shortcut after the "
                                                                        "update", false, true},
        {"--remove-check-shortcut", "Update", "RemoveCheckForNewUpdateShortcut",
         "delete the check-for-updates shortcut after the update", false, true},
        {"--inform", "Update", "InformText", "announce instead of updating: the announcement text", false, false},
        {"--inform-file", "Update", "InformFile", "name of the inform file (default: the package's name + "
                                                  "\".inform\")", false, false},
        {"--inform-url", "Update", "DownloadURL_INFORM", "address the announcement's button opens", false, false},
        {"--inform-width", "Update", "AutoInformW", "width of the announcement window (default 360)", false, false},
        {"--inform-height", "Update", "AutoInformH", "height of the announcement window (default 360)", false,
         false},
        {"--output", "Update", "Output", "the update-info file to write (.info)", true, false},
        {"--sign-key", "Update", "SignKey", "private key (.key file of \"velpack keygen\") that signs the "
                                            "update-info file", true, false},
        {"--expires", "Update", "ExpiresDays", "days the signature holds (default 90; 0: for ever)", false, false},
    };
    return keys;
}

namespace {

// Every section and key of the project file must be one of ProjectKeys.
std::string CheckProjectKeys(const IniFile& ini, const std::string& path) {
    for (const IniFile::Section& s : ini.Sections()) {
        bool knownSection = false;
        for (const ProjectKey& k : ProjectKeys())
            if (UpperCase(s.name) == UpperCase(k.section)) knownSection = true;
        if (!knownSection) {
            return s.name.empty() ? "project file " + path + ": keys before the first section"
                                  : "project file " + path + ": unknown section [" + s.name + "]";
        }
        for (const auto& e : s.entries) {
            bool known = false;
            for (const ProjectKey& k : ProjectKeys())
                if (UpperCase(s.name) == UpperCase(k.section) && UpperCase(e.first) == UpperCase(k.key)) known = true;
            if (!known) return "project file " + path + ": unknown key \"" + e.first + "\" in [" + s.name + "]";
        }
    }
    return std::string();
}

}  // namespace

std::string LoadProject(const std::string& path, ProjectValues& values) {
    std::string error;
    if (!values.ini.Load(path, error)) return "project file: " + error;
    try {
        values.projectFolder = fs::path(path).parent_path().string();
    } catch (const std::exception&) {
        values.projectFolder.clear();
    }
    try {
        return CheckProjectKeys(values.ini, path);
    } catch (const std::exception&) {
        return "out of memory reading the project file";
    }
}

namespace {

// The effective value of a key and whether it came from the project file (for relative paths).
bool Lookup(const ProjectValues& v, const ProjectKey& key, std::string& value, bool& fromProject) {
    for (auto it = v.overrides.rbegin(); it != v.overrides.rend(); ++it) {
        if (it->first == &key) {
            value = it->second;
            fromProject = false;
            return true;
        }
    }
    if (v.ini.HasKey(key.section, key.key)) {
        value = v.ini.Get(key.section, key.key);
        fromProject = true;
        return true;
    }
    return false;
}

bool ParseBool(const std::string& text, bool& out) {
    const std::string t = UpperCase(Trim(text));
    if (t.empty() || t == "0" || t == "FALSE" || t == "NO" || t == "OFF") {
        out = false;
        return true;
    }
    if (t == "1" || t == "TRUE" || t == "YES" || t == "ON") {
        out = true;
        return true;
    }
    return false;
}

// A byte count: digits with an optional K, M or G (binary multiples).
bool ParseSize(const std::string& text, uint64_t& out) {
    std::string t = UpperCase(Trim(text));
    if (t.empty()) {
        out = 0;
        return true;
    }
    uint64_t mult = 1;
    const char last = t.back();
    if (last == 'K' || last == 'M' || last == 'G') {
        mult = last == 'K' ? 1024u : last == 'M' ? 1024u * 1024u : 1024u * 1024u * 1024u;
        t.pop_back();
    }
    if (t.empty() || t.size() > 12 || t.find_first_not_of("0123456789") != std::string::npos) return false;
    out = std::stoull(t) * mult;
    return true;
}

bool ParseExecutionLevel(const std::string& text, ExecutionLevel& level) {
    const std::string t = Trim(text);
    if (t == "admin") level = ExecutionLevel::RequireAdministrator;
    else if (t == "user") level = ExecutionLevel::AsInvoker;
    else return false;
    return true;
}

}  // namespace

std::string ReadUpdateKey(const std::string& value, const std::string& folder, std::string& hex) {
    hex.clear();
    if (value.empty()) return std::string();
    Ed25519Public key;
    if (!ParsePublicKeyText(value, key)) {
        std::string path = value;
        if (!folder.empty() && !fs::path(value).is_absolute()) path = (fs::path(folder) / value).string();
        BinaryFile f;
        if (!f.OpenRead(path)) return "cannot read the public key file \"" + path + "\"";
        if (!ParsePublicKeyText(ReadFileBytes(path, 0, 4096), key))
            return "\"" + path + "\" is not a public key file (64 hex digits, as \"velpack keygen\" writes)";
    }
    hex = UpdateKeyHex(key);
    return std::string();
}

namespace {

bool ParseSmallInt(const std::string& text, int low, int high, int& out) {
    const int64_t v = StrToInt64Def(text, INT64_MIN);
    if (v < low || v > high) return false;
    out = static_cast<int>(v);
    return true;
}

}  // namespace

std::string ResolveProject(const ProjectValues& values, BuildOptions& o, WebOptions& w) {
    try {
        for (const ProjectKey& k : ProjectKeys()) {
            std::string value;
            bool fromProject = false;
            if (!Lookup(values, k, value, fromProject)) continue;
            const std::string where = std::string(k.option) + " ([" + k.section + "] " + k.key + ")";
            if (k.isPath && !value.empty() && fromProject && !values.projectFolder.empty() &&
                !fs::path(value).is_absolute())
                value = (fs::path(values.projectFolder) / value).string();
            if (k.isFlag) {
                bool b = false;
                if (!ParseBool(value, b)) return where + ": \"" + value + "\" is not 0 or 1";
                const std::string name = k.key;
                if (name == "QuietMode") o.quietMode = b;
                else if (name == "AnnounceExtraction") o.announceExtraction = b;
                else if (name == "SpanCopy") o.spanCopy = b;
                else if (name == "ActivityBar") o.activityBar = b;
                else if (name == "AgentRunLog") o.agentRunLog = b;
                else if (name == "WriteAgentImage") o.writeAgentImage = b;
                else if (name == "UpdateAgent") o.updateAgent = b;
                else if (name == "DownloadOnly") w.downloadOnly = b;
                else if (name == "AskBeforeDownload") w.askBeforeDownload = b;
                continue;
            }
            const std::string id = std::string(k.section) + "." + k.key;
            if (id == "Setup.Stub") o.stubPath = value;
            else if (id == "Setup.Languages") o.languageFile = value;
            else if (id == "Setup.Input") o.inputDir = value;
            else if (id == "Setup.Output") o.output = value;
            else if (id == "Setup.Launch") o.launch = value;
            else if (id == "Setup.LaunchParams") o.launchParams = value;
            else if (id == "Setup.PartSize") {
                if (!ParseSize(value, o.partSize)) return where + ": \"" + value + "\" is not a size";
            } else if (id == "Setup.Level") {
                if (!ParseSmallInt(value, 0, 9, o.level)) return where + ": \"" + value + "\" is not 0..9";
            } else if (id == "Setup.ExecutionLevel") {
                if (!ParseExecutionLevel(value, o.executionLevel))
                    return where + ": \"" + value + "\" is not admin or user";
            } else if (id == "Setup.Threads") {
                if (!ParseSmallInt(value, 0, 256, o.threads)) return where + ": \"" + value + "\" is not 0..256";
            } else if (id == "Settings.InfoLocation") o.infoLocation = value;
            else if (id == "Settings.InfoFileName") o.infoFileName = value;
            else if (id == "Settings.AgentName") o.agentName = value;
            else if (id == "Settings.ProductToken") o.productToken = value;
            else if (id == "Settings.UpdateKey") {
                const std::string error =
                    ReadUpdateKey(value, fromProject ? values.projectFolder : std::string(), o.updateKey);
                if (!error.empty()) return where + ": " + error;
            }
            else if (id == "Web.Location") w.location = value;
            else if (id == "Web.SetupFileName") w.setupFileName = value;
            else if (id == "Web.DownloadToken") w.downloadToken = value;
            else if (id == "Web.Output") w.output = value;
        }
        return std::string();
    } catch (const std::exception&) {
        return "out of memory reading the project";
    }
}

std::string ResolvePublish(const ProjectValues& values, PublishOptions& o) {
    try {
        for (const ProjectKey& k : ProjectKeys()) {
            if (std::string(k.section) != "Update") continue;
            std::string value;
            bool fromProject = false;
            if (!Lookup(values, k, value, fromProject)) continue;
            const std::string where = std::string(k.option) + " ([Update] " + k.key + ")";
            if (k.isPath && !value.empty() && fromProject && !values.projectFolder.empty() &&
                !fs::path(value).is_absolute())
                value = (fs::path(values.projectFolder) / value).string();
            const std::string key = k.key;
            if (k.isFlag) {
                bool b = false;
                if (!ParseBool(value, b)) return where + ": \"" + value + "\" is not 0 or 1";
                UpdateInfo& i = o.info;
                bool* const target = key == "RequestConfirmationBeforeDownload"        ? &i.confirmDownload
                                     : key == "RequestConfirmationBeforeDownloadForce" ? &i.confirmDownloadForce
                                     : key == "RequestConfirmationBeforeInstall"       ? &i.confirmInstall
                                     : key == "RequestConfirmationBeforeInstallForce"  ? &i.confirmInstallForce
                                     : key == "BackgroundUpdate"                       ? &i.backgroundUpdate
                                     : key == "RestartProcess"                         ? &i.restartProcess
                                     : key == "InformFinish"                           ? &i.informFinish
                                     : key == "RemoveStartUpShortcut"                  ? &i.removeStartUpShortcut
                                                                                       : &i.removeCheckForNewUpdateShortcut;
                *target = b;
                continue;
            }
            if (!IsIniValue(value)) return where + ": a value cannot hold a line break";
            auto number = [&](int64_t low, int64_t high, int64_t& out) {
                const int64_t v = DecimalToInt64(value, INT64_MIN);
                if (v < low || v > high) return false;
                out = v;
                return true;
            };
            if (key == "Package") o.package = value;
            else if (key == "ProductToken") o.productToken = value;
            else if (key == "Output") o.output = value;
            else if (key == "InformText") {
                o.informText = value;
                o.inform = true;
            } else if (key == "InformFile") o.informFile = value;
            else if (key == "ValidVersions") o.info.validVersions = value;
            else if (key == "DownloadURL_UPDATE") o.info.downloadUrlUpdate = value;
            else if (key == "ProgramName") o.info.programName = value;
            else if (key == "RunningProcess") o.info.runningProcess = value;
            else if (key == "ShutDownMethod") o.info.shutDownMethod = value;
            else if (key == "DownloadURL_INFORM") o.info.downloadUrlInform = value;
            else if (key == "SignKey") o.signKey = value;
            else if (key == "ExpiresDays") {
                // Up to about 270 years: the expiry stays a plain decimal in the signature line.
                if (!number(0, 100000, o.expiresDays)) return where + ": \"" + value + "\" is not 0..100000 days";
            }
            else if (key == "VersionNew") {
                // Compared by the agent as a signed 32-bit number above the installed one.
                if (!number(1, INT32_MAX, o.info.versionNew)) return where + ": \"" + value + "\" is not 1..2147483647";
            } else if (key == "Stamp") {
                if (!number(INT32_MIN, INT32_MAX, o.info.stamp)) return where + ": \"" + value + "\" is not a 32-bit number";
                o.hasStamp = true;
            } else if (key == "AutoInformW") {
                if (!number(1, 10000, o.info.autoInformW)) return where + ": \"" + value + "\" is not 1..10000";
            } else if (key == "AutoInformH") {
                if (!number(1, 10000, o.info.autoInformH)) return where + ": \"" + value + "\" is not 1..10000";
            }
        }
        return std::string();
    } catch (const std::exception&) {
        return "out of memory reading the project";
    }
}

std::string MakeLanguageBlock(const IniFile& languages, std::string& block) {
    block.clear();
    const char kBlockSep = '\x02';    // between language sections
    const char kSectionSep = '\x01';  // between the items of one section
    auto carries = [&](const std::string& text) {
        return text.find(kBlockSep) == std::string::npos && text.find(kSectionSep) == std::string::npos;
    };
    try {
        std::string out(1, kBlockSep);
        int count = 0;
        for (const IniFile::Section& s : languages.Sections()) {
            if (s.name.empty()) {
                if (s.entries.empty()) continue;
                return "language file: keys before the first section";
            }
            if (!carries(s.name)) return "language file: section name [" + s.name + "] holds a control character";
            std::string section(1, kSectionSep);
            section += s.name;
            section += kSectionSep;
            for (const auto& e : s.entries) {
                if (!carries(e.first) || !carries(e.second))
                    return "language file: [" + s.name + "] " + e.first + " holds a control character";
                section += e.first + "=" + e.second;
                section += kSectionSep;
            }
            out += section;
            out += kBlockSep;
            ++count;
        }
        if (count == 0) return "language file has no sections (one [Language] section per language is needed)";
        block = out;
        return std::string();
    } catch (const std::bad_alloc&) {
        return "out of memory";
    }
}

std::string LoadLanguageBlock(const std::string& path, std::string& block) {
    IniFile ini;
    std::string error;
    if (!ini.Load(path, error)) return "language file: " + error;
    return MakeLanguageBlock(ini, block);
}

}  // namespace vel
