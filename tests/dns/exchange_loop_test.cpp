// Many attempts in flight at once against the scripted responder on port 53 of a loopback
// address. Run through tests/tools/netns_run.sh, like the exchange tests.
#include "dns/exchange_loop.hpp"

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "dns/query_builder.hpp"
#include "support/kx_string.hpp"
#include "tools/responder/responder.hpp"

namespace resq {
namespace {

using namespace std::chrono_literals;

const std::string server_address = "127.0.0.21";

class exchange_loop_over_loopback : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!server_.open(server_address, dns_port)) {
            GTEST_SKIP() << server_.error() << ": run inside tests/tools/netns_run.sh";
        }
        server_.start();
        ASSERT_TRUE(loop_.usable());
    }

    struct attempt_slot {
        dns_record query;
        dns_exchange attempt;
        bool ended = false;
        bool success = false;
        double ended_after = 0;  // seconds from the start of the run
    };

    // Starts an attempt for `name` with its own token (its index in attempts_).
    void start(const std::string& name, std::chrono::milliseconds timeout,
               transport kind = transport::udp) {
        attempts_.push_back(std::make_unique<attempt_slot>());
        attempt_slot& slot = *attempts_.back();
        ASSERT_TRUE(build_query(slot.query, name, type_a));
        exchange_target target{{}, server_address, timeout, kind};
        parse_endpoint(server_address, dns_port, target.server);
        loop_.start(attempts_.size() - 1, slot.attempt, slot.query, target);
    }

    // Runs the loop until nothing is in flight, noting when each attempt ended.
    void run_all() {
        std::vector<ended_attempt> ended;
        while (loop_.in_flight() != 0) {
            ended.clear();
            loop_.wait(exchange_loop::clock::now() + 10s, ended);
            const double now =
                std::chrono::duration<double>(exchange_loop::clock::now() - start_).count();
            for (const ended_attempt& one : ended) {
                attempt_slot& slot = *attempts_.at(one.token);
                EXPECT_FALSE(slot.ended) << "ended twice: " << one.token;
                slot.ended = true;
                slot.success = one.success;
                slot.ended_after = now;
            }
        }
    }

    // The first question of the attempt's reply, lower-cased; empty without one.
    static std::string replied_name(const attempt_slot& slot) {
        return slot.attempt.questions.empty() ? "" : to_lower(slot.attempt.questions[0].query);
    }

    test_tools::responder server_;
    exchange_loop loop_;
    std::vector<std::unique_ptr<attempt_slot>> attempts_;
    exchange_loop::clock::time_point start_ = exchange_loop::clock::now();
};

TEST_F(exchange_loop_over_loopback, ends_every_attempt_once_with_its_own_reply_or_at_its_deadline) {
    const struct {
        std::string name;
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
    // Fifty quick ones among them, each a name of its own.
    for (int i = 0; i < 50; ++i) {
        start("n" + std::to_string(i) + ".demo.example", 1000ms);
    }
    EXPECT_EQ(loop_.in_flight(), attempts_.size());
    run_all();
    for (std::size_t i = 0; i < attempts_.size(); ++i) {
        const attempt_slot& slot = *attempts_[i];
        const std::string name = i < std::size(cases) ? cases[i].name : slot.query.query;
        SCOPED_TRACE(name);
        EXPECT_TRUE(slot.ended);
        if (i < std::size(cases)) {
            EXPECT_EQ(slot.success, cases[i].success);
            EXPECT_TRUE(slot.ended_after >= cases[i].min_end && slot.ended_after < cases[i].max_end)
                << slot.ended_after;
        } else {
            EXPECT_TRUE(slot.success);  // NXDOMAIN is an answer too
            EXPECT_LT(slot.ended_after, 0.9);
        }
        if (slot.success) {
            EXPECT_EQ(replied_name(slot), to_lower(name) + ".");
        }
    }
}

// A slot of the loop keeps its datagram socket for a query of another question. The late reply
// to the earlier question reaches that socket while the later attempt waits, and is dropped.
TEST_F(exchange_loop_over_loopback, drops_a_late_reply_that_reaches_a_kept_socket) {
    start("c.late.test", 200ms);  // answered 1.5 seconds after the query
    run_all();
    const uint16_t first_port = server_.last_client_port();
    start("c.silent.test", 2000ms);
    run_all();
    EXPECT_EQ(server_.last_client_port(), first_port);  // the same socket asked
    EXPECT_FALSE(attempts_[1]->success);
    EXPECT_EQ(attempts_[1]->attempt.received_size, 0u);
    EXPECT_EQ(attempts_[1]->attempt.failure, exchange_failure::timed_out);
    // The same question again gets a socket of its own.
    start("c.silent.test", 100ms);
    run_all();
    EXPECT_NE(server_.last_client_port(), first_port);
}

}  // namespace
}  // namespace resq
