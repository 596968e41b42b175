// One exchange against the scripted responder on port 53 of a loopback address. Run through
// tests/tools/netns_run.sh: inside a private network namespace, or as root on 127.0.0.21.
#include "dns/exchange.hpp"

#include <chrono>
#include <string>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>

#include "dns/query_builder.hpp"
#include "tools/responder/responder.hpp"

namespace resq {
namespace {

using bytes = std::vector<uint8_t>;

// Not 127.0.0.1 or 127.0.0.53, where a host's own resolver may listen.
const std::string server_address = "127.0.0.21";

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
    bool run(const std::string& name, int32_t timeout_secs = 1,
             const std::string& server = server_address) {
        EXPECT_TRUE(build_query(query_, name, type_a));
        const auto start = std::chrono::steady_clock::now();
        const bool outcome = exchange(attempt_, query_, server, timeout_secs, false);
        waited_ = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        return outcome;
    }

    test_tools::responder server_;
    dns_record query_;
    dns_exchange attempt_;
    double waited_ = 0;
};

TEST_F(exchange_over_loopback, waits_for_the_time_out_and_no_longer) {
    const struct {
        const char* name;
        int32_t timeout_secs;
        bool answered;
        double min_wait, max_wait;  // loose bounds: only a wrong order of magnitude fails
    } cases[] = {
        {"a.silent.test", 1, false, 0.9, 3.0},
        {"b.silent.test", 0, false, 0.0, 0.5},
        {"c.silent.test", -1, false, 0.0, 0.5},
        {"a.late.test", 2, true, 1.4, 3.0},  // answered after 1.5 seconds
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(run(c.name, c.timeout_secs), c.answered);
        EXPECT_GE(waited_, c.min_wait);
        EXPECT_LT(waited_, c.max_wait);
        EXPECT_EQ(attempt_.sent_size, query_.bytes().size());
        EXPECT_EQ(attempt_.received_size == 0, !c.answered);
        EXPECT_EQ(attempt_.reply_time == 0, !c.answered);
    }
}

TEST_F(exchange_over_loopback, succeeds_only_on_a_decoded_reply_from_the_server_with_the_query_id) {
    const struct {
        const char* name;
        bool success;
        uint32_t received_size;
        std::size_t questions, answers;
        uint16_t id_shift = 0;  // of the reply's identifier against the query's
    } cases[] = {
        // Misdirected replies (198.51.100.66) come first and are ignored; 192.0.2.1 is the real.
        {"a.otheraddr-then-ok.test", true, 58, 1, 1},  // from 127.0.0.22:53
        {"a.otherport-then-ok.test", true, 58, 1, 1},  // from 127.0.0.21, another port
        {"nosuch.demo.example", true, 124, 1, 0},      // NXDOMAIN is an answer too
        {"a.wrongid.test", false, 48, 1, 1, 1},        // decoded in full all the same
        {"a.noqr.test", false, 45, 0, 0},              // QR clear: nothing decoded
        {"a.short.test", false, 2, 0, 0},              // identifier only: QR reads as clear
        {"a.malformed.test", false, 50, 1, 0},         // RDLENGTH past the end: question stays
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(run(c.name), c.success);
        EXPECT_EQ(std::tie(attempt_.sent_bytes, attempt_.sent_size, attempt_.server),
                  std::tuple(query_.message, query_.bytes().size(), server_address));
        EXPECT_EQ(std::tuple(attempt_.received_size, attempt_.received_bytes->size(),
                             attempt_.questions.size()),
                  std::tuple(c.received_size, c.received_size, c.questions));
        EXPECT_NE(query_.query_time, 0u);
        EXPECT_GE(attempt_.reply_time, query_.query_time);
        ASSERT_EQ(attempt_.answers.size(), c.answers);
        if (c.answers != 0) {
            const dns_record& first = attempt_.answers[0];
            EXPECT_EQ(std::tuple(bytes(first.data().begin(), first.data().end()), first.query_time,
                                 first.packet_id),
                      std::tuple(bytes{192, 0, 2, 1}, attempt_.reply_time,
                                 query_.packet_id + c.id_shift));
        }
    }
    // The next attempt of the same lookup gets its identifier right.
    EXPECT_FALSE(run("a.wrongid-then-ok.test"));
    EXPECT_TRUE(exchange(attempt_, query_, server_address, 1, false));
}

TEST_F(exchange_over_loopback, fails_without_a_message_or_a_dotted_server_address) {
    attempt_.sent_size = 9;
    attempt_.answers.resize(3);
    EXPECT_FALSE(run("www.demo.example", 1, ""));
    // Reset first, and returned before the send time is taken.
    EXPECT_EQ(std::tuple(attempt_.sent_size, attempt_.answers.size(), attempt_.sent_bytes,
                         query_.query_time, attempt_.server),
              std::tuple(0u, 0u, nullptr, 0u, ""));
    dns_record empty;
    EXPECT_FALSE(exchange(attempt_, empty, server_address, 1, false));
    EXPECT_EQ(empty.query_time, 0u);
    // A host name is not resolved: the send fails, though the attempt holds the query.
    EXPECT_FALSE(run("www.demo.example", 1, "localhost"));
    EXPECT_EQ(
        std::tie(attempt_.sent_bytes, attempt_.sent_size, attempt_.received_size, attempt_.server),
        std::tuple(query_.message, 0u, 0u, "localhost"));
    EXPECT_EQ(server_.queries_seen(), 0u);
}

}  // namespace
}  // namespace resq
