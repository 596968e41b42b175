// Many attempts in flight at once against the scripted responder on port 53 of a loopback
// address. Run through tests/tools/netns_run.sh, like the exchange tests.
#include "dns/exchange_loop.hpp"

#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>

#include "dns/query_builder.hpp"
#include "support/kx_string.hpp"
#include "tools/responder/responder.hpp"

namespace resq {
namespace {

using namespace std::chrono_literals;

class exchange_loop_over_loopback : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!server_.open("127.0.0.21", dns_port)) {
            GTEST_SKIP() << server_.error() << ": run inside tests/tools/netns_run.sh";
        }
        server_.start();
        ASSERT_EQ(loop_.error(), 0);
    }

    struct slot {
        dns_record query;
        dns_exchange attempt;
        int ends = 0;
        bool success = false;
        double ended_after = 0;  // seconds from the start of the test
    };

    // Starts an attempt for `name`; its token is its index in slots_.
    void start(const std::string& name, std::chrono::milliseconds timeout,
               transport kind = transport::udp) {
        slot& next = *slots_.emplace_back(std::make_unique<slot>());
        ASSERT_TRUE(build_query(next.query, name, type_a));
        exchange_target target{{}, "127.0.0.21", timeout, kind};
        parse_endpoint(target.server_text, dns_port, target.server);
        loop_.start(slots_.size() - 1, next.attempt, next.query, target);
    }

    // Runs the loop until nothing is in flight, noting when each attempt ended.
    void run_all() {
        for (std::vector<ended_attempt> ended; loop_.in_flight() != 0; ended.clear()) {
            loop_.wait(exchange_loop::clock::now() + 10s, ended);
            const std::chrono::duration<double> now = exchange_loop::clock::now() - start_;
            for (const ended_attempt& one : ended) {
                slot& s = *slots_.at(one.token);
                ++s.ends;
                s.success = one.success;
                s.ended_after = now.count();
            }
        }
    }

    test_tools::responder server_;
    exchange_loop loop_;
    std::vector<std::unique_ptr<slot>> slots_;
    const exchange_loop::clock::time_point start_ = exchange_loop::clock::now();
};

TEST_F(exchange_loop_over_loopback, ends_every_attempt_once_with_its_own_reply_or_at_its_deadline) {
    const struct {
        const char* name;
        std::chrono::milliseconds timeout;
        transport kind;
        bool success;
        double min_end, max_end;  // loose: only a wrong order of magnitude fails
    } cases[] = {
        {"a.silent.test", 300ms, transport::udp, false, 0.29, 1.2},
        {"a.late.test", 2000ms, transport::udp, true, 1.4, 2.5},  // answered after 1.5 seconds
        {"b.late.test", 500ms, transport::udp, false, 0.49, 1.4},
        {"a.wrongid.test", 400ms, transport::udp, false, 0.39, 1.3},  // never the query's id
        {"a.otherport-then-ok.test", 1000ms, transport::udp, true, 0.09, 0.9},
        {"a.otherquestion-first.test", 1000ms, transport::udp, true, 0.09, 0.9},
        {"a.tcp-split.test", 1000ms, transport::tcp, true, 0.0, 0.9},
        {"a.tcp-cut.test", 1000ms, transport::tcp, false, 0.0, 0.9},
        {"b.silent.test", 600ms, transport::tcp, false, 0.59, 1.5},
    };
    for (const auto& c : cases) {
        start(c.name, c.timeout, c.kind);
    }
    for (int i = 0; i < 50; ++i) {  // fifty quick ones among them (NXDOMAIN is an answer too)
        start("n" + std::to_string(i) + ".demo.example", 1000ms);
    }
    run_all();
    for (std::size_t i = 0; i < slots_.size(); ++i) {
        const slot& s = *slots_[i];
        const auto expected = i < std::size(cases) ? cases[i] : cases[0];
        SCOPED_TRACE(s.query.query);
        EXPECT_EQ(s.ends, 1);
        EXPECT_EQ(s.success, i < std::size(cases) ? expected.success : true);
        EXPECT_TRUE(i >= std::size(cases) ||
                    (s.ended_after >= expected.min_end && s.ended_after < expected.max_end))
            << s.ended_after;
        if (s.success) {
            EXPECT_EQ(to_lower(s.attempt.questions.at(0).query), to_lower(s.query.query) + ".");
        }
    }
}

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
