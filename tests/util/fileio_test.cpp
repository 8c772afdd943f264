// Binary file layer: modes, 64-bit offsets, partial reads and atomic replacement.
#include "util/FileIO.h"

#include <gtest/gtest.h>

#include "support/PackageFixture.h"

namespace vel {
namespace {

using testsupport::ReadWholeFile;
using testsupport::ScratchFolder;
using testsupport::WriteWholeFile;

TEST(BinaryFile, ModesReadWriteAndPatch) {
    ScratchFolder dir;
    const std::string path = dir.File("f.bin");
    BinaryFile f;
    EXPECT_FALSE(f.OpenRead(path));
    EXPECT_FALSE(f.OpenUpdate(path));
    ASSERT_TRUE(f.OpenAppend(path));  // created when missing
    ASSERT_TRUE(f.Write("hello"));
    ASSERT_TRUE(f.Close());
    ASSERT_TRUE(f.OpenAppend(path));
    EXPECT_EQ(f.Size(), 5);
    ASSERT_TRUE(f.Write(" world"));
    ASSERT_TRUE(f.Close());
    EXPECT_EQ(ReadWholeFile(path), "hello world");

    ASSERT_TRUE(f.OpenUpdate(path));
    ASSERT_TRUE(f.Seek(6));
    ASSERT_TRUE(f.Write("W"));
    char buf[4] = {};
    EXPECT_EQ(f.Read(buf, 4), 4u);  // reading right after writing continues behind it
    EXPECT_EQ(std::string(buf, 4), "orld");
    EXPECT_EQ(f.Read(buf, 4), 0u);
    ASSERT_TRUE(f.Seek(0));
    ASSERT_TRUE(f.Write("J"));
    EXPECT_EQ(f.Position(), 1);
    EXPECT_EQ(f.Size(), 11);
    EXPECT_EQ(f.Position(), 1);  // Size keeps the position
    EXPECT_FALSE(f.Seek(-1));
    ASSERT_TRUE(f.Close());
    EXPECT_EQ(ReadWholeFile(path), "Jello World");

    ASSERT_TRUE(f.Create(path));  // empties it
    EXPECT_EQ(f.Size(), 0);
    f.Close();
    EXPECT_EQ(ReadWholeFile(path), "");

    ASSERT_TRUE(f.OpenRead(path));
    EXPECT_FALSE(f.Write("x"));
    EXPECT_FALSE(f.ReadExact(buf, 1));
}

TEST(BinaryFile, OffsetsBeyondFourGigabytes) {
    ScratchFolder dir;
    const std::string path = dir.File("sparse.bin");
    const int64_t far = (int64_t(5) << 30) + 7;
    {
        BinaryFile f;
        ASSERT_TRUE(f.Create(path));
        if (!f.Seek(far) || !f.Write("tail")) GTEST_SKIP() << "no room for a sparse 5 GiB file";
        EXPECT_EQ(f.Position(), far + 4);
        EXPECT_EQ(f.Size(), far + 4);
    }
    BinaryFile f;
    ASSERT_TRUE(f.OpenRead(path));
    EXPECT_EQ(f.Size(), far + 4);
    ASSERT_TRUE(f.Seek(far + 1));
    char buf[8] = {};
    EXPECT_EQ(f.Read(buf, 8), 3u);
    EXPECT_EQ(std::string(buf, 3), "ail");
    f.Close();
    EXPECT_EQ(ReadFileBytes(path, far, 100), "tail");
}

TEST(ReadFileBytes, ReadsWhatLiesInTheFile) {
    ScratchFolder dir;
    const std::string path = dir.File("r.bin");
    ASSERT_TRUE(WriteWholeFile(path, std::string("0123456789")));
    const struct { int64_t offset; size_t count; const char* want; } cases[] = {
        {0, 4, "0123"}, {7, 100, "789"}, {9, 1, "9"}, {10, 1, ""}, {11, 1, ""}, {-1, 5, ""}, {3, 0, ""},
    };
    for (const auto& c : cases) EXPECT_EQ(ReadFileBytes(path, c.offset, c.count), c.want) << c.offset;
    EXPECT_EQ(ReadFileBytes(dir.File("missing"), 0, 5), "");
    EXPECT_TRUE(FileExists(path));
    EXPECT_FALSE(FileExists(dir.Path()));  // a folder is not a file
    EXPECT_FALSE(FileExists(dir.File("missing")));
    EXPECT_FALSE(FileExists(""));
}

TEST(WriteFileAtomic, ReplacesWholeAndLeavesNoTemporary) {
    ScratchFolder dir;
    const std::string path = dir.File("out.bin");
    ASSERT_TRUE(WriteFileAtomic(path, std::string(5000, 'a')));
    ASSERT_TRUE(WriteFileAtomic(path, std::string("b\0c", 3)));
    EXPECT_EQ(ReadWholeFile(path), std::string("b\0c", 3));
    EXPECT_EQ(dir.Names(), std::vector<std::string>{"out.bin"});
    ASSERT_TRUE(WriteFileAtomic(path, ""));
    EXPECT_EQ(ReadWholeFile(path), "");
    EXPECT_FALSE(WriteFileAtomic(dir.File("missing/out.bin"), "x"));
    EXPECT_FALSE(WriteFileAtomic("", "x"));
    EXPECT_EQ(dir.Names(), std::vector<std::string>{"out.bin"});
}

}  // namespace
}  // namespace vel
