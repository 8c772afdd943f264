// Writes the seed corpora of the fuzz targets: small setup files, part files, web stubs, update-
// info and inform files made by velpack from the tests' fixtures, their records and language
// blocks, and hand-written texts for the text readers. Usage: fuzz_seedgen CORPUS_FOLDER
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "Velpack.h"
#include "package/PackageFormat.h"
#include "support/PackageFixture.h"
#include "support/VelpackFixture.h"
#include "util/IniFile.h"

using namespace vel;
using namespace vel::testsupport;
namespace fs = std::filesystem;

namespace {

std::string g_root;
int g_failures = 0;

void Seed(const std::string& target, const std::string& name, const std::string& bytes) {
    fs::create_directories(g_root + "/" + target);
    if (!WriteWholeFile(g_root + "/" + target + "/" + name, bytes)) {
        std::fprintf(stderr, "cannot write %s/%s\n", target.c_str(), name.c_str());
        ++g_failures;
    }
}

bool Run(const std::vector<std::string>& args) {
    const CliRun r = Velpack(args);
    if (r.code != 0) {
        std::fprintf(stderr, "velpack %s: %s\n", args[0].c_str(), r.err.c_str());
        ++g_failures;
    }
    return r.code == 0;
}

std::string Bytes(std::initializer_list<uint32_t> numbers) {
    std::string s;
    for (uint32_t n : numbers) s += LE32(n);
    return s;
}

const char kLanguages[] =
    "[English]\nCharset=0\nFontSize=8\nFontName=Tahoma\ns0=Demo Setup\ns1=Extracting Files...\n"
    "s8=Please insert <B>DISK #<DISK_NUM></B> and press OK\nBtnText=|&OK|&Cancel|&Yes|&No|&Abort|&Retry|&Ignore|\n"
    "[German]\nCharset=0\nFontSize = 9\ns0=Demo-Installation\ns1=Dateien werden entpackt...\n";

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2 || std::string(argv[1]) == "--help") {
        std::printf("usage: fuzz_seedgen CORPUS_FOLDER\nWrites the seed inputs of every fuzz target into CORPUS_FOLDER/<target>/.\n");
        return argc == 2 ? 0 : 2;
    }
    g_root = argv[1];
    ScratchFolder dir;
    fs::create_directories(dir.File("in/sub"));
    WriteWholeFile(dir.File("stub.exe"), FakeStampedImage(1024));
    WriteWholeFile(dir.File("lang.ini"), kLanguages);
    WriteWholeFile(dir.File("in/Engine.exe"), RandomBytes(300, 3));
    WriteWholeFile(dir.File("in/readme.txt"), "A readme that compresses well. A readme that compresses well.\n");
    WriteWholeFile(dir.File("in/sub/data.bin"), RandomBytes(200, 4));
    fs::create_directories(dir.File("big/sub"));
    WriteWholeFile(dir.File("big/Engine.exe"), RandomBytes(2500, 5));
    WriteWholeFile(dir.File("big/sub/more.bin"), RandomBytes(2500, 6));
    const std::vector<std::string> common = {"--stub", dir.File("stub.exe"), "--languages", dir.File("lang.ini"),
                                             "--input", dir.File("in"), "--launch", "Engine.exe",
                                             "--launch-params", "/q", "--product-token", "TOKEN-1",
                                             "--info-location", "http://updates.example/app", "--info-file",
                                             "app.info", "--agent-name", "agent.exe", "--quiet"};
    auto build = [&](const std::string& output, std::vector<std::string> extra) {
        std::vector<std::string> args = {"build", "--output", output};
        args.insert(args.end(), common.begin(), common.end());
        if (output.find("parts") != std::string::npos || output.find("span") != std::string::npos)
            args[8] = dir.File("big");  // enough data for two parts
        args.insert(args.end(), extra.begin(), extra.end());
        return Run(args);
    };

    // Whole setup files.
    if (build(dir.File("setup.exe"), {"--activity-bar"})) {
        const std::string setup = ReadWholeFile(dir.File("setup.exe"));
        Seed("packagewalk", "setup", setup);
        Seed("fileinfo", "setup", setup);
        // Its records, for the in-memory decoder: stored and compressed.
        BinaryFile f;
        f.OpenRead(dir.File("setup.exe"));
        PackageLocation where;
        const PackageTrailer t = ReadPackageTrailer(f, &where);
        RecordWalker walker(f, where, t.DataOffset(), t.TextBlockCount());
        RawRecord raw;
        int n = 0;
        while (walker.Next(raw))
            if (!raw.isTextBlock) Seed("record", "record" + std::to_string(++n), std::string(1, raw.length > 0 ? 0 : 1) + raw.bytes);
        Seed("record", "stored", std::string("\x01|Engine.exe*/q|1248086749|\0MZdata", 33));
    }
    if (build(dir.File("agent.exe"), {"--update-agent", "--agent-run-log", "--level", "0"}))
        Seed("fileinfo", "agent", ReadWholeFile(dir.File("agent.exe")));
    // Part files, joined as the walk target reads them.
    fs::create_directories(dir.File("parts"));
    if (build(dir.File("parts/setup.exe"), {"--part-size", "4096", "--level", "0"})) {
        std::string joined = ReadWholeFile(dir.File("parts/setup.exe"));
        for (int i = 2; FileExists(dir.File("parts/setup.exe.00" + std::to_string(i))); ++i)
            joined += "\nVELPART\n" + ReadWholeFile(dir.File("parts/setup.exe.00" + std::to_string(i)));
        Seed("packagewalk", "parts", joined);
    }
    fs::create_directories(dir.File("span"));
    if (build(dir.File("span/setup.exe"), {"--span-copy", "--part-size", "4096"})) {
        Seed("fileinfo", "spancopy", ReadWholeFile(dir.File("span/setup.exe")));
        std::string joined;
        for (int i = 1; FileExists(dir.File("span/setup.exe.00" + std::to_string(i))); ++i)
            joined += (i > 1 ? "\nVELPART\n" : "") + ReadWholeFile(dir.File("span/setup.exe.00" + std::to_string(i)));
        Seed("packagewalk", "spancopy", joined);
    }
    // A web stub and its setup file.
    {
        std::vector<std::string> args = {"web", "--output", dir.File("websetup.exe"), "--web-output",
                                         dir.File("webstub.exe"), "--web-location", "http://downloads.example/app"};
        args.insert(args.end(), common.begin(), common.end());
        if (Run(args)) Seed("fileinfo", "webstub", ReadWholeFile(dir.File("webstub.exe")));
    }

    // Update-info and inform files; the update-info file behind the numbers of the installed state.
    const std::string state = Bytes({3, 1000, 0, 0, 86400, 0, 0, 0, 0, 0}) + std::string(1, '\x11');
    if (Run({"publish", "--package", dir.File("setup.exe"), "--product-token", "TOKEN-1", "--version", "5",
             "--stamp", "1700000000", "--valid-versions", "3,4", "--location", "http://updates.example/app",
             "--program-name", "Demo", "--running-process", "<InstallDir>\\App.exe", "--shutdown-method",
             "Using WM_CLOSE", "--confirm-download", "--restart-process", "--output", dir.File("app.info")}))
        Seed("updateinfo", "publish", state + ReadWholeFile(dir.File("app.info")));
    if (Run({"publish", "--package", dir.File("setup.exe"), "--product-token", "TOKEN-1", "--version", "6",
             "--stamp", "1700000001", "--inform", "Version 6 is out", "--inform-file", "app.inform", "--inform-url", "https://example/", "--output",
             dir.File("inform.info")})) {
        Seed("updateinfo", "inform", state + ReadWholeFile(dir.File("inform.info")));
        const std::string item = ScrambleItem("TOKEN-1") + "\n";
        Seed("inform", "published", item + ReadWholeFile(dir.File("app.inform")));
    }
    if (Run({"inform", "--token", "TOKEN-1", "--text", "{\\rtf1 New <B>version</B>}", "--scramble", "--output",
             dir.File("scrambled.inform")}))
        Seed("inform", "scrambled", ScrambleItem("TOKEN-1") + "\n" + ReadWholeFile(dir.File("scrambled.inform")));
    Seed("inform", "plain", "bad-item\n|" + ScrambleItem("OTHER") + "|x|y|Hello");
    Seed("updateinfo", "quoted", state + "[NewSetup]\r\nProgramName=\" padded \"\r\nVersionNew=-9223372036854775808\r\n"
                                         "SizeOfUpdateFile=0x10\r\nStamp= 12 \r\n[General]\r\nAutoInform=1\r\n");

    // Language blocks as the stub reads them, and velpack's language and project files.
    IniFile langs;
    langs.Parse(kLanguages);
    std::string block;
    MakeLanguageBlock(langs, block);
    Seed("language", "english", std::string("\x09s1\n") + block);
    Seed("language", "german", std::string("\x07" "FontSize\n") + block);
    Seed("language", "single", std::string("\x0cs0\n") + "\x02\x01Only\x01s0=One\x01\x02");
    Seed("velpack_language", "languages.ini", kLanguages);
    Seed("velpack_language", "bad.ini", "s0=before\n[A]\nk\x01=v\n");
    Seed("velpack_project", "demo.ini",
         "[Setup]\nLanguages=languages.ini\nLaunch=DemoEngine.exe\nLaunchParams=/Dest=C:\\Demo\nLevel=9\nPartSize=10M\n"
         "[Settings]\nProductToken=T\nQuietMode=1\n[Flags]\nActivityBar=1\nSpanCopy=0\n");
    Seed("velpack_project", "publish.ini",
         "[Update]\nPackage=setup.exe\nProductToken=T\nVersionNew=5\nStamp=7\nAutoInformW=400\nInformText=Hi\n");
    Seed("velpack_project", "web.ini", "[Web]\nLocation=http://example/\nDownloadOnly=1\n[Unknown]\nx=1\n");

    // Texts of the other readers.
    Seed("markup", "bold", std::string("\x01\x00\x41") + "Error\n|&OK|&Cancel|\nLine one\\\\nTab\\\\t<B>bold</B> <p>x<t>y");
    Seed("markup", "nested", std::string("\x23\x01\x59") + "Confirm\n\n<<b>Heading</B><B>a<B>b</B>c</B></b>");
    Seed("sub", "list", std::string("\x03") + "key\n|&OK|key=value|KEY = two||last|");
    Seed("sub", "comma", std::string("\x00") + "b\n,a,b,,c");
    Seed("transient", "list", "|1|0|255|1|0|1|0|1|");
    Seed("transient", "odd", "|300|-1|x||1");
    Seed("httptext", "notfound", Bytes({5000, 5000, 0x5A2B6C3D, 0x0A1B2C3D, 12175, 0}).substr(0, 21) +
                                     "http://example/dir/file.exe\n<HTML><HEAD><TITLE>404 Not Found</TITLE></HEAD>");
    Seed("httptext", "binary", Bytes({2000000, 1999999, 1, 2, 3, 0}).substr(0, 21) + "https://example/a\\b\nMZ\x90");
    Seed("macros", "dirs", std::string("\x03") + "\\Sub\n<InstallDir>\\App.exe,<WindowsDir>\\..\\x|<Date=6>");
    Seed("macros", "user", std::string("\x02") + "\n<UserName> <ComputerName> <Date=#> <RunTimeDir_3>\\..\\y");
    return g_failures == 0 ? 0 : 1;
}
