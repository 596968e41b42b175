// The event loop on a clock the test moves by hand, against the scripted responder on port 53 of
// a loopback address (many attempts at once are the end-to-end tests' concurrent batches). Run
// through tests/tools/netns_run.sh, like the exchange tests.
#include "dns/exchange_loop.hpp"

#include <chrono>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>

#include "dns/query_builder.hpp"
#include "tools/responder/responder.hpp"

namespace resq {
namespace {

using namespace std::chrono_literals;

// Deadlines are judged on the loop's clock, here moved by hand; whether a reply came in time is
// judged by when it arrived. A reply that waits on the socket when the deadline is judged is still
// taken; one that arrived after the deadline is not, even when the loop reads it first.
TEST(exchange_loop_on_a_hand_moved_clock,
     judges_replies_by_their_arrival_not_by_when_they_are_read) {
    test_tools::responder server;
    if (!server.open("127.0.0.21", dns_port)) {
        GTEST_SKIP() << server.error() << ": run inside tests/tools/netns_run.sh";
    }
    server.start();
    exchange_loop::clock::time_point now{std::chrono::hours(1)};
    exchange_loop loop([&now] { return now; });
    const struct {
        const char* name;
        std::chrono::milliseconds timeout, real_wait, clock_moved;
        bool success;
        uint32_t discarded;
    } cases[] = {
        {"www.demo.example", 1000ms, 100ms, 5000ms, true, 0},   // read after its deadline
        {"a.wrongid-first.test", 1000ms, 300ms, 0ms, true, 1},  // another id comes first
        {"d.late.test", 300ms, 1700ms, 0ms, false, 0},          // came 1.5 s after the query
        {"e.silent.test", 300ms, 0ms, 300ms, false, 0},         // the clock alone ends it
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        dns_record query;
        dns_exchange attempt;
        ASSERT_TRUE(build_query(query, c.name, type_a));
        exchange_target target{{}, "127.0.0.21", c.timeout, transport::udp};
        parse_endpoint(target.server_text, dns_port, target.server);
        loop.start(0, attempt, query, target);
        std::this_thread::sleep_for(c.real_wait);
        now += c.clock_moved;
        std::vector<ended_attempt> ended;
        loop.wait(now, ended);
        ASSERT_EQ(ended.size(), 1u);
        EXPECT_EQ(std::tuple(ended[0].success, attempt.discarded, loop.in_flight()),
                  std::tuple(c.success, c.discarded, 0u));
    }
}

}  // namespace
}  // namespace resq
