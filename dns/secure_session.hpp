// DNS over TLS (RFC 7858) and DNS over HTTPS (RFC 8484): one connection per server, which the
// attempts to that server share. Queries are pipelined on it (RFC 7766 6.2.1.1: replies come in
// any order and are matched by id; over HTTP/2 each query is a stream of its own), so one
// connection is enough, and a resolver that limits its connections per client is not pushed
// towards the limit. The TLS session is kept for resumption when the connection is made again.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "dns/dns_record.hpp"
#include "net/endpoint.hpp"
#include "net/net_socket.hpp"

// OpenSSL's and nghttp2's types, named here so that their headers stay out of every includer.
struct ssl_ctx_st;
struct ssl_st;
struct ssl_session_st;
struct nghttp2_session;

namespace resq {

/// Keeps the TLS session a server gave, for the next connection to it (OpenSSL's new-session
/// callback); 0 when the connection belongs to no session.
int secure_session_saver(ssl_st* ssl, ssl_session_st* session);

/// Port of DNS over TLS (RFC 7858 3.1).
inline constexpr uint16_t dot_port = 853;
/// Port of HTTPS.
inline constexpr uint16_t https_port = 443;

/// The parts of an https:// URL a DNS over HTTPS server is named by.
struct https_url {
    std::string host;  // a name, or an address (an IPv6 one without its brackets)
    uint16_t port = https_port;
    std::string authority;  // host[:port] as typed: HTTP's :authority
    std::string path;       // from the first "/", "/" when none
};

/// Reads "https://HOST[:PORT][/PATH]"; false for anything else.
bool parse_https_url(std::string_view text, https_url& out);

/// What the TLS connections of a run share: the trust store and the checks made.
struct secure_settings {
    std::string ca_file;    // -tls_ca: the authorities trusted; empty: the system's store
    bool insecure = false;  // -tls_insecure: no certificate is checked
    bool http = false;      // DNS over HTTPS: ALPN "h2"; else "dot"
};

/// The TLS context of a run (OpenSSL's SSL_CTX); neither copied nor moved.
class secure_context {
  public:
    /// Makes the context; ready() tells whether it could be made and the trust store read.
    explicit secure_context(const secure_settings& settings);
    ~secure_context();
    secure_context(const secure_context&) = delete;
    secure_context& operator=(const secure_context&) = delete;

    /// Whether connections can be made; false: the context or the trust store failed.
    bool ready() const { return context_ != nullptr; }
    ssl_ctx_st* native() const { return context_; }

  private:
    ssl_ctx_st* context_ = nullptr;
};

/// Where one server is asked and what its certificate must name.
struct secure_server {
    endpoint address;
    std::string tls_name;  // the name checked and sent as SNI; empty: the address is checked
    // DNS over HTTPS only: what the request names.
    std::string authority;
    std::string path;
    bool get = false;  // GET with ?dns= instead of POST
};

/// One server's connection and the attempts waiting on it. The event loop watches descriptor()
/// for events() and calls on_ready(); every attempt keeps its own deadline there and is ended by
/// expire() when it passes. Attempts that ended are collected with take_ended(). Neither copied
/// nor moved.
class secure_session {
  public:
    using clock = std::chrono::steady_clock;

    /// A session for `server` over `kind` (tls or https); no connection is made until a query
    /// comes.
    secure_session(secure_context& context, transport kind, secure_server server);
    ~secure_session();
    secure_session(const secure_session&) = delete;
    secure_session& operator=(const secure_session&) = delete;

    /// Queues `query` as the attempt `ticket`, connecting first when there is no connection.
    /// `attempt` and `query` stay in place until the attempt ends.
    void submit(uint32_t ticket, dns_exchange& attempt, dns_record& query);

    /// Does what the connection is ready for, reading into `scratch`.
    void on_ready(std::span<uint8_t> scratch);

    /// Ends attempt `ticket` at its deadline without a reply; a connection still being made for
    /// no other attempt is given up.
    void expire(uint32_t ticket);

    /// Moves the attempts that ended since the last call, with whether each got its reply decoded
    /// whole, to `ended`.
    void take_ended(std::vector<std::pair<uint32_t, bool>>& ended);

    /// The connection's descriptor; -1 without one.
    int descriptor() const { return socket_.descriptor(); }
    /// Counts the connections made: a new number is a new descriptor to watch.
    uint64_t connection_number() const { return connections_; }
    /// The epoll events the connection waits for.
    uint32_t events() const;

  private:
    enum class phase { idle, connecting, handshaking, open };
    struct request {
        dns_exchange* attempt = nullptr;
        dns_record* query = nullptr;
        bool written = false;  // on the current connection
        bool resent = false;   // already sent once more after a connection closed under it
        uint16_t id = 0;       // over TLS: the id it went with
        int32_t stream = -1;   // over HTTPS: its stream
        std::size_t body_done = 0;
        std::vector<uint8_t> body;  // over HTTPS: the response's body so far
        uint16_t status = 0;
    };

    friend struct http_callbacks;
    friend int secure_session_saver(ssl_st* ssl, ssl_session_st* session);

    void connect();
    void start_tls();
    void handshake();
    void opened();
    void write_request(uint32_t ticket, request& entry);
    void flush();
    void read_some(std::span<uint8_t> scratch);
    void take_frames();
    // Over HTTPS: the stream of `ticket` closed, with its response whole.
    void answered(uint32_t ticket);
    // The connection closed or failed under the attempts: those written are sent once more on a
    // new connection, once; those already sent twice end as closed.
    void lost();
    // Ends every attempt waiting with `failure` and drops the connection.
    void fail_all(exchange_failure failure);
    void drop_connection();
    void finish(uint32_t ticket, exchange_failure failure, bool success);
    void offer(uint32_t ticket, std::span<const uint8_t> message);

    secure_context& context_;
    transport kind_;
    secure_server server_;
    net_socket socket_;
    phase state_ = phase::idle;
    uint64_t connections_ = 0;
    ssl_st* ssl_ = nullptr;
    ssl_session_st* saved_ = nullptr;  // the last session the server gave, for resumption
    nghttp2_session* http_ = nullptr;
    bool want_write_ = false;   // the handshake or a write waits for room
    std::vector<uint8_t> out_;  // plain bytes not yet taken by TLS
    std::vector<uint8_t> in_;   // over TLS: bytes of replies not yet whole
    std::unordered_map<uint32_t, request> requests_;
    std::unordered_map<uint16_t, uint32_t> by_id_;  // over TLS: id -> ticket, written ones
    std::vector<uint32_t> queue_;                   // tickets waiting for the connection
    std::vector<std::pair<uint32_t, bool>> ended_;
    endpoint local_;
};

}  // namespace resq
