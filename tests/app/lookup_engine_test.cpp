// The lookup engine on a clock the test moves by hand, against a loopback socket that takes the
// queries and never answers: when each attempt leaves, as -delay, -inflight and the deadlines say.
#include "app/lookup_engine.hpp"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <memory>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "dns/query_builder.hpp"
#include "dns/reply_decoder.hpp"

namespace resq {
namespace {

using namespace std::chrono_literals;
using sends = std::vector<std::pair<std::string, std::chrono::milliseconds>>;

// A datagram socket on an ephemeral port of 127.0.0.1 that takes what is sent to it and, when
// `answering`, sends each query back as its own reply (QR set, no record).
class silent_server {
  public:
    explicit silent_server(bool answering = false)
        : answering_(answering),
          fd_(::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0)) {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t size = sizeof address;
        ::bind(fd_, reinterpret_cast<const sockaddr*>(&address), size);
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &size);
        port_ = ntohs(address.sin_port);
    }
    ~silent_server() { ::close(fd_); }
    silent_server(const silent_server&) = delete;
    silent_server& operator=(const silent_server&) = delete;

    uint16_t port() const { return port_; }

    // The question names of the queries that came since the last call.
    std::vector<std::string> take() {
        std::vector<std::string> names;
        std::vector<uint8_t> datagram(512);
        sockaddr_in from{};
        socklen_t size = sizeof from;
        auto* peer = reinterpret_cast<sockaddr*>(&from);
        for (ssize_t n; (n = ::recvfrom(fd_, datagram.data(), datagram.size(), 0, peer, &size)) > 0;
             size = sizeof from) {
            if (answering_) {
                datagram[2] |= 0x80;
                ::sendto(fd_, datagram.data(), static_cast<std::size_t>(n), 0, peer, size);
            }
            std::string name;
            decode_name(std::span(datagram).first(static_cast<std::size_t>(n)), 12, name);
            names.push_back(name);
        }
        return names;
    }

  private:
    bool answering_;
    int fd_;
    uint16_t port_ = 0;
};

// Runs the names through an engine made with `arguments` for 12 seconds of the hand-moved clock,
// in steps of 50 ms, and gives each query as it left, with the time on that clock. With more than
// one server (`answering` tells which answer) each name is followed by "@" and its server's index.
sends run_batch(std::vector<std::string> arguments, const std::vector<std::string>& names,
                const std::vector<bool>& answering = {false}) {
    std::vector<std::unique_ptr<silent_server>> servers;
    args list = {"resq", "-url_pipe"};
    for (const bool answers : answering) {
        servers.push_back(std::make_unique<silent_server>(answers));
        list.insert(list.end(), {"-server", "127.0.0.1:" + std::to_string(servers.back()->port())});
    }
    list.insert(list.end(), arguments.begin(), arguments.end());
    input_params options;
    std::ostringstream err;
    EXPECT_TRUE(options.parse_options(list, err)) << err.str();
    std::ostringstream report;
    const auto writer = make_record_writer(report, options);
    const run_hooks hooks;
    const lookup_engine::clock::time_point start{1h};
    lookup_engine::clock::time_point now = start;
    lookup_engine engine(*writer, options, hooks, true, [&now] { return now; });
    sends sent;
    std::size_t next = 0;
    for (; now < start + 12s; now += 50ms) {
        engine.run_for(0ns);
        while (next < names.size() && engine.has_room()) {
            dns_record query;
            EXPECT_TRUE(build_query(query, names[next], type_a));
            EXPECT_TRUE(engine.add(next + 1, query));
            ++next;
        }
        for (std::size_t index = 0; index < servers.size(); ++index) {
            for (const std::string& name : servers[index]->take()) {
                sent.emplace_back(
                    servers.size() == 1 ? name : name + "@" + std::to_string(index),
                    std::chrono::duration_cast<std::chrono::milliseconds>(now - start));
            }
        }
    }
    EXPECT_FALSE(engine.busy());
    return sent;
}

// One by one, each failed attempt is followed by the delay, and so is each name: the second name
// starts 3.5 s in (1 s wait, 0.5 s delay, 1 s wait, 0.5 s delay, 0.5 s after the name).
TEST(lookup_engine, one_by_one_waits_the_delay_after_each_failed_attempt_and_each_name) {
    EXPECT_EQ(run_batch({"-timeout", "1", "-retry", "1", "-delay", "0.5"}, {"a.", "b."}),
              (sends{{"a.", 0ms}, {"a.", 1500ms}, {"b.", 3500ms}, {"b.", 5000ms}}));
}

// Many in flight: the starts of lookups are spaced by the delay, a lookup keeps its own delay
// between attempts, and a name keeps its place among those in flight for the delay after it.
TEST(lookup_engine, many_in_flight_space_their_starts_by_the_delay) {
    EXPECT_EQ(run_batch({"-timeout", "1", "-retry", "1", "-delay", "0.5", "-inflight", "2"},
                        {"a.", "b.", "c."}),
              (sends{{"a.", 0ms},
                     {"b.", 500ms},
                     {"a.", 1500ms},
                     {"b.", 2000ms},
                     {"c.", 3500ms},  // a's place: 2.5 s its last wait, 3 s its delay, 3.5 s rest
                     {"c.", 5000ms}}));
    // Without a delay, as many start at once as may be in flight.
    EXPECT_EQ(run_batch({"-timeout", "1", "-inflight", "2"}, {"a.", "b.", "c."}),
              (sends{{"a.", 0ms}, {"b.", 0ms}, {"c.", 1000ms}}));
}

// Lookups take the servers in turn and a retry the next one; the silent server 0 rests after its
// fifth failure in a row (once said), so that k, meant for it, goes to server 1 at once.
TEST(lookup_engine, lookups_take_the_servers_in_turn_and_pass_over_a_resting_one) {
    testing::internal::CaptureStderr();
    const sends sent = run_batch({"-timeout", "1", "-retry", "1"},
                                 {"a.", "b.", "c.", "d.", "e.", "f.", "g.", "h.", "i.", "j.", "k."},
                                 {false, true});
    const std::string said = testing::internal::GetCapturedStderr();
    // A retry leaves at the step after the deadline, a lookup at the step after the reply.
    EXPECT_EQ(sent, (sends{{"a.@0", 0ms},
                           {"a.@1", 1050ms},
                           {"b.@1", 1100ms},
                           {"c.@0", 1150ms},
                           {"c.@1", 2200ms},
                           {"d.@1", 2250ms},
                           {"e.@0", 2300ms},
                           {"e.@1", 3350ms},
                           {"f.@1", 3400ms},
                           {"g.@0", 3450ms},
                           {"g.@1", 4500ms},
                           {"h.@1", 4550ms},
                           {"i.@0", 4600ms},
                           {"i.@1", 5650ms},
                           {"j.@1", 5700ms},
                           {"k.@1", 5750ms}}));
    EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << said;
    EXPECT_NE(said.find("failed 5 attempts in a row: resting 30 s"), std::string::npos) << said;
}

TEST(attempt_plan, a_truncated_reply_is_asked_again_over_tcp_of_the_same_server) {
    input_params options;
    options.tcp_fallback = true;
    attempt_plan plan(options);
    dns_exchange truncated;
    truncated.received_size = 12;
    truncated.header.qr = true;
    truncated.header.tc = true;
    const attempt_plan::step step = plan.after(truncated, false);
    EXPECT_TRUE(step.another && step.fallback && step.same_server && !step.delay_first);
    EXPECT_EQ(plan.target().kind, transport::tcp);
    EXPECT_FALSE(plan.after(dns_exchange{}, false).another);  // the fallback used no retry
}

}  // namespace
}  // namespace resq
