// The system's SHA-256 (CryptoAPI) against the portable one, on files from empty to several
// megabytes, and the refusals: a missing file, a file someone is writing.
#include <windows.h>

#include <gtest/gtest.h>

#include "support/PackageFixture.h"
#include "util/Sha256.h"
#include "util/WinHandles.h"

namespace vel {
namespace {

using testsupport::RandomBytes;
using testsupport::ScratchFolder;
using testsupport::WriteWholeFile;

TEST(SystemSha256, AgreesWithThePortableHash) {
    ScratchFolder dir;
    const struct {
        const char* name;
        std::string bytes;
    } files[] = {
        {"empty.bin", ""},
        {"abc.txt", "abc"},
        {"block.bin", RandomBytes(64, 1)},
        {"odd.bin", RandomBytes(65536 * 3 + 55, 2)},
        {"big.bin", RandomBytes(9 * 1024 * 1024 + 3, 3)},
    };
    for (const auto& f : files) {
        const std::string path = dir.File(f.name);
        ASSERT_TRUE(WriteWholeFile(path, f.bytes));
        const std::string system = SystemSha256FileHex(path);
        EXPECT_EQ(system, Sha256FileHex(path)) << f.name;
        EXPECT_EQ(system, Sha256Hex(f.bytes)) << f.name;
        EXPECT_EQ(SystemSha256Hex(f.bytes), system) << f.name;  // the same bytes from memory
    }
    EXPECT_EQ(SystemSha256FileHex(dir.File("abc.txt")),
              "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");

    // The caller's hook runs once per megabyte.
    int calls = 0;
    EXPECT_EQ(SystemSha256FileHex(dir.File("big.bin"), [&] { ++calls; }), Sha256FileHex(dir.File("big.bin")));
    EXPECT_EQ(calls, 9);
}

TEST(SystemSha256, RefusesMissingAndBusyFiles) {
    ScratchFolder dir;
    EXPECT_EQ(SystemSha256FileHex(dir.File("missing.exe")), "");

    const std::string path = dir.File("busy.exe");
    ASSERT_TRUE(WriteWholeFile(path, "setup"));
    {
        // Someone holds it open for writing: what is hashed could still change.
        ScopedHandle writer(CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                        OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(writer.valid());
        EXPECT_EQ(SystemSha256FileHex(path), "");
    }
    EXPECT_EQ(SystemSha256FileHex(path), Sha256Hex("setup"));
}

}  // namespace
}  // namespace vel
