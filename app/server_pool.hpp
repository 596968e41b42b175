// The servers of a run and which of them an attempt goes to: in turn, passing over a server that
// keeps failing while it rests.
#pragma once

#include <chrono>
#include <cstddef>
#include <string>
#include <vector>

#include "net/endpoint.hpp"

namespace resq {

/// One server of the run: as the report shows it and as it is asked.
struct server_entry {
    std::string text;  // display_text of what was typed
    endpoint address;
    std::string tls_name;  // a -servers line's second word: the name its certificate must bear
};

/// Failed attempts in a row (no reply in time, or nothing sent) after which a server rests.
inline constexpr unsigned failures_before_rest = 5;
/// How long a resting server is given no new attempt.
inline constexpr std::chrono::seconds rest_time{30};

/// The servers in turn, each with its run of failed attempts and the end of its rest. A lone
/// server never rests: there is nothing to send to instead.
class server_pool {
  public:
    using clock = std::chrono::steady_clock;

    explicit server_pool(const std::vector<server_entry>& servers);

    std::size_t size() const { return servers_.size(); }
    const server_entry& at(std::size_t index) const { return servers_[index].entry; }
    /// The width of the widest server text: the report's server column.
    std::size_t widest() const { return widest_; }

    /// The server an attempt meant for `wanted` goes to: that one, or the first after it in turn
    /// that is not resting at `now`; `wanted` itself when all rest.
    std::size_t pick(std::size_t wanted, clock::time_point now) const;

    /// Takes the end of an attempt to `index`, `failed` when it got no reply in time or sent
    /// nothing. True when this failure sends the server to rest (from `now`); false otherwise.
    bool record(std::size_t index, bool failed, clock::time_point now);

  private:
    struct state {
        server_entry entry;
        unsigned failures = 0;  // in a row
        clock::time_point rests_until{};
    };
    std::vector<state> servers_;
    std::size_t widest_ = 0;
};

}  // namespace resq
