// The velpack command line: commands, options and help texts over the calls of Velpack.h.
#include <cstdio>
#include <fstream>
#include <iterator>

#include "Keys.h"
#include "Progress.h"
#include "Velpack.h"
#include "package/PackageFormat.h"
#include "util/Clock.h"
#include "util/FileIO.h"
#include "util/StrUtils.h"

namespace vel {

namespace {

const char kGeneralHelp[] =
    "velpack - builds and inspects setup packages\n"
    "\n"
    "Usage: velpack COMMAND [ARGUMENTS]\n"
    "\n"
    "Commands:\n"
    "  build    write a setup file (stub image + package) from a folder of files\n"
    "  web      write a web stub and the setup file it downloads\n"
    "  info     show what a package holds\n"
    "  extract  extract a package into a folder\n"
    "  token    scramble or unscramble a token or a text\n"
    "  inform   write an inform file that announces a new version\n"
    "  publish  write the update-info file of an update package\n"
    "  keygen   make an Ed25519 key pair for signing update-info files\n"
    "\n"
    "\"velpack COMMAND --help\" describes a command.\n";

const char kBuildHelp[] =
    "Usage: velpack build [PROJECT.ini] [OPTIONS]\n"
    "\n"
    "Writes a setup file: the stub image, the language texts and settings, every file of the input\n"
    "folder (subfolders keep their relative names; files above 4 MiB go in several records) and the\n"
    "trailer. With a part size the package continues in part files NAME.002, NAME.003, ...; with span\n"
    "copy the setup file holds only the stub and its texts and the package goes into NAME.001, ...\n"
    "\n"
    "The project file is an INI file with the sections [Setup], [Settings], [Flags] (and [Web] for\n"
    "\"velpack web\"); relative paths in it are taken from its folder. Every key has an option that\n"
    "overrides it. Flags take 0 or 1 (the option alone means 1).\n"
    "\n"
    "With an update key (--update-key, [Settings] UpdateKey) the package carries that public key, and\n"
    "its update agent takes only update-info files signed with the matching private key (\"velpack\n"
    "publish --sign-key\"), and update and inform files only through the SHA-256 those name.\n";

const char kWebHelp[] =
    "Usage: velpack web [PROJECT.ini] [OPTIONS]\n"
    "\n"
    "Writes the full setup file (as \"velpack build\", without parts or span copy) and a web stub that\n"
    "downloads it: stub image, texts, and the web-download list with the location, the setup file's\n"
    "name, the download-only flag, the download token and the setup file's size. Both files carry the\n"
    "same download token (a random one unless given), which the web stub checks after the download.\n";

const char kInfoHelp[] =
    "Usage: velpack info [--json] FILE\n"
    "       velpack info [--installed-version N [--installed-stamp N]] FILE.info|FILE.original\n"
    "       velpack info --key PUBLIC FILE.info\n"
    "\n"
    "Shows the trailer's fields, the flags by name, the execution level the image's manifest asks\n"
    "Windows for (admin: requireAdministrator, user: asInvoker), the languages and their keys, the\n"
    "settings and web-download lists (tokens unscrambled), every record of every part (name, date,\n"
    "stored and original size) and whether the checksums pass. --json prints the same as one JSON object.\n"
    "Exit code 1 when the file holds no package, a checksum fails or a record is damaged.\n"
    "\n"
    "An update-info or installation settings file is shown with its values as the update agent reads\n"
    "them. With --installed-version (and --installed-stamp, default 0) it also shows what the agent\n"
    "of that installation would decide at a timed check: the reason code and text (6 = OK). The size\n"
    "check looks at the update location when it is a folder here, otherwise at the file of that name\n"
    "beside the update-info file.\n"
    "\n"
    "For an update-info file it also says whether it is signed, by which key (keyid) and until when.\n"
    "--key PUBLIC (a .pub file or 64 hex digits) checks the signature against that key: valid, bad\n"
    "signature, signed by another key, expired, unsigned or malformed; exit code 1 unless valid.\n"
    "A package's settings show its update key (hex and keyid), if it carries one.\n";

const char kExtractHelp[] =
    "Usage: velpack extract FILE DIR\n"
    "\n"
    "Extracts the package of FILE (and the part files that continue it) into DIR, as the stub would:\n"
    "checksums checked, records of one name appended, the launch entry's \"*\" dropped from its name,\n"
    "file dates set. Prints the launch entry.\n";

const char kTokenHelp[] =
    "Usage: velpack token [--decode] [--text] VALUE\n"
    "\n"
    "Scrambles VALUE as a package token (product or download token), or unscrambles it with --decode.\n"
    "With --text the whole-text scrambling of update and inform files is used instead (prefix\n"
    "\"Scrambled=01\").\n";

const char kKeygenHelp[] =
    "Usage: velpack keygen --output NAME\n"
    "\n"
    "Makes an Ed25519 key pair from the system's random source and writes:\n"
    "  NAME.key  the private key, PEM PKCS#8 (\"PRIVATE KEY\"), readable by its owner only\n"
    "  NAME.pub  the public key, 64 hex digits on one line\n"
    "Existing files are never replaced. Keep NAME.key away from the build output and backups that\n"
    "others can read: whoever holds it can sign updates.\n";

const char kInformHelp[] =
    "Usage: velpack inform --token TOKEN (--text TEXT | --text-file FILE) --output FILE [OPTIONS]\n"
    "\n"
    "Writes an inform file: \"|\", the scrambled product token, \"|\", two free fields each followed by\n"
    "\"|\", and the announcement text (plain or rich text).\n"
    "\n"
    "Options:\n"
    "  --token TOKEN      product token of the installations to inform (clear text)\n"
    "  --text TEXT        announcement text\n"
    "  --text-file FILE   read the announcement text from FILE\n"
    "  --field2 TEXT      second field (not used by the agent)\n"
    "  --field3 TEXT      third field (not used by the agent)\n"
    "  --scramble         scramble the whole text (\"Scrambled=01\")\n"
    "  --output FILE      file to write (-o)\n";

const char kPublishHelp[] =
    "Usage: velpack publish [PROJECT.ini] --package FILE --product-token TOKEN --version N --output FILE.info\n"
    "                       [OPTIONS]\n"
    "\n"
    "Writes the update-info file that tells installed update agents about an update package (a setup\n"
    "file made by \"velpack build\"). The update file's name, size and SHA-256 are taken from the package\n"
    "itself; a package whose product token is not the one given is refused, as the agent would refuse\n"
    "it. The stamp changes with every publish unless given. With --inform the agents announce the\n"
    "version instead: the inform file is written beside the update-info file. Upload the package (and\n"
    "the inform file) to the update location together with the update-info file. The project file's\n"
    "section is [Update]; every key has an option that overrides it.\n"
    "\n"
    "--sign-key KEY signs the update-info file with a private key of \"velpack keygen\": a first line\n"
    "\"; signature ed25519 KEYID EXPIRES SIGNATURE\" before the unchanged values. Agents built with the\n"
    "matching --update-key take nothing else. The signature holds for --expires DAYS (default 90;\n"
    "0: for ever); publish again before then. Keep the key off the update server.\n";

struct Io {
    std::string& out;
    std::string& err;
};

int Usage(Io& io, const std::string& message, const char* help) {
    io.err += "velpack: " + message + "\n\n" + help;
    return 2;
}

int Failure(Io& io, const std::string& message) {
    io.err += "velpack: " + message + "\n";
    return 1;
}

bool IsHelp(const std::string& a) { return a == "--help" || a == "-h" || a == "-?"; }

std::string OptionsHelp(bool web) {
    std::string o = "\nOptions:\n";
    std::string section;
    for (const ProjectKey& k : ProjectKeys()) {
        if ((!web && std::string(k.section) == "Web") || std::string(k.section) == "Update") continue;
        if (section != k.section) {
            section = k.section;
            o += "  [" + section + "]\n";
        }
        std::string name = std::string(k.option) + (k.isFlag ? "[=0|1]" : k.isPath ? " PATH" : " VALUE");
        o += "    " + name + std::string(name.size() < 28 ? 28 - name.size() : 1, ' ') + k.help + "  (" + k.key +
             ")\n";
    }
    o += "  --quiet                     no progress bar, no summary\n";
    return o;
}

// Matches "--name=value" or "--name value" (i is then advanced past the value); hasValue is false
// for a bare "--name" (a flag, or a value missing at the end of the line).
bool TakeOption(const std::vector<std::string>& args, size_t& i, const std::string& name, bool needsValue,
                std::string& value, bool& hasValue) {
    const std::string& a = args[i];
    if (a == name) {
        hasValue = needsValue && i + 1 < args.size();
        if (hasValue) value = args[++i];
        return true;
    }
    if (a.compare(0, name.size() + 1, name + "=") == 0) {
        value = a.substr(name.size() + 1);
        hasValue = true;
        return true;
    }
    return false;
}

std::string SizeText(uint64_t bytes) {
    return bytes >= 1048576 ? FloatText(bytes / 1048576.0, 1, false) + " MB" : IntToStr(int64_t(bytes)) + " bytes";
}

int RunBuild(const std::vector<std::string>& args, bool web, Io& io, bool interactive) {
    const char* help = web ? kWebHelp : kBuildHelp;
    ProjectValues values;
    std::string project;
    bool quiet = false;
    for (size_t i = 1; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (IsHelp(a)) {
            io.out += std::string(help) + OptionsHelp(web);
            return 0;
        }
        if (a == "--quiet" || a == "-q") {
            quiet = true;
            continue;
        }
        if (a.compare(0, 2, "--") != 0) {
            if (!project.empty()) return Usage(io, "more than one project file: " + a, help);
            project = a;
            continue;
        }
        bool matched = false;
        for (const ProjectKey& k : ProjectKeys()) {
            if ((!web && std::string(k.section) == "Web") || std::string(k.section) == "Update") continue;
            std::string value;
            bool hasValue = false;
            size_t at = i;
            if (!TakeOption(args, at, k.option, !k.isFlag, value, hasValue)) continue;
            matched = true;
            if (!k.isFlag && !hasValue) return Usage(io, std::string(k.option) + " needs a value", help);
            values.overrides.emplace_back(&k, hasValue ? value : std::string("1"));
            i = at;
            break;
        }
        if (!matched) return Usage(io, "unknown option " + a, help);
    }
    if (!project.empty()) {
        const std::string error = LoadProject(project, values);
        if (!error.empty()) return Failure(io, error);
    }
    BuildOptions options;
    WebOptions webOptions;
    std::string error = ResolveProject(values, options, webOptions);
    if (!error.empty()) return Failure(io, error);

    BuildReport report;
    ProgressBar bar(stderr);
    ProgressFn progress;
    if (interactive && !quiet) progress = [&bar](uint64_t done, uint64_t total) { bar.Update(done, total); };
    error = web ? BuildWebSetup(options, webOptions, report, progress) : BuildSetup(options, report, progress);
    if (progress) bar.Done();
    for (const std::string& w : report.warnings) io.err += "velpack: warning: " + w + "\n";
    if (!error.empty()) return Failure(io, error);
    if (!quiet) {
        for (const std::string& f : report.files) {
            BinaryFile file;
            const int64_t size = file.OpenRead(f) ? file.Size() : -1;
            io.out += "wrote " + f + " (" + IntToStr(size) + " bytes)\n";
        }
        io.out += IntToStr(report.inputFiles) + " files, " + IntToStr(report.records) + " records, " +
                  SizeText(report.inputBytes) + " packed into " + SizeText(report.storedBytes) + "\n";
        if (web) io.out += "download token: " + report.downloadToken + "\n";
    }
    return 0;
}

int RunInfo(const std::vector<std::string>& args, Io& io) {
    bool json = false;
    std::string file;
    InstalledState installed;
    bool hasInstalled = false, hasStamp = false, hasKey = false;
    std::string keyValue;
    for (size_t i = 1; i < args.size(); ++i) {
        if (IsHelp(args[i])) {
            io.out += kInfoHelp;
            return 0;
        }
        std::string value;
        bool hasValue = false;
        const bool version = TakeOption(args, i, "--installed-version", true, value, hasValue);
        if (version || TakeOption(args, i, "--installed-stamp", true, value, hasValue)) {
            const char* name = version ? "--installed-version" : "--installed-stamp";
            const int64_t v = DecimalToInt64(value, INT64_MIN);
            if (!hasValue || v < INT32_MIN || v > INT32_MAX)
                return Usage(io, std::string(name) + " needs a 32-bit number", kInfoHelp);
            (version ? installed.version : installed.stamp) = v;
            (version ? hasInstalled : hasStamp) = true;
        } else if (TakeOption(args, i, "--key", true, value, hasValue)) {
            if (!hasValue) return Usage(io, "--key needs a value", kInfoHelp);
            keyValue = value;
            hasKey = true;
        } else if (args[i] == "--json") json = true;
        else if (args[i].compare(0, 1, "-") == 0) return Usage(io, "unknown option " + args[i], kInfoHelp);
        else if (file.empty()) file = args[i];
        else return Usage(io, "more than one file: " + args[i], kInfoHelp);
    }
    if (file.empty()) return Usage(io, "no file given", kInfoHelp);
    if (hasStamp && !hasInstalled) return Usage(io, "--installed-stamp needs --installed-version", kInfoHelp);
    PackageDescription d;
    std::string error = DescribePackage(file, d);
    if (!error.empty()) {
        std::string text;
        int code = -1;
        if (!json && DescribeSettingsFile(file, hasInstalled ? &installed : nullptr, text, code)) {
            io.out += text;
            const bool infoFile = text.rfind("update-info file ", 0) == 0;
            if (!infoFile) return hasKey ? Usage(io, "--key is for update-info files", kInfoHelp) : 0;
            std::string keyHex;
            if (hasKey) {
                error = ReadUpdateKey(keyValue, std::string(), keyHex);
                if (!error.empty()) return Failure(io, "--key: " + error);
            }
            bool holds = false;
            io.out += DescribeInfoSignature(file, hasKey ? &keyHex : nullptr, int64_t(UnixTimeMs() / 1000), holds);
            return !hasKey || holds ? 0 : 1;
        }
        return Failure(io, error);
    }
    if (hasInstalled) return Usage(io, "--installed-version is for update-info files", kInfoHelp);
    if (hasKey) return Usage(io, "--key is for update-info files", kInfoHelp);
    io.out += json ? DescriptionJson(d) : DescriptionText(d);
    return d.checksumsPass && d.damage.empty() ? 0 : 1;
}

int RunPublish(const std::vector<std::string>& args, Io& io) {
    ProjectValues values;
    std::string project;
    for (size_t i = 1; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (IsHelp(a)) {
            std::string o = "\nOptions:\n";
            for (const ProjectKey& k : ProjectKeys()) {
                if (std::string(k.section) != "Update") continue;
                std::string name = std::string(k.option) + (k.isFlag ? "[=0|1]" : k.isPath ? " PATH" : " VALUE");
                o += "  " + name + std::string(name.size() < 30 ? 30 - name.size() : 1, ' ') + k.help + "  (" + k.key +
                     ")\n";
            }
            io.out += std::string(kPublishHelp) + o;
            return 0;
        }
        if (a.compare(0, 2, "--") != 0) {
            if (!project.empty()) return Usage(io, "more than one project file: " + a, kPublishHelp);
            project = a;
            continue;
        }
        bool matched = false;
        for (const ProjectKey& k : ProjectKeys()) {
            if (std::string(k.section) != "Update") continue;
            std::string value;
            bool hasValue = false;
            size_t at = i;
            if (!TakeOption(args, at, k.option, !k.isFlag, value, hasValue)) continue;
            matched = true;
            if (!k.isFlag && !hasValue) return Usage(io, std::string(k.option) + " needs a value", kPublishHelp);
            values.overrides.emplace_back(&k, hasValue ? value : std::string("1"));
            i = at;
            break;
        }
        if (!matched) return Usage(io, "unknown option " + a, kPublishHelp);
    }
    if (!project.empty()) {
        const std::string error = LoadProject(project, values);
        if (!error.empty()) return Failure(io, error);
    }
    PublishOptions options;
    std::string error = ResolvePublish(values, options);
    if (!error.empty()) return Failure(io, error);
    PublishReport report;
    error = PublishUpdate(options, report);
    if (!error.empty()) return Failure(io, error);
    for (const std::string& f : report.files) io.out += "wrote " + f + "\n";
    io.out += "update file " + report.info.nameOfUpdateFile + " (" + IntToStr(report.info.sizeOfUpdateFile) +
              " bytes), version " + IntToStr(report.info.versionNew) + ", stamp " + IntToStr(report.info.stamp) + "\n";
    return 0;
}

int RunExtract(const std::vector<std::string>& args, Io& io) {
    std::vector<std::string> plain;
    for (size_t i = 1; i < args.size(); ++i) {
        if (IsHelp(args[i])) {
            io.out += kExtractHelp;
            return 0;
        }
        if (args[i].compare(0, 1, "-") == 0) return Usage(io, "unknown option " + args[i], kExtractHelp);
        plain.push_back(args[i]);
    }
    if (plain.size() != 2) return Usage(io, "extract needs a FILE and a DIR", kExtractHelp);
    ExtractReport report;
    const std::string error = ExtractNative(plain[0], plain[1], report);
    if (!error.empty()) return Failure(io, error);
    io.out += "extracted " + IntToStr(int64_t(report.files.size())) + " files from " + IntToStr(report.records) +
              " records in " + IntToStr(report.parts) + " part(s) into " + plain[1] + "\n";
    io.out += "launch entry: " + (report.runSpec.empty() ? std::string("(none)") : report.runSpec) + "\n";
    return 0;
}

int RunToken(const std::vector<std::string>& args, Io& io) {
    bool decode = false, text = false;
    std::string value;
    bool hasValue = false;
    for (size_t i = 1; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (IsHelp(a)) {
            io.out += kTokenHelp;
            return 0;
        }
        if (a == "--decode" || a == "-d") decode = true;
        else if (a == "--text") text = true;
        else if (a.compare(0, 2, "--") == 0) return Usage(io, "unknown option " + a, kTokenHelp);
        else if (hasValue) return Usage(io, "more than one value: " + a, kTokenHelp);
        else {
            value = a;
            hasValue = true;
        }
    }
    if (!hasValue || value.empty()) return Usage(io, "no value given", kTokenHelp);
    if (text) {
        const bool marked = StartsWith("Scrambled=01", value, false);
        if (decode && !marked) return Failure(io, "not a scrambled text (it does not begin with \"Scrambled=01\")");
        if (!decode && marked) return Failure(io, "the text is already scrambled");
        io.out += ScrambleText(value, !decode, true) + "\n";
        return 0;
    }
    if (!decode) {
        io.out += ScrambleItem(value) + "\n";
        return 0;
    }
    std::string clear;
    if (!TryUnscrambleItem(value, clear)) return Failure(io, "\"" + value + "\" is not a scrambled token");
    io.out += clear + "\n";
    return 0;
}

int RunInform(const std::vector<std::string>& args, Io& io) {
    std::string token, text, textFile, field2, field3, output;
    bool scramble = false, hasText = false;
    for (size_t i = 1; i < args.size(); ++i) {
        if (IsHelp(args[i])) {
            io.out += kInformHelp;
            return 0;
        }
        if (args[i] == "--scramble") {
            scramble = true;
            continue;
        }
        struct {
            const char* name;
            std::string* target;
        } const options[] = {{"--token", &token},   {"--text", &text},     {"--text-file", &textFile},
                             {"--field2", &field2}, {"--field3", &field3}, {"--output", &output},
                             {"-o", &output}};
        bool matched = false;
        for (const auto& o : options) {
            std::string value;
            bool hasValue = false;
            if (!TakeOption(args, i, o.name, true, value, hasValue)) continue;
            if (!hasValue) return Usage(io, std::string(o.name) + " needs a value", kInformHelp);
            *o.target = value;
            if (o.target == &text) hasText = true;
            matched = true;
            break;
        }
        if (!matched) return Usage(io, "unknown argument " + args[i], kInformHelp);
    }
    if (token.empty()) return Usage(io, "no --token given", kInformHelp);
    if (output.empty()) return Usage(io, "no --output given", kInformHelp);
    if (hasText == !textFile.empty()) return Usage(io, "give either --text or --text-file", kInformHelp);
    if (!textFile.empty()) {
        std::ifstream in(textFile, std::ios::binary);
        if (!in) return Failure(io, "cannot open " + textFile);
        text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        if (in.bad()) return Failure(io, "cannot read " + textFile);
    }
    std::string content;
    const std::string error = MakeInformText(token, field2, field3, text, scramble, content);
    if (!error.empty()) return Failure(io, error);
    if (!WriteFileAtomic(output, content)) return Failure(io, "cannot write " + output);
    io.out += "wrote " + output + "\n";
    return 0;
}

int RunKeygen(const std::vector<std::string>& args, Io& io) {
    std::string output;
    for (size_t i = 1; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (IsHelp(a)) {
            io.out += kKeygenHelp;
            return 0;
        }
        if (a == "--output" || a == "-o") {
            if (i + 1 >= args.size() || args[i + 1].empty()) return Usage(io, a + " needs a value", kKeygenHelp);
            if (!output.empty()) return Usage(io, "more than one --output", kKeygenHelp);
            output = args[++i];
        } else {
            return Usage(io, "unknown argument " + a, kKeygenHelp);
        }
    }
    if (output.empty()) return Usage(io, "no --output given", kKeygenHelp);
    const std::string error = MakeKeyPair(output);
    if (!error.empty()) return Failure(io, error);
    io.out += "wrote " + output + ".key and " + output + ".pub\n";
    return 0;
}

}  // namespace

int RunVelpack(const std::vector<std::string>& args, std::string& out, std::string& err, bool interactive) {
    Io io{out, err};
    try {
        if (args.empty()) return Usage(io, "no command given", kGeneralHelp);
        const std::string& command = args[0];
        if (IsHelp(command) || command == "help") {
            out += kGeneralHelp;
            return 0;
        }
        if (command == "build") return RunBuild(args, false, io, interactive);
        if (command == "web") return RunBuild(args, true, io, interactive);
        if (command == "info") return RunInfo(args, io);
        if (command == "extract") return RunExtract(args, io);
        if (command == "token") return RunToken(args, io);
        if (command == "inform") return RunInform(args, io);
        if (command == "publish") return RunPublish(args, io);
        if (command == "keygen") return RunKeygen(args, io);
        return Usage(io, "unknown command " + command, kGeneralHelp);
    } catch (const std::exception& e) {
        return Failure(io, std::string("failed: ") + e.what());
    }
}

}  // namespace vel
