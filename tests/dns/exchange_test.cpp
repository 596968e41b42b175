// One attempt at a time against the scripted responder on port 53 of a loopback address, driven
// by the event loop. Run through tests/tools/netns_run.sh: inside a private network namespace, or
// as root on 127.0.0.21.
#include "dns/exchange.hpp"

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <string>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>

#include "dns/exchange_loop.hpp"
#include "dns/query_builder.hpp"
#include "support/kx_string.hpp"
#include "tools/responder/responder.hpp"

namespace resq {
namespace {

// Not 127.0.0.1 or 127.0.0.53, where a host's own resolver may listen.
const std::string server_address = "127.0.0.21";
// Only there is a broadcast address tried or the local port range narrowed.
const bool private_namespace = std::getenv("RESQ_IN_NETNS") != nullptr;

class exchange_over_loopback : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!server_.open(server_address, dns_port)) {
            GTEST_SKIP() << server_.error() << ": run inside tests/tools/netns_run.sh";
        }
        server_.start();
    }

    // Builds the query for `name` and runs one attempt with `server` as typed, timing it.
    bool run(const std::string& name, int timeout_ms = 1000,
             const std::string& server = server_address, transport kind = transport::udp) {
        EXPECT_TRUE(build_query(query_, name, type_a));
        return run_query(exchange_target{{}, server, std::chrono::milliseconds(timeout_ms), kind});
    }

    // Runs one attempt of query_ to `target` (its endpoint read from its text) to its end.
    bool run_query(exchange_target target) {
        parse_endpoint(target.server_text, dns_port, target.server);
        const auto start = std::chrono::steady_clock::now();
        exchange_loop loop;
        loop.start(0, attempt_, query_, target);
        std::vector<ended_attempt> ended;
        while (ended.empty()) {
            loop.wait(exchange_loop::clock::time_point::max(), ended);
        }
        waited_ = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        return ended.front().success;
    }

    test_tools::responder server_;
    dns_record query_;
    dns_exchange attempt_;
    double waited_ = 0;
};

TEST_F(exchange_over_loopback, takes_the_first_reply_to_the_query_from_the_server_in_time) {
    const struct {
        const char* name;
        bool success, received;
        std::size_t questions, answers;
        int timeout_ms = 1000;
        double min_wait = 0, max_wait = 0.9;  // loose: only a wrong order of magnitude fails
    } cases[] = {
        {"a.silent.test", false, false, 0, 0, 1000, 0.9, 3.0},
        {"b.silent.test", false, false, 0, 0, -1000, 0.0, 0.5},  // negative counts as 0
        {"a.late.test", true, true, 1, 1, 2000, 1.4, 3.0},       // answered after 1.5 seconds
        // A datagram that is not the reply (198.51.100.66) comes first and is dropped; the reply
        // (192.0.2.1) follows 0.1 seconds later.
        {"a.otheraddr-then-ok.test", true, true, 1, 1, 1000, 0.09},  // from 127.0.0.22:53
        {"a.otherport-then-ok.test", true, true, 1, 1, 1000, 0.09},  // another port
        {"a.wrongid-first.test", true, true, 1, 1, 1000, 0.09},
        {"a.otherquestion-first.test", true, true, 1, 1, 1000, 0.09},
        {"a.wrongid.test", false, false, 0, 0, 1000, 0.9, 3.0},  // never the query's id
        {"A.UpCase.test", true, true, 1, 1},        // the question in other letter case
        {"nosuch.demo.example", true, true, 1, 0},  // NXDOMAIN is an answer too
        {"a.noqr.test", false, true, 0, 0},         // QR clear: nothing decoded
        {"a.malformed.test", false, true, 1, 0},    // RDLENGTH past the end: question stays
        // The identifier alone is no reply: passed over, and the wait goes on.
        {"a.short.test", false, false, 0, 0, 1000, 0.9, 3.0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(run(c.name, c.timeout_ms), c.success);
        EXPECT_TRUE(waited_ >= c.min_wait && waited_ < c.max_wait) << waited_;
        EXPECT_EQ(std::tie(attempt_.sent_bytes, attempt_.sent_size, attempt_.server),
                  std::tuple(query_.message, query_.bytes().size(), server_address));
        EXPECT_EQ(std::tuple(attempt_.received_size != 0, attempt_.reply_time != 0,
                             attempt_.received_bytes ? attempt_.received_bytes->size() : 0,
                             attempt_.questions.size()),
                  std::tuple(c.received, c.received, attempt_.received_size, c.questions));
        if (c.questions != 0) {
            EXPECT_EQ(to_lower(attempt_.questions[0].query), to_lower(c.name) + ".");
        }
        ASSERT_EQ(attempt_.answers.size(), c.answers);
        for (const dns_record& answer : attempt_.answers) {
            EXPECT_EQ(std::tuple(std::vector<uint8_t>(answer.data().begin(), answer.data().end()),
                                 answer.message, answer.packet_id),
                      std::tuple(std::vector<uint8_t>{192, 0, 2, 1}, attempt_.received_bytes,
                                 query_.packet_id));
        }
    }
}

// Over TCP a reply is taken whole however it is split; one cut short by a close or never completed
// is none, and a message that is not the reply is passed over while the read goes on.
TEST_F(exchange_over_loopback, takes_one_whole_framed_reply_over_tcp) {
    const struct {
        const char* name;
        bool success, sent, received;
        std::size_t answers;
        double min_wait = 0, max_wait = 0.9;
        std::string server = server_address;
    } cases[] = {
        {"www.demo.example", true, true, true, 2},
        {"a.truncated.test", true, true, true, 1},
        {"a.tcp-split.test", true, true, true, 1, 0.09},  // three pieces, 50 ms apart
        {"a.tcp-bytewise.test", true, true, true, 1, 0.09},
        {"a.otheraddr-then-ok.test", true, true, true, 1, 0.09},  // only the real reply is sent
        {"a.tcp-cut.test", false, true, false, 0},                // closed half-way
        {"a.tcp-hangup.test", false, true, false, 0},
        {"a.tcp-overlong.test", false, true, false, 0, 0.9, 3.0},  // waits for 16 more bytes
        {"e.silent.test", false, true, false, 0, 0.9, 3.0},
        {"e.wrongid.test", false, true, false, 0, 0.9, 3.0},
        {"e.otherquestion-first.test", true, true, true, 1},
        {"www.demo.example", false, false, false, 0, 0, 0.9, server_address + ":54"},  // refused
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name + (" " + c.server));
        EXPECT_EQ(run(c.name, 1000, c.server, transport::tcp), c.success);
        EXPECT_TRUE(waited_ >= c.min_wait && waited_ < c.max_wait) << waited_;
        EXPECT_EQ(std::tuple(attempt_.sent_size, attempt_.sent_bytes == query_.message),
                  std::tuple(c.sent ? query_.bytes().size() : 0, c.sent));
        EXPECT_EQ(std::tuple(attempt_.received_size != 0, attempt_.answers.size(),
                             attempt_.received_bytes ? attempt_.received_bytes->size() : 0),
                  std::tuple(c.received, c.answers, attempt_.received_size));
        if (c.answers == 1) {
            EXPECT_EQ(std::vector<uint8_t>(attempt_.answers[0].data().begin(),
                                           attempt_.answers[0].data().end()),
                      (std::vector<uint8_t>{192, 0, 2, 1}));
        }
    }
}

TEST_F(exchange_over_loopback, sends_nothing_without_a_message_an_address_or_to_a_broadcast) {
    query_.reset();
    attempt_.sent_size = 9;
    EXPECT_FALSE(run_query(exchange_target{{}, server_address, std::chrono::seconds(1)}));
    EXPECT_EQ(attempt_.sent_size, 0u);  // reset, then nothing sent
    // Broadcast needs SO_BROADCAST, which the socket never sets; tried only in a private namespace.
    for (const std::string server :
         {"not-an-address", private_namespace ? "255.255.255.255" : ""}) {
        EXPECT_FALSE(run("www.demo.example", 1000, server));
        EXPECT_EQ(std::tie(attempt_.sent_size, attempt_.received_size, attempt_.server),
                  std::tuple(0u, 0u, server));
    }
    EXPECT_EQ(server_.queries_seen(), 0u);
}

// No listener on the port: the ICMP error is noted, but only the time-out ends the attempt.
TEST_F(exchange_over_loopback, a_port_unreachable_is_told_when_the_time_runs_out) {
    EXPECT_FALSE(run("www.demo.example", 300, server_address + ":9"));
    EXPECT_EQ(std::tuple(attempt_.failure, attempt_.received_size, waited_ >= 0.29),
              std::tuple(exchange_failure::port_unreachable, 0u, true));
}

// With a single local port, the socket of each lookup gets the port of the one before, and the
// late reply to that one reaches it: it answers another query, so the wait goes on.
TEST_F(exchange_over_loopback, drops_a_late_reply_to_an_earlier_lookup_on_a_reused_port) {
    const char* const range_file = "/proc/sys/net/ipv4/ip_local_port_range";
    std::string saved;
    if (!private_namespace || !std::getline(std::ifstream(range_file), saved)) {
        GTEST_SKIP() << "the port range is narrowed only in a private network namespace";
    }
    // Above the default range, so no port the responder took can be it.
    std::ofstream(range_file) << "61000 61000\n";
    EXPECT_FALSE(run("c.late.test"));  // answered 1.5 seconds after the query
    const uint16_t first_port = server_.last_client_port();
    EXPECT_TRUE(run("d.late.test", 2000));
    std::ofstream(range_file) << saved << '\n';
    EXPECT_EQ(std::tuple(first_port, server_.last_client_port(), waited_ >= 1.4),
              std::tuple(61000, 61000, true));
    EXPECT_EQ(attempt_.questions.empty() ? "" : attempt_.questions[0].query, "d.late.test.");
}

}  // namespace
}  // namespace resq
