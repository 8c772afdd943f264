// Debug stream chunking, trace line texts, line-break normalisation and the run log.
#include "util/DebugLog.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <stdexcept>
#include <thread>
#include <vector>

#include "support/DebugCapture.h"

namespace vel {
namespace {

using testsupport::DebugCapture;
namespace fs = std::filesystem;

std::vector<std::string> g_chunks;
void CollectChunk(const std::string& chunk) { g_chunks.push_back(chunk); }

std::vector<size_t> ChunkSizes() {
    std::vector<size_t> sizes;
    for (const std::string& c : g_chunks) sizes.push_back(c.size());
    return sizes;
}

std::string Joined() {
    std::string all;
    for (const std::string& c : g_chunks) all += c;
    return all;
}

std::string ReadAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

fs::path TempFile(const std::string& name) {
    const fs::path p = fs::temp_directory_path() / ("vel_debuglog_" + name);
    std::error_code ec;
    fs::remove(p, ec);
    return p;
}

TEST(DebugStream, LineReachesSinkInChunksOfAtMost128) {
    struct Case {
        size_t length;
        std::vector<size_t> chunks;
    };
    const Case cases[] = {
        {0, {2}},             // an empty line is just CR LF
        {126, {128}},         // exactly fills the buffer with its CR LF
        {127, {128, 1}},      // the CR fills the buffer, the LF follows alone
        {128, {128, 2}},
        {300, {128, 128, 46}},
    };
    for (const Case& c : cases) {
        g_chunks.clear();
        DebugStream stream(&CollectChunk);
        const std::string line(c.length, 'x');
        stream.WriteLine(line);
        EXPECT_EQ(ChunkSizes(), c.chunks) << "length " << c.length;
        EXPECT_EQ(Joined(), line + "\r\n") << "length " << c.length;
    }
}

TEST(DebugStream, PartialTextWaitsForLineEndOrFullBuffer) {
    g_chunks.clear();
    DebugStream stream(&CollectChunk);
    stream.Write("abc");
    EXPECT_TRUE(g_chunks.empty());
    stream.WriteLine("def");
    ASSERT_EQ(g_chunks.size(), 1u);
    EXPECT_EQ(g_chunks[0], "abcdef\r\n");

    g_chunks.clear();
    stream.Write(std::string(200, 'y'));
    EXPECT_EQ(ChunkSizes(), std::vector<size_t>({128}));
    stream.Flush();
    EXPECT_EQ(ChunkSizes(), std::vector<size_t>({128, 72}));
    stream.Flush();  // nothing left: no empty chunk
    EXPECT_EQ(g_chunks.size(), 2u);
}

int g_throwCalls = 0;
void ThrowingSink(const std::string& chunk) {
    ++g_throwCalls;
    if (chunk.find("bad") != std::string::npos) throw std::runtime_error("sink failed");
    g_chunks.push_back(chunk);
}

TEST(DebugStream, ThrowingSinkLosesOnlyItsChunk) {
    g_chunks.clear();
    g_throwCalls = 0;
    DebugStream stream(&ThrowingSink);
    stream.WriteLine("bad line");
    stream.WriteLine("good line");
    EXPECT_EQ(g_throwCalls, 2);
    ASSERT_EQ(g_chunks.size(), 1u);
    EXPECT_EQ(g_chunks[0], "good line\r\n");
}

DebugStream* g_reentered = nullptr;
void ReenteringSink(const std::string& chunk) {
    g_chunks.push_back(chunk);
    g_reentered->WriteLine("written from inside the sink");
}

TEST(DebugStream, SinkWritingLinesDoesNotRecurse) {
    g_chunks.clear();
    DebugStream stream(&ReenteringSink);
    g_reentered = &stream;
    stream.WriteLine("outer");
    stream.WriteLine("second");
    EXPECT_EQ(Joined(), "outer\r\nsecond\r\n");
}

TEST(DebugLog, TraceLineTexts) {
    DebugCapture capture;
    DebugLine("plain");
    DebugPair("ExeName", "C:\\dir\\setup.exe");
    LogException("boom", "YieldX", "");
    EXPECT_EQ(capture.Lines(), std::vector<std::string>({
                                   "plain",
                                   "[ExeName]  [C:\\dir\\setup.exe]",
                                   " ---  [ Method = YieldX ]  [ ErrMsg = boom ] ",
                               }));
}

TEST(DebugLog, ExceptionRecordLeavesOutEmptyFields) {
    struct Case {
        const char* message;
        const char* method;
        const char* remark;
        const char* record;
    };
    const Case cases[] = {
        {"bad image", "Utils.GetExeVersion()", "", " ---  [ Method = Utils.GetExeVersion() ]  [ ErrMsg = bad image ] "},
        {"e", "M", "R", " ---  [ Method = M ]  [ Remark = R ]  [ ErrMsg = e ] "},
        {"only message", "", "", " ---  [ ErrMsg = only message ] "},
        {"", "", "", " --- "},
    };
    for (const Case& c : cases) EXPECT_EQ(ExceptionRecordText(c.message, c.method, c.remark), c.record);
}

TEST(DebugLog, LinesFromManyThreadsStayWhole) {
    DebugCapture capture;
    constexpr int kThreads = 4;
    constexpr int kLines = 150;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([t] {
            for (int i = 0; i < kLines; ++i) {
                // Lengths around and above the buffer size, so that lines span several chunks.
                const std::string body(static_cast<size_t>((i * 37) % 300), static_cast<char>('a' + t));
                DebugLine("T" + std::to_string(t) + "#" + std::to_string(i) + ":" + body);
            }
        });
    }
    for (std::thread& th : threads) th.join();

    for (const std::string& chunk : capture.Chunks()) EXPECT_LE(chunk.size(), kDebugChunkSize);
    const std::vector<std::string> lines = capture.Lines();
    ASSERT_EQ(lines.size(), static_cast<size_t>(kThreads * kLines));
    std::vector<int> next(kThreads, 0);
    for (const std::string& line : lines) {
        const int t = line.at(1) - '0';
        ASSERT_TRUE(t >= 0 && t < kThreads) << line;
        const int i = next[t]++;
        const std::string body(static_cast<size_t>((i * 37) % 300), static_cast<char>('a' + t));
        EXPECT_EQ(line, "T" + std::to_string(t) + "#" + std::to_string(i) + ":" + body);
    }
}

TEST(DebugLog, SinkCanBeReplacedAndRestored) {
    g_chunks.clear();
    const DebugSink before = SetDebugSink(&CollectChunk);
    DebugLine("to the collector");
    EXPECT_EQ(SetDebugSink(before), &CollectChunk);
    EXPECT_EQ(Joined(), "to the collector\r\n");
    EXPECT_EQ(SetDebugSink(nullptr), before);  // nullptr restores the standard receiver
    EXPECT_EQ(SetDebugSink(before), &DebugOut);
}

TEST(LineBreaks, EveryKindBecomesCrLf) {
    const std::pair<std::string, std::string> cases[] = {
        {"a\nb", "a\r\nb"},
        {"a\rb", "a\r\nb"},
        {"a\r\nb", "a\r\nb"},
        {"\n\n", "\r\n\r\n"},
        {"\r\r\n\n", "\r\n\r\n\r\n"},
        {"no breaks", "no breaks"},
        {"", ""},
    };
    for (const auto& c : cases) EXPECT_EQ(NormalizeLineBreaks(c.first), c.second);
}

TEST(LineBreaks, CrLfSplitBetweenChunksStaysOneBreak) {
    LineBreakNormalizer n;
    std::string out = n.Feed("line\r");
    out += n.Feed("\nnext\n");
    out += n.Feed("\n");
    EXPECT_EQ(out, "line\r\nnext\r\n\r\n");
}

TEST(DebugOutput, ModeDecidesWhetherTheDebugFileIsWritten) {
    const fs::path file = TempFile("mode.txt");
    for (int mode : {0, 3, -1}) {
        DeliverDebugChunk(mode, "x\n", file.string());
        EXPECT_FALSE(fs::exists(file)) << "mode " << mode;
    }
    DeliverDebugChunk(1, "one\ntwo\n", file.string());
    DeliverDebugChunk(2, "three\r", file.string());
    EXPECT_EQ(ReadAll(file), "one\r\ntwo\r\nthree\r\n");
    fs::remove(file);
}

const std::string* g_debugFile = nullptr;
void FileSink(const std::string& chunk) { DeliverDebugChunk(1, chunk, *g_debugFile); }

TEST(DebugOutput, LinesThroughTheStreamKeepTheirBreaksInTheDebugFile) {
    const fs::path file = TempFile("stream.txt");
    const std::string path = file.string();
    g_debugFile = &path;
    DebugStream stream(&FileSink);
    const std::string line127(127, 'q');  // its CR and LF land in different chunks
    stream.WriteLine(line127);
    stream.WriteLine("a\nb");
    EXPECT_EQ(ReadAll(file), line127 + "\r\n" + "a\r\nb\r\n");
    fs::remove(file);
}

TEST(RunLog, FileNameRule) {
    const std::pair<std::string, std::string> cases[] = {
        {"C:\\dir\\setup.exe", "C:\\dir\\X_setup.log"},
        {"C:\\dir\\X_setup.exe", "C:\\dir\\X_setup.log"},
        {"C:\\dir\\x_setup.exe", "C:\\dir\\X_x_setup.log"},
        {"x_setup.exe", "X_x_setup.log"},
        {"C:\\a.b\\setup", "C:\\a.b\\X_setup.log"},
        {"C:\\dir\\my.setup.exe", "C:\\dir\\X_my.setup.log"},
        {"/opt/app/tool.bin", "/opt/app/X_tool.log"},
        {"", ""},
    };
    for (const auto& c : cases) EXPECT_EQ(RunLogFileNameFor(c.first), c.second) << c.first;
}

TEST(RunLog, LineLayout) {
    EXPECT_EQ(RunLogLine("06/12/26 14:05:09", 42, "   ", "step"), "06/12/26 14:05:09    42   step");
    EXPECT_EQ(RunLogLine("06/12/26 14:05:09", 1234567, " X ", "step"), "06/12/26 14:05:09 1234567 X step");
}

TEST(RunLog, WritesOnlyWhenEnabled) {
    const std::string path = RunLogFileName();
    ASSERT_FALSE(path.empty());
    ASSERT_NE(path.find("X_debuglog_test.log"), std::string::npos) << path;
    std::remove(path.c_str());

    SetRunLogEnabled(false);
    RunLog("not written");
    EXPECT_FALSE(fs::exists(path));

    SetRunLogEnabled(true);
    RunLog("first step");
    SetRunLogIndent(" X ");
    RunLog("second step");
    SetRunLogIndent("   ");
    SetRunLogEnabled(false);

    const std::string text = ReadAll(path);
    const std::string stamp = "\\d\\d\\D\\d\\d\\D\\d\\d \\d\\d\\D\\d\\d\\D\\d\\d";
    const std::regex layout(stamp + " ( *\\d+)   first step\r\n" + stamp + " ( *\\d+) X second step\r\n");
    std::smatch m;
    ASSERT_TRUE(std::regex_match(text, m, layout)) << text;
    for (int group : {1, 2}) {
        const std::string id = m[group].str();  // right-aligned to 5; a longer id whole
        EXPECT_TRUE(id.size() == 5 || (id.size() > 5 && id[0] != ' ')) << "[" << id << "]";
    }
    EXPECT_EQ(m[1].str(), m[2].str());  // same thread
    std::remove(path.c_str());
}

}  // namespace
}  // namespace vel
