// One exchange against the scripted responder on port 53 of a loopback address. Run through
// tests/tools/netns_run.sh: inside a private network namespace, or as root on 127.0.0.21.
#include "dns/exchange.hpp"

#include <chrono>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "dns/query_builder.hpp"
#include "tools/responder/fixtures.hpp"
#include "tools/responder/responder.hpp"

namespace resq {
namespace {

using std::chrono::steady_clock;

// Not 127.0.0.1 or 127.0.0.53, where a host's own resolver may listen.
const std::string server_address = "127.0.0.21";

using bytes = std::vector<uint8_t>;

class exchange_over_loopback : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!server_.open(server_address, dns_port)) {
            GTEST_SKIP() << "no responder on port 53 (" << server_.error()
                         << "); run inside tests/tools/netns_run.sh";
        }
        server_.start();
    }

    // Builds the query for `name` and runs one exchange, timing it.
    bool run(const std::string& name, uint32_t type = type_a, int32_t timeout_secs = 1) {
        EXPECT_TRUE(build_query(query_, name, type));
        const auto start = steady_clock::now();
        const bool outcome = exchange(attempt_, query_, server_address, timeout_secs, false);
        waited_ = std::chrono::duration<double>(steady_clock::now() - start).count();
        return outcome;
    }

    test_tools::responder server_;
    dns_record query_;
    dns_exchange attempt_;
    double waited_ = 0;
};

TEST_F(exchange_over_loopback, decodes_the_reply_and_records_sizes_and_times) {
    ASSERT_TRUE(run("www.demo.example"));
    EXPECT_EQ(attempt_.sent_bytes, query_.message);
    EXPECT_EQ(attempt_.sent_size, query_.message.size());
    const auto fixture = test_tools::find_fixture("www.demo.example.", type_a)->bytes;
    bytes expected(fixture.begin(), fixture.end());
    expected[0] = query_.message[0];  // the identifier is echoed
    EXPECT_EQ(attempt_.received_bytes, expected);
    EXPECT_EQ(attempt_.received_size, expected.size());

    EXPECT_EQ(query_.dns_server, server_address);
    EXPECT_NE(query_.query_time, 0u);
    EXPECT_GE(attempt_.reply_time, query_.query_time);

    ASSERT_EQ(attempt_.questions.size(), 1u);
    ASSERT_EQ(attempt_.answers.size(), 2u);
    ASSERT_EQ(attempt_.authority.size(), 1u);
    EXPECT_TRUE(attempt_.additional.empty());
    const dns_record& first = attempt_.answers[0];
    EXPECT_EQ(first.query, "www.demo.example.");
    EXPECT_EQ(first.data_bytes, (bytes{192, 0, 2, 10}));
    EXPECT_EQ(first.dns_server, server_address);
    EXPECT_EQ(first.query_time, attempt_.reply_time);
    EXPECT_EQ(first.packet_id, query_.packet_id);
    EXPECT_EQ(attempt_.answers[1].data_bytes, (bytes{192, 0, 2, 11}));
}

TEST_F(exchange_over_loopback, gives_up_after_about_the_time_out_when_no_reply_comes) {
    EXPECT_FALSE(run("a.silent.test"));
    EXPECT_GE(waited_, 0.9);
    EXPECT_LT(waited_, 3.0);
    EXPECT_EQ(attempt_.sent_size, query_.message.size());
    EXPECT_EQ(attempt_.received_size, 0u);
    EXPECT_TRUE(attempt_.received_bytes.empty());
    EXPECT_EQ(attempt_.reply_time, 0u);
}

TEST_F(exchange_over_loopback, time_out_of_zero_or_below_returns_at_once) {
    for (const int32_t timeout : {0, -1}) {
        EXPECT_FALSE(run("b.silent.test", type_a, timeout));
        EXPECT_LT(waited_, 0.5) << "time-out " << timeout;
        EXPECT_EQ(attempt_.received_size, 0u);
    }
}

TEST_F(exchange_over_loopback, takes_a_late_reply_within_a_longer_time_out) {
    EXPECT_TRUE(run("a.late.test", type_a, 2));
    EXPECT_GE(waited_, 1.4);
}

TEST_F(exchange_over_loopback, decodes_a_reply_with_another_identifier_but_fails) {
    EXPECT_FALSE(run("a.wrongid.test"));
    ASSERT_EQ(attempt_.answers.size(), 1u);
    EXPECT_EQ(attempt_.answers[0].packet_id, query_.packet_id + 1);
    // The next attempt of the same lookup gets its identifier right.
    EXPECT_FALSE(run("a.wrongid-then-ok.test"));
    EXPECT_TRUE(exchange(attempt_, query_, server_address, 1, false));
}

TEST_F(exchange_over_loopback, accepts_only_replies_from_the_server_address_and_port_53) {
    const struct {
        const char* name;
        bool answered;
    } cases[] = {
        {"a.otheraddr-then-ok.test", true},  // from 127.0.0.22:53 first, then the real one
        {"a.otherport-then-ok.test", true},  // from 127.0.0.21:other first, then the real one
        {"a.otheraddr.test", false},
        {"a.otherport.test", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(run(c.name), c.answered);
        if (c.answered) {
            // 192.0.2.1 is the real reply; the misdirected one carries 198.51.100.66.
            ASSERT_EQ(attempt_.answers.size(), 1u);
            EXPECT_EQ(attempt_.answers[0].data_bytes, (bytes{192, 0, 2, 1}));
            EXPECT_LT(waited_, 0.9);
        } else {
            EXPECT_EQ(attempt_.received_size, 0u);
            EXPECT_GE(waited_, 0.9);
        }
    }
}

TEST_F(exchange_over_loopback, fails_on_broken_replies_keeping_what_decoded) {
    const struct {
        const char* name;
        uint32_t received_size;
        std::size_t questions;
    } cases[] = {
        {"a.noqr.test", 45, 0},       // QR clear: nothing decoded
        {"a.short.test", 2, 0},       // identifier only: QR reads as clear
        {"a.malformed.test", 50, 1},  // RDLENGTH past the end: the question stays
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_FALSE(run(c.name));
        EXPECT_EQ(attempt_.received_size, c.received_size);
        EXPECT_EQ(attempt_.questions.size(), c.questions);
        EXPECT_TRUE(attempt_.answers.empty());
    }
}

TEST_F(exchange_over_loopback, counts_an_nxdomain_reply_as_success) {
    EXPECT_TRUE(run("nosuch.demo.example"));
    EXPECT_TRUE(attempt_.answers.empty());
    ASSERT_EQ(attempt_.authority.size(), 1u);
    EXPECT_EQ(attempt_.authority[0].query, "demo.example.");
    EXPECT_EQ(attempt_.authority[0].dns_type, type_soa);
}

TEST_F(exchange_over_loopback, does_not_resolve_a_host_name_and_fails_at_the_send) {
    ASSERT_TRUE(build_query(query_, "www.demo.example", type_a));
    EXPECT_FALSE(exchange(attempt_, query_, "localhost", 1, false));
    EXPECT_EQ(attempt_.sent_bytes, query_.message);
    EXPECT_EQ(attempt_.sent_size, 0u);
    EXPECT_EQ(attempt_.received_size, 0u);
    EXPECT_EQ(query_.dns_server, "localhost");
    EXPECT_EQ(server_.queries_seen(), 0u);
}

TEST(exchange, fails_before_any_socket_without_server_or_message) {
    dns_exchange attempt;
    attempt.sent_size = 9;
    attempt.answers.resize(3);
    dns_record query;
    ASSERT_TRUE(build_query(query, "www.demo.example", type_a));
    EXPECT_FALSE(exchange(attempt, query, "", 1, false));
    EXPECT_EQ(attempt.sent_size, 0u);  // reset first
    EXPECT_TRUE(attempt.answers.empty());
    EXPECT_EQ(query.query_time, 0u);  // returned before the send time is taken
    EXPECT_TRUE(query.dns_server.empty());

    dns_record empty;
    EXPECT_FALSE(exchange(attempt, empty, server_address, 1, false));
    EXPECT_EQ(empty.query_time, 0u);
    EXPECT_TRUE(attempt.sent_bytes.empty());
}

}  // namespace
}  // namespace resq
