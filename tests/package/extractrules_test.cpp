// Where an extraction may go, by elevation and room, and which folders an elevated run may use.
#include "package/ExtractRules.h"

#include <gtest/gtest.h>

namespace vel {
namespace {

TEST(ExtractRules, FolderChoiceByElevationAndRoom) {
    struct Case {
        bool elevated, room, roomier;
        LowRoomStep step;
    } const cases[] = {
        {false, true, false, LowRoomStep::ExtractHere},
        {false, true, true, LowRoomStep::ExtractHere},   // room enough: the temp folder
        {false, false, true, LowRoomStep::UseAlternate},
        {false, false, false, LowRoomStep::ExtractHere},  // nowhere roomier: the question decides
        {true, true, false, LowRoomStep::ExtractHere},
        {true, false, true, LowRoomStep::Refuse},         // never a drive root's folder
        {true, false, false, LowRoomStep::Refuse},
    };
    for (const Case& c : cases) {
        const ExtractFolderRules rules = ExtractFolderRulesFor(c.elevated);
        EXPECT_EQ(rules.protectedFolder, c.elevated);
        EXPECT_EQ(rules.alternateAllowed, !c.elevated);
        EXPECT_EQ(ChooseLowRoomStep(rules, c.room, c.roomier), c.step)
            << "elevated " << c.elevated << " room " << c.room << " roomier " << c.roomier;
    }
}

constexpr uint8_t kOiCi = kAceObjectInherit | kAceContainerInherit;

FolderFacts GoodFolder() {
    FolderFacts f;
    f.isDirectory = true;
    f.ownerSid = kSidAdministrators;
    f.daclPresent = true;
    f.daclProtected = true;
    f.aces = {{kAceAccessAllowed, kOiCi, kFileAllAccess, kSidSystem},
              {kAceAccessAllowed, kOiCi, kFileAllAccess, kSidAdministrators}};
    return f;
}

TEST(ExtractRules, OnlyAPlainFolderWithTheProtectedAdminAclIsUsed) {
    struct Case {
        const char* what;
        void (*change)(FolderFacts&);
        bool ok;
    } const cases[] = {
        {"as made", [](FolderFacts&) {}, true},
        {"owned by SYSTEM", [](FolderFacts& f) { f.ownerSid = kSidSystem; }, true},
        {"entries in the other order", [](FolderFacts& f) { std::swap(f.aces[0], f.aces[1]); }, true},
        {"owned by the user", [](FolderFacts& f) { f.ownerSid = "S-1-5-21-1-2-3-1001"; }, false},
        {"a junction", [](FolderFacts& f) { f.isReparsePoint = true; }, false},
        {"a file", [](FolderFacts& f) { f.isDirectory = false; }, false},
        {"inherits from temp", [](FolderFacts& f) { f.daclProtected = false; }, false},
        {"no DACL (everyone may)", [](FolderFacts& f) { f.daclPresent = false; }, false},
        {"the user added",
         [](FolderFacts& f) { f.aces.push_back({kAceAccessAllowed, kOiCi, kFileAllAccess, "S-1-5-21-1-2-3-1001"}); },
         false},
        {"Users instead of SYSTEM", [](FolderFacts& f) { f.aces[0].sid = "S-1-5-32-545"; }, false},
        {"Administrators twice", [](FolderFacts& f) { f.aces[0].sid = kSidAdministrators; }, false},
        {"read only", [](FolderFacts& f) { f.aces[1].mask = 0x1200A9; }, false},
        {"not inherited by files", [](FolderFacts& f) { f.aces[1].flags = kAceContainerInherit; }, false},
        {"inherit only", [](FolderFacts& f) { f.aces[0].flags = kOiCi | 0x8; }, false},
        {"a deny entry", [](FolderFacts& f) { f.aces[0].type = 1; }, false},
    };
    for (const Case& c : cases) {
        FolderFacts f = GoodFolder();
        c.change(f);
        std::string why;
        EXPECT_EQ(IsProtectedExtractFolder(f, true, why), c.ok) << c.what << ": " << why;
        EXPECT_EQ(why.empty(), c.ok) << c.what;
    }
}

TEST(ExtractRules, WithoutKeptSecurityOnlyAPlainFolderCanBeAskedFor) {
    struct Case {
        bool directory, reparse, ok;
    } const cases[] = {{true, false, true}, {true, true, false}, {false, false, false}};
    for (const Case& c : cases) {
        FolderFacts f;  // what Wine reports: the user's made-up owner and access list
        f.isDirectory = c.directory;
        f.isReparsePoint = c.reparse;
        f.ownerSid = "S-1-5-21-0-0-0-1000";
        f.daclPresent = true;
        std::string why;
        EXPECT_EQ(IsProtectedExtractFolder(f, false, why), c.ok) << c.directory << c.reparse << ": " << why;
        EXPECT_FALSE(IsProtectedExtractFolder(f, true, why));
    }
}

}  // namespace
}  // namespace vel
