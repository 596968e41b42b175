// A scripted DNS responder for loopback tests, over UDP and TCP on one address and port (and UDP
// on an IPv6 address too): replies come from hand-assembled fixtures and misbehave on request,
// chosen by the query name (the table at the top of fixtures.cpp). A query with an OPT record gets
// that record back in every reply.
//
// As a latency relay for concurrency tests and benchmarks (relay_settings, set before serve() or
// start()) it also holds every reply back by a fixed delay, answers any name of a synthetic zone
// with an address derived from the name, and drops, delays or doubles the replies of fixed shares
// of those names, each share chosen by a hash of the name so that every run treats the same names
// the same way.
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <map>
#include <span>
#include <string>
#include <string_view>
#include <thread>
#include <unordered_map>
#include <utility>
#include <vector>

#include <netinet/in.h>
#include <sys/socket.h>

#include "tools/responder/fixtures.hpp"

namespace resq::test_tools {

/// The slots of the name hash that the shares of synthetic names are counted in.
inline constexpr unsigned relay_slots = 10000;

/// What the relay does with the queries for one synthetic name.
enum class relay_band {
    answered,    // every query answered after the delay
    drop_first,  // the first query ignored, every later one answered
    drop_all,    // no query answered
    late_first,  // the first query answered after late_delay, every later one after the delay
    twice,       // every reply sent twice, the copy right after the first
};

/// How the responder behaves as a latency relay. Defaults: no delay, no synthetic zone.
///
/// Synthetic names are the names equal to or under `synthetic_zone` that are neither in a
/// behaviour zone nor a fixture name (fixtures.cpp). Each gets an authoritative NOERROR reply
/// echoing the question (and the query's OPT record): for type A one record 10.b.c.d, for AAAA
/// one record fd00::/64 with the hash as interface identifier, TTL 300 (see synthetic_hash()), for
/// other types no answer and an SOA of the zone in authority.
///
/// Bands: a synthetic name's slot is synthetic_hash(name) % relay_slots (10000, one slot a
/// hundredth of a percent). The shares take consecutive, non-overlapping ranges of slots in this
/// order, each as wide as its percentage times 100 (rounded): drop (drop_first), drop_all,
/// late (late_first), twice; the slots after them are answered normally. The shares add up to
/// at most 100.
///
/// Attempts are counted per name for the life of the responder, over UDP and TCP together: a
/// test that compares two runs of one batch gives each run a responder of its own.
struct relay_settings {
    /// Every reply, fixture or synthetic, over UDP or TCP, leaves this long after its query came
    /// (on top of a behaviour's own pauses).
    std::chrono::milliseconds delay{0};
    /// Lower case, with or without the final dot; empty: no synthetic zone.
    std::string synthetic_zone;
    /// Percentages of synthetic names, 0 to 100, fractions allowed.
    double drop_percent = 0;
    double drop_all_percent = 0;
    double late_percent = 0;
    double twice_percent = 0;
    /// When the first reply to a name of the late band leaves, in place of `delay`.
    std::chrono::milliseconds late_delay{1500};

    /// False when a percentage is outside 0 to 100 or they add up to more than 100.
    bool valid() const;
    /// The band of `name` (any letter case, with or without the final dot).
    relay_band band_of(std::string_view name) const;
};

/// 64-bit FNV-1a of `name` in lower case with one final dot ("a.synth.test."), the same for any
/// letter case and with or without the final dot. Bits 32 to 55 (from the high end) give the last
/// three bytes of the synthetic A address, 10.(h >> 48).(h >> 40).(h >> 32), all eight bytes the
/// last eight of the AAAA address fd00::/64.
uint64_t synthetic_hash(std::string_view name);

class responder {
  public:
    responder() = default;
    /// Stops the serving thread, if any, and closes the sockets.
    ~responder();
    responder(const responder&) = delete;
    responder& operator=(const responder&) = delete;

    /// Binds the listening socket on `address`:`port` (0: any free port), a TCP listener on the
    /// same address and port, and the two sockets that misdirected replies leave from: the
    /// address plus one on the same port, and the same address on another port. False, with the
    /// reason in error(), when one cannot be bound.
    bool open(const std::string& address, uint16_t port);

    /// After open(), also listens over UDP on the IPv6 `address` at the same port (the
    /// misdirecting sockets stay IPv4: misdirected replies to a client over IPv6 are not sent).
    /// False, with the reason in error(), when it cannot be bound.
    bool open_ipv6(const std::string& address);

    /// Makes the responder a latency relay (see relay_settings) and resets the per-name counts;
    /// only while it is not serving. False, keeping the settings before, when they are not
    /// valid().
    bool set_relay(const relay_settings& settings);

    /// Serves in the calling thread until `stop` is set, or until `limit` queries (0: no limit)
    /// were taken and every reply they called for was sent.
    void serve(const std::atomic<bool>& stop, uint64_t limit = 0);

    /// Serves on a thread of its own until stop() or destruction.
    void start();
    /// Ends the thread of start() and waits for it.
    void stop();

    /// Queries taken so far, answered or not.
    uint64_t queries_seen() const { return queries_seen_.load(); }
    /// The port the last query came from, host byte order.
    uint16_t last_client_port() const { return last_client_port_.load(); }
    /// The port the listening sockets are bound to.
    uint16_t port() const { return port_; }
    /// The listening address, host byte order.
    uint32_t address() const { return address_; }
    /// The address misdirected replies leave from, host byte order.
    uint32_t other_address() const { return other_address_; }
    /// Why open() failed.
    const std::string& error() const { return error_; }

  private:
    // A datagram from a socket of the responder, bytes on a TCP connection, or its closing.
    enum class delivery { datagram, stream, hang_up };

    using clock = std::chrono::steady_clock;

    struct pending_reply {
        clock::time_point due;
        uint64_t order;  // queueing order: of replies due at once, the earlier queued leaves first
        int from_fd;     // for a stream or its closing: the connection
        sockaddr_storage to;
        std::vector<uint8_t> bytes;
        delivery how = delivery::datagram;
    };

    // An accepted TCP connection and the bytes of queries not yet complete.
    struct connection {
        int fd;
        sockaddr_storage client;
        std::vector<uint8_t> received;
    };

    void close_all();
    void take_query(std::span<const uint8_t> data, const sockaddr_storage& client, int stream_fd,
                    clock::time_point arrived);
    void queue(int from_fd, const sockaddr_storage& to, std::vector<uint8_t> bytes,
               std::chrono::milliseconds delay = std::chrono::milliseconds(0),
               delivery how = delivery::datagram);
    void queue_framing_fault(int stream_fd, behaviour what, std::vector<uint8_t> framed);
    bool has_pending() const { return !steady_.empty() || !scheduled_.empty(); }
    pending_reply* next_pending();
    void pop_pending(const pending_reply* reply);
    void send_due();
    // Takes the queries waiting on `fd`, `most` at most, up to one batch; true when the batch was
    // full, so more may be waiting.
    bool read_datagrams(int fd, uint64_t most);
    void accept_connection();
    void read_connection(int fd);
    void close_connection(int fd);

    int listen_fd_ = -1;
    int listen6_fd_ = -1;
    int stream_listen_fd_ = -1;
    int other_address_fd_ = -1;
    int other_port_fd_ = -1;
    uint32_t address_ = 0;
    uint32_t other_address_ = 0;
    uint16_t port_ = 0;
    std::string error_;
    relay_settings relay_;
    std::unordered_map<std::string, unsigned> queries_by_name_;
    // The arrival time of the query being taken: delays count from it.
    clock::time_point arrived_;
    // Replies due after relay_.delay alone, in queueing order and so in order of due time (the
    // delay is the same for all); every other reply is kept by due time and order.
    std::deque<pending_reply> steady_;
    std::map<std::pair<clock::time_point, uint64_t>, pending_reply> scheduled_;
    uint64_t queued_ = 0;
    std::vector<uint8_t> receive_buffers_;  // datagram_batch datagrams of the largest size
    std::vector<connection> connections_;
    std::atomic<uint64_t> queries_seen_{0};
    std::atomic<uint16_t> last_client_port_{0};
    std::atomic<bool> stop_requested_{false};
    std::thread thread_;
};

}  // namespace resq::test_tools
