// The lookup engine on a clock the test moves by hand, against a loopback socket that takes the
// queries and never answers: when each attempt leaves, as -delay, -inflight and the deadlines say.
#include "app/lookup_engine.hpp"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
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

// A datagram socket on an ephemeral port of 127.0.0.1 that only takes what is sent to it.
class silent_server {
  public:
    silent_server() : fd_(::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0)) {
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
        for (ssize_t n; (n = ::recv(fd_, datagram.data(), datagram.size(), 0)) > 0;) {
            std::string name;
            decode_name(std::span(datagram).first(static_cast<std::size_t>(n)), 12, name);
            names.push_back(name);
        }
        return names;
    }

  private:
    int fd_;
    uint16_t port_ = 0;
};

// Runs the names through an engine made with `arguments` for 12 seconds of the hand-moved clock,
// in steps of 50 ms, and gives each query as it left, with the time on that clock.
sends run_batch(std::vector<std::string> arguments, const std::vector<std::string>& names) {
    silent_server server;
    args list = {"resq", "-url_pipe", "-server", "127.0.0.1:" + std::to_string(server.port())};
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
        for (const std::string& name : server.take()) {
            sent.emplace_back(name,
                              std::chrono::duration_cast<std::chrono::milliseconds>(now - start));
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

}  // namespace
}  // namespace resq
