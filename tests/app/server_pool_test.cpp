// Which server an attempt goes to, on a clock the test moves by hand.
#include "app/server_pool.hpp"

#include <gtest/gtest.h>

namespace resq {
namespace {

using namespace std::chrono_literals;

TEST(server_pool, a_server_rests_after_five_failures_in_a_row_and_all_resting_are_asked_anyway) {
    const server_pool::clock::time_point start{1h};
    server_pool pool({{"192.0.2.1", {}, {}}, {"192.0.2.2", {}, {}}, {"2001:db8::3", {}, {}}});
    EXPECT_EQ(pool.widest(), 11u);
    // A reply between failures starts the count again.
    for (const bool failed : {true, true, true, true, false, true, true, true, true}) {
        EXPECT_FALSE(pool.record(0, failed, start));
    }
    EXPECT_TRUE(pool.record(0, true, start));
    EXPECT_EQ(pool.pick(0, start + 29s), 1u);
    EXPECT_EQ(pool.pick(2, start + 29s), 2u);
    EXPECT_EQ(pool.pick(0, start + 30s), 0u);
    for (const std::size_t server : {1u, 2u}) {
        for (int failure = 0; failure < 5; ++failure) {
            pool.record(server, true, start + 10s);
        }
    }
    EXPECT_EQ(pool.pick(1, start + 20s), 1u);  // every server rests
    // Asked while resting, it rests on without being named again.
    for (int failure = 0; failure < 4; ++failure) {
        pool.record(1, true, start + 20s);
    }
    EXPECT_FALSE(pool.record(1, true, start + 20s));
    EXPECT_EQ(pool.pick(1, start + 45s), 2u);  // 1 rests until 50 s, 2 until 40 s

    server_pool lone(std::vector<server_entry>{{"192.0.2.1", {}, {}}});
    for (int failure = 0; failure < 10; ++failure) {
        EXPECT_FALSE(lone.record(0, true, start));
    }
}

}  // namespace
}  // namespace resq
