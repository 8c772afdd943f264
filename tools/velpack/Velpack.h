#pragma once
// velpack: builds setup files (stub image + package) from a folder of files, web stubs with their
// setup files, and inspects and extracts packages. The command-line tool is a thin shell over
// these calls, so tests and other programs can build packages in-process.
// Portable: no Windows API. Nothing throws; every operation returns an error text that is empty
// on success, and a failed build leaves no output file behind.
#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "autoupdate/UpdateInfoFormat.h"
#include "package/ImageManifest.h"
#include "util/IniFile.h"

namespace vel {

struct BuildOptions {
    std::string stubPath;      // stub image: "MZ" at 0 and its PE header at offset 256
    std::string languageFile;  // INI file, one section per language
    std::string inputDir;      // every file below it goes into the package, under its relative name
    std::string output;        // the setup file
    std::string launch;        // relative name of the launch entry (the setup engine); may be empty
    std::string launchParams;  // extra command-line parameters of the launch entry
    uint64_t partSize = 0;     // > 0: no file of the package is larger (part files .002, .003, ...)

    // Settings list (the update agent's settings).
    std::string infoLocation;
    std::string infoFileName;
    std::string agentName;
    std::string productToken;  // clear text; written scrambled
    bool quietMode = false;
    std::string updateKey;     // 64 hex digits: the public key that signs update-info files; "" for none

    // Trailer flags.
    bool announceExtraction = false;
    bool spanCopy = false;  // stub and texts only in the setup file; the package in .001, .002, ...
    bool activityBar = false;
    bool agentRunLog = false;
    bool writeAgentImage = false;
    bool updateAgent = false;

    // The level the stub's manifest requests ("admin" or "user"); an update agent always gets
    // the invoker's rights.
    ExecutionLevel executionLevel = ExecutionLevel::RequireAdministrator;

    int level = 6;    // zlib level 0..9
    int threads = 0;  // compression threads; 0 = one per processor
};

// The web stub and the web-download list that both files carry.
struct WebOptions {
    std::string location;       // URL of the folder that holds the setup file
    std::string setupFileName;  // name under which it is fetched; empty = the setup file's own name
    bool downloadOnly = false;
    bool askBeforeDownload = false;
    std::string downloadToken;  // clear text; empty = a fresh random token
    std::string output;         // the web stub
};

struct BuildReport {
    std::vector<std::string> files;  // every file written: setup file, part files, web stub
    uint32_t records = 0;            // file records
    uint32_t inputFiles = 0;
    uint64_t inputBytes = 0;
    uint64_t storedBytes = 0;        // record bytes written (length fields included)
    std::string downloadToken;       // web builds: the clear token both files carry
    std::vector<std::string> warnings;
};

// Progress of a build: bytes of input files done out of the total.
using ProgressFn = std::function<void(uint64_t done, uint64_t total)>;

std::string BuildSetup(const BuildOptions& options, BuildReport& report, const ProgressFn& progress = nullptr);
std::string BuildWebSetup(const BuildOptions& options, const WebOptions& web, BuildReport& report,
                          const ProgressFn& progress = nullptr);

// ---- Project files --------------------------------------------------------------------------------
// A project file is an INI file with the sections [Setup], [Settings], [Flags] and [Web]; every key
// has a command-line option of its own (ProjectKeys). Relative paths are taken from the project
// file's folder; paths given on the command line from the working directory.

struct ProjectKey {
    const char* option;   // "--part-size"
    const char* section;  // "Setup"
    const char* key;      // "PartSize"
    const char* help;
    bool isPath;
    bool isFlag;          // boolean: the option alone means 1
};
const std::vector<ProjectKey>& ProjectKeys();

// Values by section and key, project file first, command-line overrides on top.
struct ProjectValues {
    IniFile ini;                // the project file as read (may be empty)
    std::string projectFolder;  // folder of the project file ("" for none)
    std::vector<std::pair<const ProjectKey*, std::string>> overrides;  // command-line values
};
// Reads the project file; an unknown section or key is an error (it is most likely a typo).
std::string LoadProject(const std::string& path, ProjectValues& values);
// A public key given as 64 hex digits or as a .pub file of "velpack keygen" (a relative path is
// taken from folder when that is not empty) into hex; empty value: no key. Empty, or the error.
std::string ReadUpdateKey(const std::string& value, const std::string& folder, std::string& hex);
// Turns the values into options; checks numbers and booleans.
std::string ResolveProject(const ProjectValues& values, BuildOptions& options, WebOptions& web);

// The language block from a language file: one section per language, each key and value in file
// order. Error when the file has no sections or a text holds a character the block cannot carry.
std::string MakeLanguageBlock(const IniFile& languages, std::string& block);
std::string LoadLanguageBlock(const std::string& path, std::string& block);

// ---- Inspecting and extracting --------------------------------------------------------------------

struct RecordInfo {
    int part = 1;
    std::string name;
    bool launch = false;
    std::string params;
    uint32_t dosDate = 0;
    int64_t storedSize = 0;    // bytes in the package, length field excluded
    bool compressed = false;
    int64_t originalSize = 0;  // file data after decoding
};

struct PartInfo {
    std::string path;
    int64_t size = 0;
    uint32_t checksumField = 0;
    uint32_t checksumComputed = 0;
    bool checksumPasses = false;
    bool morePartsFollow = false;
    bool hasMagic = false;
};

struct PackageDescription {
    std::string path;
    // Trailer of the first file.
    uint8_t textBlockCount = 0;
    uint32_t dataOffset = 0;  // of the first text block
    uint32_t fileCount = 0;
    uint32_t magic = 0;
    uint32_t trailerLength = 0;
    uint64_t endStamp = 0;
    uint8_t flags = 0;
    bool webSetup = false, askBeforeDownload = false, writeAgentImage = false, updateAgent = false;
    bool hasExecutionLevel = false;  // the image's manifest level could be read
    ExecutionLevel executionLevel = ExecutionLevel::AsInvoker;
    uint32_t space[9] = {};
    // Languages: name and key=value pairs.
    std::vector<std::pair<std::string, std::vector<std::pair<std::string, std::string>>>> languages;
    std::vector<std::string> settings;  // the five items as stored
    std::string productToken;           // item 3 unscrambled
    bool productTokenOk = false;        // item 3 unscrambles
    std::string updateKey;              // item 5: the key that signs update-info files (hex), "" for none
    bool hasWebList = false;
    std::vector<std::string> webList;   // the five items as stored
    std::string downloadToken;          // item 3 unscrambled
    bool downloadTokenOk = false;
    std::vector<PartInfo> parts;
    std::vector<RecordInfo> records;
    std::string runSpec;                // launch entry with "*" and parameters
    bool checksumsPass = false;         // every part passes
    std::string damage;                 // why the walk stopped early, empty when whole
};

// Reads a package and every part that continues it. Error text only when the file has no package.
std::string DescribePackage(const std::string& path, PackageDescription& out);
std::string DescriptionText(const PackageDescription& d);
std::string DescriptionJson(const PackageDescription& d);
// "<hex> (keyid <16 hex>)", "(none)", or the item with "(unreadable)".
std::string UpdateKeyText(const std::string& keyItem);
// "admin (requireAdministrator)", "user (asInvoker)", "highestAvailable"; "unreadable" without one.
std::string ExecutionLevelText(const PackageDescription& d);
// Names of the set flags of trailer byte 65, e.g. "AnnounceExtraction SpanCopy".
std::string FlagNames(uint8_t flags);

struct ExtractReport {
    std::vector<std::string> files;  // relative names written, in order of first appearance
    std::string runSpec;
    uint32_t records = 0;
    int parts = 0;
};
// Extracts natively into dir (created when missing) with the stub's rules: each part's checksum
// is checked, records of the same name are appended, the launch entry's "*" is cut from its name,
// dates are set. Names that would leave dir are refused. A missing part file is an error.
std::string ExtractNative(const std::string& package, const std::string& dir, ExtractReport& report);

// ---- Tokens and inform files ----------------------------------------------------------------------

// Inform file text: "|" + scrambled token + "|" + field2 + "|" + field3 + "|" + announcement; the
// whole text scrambled (marked "Scrambled=01") when asked. Error when a field holds "|".
std::string MakeInformText(const std::string& clearToken, const std::string& field2, const std::string& field3,
                           const std::string& announcement, bool scrambleWhole, std::string& text);

// ---- Publishing an update --------------------------------------------------------------------------

struct PublishOptions {
    std::string package;       // the update package; its name and size go into the update-info file
    std::string productToken;  // clear text; the package must carry it
    std::string output;        // the update-info file
    bool hasStamp = false;     // otherwise a new stamp is made
    bool inform = false;       // announce instead of updating (writes the inform file)
    std::string informText;
    std::string informFile;    // name of the inform file, beside the output; default: package name + ".inform"
    UpdateInfo info;           // the release's values
    std::string signKey;       // private key file (PEM PKCS#8); empty: the file is not signed
    int64_t expiresDays = 90;  // the signature holds this many days from now; 0: for ever
    int64_t now = 0;           // seconds since 1970 (UTC) that the expiry counts from; 0: the clock
};
// The [Update] section of a project file and its options.
std::string ResolvePublish(const ProjectValues& values, PublishOptions& options);

struct PublishReport {
    std::vector<std::string> files;  // written: the update-info file, the inform file
    UpdateInfo info;                 // as written
};
// Checks the package (a whole package whose product token is the given one), fills in the update
// file's name, size and SHA-256, makes the stamp when none is given (greater than the one of an
// update-info file already at the output), writes the inform file when asked, then the
// update-info file.
std::string PublishUpdate(const PublishOptions& options, PublishReport& report);

// The installed state for which `velpack info` predicts the agent's decision.
struct InstalledState {
    int64_t version = 0;
    int64_t stamp = 0;
};
// The values of an update-info or installation settings file as the agent reads them, and for an
// update-info file with an installed state the agent's decision (reason code and text) for a
// timed check. The size check looks at the update location when it is a folder that exists here,
// otherwise at the file of that name beside the update-info file. False when the file is neither.
bool DescribeSettingsFile(const std::string& path, const InstalledState* installed, std::string& text,
                          int& reasonCode);

// The signature line of an update-info file ("signature: unsigned", or the keyid and the expiry)
// and, with a key (hex), whether the signature holds for it at `now` (seconds since 1970, UTC):
// holds is true only then.
std::string DescribeInfoSignature(const std::string& path, const std::string* keyHex, int64_t now, bool& holds);

// The command-line tool (args without the program name); the texts for stdout and stderr are
// appended to out and err. interactive: stderr is a terminal, so a progress bar is drawn on it.
// Returns the process exit code: 0 success, 1 failure, 2 bad usage.
int RunVelpack(const std::vector<std::string>& args, std::string& out, std::string& err, bool interactive);

}  // namespace vel
