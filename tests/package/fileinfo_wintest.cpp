// The space check's drive query: entry for the drive's cluster size, entry 0 when it cannot be asked.
#include "package/FileInfo_win.h"

#include <windows.h>

#include <gtest/gtest.h>

#include "package/FileInfo.h"
#include "package/PackageWriter.h"
#include "support/PackageFixture.h"

namespace vel {
namespace {

TEST(SpaceNeeded, UsesTheClusterSizeOfThePathsDrive) {
    testsupport::ScratchFolder dir;
    const std::string path = dir.File("p.001");
    PackageContent content;
    content.languageBlock = "L";
    content.settingsList = "S";
    PackageWriter w;
    ASSERT_EQ(w.Begin(path, content), "");
    // One 1-byte file: entry i is one cluster of 256 * 2^i bytes, entry 0 the byte itself.
    ASSERT_EQ(w.AddFile(FileRecord{"a", false, "", 0, "x", ""}), "");
    ASSERT_EQ(w.Finish(), "");
    const TGFileInfo info(path);
    ASSERT_TRUE(info.TextsRead());

    DWORD spc = 0, bps = 0, freeClusters = 0, total = 0;
    ASSERT_TRUE(GetDiskFreeSpaceA("C:\\", &spc, &bps, &freeClusters, &total));
    const double cluster = double(spc) * bps;
    ASSERT_GE(cluster, 512.0);
    ASSERT_LE(cluster, 65536.0);
    EXPECT_EQ(SpaceNeeded(info, "C:\\some\\folder"), cluster);
    // A drive letter that does not exist cannot be queried.
    char missing = 0;
    for (char d = 'Z'; d > 'C' && !missing; --d)
        if (GetDriveTypeA((std::string(1, d) + ":\\").c_str()) == DRIVE_NO_ROOT_DIR) missing = d;
    ASSERT_NE(missing, 0);
    EXPECT_EQ(SpaceNeeded(info, std::string(1, missing) + ":\\x"), 1.0);
    EXPECT_EQ(SpaceNeeded(info, ""), 1.0);
}

}  // namespace
}  // namespace vel
