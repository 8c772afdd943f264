#include "stub/WebSetup.h"

#include <gtest/gtest.h>

#include "package/ImageManifest.h"
#include "package/PackageFormat.h"
#include "support/PackageFixture.h"

namespace vel {
namespace {

TEST(WebSetup, WhereTheSetupFileIsLookedForAndFetched) {
    EXPECT_EQ(WebLocalPath("C:\\dl", "setup.exe"), "C:\\dl\\setup.exe");
    EXPECT_EQ(WebLocalPath("C:\\dl\\", "setup.exe"), "C:\\dl\\setup.exe");
    EXPECT_EQ(WebSetupUrl("http://host/files", "setup.exe"), "http://host/files/setup.exe");
    EXPECT_EQ(WebSetupUrl("http://host/files/", "setup.exe"), "http://host/files//setup.exe");  // as given
}

TEST(WebSetup, DownloadQuestionShowsTheSizeInMB) {
    const struct { const char* size; const char* text; } cases[] = {
        {"52428800", "Size: 50.0 MB"},
        {" 1536000 ", "Size: 1.46 MB"},
        {"", "Size: 0.000 MB"},
        {"12x", "Size: 0.000 MB"},
        {"$10", "Size: 0.000 MB"},  // decimal only
    };
    for (const auto& c : cases) EXPECT_EQ(DownloadQuestion("Size: <SIZE> MB", c.size), c.text) << c.size;
    EXPECT_EQ(SetupFileAlteredMessage("http://h/s.exe"),
              "The downloaded setup file is damaged or has been altered.<P><P>http://h/s.exe");
}

TEST(WebSetup, AgentImageCutsACertificateTableAndMarksTheTrailer) {
    PackageTrailer trailer;
    trailer.SetWebSetup(true);
    trailer.SetLength(kTrailerLength);
    const std::string package = testsupport::FakeStampedImage(4096) + "texts" + trailer.Serialize();
    const struct {
        const char* what;
        size_t appended;  // bytes behind the package
        bool stamped;     // the end stamp points at the end of the package
        size_t size;      // size of the image
    } cases[] = {
        {"no stamp", 0, false, package.size()},
        {"certificate table cut", 3000, true, package.size()},
        {"table of 10000 bytes kept", 10000, true, package.size() + 10000},
        {"stamp at the end", 0, true, package.size()},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::string content = package + std::string(c.appended, '\x5A');
        if (c.stamped) SetEndStamp(content, package.size());
        std::string expected = content.substr(0, c.size);
        expected[c.size - 5] = 1;
        ASSERT_TRUE(SetImageExecutionLevel(expected, ExecutionLevel::AsInvoker));
        EXPECT_TRUE(MakeWebAgentImage(content));
        EXPECT_EQ(content, expected);
        ExecutionLevel level = ExecutionLevel::RequireAdministrator;
        EXPECT_TRUE(ReadImageExecutionLevel(content, level));
        EXPECT_EQ(level, ExecutionLevel::AsInvoker);
        if (c.size == package.size()) {
            const PackageTrailer t = PackageTrailer::Parse(content.substr(content.size() - kTrailerLength));
            EXPECT_TRUE(t.IsUpdateAgent());
            EXPECT_TRUE(t.IsWebSetup());
        }
    }
    // Without a readable manifest level there is no agent image to write.
    std::string tiny = "abcde";
    EXPECT_FALSE(MakeWebAgentImage(tiny));
    EXPECT_EQ(tiny, "abcde");
    std::string plain = testsupport::FakeStampedImage(600) + "texts" + trailer.Serialize();
    EXPECT_FALSE(MakeWebAgentImage(plain));
}

}  // namespace
}  // namespace vel
