#include "util/FileText.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

using namespace vel;

namespace {

// A double-byte code page in miniature: 0x81..0x9F start a two-byte character whose second
// byte may be a backslash.
bool TestLeadByte(unsigned char c) { return c >= 0x81 && c <= 0x9F; }

TEST(FileTextTest, TrailingBackslash) {
    struct Case {
        std::string path;
        bool wanted;
        std::string expected;
    } cases[] = {
        {"C:\\dir\\", false, "C:\\dir"},
        {"C:\\", false, "C:"},
        {"\\", false, "\\"},
        {"a\\", false, "a\\"},
        {"C:\\dir", false, "C:\\dir"},
        {"C:\\dir", true, "C:\\dir\\"},
        {"C:\\dir\\", true, "C:\\dir\\"},
        {"C:", true, "C:\\"},
        {"\\", true, "\\"},
        {"C:\\dir\x81\\", false, "C:\\dir\x81\\"},          // the backslash belongs to a character
        {"C:\\dir\x81\\", true, "C:\\dir\x81\\\\"},
        {"C:\\\x81\x81\\", false, "C:\\\x81\x81"},          // a real backslash after a full character
    };
    for (const Case& c : cases)
        EXPECT_EQ(SetTrailingBackslash(c.path, c.wanted, TestLeadByte), c.expected) << c.path << " " << c.wanted;
    EXPECT_EQ(SetTrailingBackslash("C:\\dir\x81\\", false, NoLeadBytes), "C:\\dir\x81");

    struct Exclude {
        std::string path, expected;
    } excludes[] = {{"\\", ""}, {"a\\", "a"}, {"C:\\x\\", "C:\\x"}, {"x", "x"}, {"", ""}, {"C:\\\x81\\", "C:\\\x81\\"}};
    for (const Exclude& c : excludes) EXPECT_EQ(ExcludeTrailingBackslash(c.path, TestLeadByte), c.expected) << c.path;
}

TEST(FileTextTest, CollapseBackslashes) {
    struct Case {
        std::string path;
        bool excludeTrailing;
        std::string expected;
    } cases[] = {
        {"C:\\\\dir\\\\x", false, "C:\\dir\\x"},
        {"\\\\server\\\\share\\x", false, "\\\\server\\share\\x"},
        {"C:\\\\\\dir", false, "C:\\dir"},
        {"\\\\\\server\\x", false, "\\\\server\\x"},
        {"C:\\\\dir\\\\", true, "C:\\dir"},
        {"C:\\dir\\\\", false, "C:\\dir\\"},
        {"\\\\", false, "\\\\"},
        {"\"\\\\srv\\x\"", false, "\"\\\\srv\\x\""},  // a quoted network path keeps its leading pair
        {"C:\x81\\\\x", false, "C:\x81\\\\x"},         // first backslash is part of a character
    };
    for (const Case& c : cases)
        EXPECT_EQ(CollapseBackslashes(c.path, c.excludeTrailing, TestLeadByte), c.expected) << c.path;
    EXPECT_EQ(CollapseBackslashes("C:\x81\\\\x", false, NoLeadBytes), "C:\x81\\x");
}

TEST(FileTextTest, NamesAndFolders) {
    struct Case {
        std::string path;
        bool all;
        std::string expected;
    } cases[] = {
        {"C:\\a\\setup.tar.gz", false, "setup.tar"},
        {"C:\\a\\setup.tar.gz", true, "setup"},
        {"noext", false, "noext"},
        {"C:\\a.b\\file", false, "file"},
        {"dir/x.exe", false, "x"},
        {"C:x.exe", false, "x"},
        {"ab\x81\\c.txt", false, "ab\x81\\c"},  // the backslash is the second byte of a character
    };
    for (const Case& c : cases) EXPECT_EQ(BaseName(c.path, c.all, TestLeadByte), c.expected) << c.path;
    EXPECT_EQ(BaseName("ab\x81\\c.txt", false, NoLeadBytes), "c");

    EXPECT_EQ(FileFolder("C:\\a\\b.txt", NoLeadBytes), "C:\\a\\");
    EXPECT_EQ(FileFolder("b.txt", NoLeadBytes), "");
    EXPECT_EQ(FileFolder("C:b", NoLeadBytes), "C:");
    EXPECT_EQ(FileFolder("ab\x81\\c.txt", TestLeadByte), "");

    const struct { const char* path; const char* name; } names[] = {
        {"C:\\a\\b.exe", "b.exe"}, {"b.exe", "b.exe"}, {"dir/x.exe", "x.exe"},
        {"http://host/dir/App.info", "App.info"}, {"C:b.exe", "b.exe"}, {"C:\\a\\", ""},
    };
    for (const auto& n : names) EXPECT_EQ(FileNamePart(n.path), n.name) << n.path;
    EXPECT_EQ(FileNamePart("ab\x81\\c.txt", TestLeadByte), "ab\x81\\c.txt");

    EXPECT_EQ(StripLastExtension("a.b.exe"), "a.b");
    EXPECT_EQ(StripLastExtension("C:\\x.y\\noext"), "C:\\x.y\\noext");
    EXPECT_EQ(StripLastExtension("C:\\x.y\\App.exe"), "C:\\x.y\\App");
}

TEST(FileTextTest, VolumeQueryPath) {
    struct Case {
        std::string path;
        bool extended;
        std::string expected;
    } cases[] = {
        {"C:\\dir\\sub", true, "C:\\dir"},
        {"C:\\dir", true, "C:\\dir"},
        {"C:\\", true, "C:\\"},
        {"c:/dir/sub", true, "c:\\dir"},
        {"c:\\dir\\sub", false, "C:\\"},
        {"d", true, "D:\\"},
        {"\\\\srv\\share\\dir\\x", true, "\\\\srv\\share\\"},
        {"\\\\srv\\share", true, "\\\\srv\\share\\"},
        {"", true, ""},
    };
    for (const Case& c : cases) EXPECT_EQ(VolumeQueryPath(c.path, c.extended), c.expected) << c.path;
    EXPECT_EQ(DriveRootOf("e:\\x"), "E:\\");
    EXPECT_EQ(DriveRootOf(""), "");
    EXPECT_EQ(DriveOf("d:\\x"), "D:");
    EXPECT_EQ(DriveOf(""), "");
}

TEST(FileTextTest, RootPaths) {
    // What a tree deletion must refuse: a drive or share as a whole ("C:\\" loses its backslash on
    // the way and becomes "C:").
    const struct {
        const char* path;
        bool root;
    } cases[] = {
        {"", true},
        {"\\", true},
        {"/", true},
        {"C:", true},
        {"c:\\", true},
        {"C:/", true},
        {"C:\\\\", true},
        {"\\\\server", true},
        {"\\\\server\\share", true},
        {"\\\\server\\share\\", true},
        {"//server/share/", true},
        {"\\\\server\\\\share", true},
        {"\\\\?\\C:\\", true},
        {"\\\\.\\C:", true},
        {"\\\\?\\UNC\\server\\share", true},
        {"C:\\Temp", false},
        {"C:\\Temp\\SETUP_1\\", false},
        {"C:x", false},
        {"\\Temp", false},
        {"\\\\server\\share\\dir", false},
        {"\\\\?\\C:\\dir", false},
        {"\\\\?\\UNC\\server\\share\\dir", false},
        {"SETUP_1", false},
    };
    for (const auto& c : cases) EXPECT_EQ(IsRootPath(c.path), c.root) << c.path;
}

TEST(FileTextTest, ChunkSizes) {
    struct Case {
        int64_t total;
        bool hook;
        int64_t expected;
    } cases[] = {
        {5242880, false, 524288}, {20000000, false, 1048576}, {2048, true, 1024}, {2048, false, 0},
        {1048576, false, 0},      {1048577, false, 104857},   {10240, true, 1024}, {10250, true, 1025},
        {500, true, 500},         {0, true, 0},
    };
    for (const Case& c : cases) EXPECT_EQ(WriteChunkSize(c.total, c.hook), c.expected) << c.total << " " << c.hook;
}

// Records what a chunked write does.
struct WriteLog {
    std::vector<int64_t> writes;
    std::vector<std::pair<int64_t, int64_t>> progress;  // total, written
    std::string data;
};

ChunkWriter Recorder(WriteLog& log, int failAt = -1) {
    return [&log, failAt](const char* p, int64_t n) -> int64_t {
        if (static_cast<int>(log.writes.size()) == failAt) return 0;
        log.writes.push_back(n);
        log.data.append(p, static_cast<size_t>(n));
        return n;
    };
}

TEST(FileTextTest, WriteInChunks) {
    const std::string text(2500, 'x');
    {
        WriteLog log;
        EXPECT_TRUE(WriteInChunks(text.substr(0, 2048), [&](int64_t t, int64_t w, bool&) { log.progress.push_back({t, w}); },
                                  Recorder(log)));
        EXPECT_EQ(log.writes, (std::vector<int64_t>{1024, 1024}));
        EXPECT_EQ(log.progress, (std::vector<std::pair<int64_t, int64_t>>{{2048, 0}, {2048, 1024}, {2048, 2048}}));
    }
    {
        WriteLog log;
        EXPECT_TRUE(WriteInChunks(text, [](int64_t, int64_t, bool&) {}, Recorder(log)));
        EXPECT_EQ(log.writes, (std::vector<int64_t>{1024, 1024, 452}));
        EXPECT_EQ(log.data, text);
    }
    {
        WriteLog log;  // no hook, small: one write
        EXPECT_TRUE(WriteInChunks(text.substr(0, 2048), nullptr, Recorder(log)));
        EXPECT_EQ(log.writes, (std::vector<int64_t>{2048}));
    }
    {
        WriteLog log;  // no hook, large: chunked all the same
        const std::string big(5242880, 'b');
        EXPECT_TRUE(WriteInChunks(big, nullptr, Recorder(log)));
        EXPECT_EQ(log.writes, std::vector<int64_t>(10, 524288));
        EXPECT_EQ(log.data.size(), big.size());
    }
    {
        WriteLog log;  // the hook cancels after the first chunk
        EXPECT_FALSE(WriteInChunks(text, [](int64_t, int64_t w, bool& cancel) { cancel = w > 0; }, Recorder(log)));
        EXPECT_EQ(log.writes, (std::vector<int64_t>{1024}));
    }
    {
        WriteLog log;  // the hook cancels before anything is written
        EXPECT_FALSE(WriteInChunks(text, [](int64_t, int64_t, bool& cancel) { cancel = true; }, Recorder(log)));
        EXPECT_TRUE(log.writes.empty());
    }
    {
        WriteLog log;  // a failing write ends the loop
        EXPECT_FALSE(WriteInChunks(text, [](int64_t, int64_t, bool&) {}, Recorder(log, 1)));
        EXPECT_EQ(log.writes, (std::vector<int64_t>{1024}));
    }
    {
        WriteLog log;  // nothing to write
        EXPECT_TRUE(WriteInChunks("", nullptr, Recorder(log)));
        EXPECT_TRUE(WriteInChunks("", [&](int64_t t, int64_t w, bool&) { log.progress.push_back({t, w}); }, Recorder(log)));
        EXPECT_TRUE(log.writes.empty());
        EXPECT_EQ(log.progress, (std::vector<std::pair<int64_t, int64_t>>{{0, 0}}));
    }
}

TEST(FileTextTest, DeleteActionForAnEntry) {
    const uint32_t dir = kAttrDirectory, file = 0x20, link = kAttrReparsePoint;
    struct Case {
        EntryFacts listed, opened;
        EntryAction expected;
    } cases[] = {
        {{file, 7}, {file, 7}, EntryAction::RemoveFile},
        {{file | kAttrReadOnly, 7}, {file | kAttrReadOnly, 7}, EntryAction::RemoveFile},
        {{dir, 7}, {dir, 7}, EntryAction::RemoveFolder},
        {{dir, 0}, {dir, 9}, EntryAction::RemoveFolder},  // no id in the listing (FAT)
        {{dir, 7}, {dir, 0}, EntryAction::RemoveFolder},
        // The handle is a link (listed as one, or swapped in after the listing): only the link goes.
        {{dir | link, 7}, {dir | link, 7}, EntryAction::RemoveLink},
        {{dir, 7}, {dir | link, 8}, EntryAction::RemoveLink},
        {{file, 7}, {file | link, 8}, EntryAction::RemoveLink},
        // Listed as a link, opened as what it leads to: the open followed it.
        {{dir | link, 7}, {dir, 7}, EntryAction::Leave},
        {{dir | link, 7}, {dir, 8}, EntryAction::Leave},
        {{file | link, 7}, {file, 8}, EntryAction::Leave},
        // Something else stands there now than what was listed.
        {{dir, 7}, {dir, 8}, EntryAction::Leave},
        {{file, 7}, {file, 8}, EntryAction::Leave},
        {{file, 7}, {dir, 7}, EntryAction::Leave},
        {{file, 0}, {dir, 0}, EntryAction::Leave},
        {{dir, 7}, {file, 7}, EntryAction::Leave},
    };
    for (const Case& c : cases)
        EXPECT_EQ(DeleteActionFor(c.listed, c.opened), c.expected)
            << std::hex << c.listed.attributes << "/" << c.listed.id << " " << c.opened.attributes << "/" << c.opened.id;
    // The system names the opened file by another path: a link was followed, whatever it showed.
    EXPECT_EQ(DeleteActionFor({file, 7}, {file, 7}, true), EntryAction::Leave);
    EXPECT_EQ(DeleteActionFor({dir, 7}, {dir, 7}, true), EntryAction::Leave);
    EXPECT_EQ(DeleteActionFor({dir, 7}, {dir | link, 8}, true), EntryAction::RemoveLink);
}

TEST(FileTextTest, SelfDeleteCommand) {
    const std::string cmd = "C:\\Windows\\system32\\cmd.exe", ping = "C:\\Windows\\system32\\ping.exe";
    EXPECT_EQ(SelfDeleteCommand(cmd, ping, "C:\\A B (1)\\x&y.exe", "C:\\A B (1)", true, 3),
              "\"C:\\Windows\\system32\\cmd.exe\" /d /q /c \"for /l %i in (1,1,3) do ("
              "(if exist \"C:\\A B (1)\\x&y.exe\" del /f /q \"C:\\A B (1)\\x&y.exe\") & "
              "(if exist \"C:\\A B (1)\\x&y.exe\" \"C:\\Windows\\system32\\ping.exe\" -n 2 127.0.0.1) & "
              "(if not exist \"C:\\A B (1)\\x&y.exe\" rd \"C:\\A B (1)\"))\"");
    const std::string withoutFolder =
        "\"C:\\Windows\\system32\\cmd.exe\" /d /q /c \"for /l %i in (1,1,30) do ("
        "(if exist \"C:\\P\\x.exe\" del /f /q \"C:\\P\\x.exe\") & "
        "(if exist \"C:\\P\\x.exe\" \"C:\\Windows\\system32\\ping.exe\" -n 2 127.0.0.1))\"";
    EXPECT_EQ(SelfDeleteCommand(cmd, ping, "C:\\P\\x.exe", "C:\\P", false), withoutFolder);
    // A drive or share root is never removed; the program still is.
    for (const std::string root : {"C:\\", "C:", "\\\\server\\share", ""})
        EXPECT_EQ(SelfDeleteCommand(cmd, ping, "C:\\P\\x.exe", root, true), withoutFolder) << root;

    // Characters cmd expands or escapes even inside quotes never reach its command line.
    for (const std::string bad : std::vector<std::string>{"C:\\50%\\x.exe", "C:\\%TEMP%\\x.exe", "C:\\Hi!\\x.exe", "C:\\a^b\\x.exe",
                                  "C:\\a\"b\\x.exe", "C:\\a\r\nb\\x.exe", std::string("C:\\a\tb.exe"), ""}) {
        EXPECT_FALSE(CmdQuotablePath(bad)) << bad;
        EXPECT_EQ(SelfDeleteCommand(cmd, ping, bad, "C:\\P", false), "") << bad;
        if (!bad.empty()) EXPECT_EQ(SelfDeleteCommand(cmd, ping, "C:\\P\\x.exe", bad, true), "") << bad;
        EXPECT_EQ(SelfDeleteCommand(bad, ping, "C:\\P\\x.exe", "C:\\P", false), "") << bad;
        EXPECT_EQ(SelfDeleteCommand(cmd, bad, "C:\\P\\x.exe", "C:\\P", false), "") << bad;
    }
    // The folder is only checked when it is to be removed.
    EXPECT_EQ(SelfDeleteCommand(cmd, ping, "C:\\P\\x.exe", "C:\\50%", false), withoutFolder);
    for (const std::string ok : {"C:\\A B\\x.exe", "C:\\a&b|c<d>e(f)g\\x.exe", "\\\\srv\\sh\\x.exe", "C:\\\xe4\\x.exe"})
        EXPECT_TRUE(CmdQuotablePath(ok)) << ok;
    EXPECT_EQ(SelfDeleteCommand(cmd, ping, "C:\\P\\x.exe", "C:\\P", false, 0), "");
    EXPECT_EQ(SelfDeleteCommand(cmd, ping, "C:\\" + std::string(8000, 'a') + ".exe", "C:\\P", false), "");
}

}  // namespace
