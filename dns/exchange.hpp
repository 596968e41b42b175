// One attempt of a lookup: send the query, wait for its reply, decode it. The attempt is a small
// state machine (pending_exchange) that the event loop drives for many attempts at once.
#pragma once

#include <chrono>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "dns/dns_record.hpp"
#include "net/endpoint.hpp"
#include "net/net_socket.hpp"

namespace resq {

class secure_session;

/// Port a DNS server is asked on unless another is given.
inline constexpr uint16_t dns_port = 53;

/// Large enough for any UDP datagram and any TCP message (its length is two bytes), so no reply
/// is ever cut: the size of the scratch buffer datagrams are read into.
inline constexpr std::size_t receive_capacity = 65536;

/// The room the attempts of a run share for the messages they pass over, kept until the evidence
/// file has them: a flood of forgeries costs at most this much memory, and what no longer fits is
/// counted instead of kept.
struct evidence_room {
    std::size_t bytes = std::size_t{16} << 20;
    uint64_t left_out = 0;  // messages passed over that were not kept for want of room
};

/// Where and how one attempt goes: the server, the wait and the transport. Each attempt carries
/// its own, so the attempts of one lookup may go to different servers.
struct exchange_target {
    endpoint server;                       // holding none, an attempt sends nothing
    std::string server_text;               // the report's server column (see display_text)
    std::chrono::milliseconds timeout{0};  // for the reply (over TCP from connecting on); <0 is 0
    transport kind = transport::udp;
    // The attempt keeps what the evidence file shows: the socket's own address and every message
    // received that was no reply (see dns_exchange::passed_over), as long as `room` has room.
    bool keep_evidence = true;
    evidence_room* room = nullptr;  // none: no message passed over is kept
    endpoint source{};  // the local address the socket is bound to; none: the kernel's choice
    // Over TLS and HTTPS: the connection to the server the attempt shares with others; the
    // attempt then opens no socket of its own.
    secure_session* session = nullptr;
};

/// One attempt in flight on a socket of its own, opened for it alone (so its port is fresh, chosen
/// by the kernel, and nothing sent before the query can reach it), with its own deadline. start()
/// sends the query (over TCP it starts connecting); the owner then waits until descriptor() is
/// ready for events() and calls on_ready(), or calls expire() at deadline(); the attempt has ended
/// once ended() is true, with `attempt` filled in. Deadlines are on the owner's clock; the attempt
/// and the query must stay in place until the attempt ends. Neither copied nor moved, since it
/// owns the socket.
///
/// A message becomes the reply only if check_reply() takes it (a whole header, the query's id,
/// its question echoed); every other one is counted in `attempt.discarded` (and kept, when the
/// target keeps evidence) and the wait goes on.
class pending_exchange {
  public:
    using clock = std::chrono::steady_clock;

    pending_exchange() = default;
    pending_exchange(const pending_exchange&) = delete;
    pending_exchange& operator=(const pending_exchange&) = delete;

    /// Resets `attempt`, opens a socket and sends `query` to the target (over TCP: starts
    /// connecting), stamping the query's time. An attempt that could send nothing has already
    /// ended when this returns.
    void start(dns_exchange& attempt, dns_record& query, const exchange_target& target,
               clock::time_point now);

    /// Does what the socket is ready for, reading datagrams into `scratch` (receive_capacity
    /// bytes).
    void on_ready(std::span<uint8_t> scratch);

    /// Ends an attempt at its deadline: a reply that already waits on the socket and arrived in
    /// time is still taken, else the attempt ends without one.
    void expire(std::span<uint8_t> scratch);

    bool ended() const { return state_ == phase::ended; }
    /// Whether the attempt ended with its reply decoded whole.
    bool success() const { return success_; }
    int descriptor() const { return socket_.descriptor(); }
    /// poll's events the attempt waits for: POLLOUT while a stream connects or sends, else POLLIN.
    short events() const;
    clock::time_point deadline() const { return deadline_; }

  private:
    enum class phase { connecting, sending, reading, ended };

    // Reads what the socket holds, over either transport.
    void read_reply(std::span<uint8_t> scratch);
    void start_stream();
    void send_frame();
    void read_stream(std::span<uint8_t> scratch);
    // Takes the message at the front of the stream buffer, if whole; true when one was taken.
    bool take_stream_message();
    // Reads what waits on the datagram socket; a datagram that arrived after the deadline ends
    // the attempt without a reply.
    void read_datagrams(std::span<uint8_t> scratch);
    // Checks `message` and, when it is the reply, takes it and ends the attempt; true then.
    bool offer(std::span<const uint8_t> message, uint64_t reply_time);
    // Keeps a message that is not the reply, when the attempt keeps evidence.
    void keep_passed_over(std::span<const uint8_t> message, uint64_t time);
    void finish(exchange_failure failure);

    net_socket socket_;
    bool unreachable_ = false;  // an ICMP error came back for the query's datagram
    phase state_ = phase::ended;
    bool success_ = false;
    dns_exchange* attempt_ = nullptr;
    dns_record* query_ = nullptr;
    clock::time_point deadline_{};
    uint64_t sent_ns_ = 0;     // wall-clock send time, nanoseconds since 1970
    uint64_t timeout_ns_ = 0;  // the wait, in nanoseconds
    transport kind_ = transport::udp;
    bool keep_evidence_ = true;
    evidence_room* room_ = nullptr;
    std::vector<uint8_t> stream_bytes_;  // over TCP: the framed query, then what came back
    std::size_t stream_done_ = 0;        // bytes of the framed query sent
};

}  // namespace resq
