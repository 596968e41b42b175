// Many attempts in flight at once: each a pending_exchange on a socket of its own, all waited on
// together by one epoll descriptor, each ended by its reply or at its own deadline.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <queue>
#include <vector>

#include "dns/dns_record.hpp"
#include "dns/exchange.hpp"

namespace resq {

/// An attempt the loop ended: the caller's token and whether its reply decoded whole.
struct ended_attempt {
    uint64_t token = 0;
    bool success = false;
};

/// The event loop of attempts; neither copied nor moved. Its time comes from the clock it is given,
/// so that tests can move time by hand: deadlines are judged on that clock, and a wait lasts until
/// the clock would read the time asked for (a test's clock asks for no wait at all).
class exchange_loop {
  public:
    using clock = pending_exchange::clock;
    using clock_function = std::function<clock::time_point()>;

    /// Makes the epoll descriptor; error() tells why it could not be made.
    explicit exchange_loop(clock_function now = clock::now);
    /// Ends what is still in flight and closes the descriptor.
    ~exchange_loop();
    exchange_loop(const exchange_loop&) = delete;
    exchange_loop& operator=(const exchange_loop&) = delete;

    /// 0 when the loop can wait for attempts, else why not (an errno value).
    int error() const { return error_; }

    /// The time on the loop's clock.
    clock::time_point now() const { return now_(); }

    /// Starts an attempt; `token` comes back when it ends. `attempt` and `query` stay in place
    /// until then. An attempt that cannot start (no descriptor left, a refused send) ends at
    /// once and comes back from the next wait().
    void start(uint64_t token, dns_exchange& attempt, dns_record& query,
               const exchange_target& target);

    /// Waits until an attempt ends or `until` passes, handling every ready socket first and then
    /// every deadline passed, and appends what ended to `ended`. Returns early on a signal.
    void wait(clock::time_point until, std::vector<ended_attempt>& ended);

    /// Handles what is ready now without waiting: replies already queued are read between the
    /// sends of a burst.
    void poll(std::vector<ended_attempt>& ended) { wait(clock::time_point::min(), ended); }

    /// Makes the next wait() also end once `fd` (another descriptor, such as standard input) can
    /// be read; only that wait, so input that is not taken at once never keeps the loop awake.
    /// A descriptor epoll cannot watch (a regular file, always readable) is passed over.
    void wake_on_readable(int fd);

    /// Ends every attempt in flight at once, without a reply; they are not handed back.
    void abandon();

    /// Attempts started and not yet handed back.
    std::size_t in_flight() const { return in_flight_; }

  private:
    struct slot {
        pending_exchange pending;
        secure_session* session = nullptr;  // over TLS and HTTPS: where the attempt waits
        bool session_success = false;
        uint64_t token = 0;
        uint32_t generation = 0;  // tells a deadline of this use of the slot from earlier ones
        short watched = 0;        // the events epoll waits for on the slot's socket
        bool busy = false;
    };
    struct deadline_entry {
        clock::time_point when;
        uint32_t slot;
        uint32_t generation;
        bool operator>(const deadline_entry& other) const { return when > other.when; }
    };

    // Hands the attempt of `index` back and frees the slot.
    void release(uint32_t index, std::vector<ended_attempt>& ended);
    // Registers the slot's socket for the events its attempt waits for, or changes them.
    bool watch(uint32_t index, bool added);
    // Drops the deadlines of attempts that already ended from the top of the heap.
    void drop_stale_deadlines();
    // Registers `session` with the loop once; its number in sessions_.
    uint32_t session_number(secure_session& session);
    // Brings the epoll set up to date with session `number`'s connection, and takes the
    // attempts it ended (to ended_at_start_ without `ended`).
    void sync_session(uint32_t number, std::vector<ended_attempt>* ended);

    clock_function now_;
    int epoll_ = -1;
    int error_ = 0;
    std::vector<std::unique_ptr<slot>> slots_;
    std::vector<uint32_t> free_slots_;
    std::priority_queue<deadline_entry, std::vector<deadline_entry>, std::greater<>> deadlines_;
    std::vector<uint32_t> ended_at_start_;
    std::unique_ptr<uint8_t[]> scratch_;
    std::size_t in_flight_ = 0;
    int wake_fd_ = -1;  // the descriptor of wake_on_readable, once added to the epoll set
    struct session_watch {
        secure_session* session = nullptr;
        uint64_t connection = 0;  // the connection in the epoll set; 0: none
        uint32_t watched = 0;
    };
    std::vector<session_watch> sessions_;
    std::vector<std::pair<uint32_t, bool>> session_ended_;
};

}  // namespace resq
