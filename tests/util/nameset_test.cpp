#include <gtest/gtest.h>

#include <set>
#include <string>

#include "util/NameSet.h"

using namespace vel;

// Against the library's set over many inserts (growth moves every entry), repeats, near-equal
// texts and the empty text.
TEST(NameSet, AgreesWithTheLibrarySet) {
    NameSet set;
    std::set<std::string> model;
    EXPECT_FALSE(set.Contains(""));
    for (int round = 0; round < 3; ++round) {
        for (int i = 0; i < 5000; ++i) {
            const std::string text = i % 7 == 0 ? std::string() : "C:\\DIR\\FILE" + std::to_string(i * 31 % 4099);
            EXPECT_EQ(set.Insert(text), model.insert(text).second) << text;
        }
        EXPECT_EQ(set.Size(), model.size());
        for (int i = 0; i < 5000; ++i) {
            const std::string text = "C:\\DIR\\FILE" + std::to_string(i);
            EXPECT_EQ(set.Contains(text), model.count(text) == 1) << text;
            EXPECT_FALSE(set.Contains(text + " "));
        }
        EXPECT_TRUE(set.Contains(""));
        set.Clear();
        model.clear();
        EXPECT_FALSE(set.Contains("C:\\DIR\\FILE0"));
        EXPECT_EQ(set.Size(), 0u);
    }
}
