// The execution level of an image's manifest: found through the PE resource directory of 32- and
// 64-bit images, read and rewritten in place; damaged and hostile images refused.
#include "package/ImageManifest.h"

#include <gtest/gtest.h>

#include <functional>

#include "support/PackageFixture.h"
#include "support/PeFixture.h"

namespace vel {
namespace {

using testsupport::MakeTinyPe;
using testsupport::ManifestWithLevel;
using testsupport::PutLE32;
using testsupport::TinyPe;

ExecutionLevel LevelOf(const std::string& image) {
    ExecutionLevel level = ExecutionLevel::HighestAvailable;
    EXPECT_TRUE(ReadImageExecutionLevel(image, level));
    return level;
}

TEST(ImageManifest, LevelIsReadAndRewrittenInBothImageKinds) {
    for (const bool pe64 : {false, true}) {
        SCOPED_TRACE(pe64 ? "PE32+" : "PE32");
        const TinyPe pe = MakeTinyPe(pe64, ManifestWithLevel("requireAdministrator"), 1024);
        size_t at = 0, size = 0;
        ASSERT_TRUE(FindImageManifest(pe.image, at, size));
        EXPECT_EQ(at, pe.manifest);
        EXPECT_EQ(size, ManifestWithLevel("requireAdministrator").size());
        EXPECT_EQ(LevelOf(pe.image), ExecutionLevel::RequireAdministrator);

        std::string user = pe.image;
        ASSERT_TRUE(SetImageExecutionLevel(user, ExecutionLevel::AsInvoker));
        ASSERT_EQ(user.size(), pe.image.size());
        EXPECT_EQ(LevelOf(user), ExecutionLevel::AsInvoker);
        // Only the attribute changed: padded with blanks inside the tag.
        const std::string text = user.substr(at, size);
        EXPECT_NE(text.find("<requestedExecutionLevel level=\"asInvoker\"            uiAccess=\"false\"/>"),
                  std::string::npos)
            << text;
        EXPECT_EQ(user.substr(0, at), pe.image.substr(0, at));
        EXPECT_EQ(user.substr(at + size), pe.image.substr(at + size));

        // And back: the padding is room for the longest value.
        std::string admin = user;
        ASSERT_TRUE(SetImageExecutionLevel(admin, ExecutionLevel::RequireAdministrator));
        EXPECT_EQ(admin, pe.image);
        ASSERT_TRUE(SetImageExecutionLevel(admin, ExecutionLevel::HighestAvailable));
        EXPECT_EQ(LevelOf(admin), ExecutionLevel::HighestAvailable);
    }
}

TEST(ImageManifest, StubManifestTextReadsAsAdministratorAndTurnsToUser) {
    const std::string text = testsupport::ReadWholeFile(VEL_STUB_MANIFEST);
    ASSERT_FALSE(text.empty());
    ExecutionLevel level = ExecutionLevel::AsInvoker;
    ASSERT_TRUE(ReadManifestLevel(text, level));
    EXPECT_EQ(level, ExecutionLevel::RequireAdministrator);
    std::string changed = text;
    ASSERT_TRUE(WriteManifestLevel(changed, ExecutionLevel::AsInvoker));
    EXPECT_EQ(changed.size(), text.size());
    ASSERT_TRUE(ReadManifestLevel(changed, level));
    EXPECT_EQ(level, ExecutionLevel::AsInvoker);
    // The same manifest in a 64-bit image, in place of the small one.
    const TinyPe pe = MakeTinyPe(true, text);
    EXPECT_EQ(LevelOf(pe.image), ExecutionLevel::RequireAdministrator);
}

TEST(ImageManifest, ManifestTexts) {
    const struct {
        const char* what;
        std::string text;
        bool readable;
        ExecutionLevel level;
    } cases[] = {
        {"single quotes", "<a><requestedExecutionLevel level='asInvoker'/></a>", true, ExecutionLevel::AsInvoker},
        {"blanks around =", "<a><requestedExecutionLevel uiAccess=\"false\"\n level = \"highestAvailable\" /></a>", true,
         ExecutionLevel::HighestAvailable},
        {"namespace prefix", "<a><v3:requestedExecutionLevel level=\"requireAdministrator\"></v3:requestedExecutionLevel></a>",
         true, ExecutionLevel::RequireAdministrator},
        {"commented-out element ignored",
         "<?xml version=\"1.0\"?><a><!-- <requestedExecutionLevel level=\"asInvoker\"/> -->"
         "<requestedExecutionLevel level=\"requireAdministrator\"/></a>",
         true, ExecutionLevel::RequireAdministrator},
        {"no element", "<a><requestedPrivileges/></a>", false, ExecutionLevel::AsInvoker},
        {"element without level", "<a><requestedExecutionLevel uiAccess=\"false\"/></a>", false, ExecutionLevel::AsInvoker},
        {"only a look-alike attribute", "<a><requestedExecutionLevel xlevel=\"asInvoker\"/></a>", false,
         ExecutionLevel::AsInvoker},
        {"two elements", "<a><requestedExecutionLevel level=\"asInvoker\"/><requestedExecutionLevel level=\"asInvoker\"/></a>",
         false, ExecutionLevel::AsInvoker},
        {"two level attributes", "<a><requestedExecutionLevel level=\"asInvoker\" level=\"asInvoker\"/></a>", false,
         ExecutionLevel::AsInvoker},
        {"value in other case", "<a><requestedExecutionLevel level=\"RequireAdministrator\"/></a>", false,
         ExecutionLevel::AsInvoker},
        {"unknown value", "<a><requestedExecutionLevel level=\"root\"/></a>", false, ExecutionLevel::AsInvoker},
        {"unclosed value", "<a><requestedExecutionLevel level=\"asInvoker/></a>", false, ExecutionLevel::AsInvoker},
        {"unclosed tag", "<a><requestedExecutionLevel level=\"asInvoker\"", false, ExecutionLevel::AsInvoker},
        {"unclosed comment before it", "<a><!-- <requestedExecutionLevel level=\"asInvoker\"/>", false,
         ExecutionLevel::AsInvoker},
        {"UTF-16 text", std::string("<\0r\0e\0", 6), false, ExecutionLevel::AsInvoker},
        {"empty", "", false, ExecutionLevel::AsInvoker},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ExecutionLevel level = ExecutionLevel::AsInvoker;
        ASSERT_EQ(ReadManifestLevel(c.text, level), c.readable);
        if (c.readable) {
            EXPECT_EQ(level, c.level);
        }
        std::string written = c.text;
        // Unreadable texts are left alone.
        if (!c.readable) {
            EXPECT_FALSE(WriteManifestLevel(written, ExecutionLevel::AsInvoker));
            EXPECT_EQ(written, c.text);
        }
    }
}

// The element with these attributes (and the tag's end) inside a root element.
std::string Element(const std::string& rest) { return "<a><requestedExecutionLevel " + rest + "</a>"; }

TEST(ImageManifest, RewriteKeepsSizeAndRefusesWhatDoesNotFit) {
    const struct {
        const char* what;
        const char* before;
        ExecutionLevel to;
        bool fits;
        const char* after;
    } cases[] = {
        {"shorter value before another attribute", "level=\"requireAdministrator\" uiAccess=\"false\"/>",
         ExecutionLevel::AsInvoker, true, "level=\"asInvoker\"            uiAccess=\"false\"/>"},
        {"shorter value at the tag's end", "level=\"requireAdministrator\"/>", ExecutionLevel::AsInvoker, true,
         "level=\"asInvoker\"           />"},
        {"longer value into padding", "level=\"asInvoker\"           />", ExecutionLevel::RequireAdministrator, true,
         "level=\"requireAdministrator\"/>"},
        {"longer value without padding", "level=\"asInvoker\"/>", ExecutionLevel::RequireAdministrator, false,
         "level=\"asInvoker\"/>"},
        {"longer value that would touch the next attribute", "level=\"asInvoker\"           uiAccess=\"false\"/>",
         ExecutionLevel::RequireAdministrator, false, "level=\"asInvoker\"           uiAccess=\"false\"/>"},
        {"single quotes become double", "level='asInvoker' >", ExecutionLevel::AsInvoker, true,
         "level=\"asInvoker\" >"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::string text = Element(c.before);
        EXPECT_EQ(WriteManifestLevel(text, c.to), c.fits);
        EXPECT_EQ(text, Element(c.after));
        ExecutionLevel level = ExecutionLevel::HighestAvailable;
        ASSERT_TRUE(ReadManifestLevel(text, level));
        if (c.fits) {
            EXPECT_EQ(level, c.to);
        }
    }
}

TEST(ImageManifest, TruncatedImagesAreRefusedAtEveryLength) {
    for (const bool pe64 : {false, true}) {
        const TinyPe pe = MakeTinyPe(pe64, ManifestWithLevel("asInvoker"));
        const size_t end = pe.manifest + ManifestWithLevel("asInvoker").size();
        for (size_t n = 0; n < end; ++n) {
            const std::string cut = pe.image.substr(0, n);
            size_t at = 0, size = 0;
            ASSERT_FALSE(FindImageManifest(cut, at, size)) << (pe64 ? "PE32+ " : "PE32 ") << n << " bytes";
        }
    }
}

TEST(ImageManifest, DamagedAndHostileImagesAreRefused) {
    using testsupport::kTinyDataEntry;
    using testsupport::kTinyLanguageDir;
    using testsupport::kTinyNameDir;
    // Offsets of a directory's first entry (id, then offset field) relative to the section.
    const size_t rootEntry = 16, nameEntry = kTinyNameDir + 16, languageEntry = kTinyLanguageDir + 16;
    const struct {
        const char* what;
        std::function<void(TinyPe&)> change;
    } cases[] = {
        {"no MZ", [](TinyPe& p) { p.image[0] = 'X'; }},
        {"PE header offset past the end", [](TinyPe& p) { PutLE32(p.image, 0x3C, 0xFFFFFFF0u); }},
        {"PE header offset near the end", [](TinyPe& p) { PutLE32(p.image, 0x3C, uint32_t(p.image.size() - 8)); }},
        {"unknown optional header kind", [](TinyPe& p) { p.image[p.optionalHeader] = 0x07; }},
        {"optional header larger than the file", [](TinyPe& p) { p.image[276] = char(0xFF); p.image[277] = char(0xFF); }},
        {"too few data directories", [](TinyPe& p) { PutLE32(p.image, p.resourceDirEntry - 16 - 4, 2); }},
        {"no resource directory", [](TinyPe& p) { PutLE32(p.image, p.resourceDirEntry, 0); }},
        {"section count past the end", [](TinyPe& p) { p.image[262] = char(0xFF); p.image[263] = char(0xFF); }},
        {"no sections", [](TinyPe& p) { p.image[262] = 0; }},
        {"section data past the end", [](TinyPe& p) { PutLE32(p.image, p.sectionHeader + 20, 0xFFFFFF00u); }},
        {"section size wraps around",
         [](TinyPe& p) {
             PutLE32(p.image, p.sectionHeader + 16, 0xFFFFFFFFu);
             PutLE32(p.image, p.resourceDirEntry + 4, 0xFFFFFFFFu);
             PutLE32(p.image, p.resources + 72, 0xFFFFFF00u);
         }},
        {"resource size smaller than its directories", [](TinyPe& p) { PutLE32(p.image, p.resourceDirEntry + 4, 40); }},
        {"entry count past the section",
         [](TinyPe& p) { p.image[p.resources + 12] = char(0xFF); p.image[p.resources + 13] = char(0xFF); }},
        {"type directory offset past the section",
         [=](TinyPe& p) { PutLE32(p.image, p.resources + rootEntry + 4, 0xFFFFFFF0u); }},
        {"no manifest type", [=](TinyPe& p) { PutLE32(p.image, p.resources + rootEntry, 16); }},
        {"manifest type given as data", [=](TinyPe& p) { PutLE32(p.image, p.resources + rootEntry + 4, kTinyDataEntry); }},
        {"manifest under another name", [=](TinyPe& p) { PutLE32(p.image, p.resources + nameEntry, 2); }},
        {"name directory loops to the root",
         [=](TinyPe& p) { PutLE32(p.image, p.resources + rootEntry + 4, 0x80000000u); }},
        {"language directory loops to the root",
         [=](TinyPe& p) { PutLE32(p.image, p.resources + nameEntry + 4, 0x80000000u); }},
        {"language entry loops to its own directory",
         [=](TinyPe& p) { PutLE32(p.image, p.resources + languageEntry + 4, 0x80000000u | kTinyLanguageDir); }},
        {"two languages", [=](TinyPe& p) { p.image[p.resources + kTinyLanguageDir + 14] = 2; }},
        {"two manifest types",
         [=](TinyPe& p) {
             p.image[p.resources + 14] = 2;
             PutLE32(p.image, p.resources + 24, 24);  // the name directory's header read as a second entry
         }},
        {"manifest data past the end", [=](TinyPe& p) { PutLE32(p.image, p.resources + kTinyDataEntry + 4, 0x7FFFFFFF); }},
        {"manifest data at a wrapping address",
         [=](TinyPe& p) { PutLE32(p.image, p.resources + kTinyDataEntry, 0xFFFFFFF0u); }},
        {"empty manifest", [=](TinyPe& p) { PutLE32(p.image, p.resources + kTinyDataEntry + 4, 0); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        for (const bool pe64 : {false, true}) {
            TinyPe pe = MakeTinyPe(pe64, ManifestWithLevel("asInvoker"));
            c.change(pe);
            size_t at = 0, size = 0;
            EXPECT_FALSE(FindImageManifest(pe.image, at, size)) << (pe64 ? "PE32+" : "PE32");
            const std::string before = pe.image;
            EXPECT_FALSE(SetImageExecutionLevel(pe.image, ExecutionLevel::RequireAdministrator));
            EXPECT_EQ(pe.image, before);
        }
    }
}

}  // namespace
}  // namespace vel
