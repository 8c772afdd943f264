// The walk over every record of every part, on packages made by the package writer.
#include "package/PackageWalk.h"

#include <gtest/gtest.h>

#include <functional>

#include "package/PackageWriter.h"
#include "support/PackageFixture.h"
#include "util/FileIO.h"

namespace vel {
namespace {

using testsupport::ReadWholeFile;
using testsupport::ScratchFolder;
using testsupport::WriteWholeFile;

// Writes every visitor call as one line, and can be told to say no at one of them.
struct Recorder : PackageVisitor {
    std::string log;
    std::string last;  // the last line
    std::string data;
    std::function<bool(const std::string& line)> refuse = [](const std::string&) { return false; };

    bool BeforePart(int number, const std::string& path) override {
        return Note("before " + std::to_string(number) + " " + FileNameOf(path));
    }
    bool OnPart(const PackagePart& part) override {
        return Note("part " + std::to_string(part.number) + " " + FileNameOf(part.path) +
                    (part.checksumPasses ? "" : " badsum"));
    }
    bool OnRecord(const FileRecord& rec, const RawRecord&) override { return Note("record " + rec.name); }
    void OnData(const char* p, size_t n) override { data.append(p, n); }
    std::string AfterRecord(const RawRecord&) override {
        return Note("after") ? std::string() : "refused by the visitor";
    }
    void AfterPart(const PackagePart& part, int64_t textEnd) override {
        Note("end " + std::to_string(part.number) + " " + std::to_string(textEnd));
    }

    bool Note(const std::string& line) {
        log += line + "\n";
        last = line;
        return !refuse(line);
    }
    static std::string FileNameOf(const std::string& path) { return path.substr(path.find_last_of("\\/") + 1); }
};

// File data that deflates, so that damage to its stream is found by zlib.
std::string Data(char name) { return testsupport::RandomBytes(1500, uint32_t(name)) + std::string(20000, name); }

// App.exe with parts .002 and .003: records a (part 1), b (part 2), c (part 3).
struct ThreeParts {
    ScratchFolder dir;
    std::vector<std::string> parts;
    int64_t textEnd = 0;

    ThreeParts() {
        PackageContent content;
        content.stubImage = testsupport::FakeStampedImage(600);
        content.languageBlock = "\x02\x01" "English\x01\x02";
        content.settingsList = "|||||";
        content.maxPartSize = 2500;
        PackageWriter w;
        EXPECT_EQ(w.Begin(dir.File("App.exe"), content), "");
        for (const char* name : {"a", "b", "c"})
            EXPECT_EQ(w.AddFile(FileRecord{name, false, "", 1, Data(name[0]), ""}), "");
        EXPECT_EQ(w.Finish(), "");
        parts = w.PartPaths();
        textEnd = w.TextEnd();
    }
};

TEST(WalkPackage, VisitsEveryPartAndRecordInOrder) {
    ThreeParts pkg;
    ASSERT_EQ(pkg.parts.size(), 3u);
    Recorder r;
    const WalkResult walk = WalkPackage(pkg.parts[0], r);
    EXPECT_EQ(walk.end, WalkEnd::Complete) << walk.error;
    EXPECT_EQ(walk.part, 3);
    EXPECT_EQ(r.log, "part 1 App.exe\nrecord a\nafter\nend 1 " + std::to_string(pkg.textEnd) +
                         "\nbefore 2 App.exe.002\npart 2 App.exe.002\nrecord b\nafter\nend 2 0\n"
                         "before 3 App.exe.003\npart 3 App.exe.003\nrecord c\nafter\nend 3 0\n");
    EXPECT_TRUE(r.data == Data('a') + Data('b') + Data('c'));
}

TEST(WalkPackage, EndsAtTheFirstPartOrRecordThatIsMissingRefusedOrDamaged) {
    const struct {
        const char* what;
        std::function<void(ThreeParts&)> spoil;  // done to the files before the walk
        std::string refuseAt;                    // visitor line the visitor says no to
        WalkEnd end;
        int part;
        const char* errorHas;
        const char* lastLine;                    // the last visitor call made
    } cases[] = {
        {"first part missing", [](ThreeParts& p) { RemoveFile(p.parts[0]); }, "", WalkEnd::Unreadable, 1,
         "cannot open", ""},
        {"later part missing", [](ThreeParts& p) { RemoveFile(p.parts[2]); }, "", WalkEnd::Unreadable, 3,
         "App.exe.003", "before 3 App.exe.003"},
        {"no package in a part", [](ThreeParts& p) { WriteWholeFile(p.parts[1], std::string(3000, 'z')); }, "",
         WalkEnd::NoPackage, 2, "holds no package", "part 2 App.exe.002 badsum"},
        {"record stream damaged",
         [](ThreeParts& p) {
             std::string bytes = ReadWholeFile(p.parts[1]);
             for (size_t i = 20; i < 200; ++i) bytes[i] = char(bytes[i] ^ 0x33);
             WriteWholeFile(p.parts[1], bytes);
         },
         "", WalkEnd::Damaged, 2, "App.exe.002\": record at offset 0: ", "part 2 App.exe.002 badsum"},
        {"cancelled before a part", nullptr, "before 2 App.exe.002", WalkEnd::Cancelled, 2, "", "before 2 App.exe.002"},
        {"stopped at a part", nullptr, "part 1 App.exe", WalkEnd::Stopped, 1, "", "part 1 App.exe"},
        {"record refused", nullptr, "after", WalkEnd::Damaged, 1, "refused by the visitor", "after"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ThreeParts pkg;
        if (c.spoil) c.spoil(pkg);
        Recorder r;
        r.refuse = [&](const std::string& line) { return line == c.refuseAt; };
        const WalkResult walk = WalkPackage(pkg.parts[0], r);
        EXPECT_EQ(walk.end, c.end);
        EXPECT_EQ(walk.part, c.part);
        EXPECT_EQ(walk.partPath, pkg.parts[size_t(c.part - 1)]);
        if (*c.errorHas) {
            EXPECT_NE(walk.error.find(c.errorHas), std::string::npos) << walk.error;
        } else {
            EXPECT_EQ(walk.error, "");
        }
        EXPECT_EQ(r.last, c.lastLine) << r.log;
    }
}

}  // namespace
}  // namespace vel
