// One attempt of a lookup: send the query, wait for its reply, decode it. The attempt is a small
// state machine (pending_exchange) that an event loop drives for many attempts at once; exchange()
// drives one and waits for it.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "dns/dns_record.hpp"
#include "net/endpoint.hpp"
#include "net/net_socket.hpp"

namespace resq {

/// Port a DNS server is asked on unless another is given.
inline constexpr uint16_t dns_port = 53;

/// Large enough for any UDP datagram and any TCP message (its length is two bytes), so no reply
/// is ever cut: the size of the scratch buffer datagrams are read into.
inline constexpr std::size_t receive_capacity = 65536;

/// What every attempt of one lookup needs: the server, read once per run, the wait and the
/// transport.
struct exchange_target {
    endpoint server;                       // holding none, an attempt sends nothing
    std::string server_text;               // the report's server column (see display_text)
    std::chrono::milliseconds timeout{0};  // for the reply (over TCP from connecting on); <0 is 0
    transport kind = transport::udp;
};

/// The identifier bytes and the first question of a message, each present only when the message
/// holds it whole: what ties a reply to its query.
struct message_key {
    struct question_key {
        std::string name;  // as decode_name gives it
        uint16_t type = 0;
        uint16_t dns_class = 0;
    };
    std::optional<std::array<uint8_t, 2>> id;
    std::optional<question_key> question;
};

/// One attempt in flight on a socket of its own, with its own deadline. start() sends the query
/// (over TCP it starts connecting); the owner then waits until descriptor() is ready for events()
/// and calls on_ready(), or calls expire() at deadline(); the attempt has ended once ended() is
/// true, with `attempt` filled in as exchange() fills it. The attempt and the query must stay in
/// place until then; neither copied nor moved, since it owns the socket.
class pending_exchange {
  public:
    using clock = net_socket::deadline_clock;

    pending_exchange() = default;
    pending_exchange(const pending_exchange&) = delete;
    pending_exchange& operator=(const pending_exchange&) = delete;

    /// Resets `attempt`, opens the socket and sends `query` to the target (over TCP: starts
    /// connecting). An attempt that could send nothing has already ended when this returns.
    void start(dns_exchange& attempt, dns_record& query, const exchange_target& target);

    /// Lets a datagram socket outlive its attempt, to carry the next attempt of this object to the
    /// same server, sparing the system calls that make, connect and close a socket. It is kept
    /// only for a query of another question: a late or repeated reply to the earlier query then
    /// fails the question check, so it never reaches the later one.
    void keep_socket(bool keep) { keep_socket_ = keep; }
    /// Whether start() kept the socket of the previous attempt (its descriptor is unchanged).
    bool socket_kept() const { return socket_kept_; }
    /// Reads and drops what waits on a kept socket between attempts.
    void drop_stray(std::span<uint8_t> scratch);

    /// Does what the socket is ready for, reading datagrams into `scratch` (receive_capacity
    /// bytes); a datagram that answers another query is dropped and the wait goes on.
    void on_ready(std::span<uint8_t> scratch);

    /// Waits for the socket and handles it until the attempt ends: the blocking form.
    void wait_to_end(std::span<uint8_t> scratch);

    /// Ends an attempt still waiting at its deadline: no whole reply came in time.
    void expire();

    bool ended() const { return state_ == phase::ended; }
    /// Whether the attempt ended with its reply decoded whole.
    bool success() const { return success_; }
    int descriptor() const { return socket_.descriptor(); }
    /// poll's events the attempt waits for: POLLOUT while a stream connects or sends, else POLLIN.
    short events() const;
    clock::time_point deadline() const { return deadline_; }

  private:
    enum class phase { connecting, sending, reading, ended };

    void start_stream();
    void send_frame();
    void read_stream();
    void read_datagrams(std::span<uint8_t> scratch);
    // Takes `reply` (answering the query or not) as the attempt's reply and ends the attempt.
    void take_reply(std::span<const uint8_t> reply, bool answers);
    void finish(exchange_failure failure);

    // Whether the socket held from the previous attempt may carry `query` to `target`.
    bool can_keep(const message_key& asked, const exchange_target& target) const;

    net_socket socket_;
    endpoint peer_;   // what a kept socket is connected to
    endpoint local_;  // and its own address
    bool keep_socket_ = false;
    bool socket_kept_ = false;
    bool unreachable_ = false;  // an ICMP error came back for the query's datagram
    phase state_ = phase::ended;
    bool success_ = false;
    dns_exchange* attempt_ = nullptr;
    dns_record* query_ = nullptr;
    message_key asked_;
    clock::time_point deadline_{};
    transport kind_ = transport::udp;
    std::vector<uint8_t> stream_bytes_;  // over TCP: the framed query, then the framed reply
    std::size_t stream_done_ = 0;        // bytes of stream_bytes_ sent, or received
};

/// Sends `query` to the target through `carrier` and waits for its reply, decoded into `attempt`;
/// false: nothing sent, no whole reply, undecoded. One lookup after another passes the same
/// carrier in: its datagram socket carries the next attempt when it may (see keep_socket).
bool exchange(dns_exchange& attempt, dns_record& query, const exchange_target& target,
              pending_exchange& carrier);

}  // namespace resq
