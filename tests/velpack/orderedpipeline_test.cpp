// The parallel compression pipeline: results in submission order, bounded memory, failures stop it.
#include "OrderedPipeline.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <random>

namespace vel {
namespace {

using Pipe = OrderedPipeline<int, int>;

TEST(OrderedPipeline, DeliversInOrderWithBoundedItemsInFlight) {
    for (int threads : {1, 4}) {
        std::vector<int> got;
        std::atomic<int> inFlight{0};
        int maxSeen = 0;
        Pipe pipe(
            threads, 6,
            [](int& in, int& out, std::string&) {
                // Uneven work so that later items often finish first.
                std::this_thread::sleep_for(std::chrono::microseconds((in * 7919) % 500));
                out = in * 2;
                return true;
            },
            [&](int& out, std::string&) {
                got.push_back(out);
                --inFlight;
                return true;
            });
        for (int i = 0; i < 300; ++i) {
            ASSERT_TRUE(pipe.Submit(i));
            maxSeen = std::max(maxSeen, ++inFlight);
        }
        ASSERT_TRUE(pipe.Finish());
        ASSERT_EQ(got.size(), 300u);
        for (int i = 0; i < 300; ++i) ASSERT_EQ(got[size_t(i)], i * 2);
        EXPECT_LE(maxSeen, int(pipe.MaxInFlight()));
        EXPECT_EQ(pipe.Threads(), threads);
    }
}

TEST(OrderedPipeline, AFailureStopsThePipeline) {
    const struct {
        bool failInWork;
        const char* error;
    } cases[] = {{true, "item 40 broke"}, {false, "disk full"}};
    for (const auto& c : cases) {
        std::vector<int> got;
        Pipe pipe(
            2, 4,
            [&](int& in, int& out, std::string& error) {
                if (c.failInWork && in == 40) {
                    error = "item 40 broke";
                    return false;
                }
                out = in;
                return true;
            },
            [&](int& out, std::string& error) {
                if (!c.failInWork && out == 40) {
                    error = "disk full";
                    return false;
                }
                got.push_back(out);
                return true;
            });
        bool ok = true;
        for (int i = 0; i < 1000 && ok; ++i) ok = pipe.Submit(i);
        if (ok) ok = pipe.Finish();
        EXPECT_FALSE(ok);
        EXPECT_EQ(pipe.Error(), c.error);
        // Results in order and nothing from the failed item on; a failing consumer saw all before it.
        if (c.failInWork) EXPECT_LE(got.size(), 40u);
        else EXPECT_EQ(got.size(), 40u);
        for (size_t i = 0; i < got.size(); ++i) EXPECT_EQ(got[i], int(i));
    }
}

}  // namespace
}  // namespace vel
