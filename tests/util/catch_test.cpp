#include <gtest/gtest.h>

#include <cstdint>
#include <stdexcept>

#include "util/Catch.h"

#if defined(__SANITIZE_ADDRESS__)
// A refused allocation is what the probe is for: let the sanitizer's allocator say no like
// the C runtime does, instead of ending the program.
extern "C" const char* __asan_default_options() { return "allocator_may_return_null=1"; }
#endif

using namespace vel;

TEST(Catch, MemoryProbeTellsPossibleFromImpossible) {
    EXPECT_TRUE(MemoryAvailable(0));
    EXPECT_TRUE(MemoryAvailable(1 << 20));
    EXPECT_FALSE(MemoryAvailable(SIZE_MAX - 65536));
}

TEST(Catch, CatchAllHandsBackTheMessage) {
    std::string seen;
    VEL_TRY {
        throw std::runtime_error("disk on fire");
    } VEL_CATCH_ALL {
        seen = CaughtText();
    }
    EXPECT_EQ(seen, "disk on fire");
    VEL_TRY {
        throw 42;
    } VEL_CATCH_ALL {
        seen = CaughtText();
    }
    EXPECT_EQ(seen, "unknown exception");
}
