#include "app/server_pool.hpp"

#include <algorithm>

namespace resq {

server_pool::server_pool(const std::vector<server_entry>& servers) {
    for (const server_entry& server : servers) {
        servers_.push_back({server});
        widest_ = std::max(widest_, server.text.size());
    }
}

std::size_t server_pool::pick(std::size_t wanted, clock::time_point now) const {
    for (std::size_t step = 0; step < servers_.size(); ++step) {
        const std::size_t index = (wanted + step) % servers_.size();
        if (servers_[index].rests_until <= now) {
            return index;
        }
    }
    return wanted;
}

bool server_pool::record(std::size_t index, bool failed, clock::time_point now) {
    state& server = servers_[index];
    if (!failed) {
        server.failures = 0;
        return false;
    }
    if (++server.failures < failures_before_rest || servers_.size() < 2) {
        return false;
    }
    // Asked again while resting (every server rests), it rests on from its latest failures
    // without being named again.
    const bool resting = server.rests_until > now;
    server.failures = 0;
    server.rests_until = now + rest_time;
    return !resting;
}

}  // namespace resq
