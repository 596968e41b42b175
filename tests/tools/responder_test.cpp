// The responder as a latency relay: synthetic answers, the delay, and the shares of names that are
// dropped, answered late or answered twice; and the replies of its hostile behaviours that are
// easy to get wrong. Run through tests/tools/netns_run.sh.
#include "tools/responder/responder.hpp"

#include <arpa/inet.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "dns/query_builder.hpp"
#include "dns/reply_decoder.hpp"
#include "dns/wire_reader.hpp"

namespace resq {
namespace {

using namespace std::chrono_literals;

class relay_over_loopback : public ::testing::Test {
  protected:
    void SetUp() override {
        settings_ = {50ms, "Synth.Test", 10, 10, 10, 10, 1000ms};
        ASSERT_TRUE(server_.set_relay(settings_));
        if (!server_.open("127.0.0.31", 0)) {
            GTEST_SKIP() << server_.error();
        }
        server_.start();
    }
    void TearDown() override {
        for (const int fd : sockets_) {
            ::close(fd);
        }
    }

    // A synthetic name of `band`: the first of n0, n1, ... under the zone.
    std::string name_in(test_tools::relay_band band) const {
        for (int n = 0;; ++n) {
            const std::string name = "n" + std::to_string(n) + ".synth.test";
            if (settings_.band_of(name) == band) {
                return name;
            }
        }
    }

    // Sends an A query for `name` from a connected socket of its own, returned.
    int ask(const std::string& name) {
        dns_record query;
        build_query(query, name, type_a);
        const int fd = sockets_.emplace_back(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
        const int room = 1 << 20;  // for a burst of forged replies
        ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &room, sizeof room);
        sockaddr_in to{AF_INET, htons(server_.port()), {htonl(server_.address())}, {}};
        ::connect(fd, reinterpret_cast<const sockaddr*>(&to), sizeof to);
        ::send(fd, query.bytes().data(), query.bytes().size(), 0);
        return fd;
    }

    // The next reply on `fd`, waiting at most `wait_ms` (a bound for failing only); empty if none.
    static std::vector<uint8_t> reply_on(int fd, int wait_ms = 3000) {
        pollfd entry{fd, POLLIN, 0};
        std::vector<uint8_t> bytes(65536);
        const ssize_t n =
            ::poll(&entry, 1, wait_ms) == 1 ? ::recv(fd, bytes.data(), bytes.size(), 0) : 0;
        bytes.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
        return bytes;
    }

    test_tools::relay_settings settings_;
    test_tools::responder server_;
    std::vector<int> sockets_;
};

TEST_F(relay_over_loopback, answers_synthetic_names_after_the_delay_by_their_band) {
    // a1.synth.test. hashes (FNV-1a) to 0xc3890b0f0fb479f7, slot 8311: answered normally.
    const auto start = std::chrono::steady_clock::now();
    const std::vector<uint8_t> reply = reply_on(ask("A1.synth.TEST"));
    EXPECT_GE(std::chrono::steady_clock::now() - start, 50ms);
    ASSERT_EQ(reply.size(), 47u);
    EXPECT_EQ(std::vector(reply.begin() + 2, reply.begin() + 12),
              (std::vector<uint8_t>{0x85, 0x00, 0, 1, 0, 1, 0, 0, 0, 0}));
    EXPECT_EQ(std::vector(reply.end() - 10, reply.end()),
              (std::vector<uint8_t>{0, 0, 1, 0x2c, 0, 4, 10, 137, 11, 15}));  // TTL 300

    // The first query of a drop_first name, both of a drop_all name and the first of a late_first
    // name stay unanswered while later ones, and all replies due before them, come back.
    const int dropped = ask(name_in(test_tools::relay_band::drop_first));
    const int never[] = {ask(name_in(test_tools::relay_band::drop_all)),
                         ask(name_in(test_tools::relay_band::drop_all))};
    const int late = ask(name_in(test_tools::relay_band::late_first));
    EXPECT_FALSE(reply_on(ask(name_in(test_tools::relay_band::drop_first))).empty());
    EXPECT_FALSE(reply_on(ask(name_in(test_tools::relay_band::late_first))).empty());
    for (const int fd : {dropped, never[0], never[1], late}) {
        EXPECT_TRUE(reply_on(fd, 0).empty());
    }
    EXPECT_FALSE(reply_on(late).empty());  // after 1000 ms

    const int twice = ask(name_in(test_tools::relay_band::twice));
    const std::vector<uint8_t> first = reply_on(twice);
    EXPECT_FALSE(first.empty());
    EXPECT_EQ(reply_on(twice), first);
    EXPECT_TRUE(reply_on(twice, 0).empty());
    EXPECT_FALSE((test_tools::relay_settings{0ms, "", 60, 0, 0, 40.01}.valid()));
}

// One datagram whose answers are each owned by a pointer to a name of 94 labels of 63 octets
// (6,016 octets spelt out): every owner after the first is a pointer that no longer decodes.
TEST_F(relay_over_loopback, a_pointer_bomb_fits_one_datagram_and_every_owner_expands_past_255) {
    const std::vector<uint8_t> bomb = reply_on(ask("a.pointer-bomb.test"));
    ASSERT_GT(bomb.size(), 65000u);
    ASSERT_LE(bomb.size(), 65507u);
    wire_reader counts(bomb, 6);
    const unsigned answers = counts.u16();
    EXPECT_GT(answers, 3700u);     // about 22 MB of owner names spelt out
    std::size_t offset = 12 + 25;  // past the question a.pointer-bomb.test. A IN
    for (unsigned n = 0; n < answers; ++n) {
        wire_reader owner(bomb, offset);
        ASSERT_EQ(owner.u8() & 0xc0, 0xc0) << "record " << n;  // a pointer
        std::string name;
        EXPECT_EQ(decode_name(bomb, static_cast<uint32_t>(offset), name), n == 0 ? 2u : 0u)
            << "record " << n;
        wire_reader fields(bomb, offset + 2 + 8);
        offset += 2u + 10u + fields.u16();
    }
    EXPECT_EQ(offset, bomb.size());
}

}  // namespace
}  // namespace resq
