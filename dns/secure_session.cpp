#include "dns/secure_session.hpp"

#include <nghttp2/nghttp2.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>
#include <sys/epoll.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "dns/reply_check.hpp"
#include "dns/reply_decoder.hpp"
#include "support/kx_time.hpp"
#include "support/random_pool.hpp"
#include "support/text_forms.hpp"

namespace resq {

namespace {

// Reads per readiness, so that one busy connection cannot hold the loop.
constexpr int reads_per_wake = 64;

// A response body larger than any DNS message is no reply: what is past this is not kept.
constexpr std::size_t body_limit = 65535;

// Now, as a time value of the report.
uint64_t report_now() {
    return kx::filetime_of_unix_ns(kx::wall_clock_ns());
}

// The id a query went out with, as build_query stores it (its low byte first).
uint16_t message_id(std::span<const uint8_t> message) {
    return message.size() < 2 ? 0 : static_cast<uint16_t>(message[0] | message[1] << 8);
}

// Gives `query` another id: a copy of its message, since messages are shared once built.
void set_id(dns_record& query, uint16_t id) {
    std::vector<uint8_t> bytes(query.bytes().begin(), query.bytes().end());
    if (bytes.size() < 2) {
        return;
    }
    bytes[0] = static_cast<uint8_t>(id & 0xff);
    bytes[1] = static_cast<uint8_t>(id >> 8);
    query.message = std::make_shared<const std::vector<uint8_t>>(std::move(bytes));
    query.packet_id = id;
}

// Why the handshake failed, from what the certificate check found.
exchange_failure handshake_failure(long verdict) {
    switch (verdict) {
        case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT:
        case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT_LOCALLY:
        case X509_V_ERR_UNABLE_TO_VERIFY_LEAF_SIGNATURE:
        case X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT:
        case X509_V_ERR_SELF_SIGNED_CERT_IN_CHAIN:
        case X509_V_ERR_CERT_UNTRUSTED:
            return exchange_failure::tls_unknown_ca;
        case X509_V_ERR_HOSTNAME_MISMATCH:
        case X509_V_ERR_IP_ADDRESS_MISMATCH:
            return exchange_failure::tls_name_mismatch;
        case X509_V_ERR_CERT_HAS_EXPIRED:
        case X509_V_ERR_CERT_NOT_YET_VALID:
            return exchange_failure::tls_expired;
        default:
            return exchange_failure::tls_protocol;
    }
}

// SSLKEYLOGFILE: the secrets of every connection, so that a capture can be decrypted.
void write_key_line(const SSL*, const char* line) {
    static std::FILE* file = [] {
        const char* path = std::getenv("SSLKEYLOGFILE");
        return path != nullptr && *path != '\0' ? std::fopen(path, "ae") : nullptr;
    }();
    if (file != nullptr) {
        std::fprintf(file, "%s\n", line);
        std::fflush(file);
    }
}

void* ticket_pointer(uint32_t ticket) {
    return reinterpret_cast<void*>(static_cast<uintptr_t>(ticket) + 1);
}

// The ticket of a stream's user data; false for a stream without one.
bool ticket_of(nghttp2_session* session, int32_t stream, uint32_t& ticket) {
    void* data = nghttp2_session_get_stream_user_data(session, stream);
    if (data == nullptr) {
        return false;
    }
    ticket = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(data) - 1);
    return true;
}

nghttp2_nv header(std::string_view name, std::string_view value) {
    // nghttp2 copies neither: the texts stay in place until the request is submitted.
    return {reinterpret_cast<uint8_t*>(const_cast<char*>(name.data())),
            reinterpret_cast<uint8_t*>(const_cast<char*>(value.data())), name.size(), value.size(),
            NGHTTP2_NV_FLAG_NONE};
}

}  // namespace

bool parse_https_url(std::string_view text, https_url& out) {
    constexpr std::string_view scheme = "https://";
    if (!text.starts_with(scheme)) {
        return false;
    }
    text.remove_prefix(scheme.size());
    const std::size_t slash = text.find('/');
    const std::string_view authority = text.substr(0, slash);
    https_url url;
    url.authority = authority;
    url.path = slash == std::string_view::npos ? "/" : std::string(text.substr(slash));
    std::string_view port;
    if (authority.starts_with('[')) {
        const std::size_t close = authority.find(']');
        if (close == std::string_view::npos) {
            return false;
        }
        url.host = authority.substr(1, close - 1);
        const std::string_view rest = authority.substr(close + 1);
        if (!rest.empty() && !rest.starts_with(':')) {
            return false;
        }
        port = rest.empty() ? rest : rest.substr(1);
    } else {
        const std::size_t colon = authority.find(':');
        url.host = authority.substr(0, colon);
        port = colon == std::string_view::npos ? std::string_view() : authority.substr(colon + 1);
        if (colon != std::string_view::npos && port.empty()) {
            return false;
        }
    }
    if (!port.empty()) {
        const auto [stop, error] =
            std::from_chars(port.data(), port.data() + port.size(), url.port);
        if (error != std::errc() || stop != port.data() + port.size() || url.port == 0) {
            return false;
        }
    }
    if (url.host.empty()) {
        return false;
    }
    out = std::move(url);
    return true;
}

secure_context::secure_context(const secure_settings& settings) {
    SSL_CTX* context = SSL_CTX_new(TLS_client_method());
    if (context == nullptr) {
        return;
    }
    SSL_CTX_set_min_proto_version(context, TLS1_2_VERSION);
    // Writes may stop part-way and go on from a buffer that has moved meanwhile.
    SSL_CTX_set_mode(context, SSL_MODE_ENABLE_PARTIAL_WRITE | SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
    SSL_CTX_set_session_cache_mode(context,
                                   SSL_SESS_CACHE_CLIENT | SSL_SESS_CACHE_NO_INTERNAL_STORE);
    SSL_CTX_sess_set_new_cb(context, secure_session_saver);
    SSL_CTX_set_keylog_callback(context, write_key_line);
    static constexpr unsigned char h2[] = {2, 'h', '2'};
    static constexpr unsigned char dot[] = {3, 'd', 'o', 't'};
    if (settings.http) {
        SSL_CTX_set_alpn_protos(context, h2, sizeof h2);
    } else {
        SSL_CTX_set_alpn_protos(context, dot, sizeof dot);
    }
    if (!settings.insecure) {
        SSL_CTX_set_verify(context, SSL_VERIFY_PEER, nullptr);
        const bool loaded =
            settings.ca_file.empty()
                ? SSL_CTX_set_default_verify_paths(context) == 1
                : SSL_CTX_load_verify_locations(context, settings.ca_file.c_str(), nullptr) == 1;
        if (!loaded) {
            SSL_CTX_free(context);
            return;
        }
    }
    context_ = context;
}

secure_context::~secure_context() {
    SSL_CTX_free(context_);
}

// nghttp2's callbacks, with the session they belong to as user data.
struct http_callbacks {
    static int on_header(nghttp2_session* http, const nghttp2_frame* frame, const uint8_t* name,
                         std::size_t name_size, const uint8_t* value, std::size_t value_size,
                         uint8_t, void* user) {
        auto& self = *static_cast<secure_session*>(user);
        uint32_t ticket = 0;
        const std::string_view key(reinterpret_cast<const char*>(name), name_size);
        if (frame->hd.type != NGHTTP2_HEADERS || key != ":status" ||
            !ticket_of(http, frame->hd.stream_id, ticket)) {
            return 0;
        }
        const auto found = self.requests_.find(ticket);
        if (found != self.requests_.end() && found->second.stream == frame->hd.stream_id) {
            const auto* text = reinterpret_cast<const char*>(value);
            std::from_chars(text, text + value_size, found->second.status);
        }
        return 0;
    }

    static int on_data(nghttp2_session* http, uint8_t, int32_t stream, const uint8_t* data,
                       std::size_t size, void* user) {
        auto& self = *static_cast<secure_session*>(user);
        uint32_t ticket = 0;
        if (!ticket_of(http, stream, ticket)) {
            return 0;
        }
        const auto found = self.requests_.find(ticket);
        if (found != self.requests_.end() && found->second.stream == stream) {
            std::vector<uint8_t>& body = found->second.body;
            body.insert(body.end(), data, data + std::min(size, body_limit - body.size()));
        }
        return 0;
    }

    static int on_close(nghttp2_session* http, int32_t stream, uint32_t, void* user) {
        auto& self = *static_cast<secure_session*>(user);
        uint32_t ticket = 0;
        if (!ticket_of(http, stream, ticket)) {
            return 0;
        }
        const auto found = self.requests_.find(ticket);
        if (found != self.requests_.end() && found->second.stream == stream) {
            self.answered(ticket);
        }
        return 0;
    }

    static ssize_t read_body(nghttp2_session* http, int32_t stream, uint8_t* buffer,
                             std::size_t size, uint32_t* flags, nghttp2_data_source*, void* user) {
        auto& self = *static_cast<secure_session*>(user);
        uint32_t ticket = 0;
        const auto found =
            ticket_of(http, stream, ticket) ? self.requests_.find(ticket) : self.requests_.end();
        if (found == self.requests_.end() || found->second.stream != stream) {
            *flags |= NGHTTP2_DATA_FLAG_EOF;
            return 0;
        }
        secure_session::request& entry = found->second;
        const std::span<const uint8_t> message = entry.query->bytes();
        const std::size_t taken = std::min(size, message.size() - entry.body_done);
        std::memcpy(buffer, message.data() + entry.body_done, taken);
        entry.body_done += taken;
        if (entry.body_done == message.size()) {
            *flags |= NGHTTP2_DATA_FLAG_EOF;
        }
        return static_cast<ssize_t>(taken);
    }
};

int secure_session_saver(SSL* ssl, SSL_SESSION* session) {
    auto* self = static_cast<secure_session*>(SSL_get_ex_data(ssl, 0));
    if (self == nullptr) {
        return 0;
    }
    SSL_SESSION_free(self->saved_);
    self->saved_ = session;
    return 1;  // the reference is kept
}

secure_session::secure_session(secure_context& context, transport kind, secure_server server)
    : context_(context), kind_(kind), server_(std::move(server)) {}

secure_session::~secure_session() {
    drop_connection();
    SSL_SESSION_free(saved_);
}

uint32_t secure_session::events() const {
    switch (state_) {
        case phase::idle:
            return 0;
        case phase::connecting:
            return EPOLLOUT;
        case phase::handshaking:
            return want_write_ ? EPOLLOUT : EPOLLIN;
        case phase::open:
            break;
    }
    const bool writing =
        want_write_ || !out_.empty() || (http_ != nullptr && nghttp2_session_want_write(http_));
    return EPOLLIN | (writing ? EPOLLOUT : 0u);
}

void secure_session::submit(uint32_t ticket, dns_exchange& attempt, dns_record& query) {
    // RFC 8484 4.1: id 0 makes the same question the same request, for HTTP caches.
    if (kind_ == transport::https && message_id(query.bytes()) != 0) {
        set_id(query, 0);
    }
    request& entry = requests_[ticket];
    entry = request{};
    entry.attempt = &attempt;
    entry.query = &query;
    switch (state_) {
        case phase::idle:
            queue_.push_back(ticket);
            connect();
            return;
        case phase::connecting:
        case phase::handshaking:
            queue_.push_back(ticket);
            return;
        case phase::open:
            write_request(ticket, entry);
            flush();
            return;
    }
}

void secure_session::connect() {
    drop_connection();
    ++connections_;
    bool in_progress = false;
    if (!socket_.create(kind_, server_.address)) {
        fail_all(exchange_failure::not_sent);
        return;
    }
    if (!socket_.connect_to(server_.address, in_progress)) {
        fail_all(errno == ECONNREFUSED ? exchange_failure::connection_refused
                                       : exchange_failure::no_connection);
        return;
    }
    local_ = socket_.local_endpoint();
    state_ = phase::connecting;
    if (!in_progress) {
        start_tls();
    }
}

void secure_session::start_tls() {
    ssl_ = SSL_new(context_.native());
    if (ssl_ == nullptr || SSL_set_fd(ssl_, socket_.descriptor()) != 1) {
        fail_all(exchange_failure::tls_protocol);
        return;
    }
    SSL_set_ex_data(ssl_, 0, this);
    SSL_set_connect_state(ssl_);
    if (saved_ != nullptr) {
        SSL_set_session(ssl_, saved_);
    }
    if (!server_.tls_name.empty()) {
        // SSL_set_tlsext_host_name, without the macro's cast.
        SSL_ctrl(ssl_, SSL_CTRL_SET_TLSEXT_HOSTNAME, TLSEXT_NAMETYPE_host_name,
                 const_cast<char*>(server_.tls_name.c_str()));
        SSL_set1_host(ssl_, server_.tls_name.c_str());
    } else {
        X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(ssl_), server_.address.address_text().c_str());
    }
    state_ = phase::handshaking;
    handshake();
}

void secure_session::handshake() {
    ERR_clear_error();
    const int result = SSL_do_handshake(ssl_);
    if (result == 1) {
        opened();
        return;
    }
    switch (SSL_get_error(ssl_, result)) {
        case SSL_ERROR_WANT_READ:
            want_write_ = false;
            return;
        case SSL_ERROR_WANT_WRITE:
            want_write_ = true;
            return;
        default:
            fail_all(handshake_failure(SSL_get_verify_result(ssl_)));
            return;
    }
}

void secure_session::opened() {
    state_ = phase::open;
    want_write_ = false;
    if (kind_ == transport::https) {
        nghttp2_session_callbacks* callbacks = nullptr;
        if (nghttp2_session_callbacks_new(&callbacks) != 0) {
            fail_all(exchange_failure::tls_protocol);
            return;
        }
        nghttp2_session_callbacks_set_on_header_callback(callbacks, http_callbacks::on_header);
        nghttp2_session_callbacks_set_on_data_chunk_recv_callback(callbacks,
                                                                  http_callbacks::on_data);
        nghttp2_session_callbacks_set_on_stream_close_callback(callbacks, http_callbacks::on_close);
        const int made = nghttp2_session_client_new(&http_, callbacks, this);
        nghttp2_session_callbacks_del(callbacks);
        if (made != 0) {
            http_ = nullptr;
            fail_all(exchange_failure::tls_protocol);
            return;
        }
        nghttp2_submit_settings(http_, NGHTTP2_FLAG_NONE, nullptr, 0);
    }
    std::vector<uint32_t> queued;
    queued.swap(queue_);
    for (const uint32_t ticket : queued) {
        const auto found = requests_.find(ticket);
        if (found != requests_.end() && !found->second.written) {
            write_request(ticket, found->second);
        }
    }
    flush();
}

void secure_session::write_request(uint32_t ticket, request& entry) {
    dns_record& query = *entry.query;
    dns_exchange& attempt = *entry.attempt;
    if (kind_ == transport::tls) {
        // Ids must tell apart the replies on one connection: a clash draws another.
        uint16_t id = message_id(query.bytes());
        static random_pool pool;
        while (by_id_.contains(id) && pool.next_u16(id)) {
        }
        if (id != message_id(query.bytes())) {
            set_id(query, id);
        }
        entry.id = id;
        by_id_[id] = ticket;
    }
    const std::span<const uint8_t> message = query.bytes();
    entry.written = true;
    attempt.sent_bytes = query.message;
    attempt.sent_size = static_cast<uint32_t>(message.size());
    attempt.local = local_;
    // The query's time is when it goes out, after the handshake: the round trip leaves it out.
    query.query_time = report_now();
    if (kind_ == transport::tls) {
        out_.push_back(static_cast<uint8_t>(message.size() >> 8));
        out_.push_back(static_cast<uint8_t>(message.size() & 0xff));
        out_.insert(out_.end(), message.begin(), message.end());
        return;
    }
    const std::string length = std::to_string(message.size());
    std::string path = server_.path;
    if (server_.get) {
        path += path.find('?') == std::string::npos ? "?dns=" : "&dns=";
        path += base64url_text(message);
    }
    std::vector<nghttp2_nv> headers = {
        header(":method", server_.get ? "GET" : "POST"), header(":scheme", "https"),
        header(":authority", server_.authority), header(":path", path),
        header("accept", "application/dns-message")};
    if (!server_.get) {
        headers.push_back(header("content-type", "application/dns-message"));
        headers.push_back(header("content-length", length));
    }
    nghttp2_data_provider body{};
    body.read_callback = http_callbacks::read_body;
    entry.body_done = 0;
    entry.stream = nghttp2_submit_request(http_, nullptr, headers.data(), headers.size(),
                                          server_.get ? nullptr : &body, ticket_pointer(ticket));
    if (entry.stream < 0) {
        finish(ticket, exchange_failure::not_sent, false);
    }
}

void secure_session::flush() {
    if (state_ != phase::open) {
        return;
    }
    if (http_ != nullptr) {
        for (;;) {
            const uint8_t* data = nullptr;
            const ssize_t size = nghttp2_session_mem_send(http_, &data);
            if (size < 0) {
                lost();
                return;
            }
            if (size == 0) {
                break;
            }
            out_.insert(out_.end(), data, data + size);
        }
    }
    std::size_t done = 0;
    want_write_ = false;
    while (done < out_.size()) {
        std::size_t written = 0;
        ERR_clear_error();
        const int result = SSL_write_ex(ssl_, out_.data() + done, out_.size() - done, &written);
        if (result == 1) {
            done += written;
            continue;
        }
        const int error = SSL_get_error(ssl_, result);
        if (error == SSL_ERROR_WANT_WRITE || error == SSL_ERROR_WANT_READ) {
            want_write_ = error == SSL_ERROR_WANT_WRITE;
            break;
        }
        lost();
        return;
    }
    out_.erase(out_.begin(), out_.begin() + static_cast<std::ptrdiff_t>(done));
}

void secure_session::on_ready(std::span<uint8_t> scratch) {
    switch (state_) {
        case phase::idle:
            return;
        case phase::connecting:
            if (const int error = socket_.connect_error(); error != 0) {
                fail_all(error == ECONNREFUSED ? exchange_failure::connection_refused
                                               : exchange_failure::no_connection);
                return;
            }
            start_tls();
            return;
        case phase::handshaking:
            handshake();
            return;
        case phase::open:
            read_some(scratch);
            flush();
            return;
    }
}

void secure_session::read_some(std::span<uint8_t> scratch) {
    for (int read = 0; read < reads_per_wake && state_ == phase::open; ++read) {
        std::size_t size = 0;
        ERR_clear_error();
        const int result = SSL_read_ex(ssl_, scratch.data(), scratch.size(), &size);
        if (result != 1) {
            const int error = SSL_get_error(ssl_, result);
            if (error == SSL_ERROR_WANT_READ) {
                return;
            }
            if (error == SSL_ERROR_WANT_WRITE) {
                want_write_ = true;
                return;
            }
            lost();
            return;
        }
        if (http_ != nullptr) {
            if (nghttp2_session_mem_recv(http_, scratch.data(), size) < 0) {
                lost();
            }
            continue;
        }
        in_.insert(in_.end(), scratch.begin(), scratch.begin() + static_cast<std::ptrdiff_t>(size));
        take_frames();
    }
}

// Every whole message on the stream goes to the attempt its id was sent with; one for no attempt
// waiting (a late reply to an attempt that ended) is passed over.
void secure_session::take_frames() {
    std::size_t at = 0;
    while (in_.size() - at >= 2) {
        const std::size_t length = std::size_t{in_[at]} << 8 | in_[at + 1];
        if (in_.size() - at - 2 < length) {
            break;
        }
        const std::span<const uint8_t> message = std::span(in_).subspan(at + 2, length);
        at += 2 + length;
        const auto found = by_id_.find(message_id(message));
        if (found == by_id_.end()) {
            continue;
        }
        const uint32_t ticket = found->second;
        dns_exchange& attempt = *requests_.at(ticket).attempt;
        if (check_reply(requests_.at(ticket).query->bytes(), message) != reply_verdict::reply) {
            ++attempt.discarded;
            continue;
        }
        offer(ticket, message);
    }
    in_.erase(in_.begin(), in_.begin() + static_cast<std::ptrdiff_t>(at));
}

void secure_session::answered(uint32_t ticket) {
    request& entry = requests_.at(ticket);
    dns_exchange& attempt = *entry.attempt;
    if (entry.status == 200) {
        // The stream ties the response to its request, but what it carries must still be the
        // reply to the question asked; anything else is passed over, and the attempt waits out
        // its time as one whose reply never came.
        if (check_reply(entry.query->bytes(), entry.body) != reply_verdict::reply) {
            ++attempt.discarded;
            entry.body.clear();
            entry.stream = -1;  // closed: nothing to reset at the deadline
            return;
        }
        offer(ticket, entry.body);
        return;
    }
    if (entry.status == 0) {
        finish(ticket, exchange_failure::connection_closed, false);
        return;
    }
    attempt.http_status = entry.status;
    attempt.received_size = static_cast<uint32_t>(entry.body.size());
    attempt.received_bytes = std::make_shared<const std::vector<uint8_t>>(std::move(entry.body));
    attempt.reply_time = report_now();
    finish(ticket, exchange_failure::http_status, false);
}

void secure_session::offer(uint32_t ticket, std::span<const uint8_t> message) {
    dns_exchange& attempt = *requests_.at(ticket).attempt;
    attempt.received_size = static_cast<uint32_t>(message.size());
    attempt.received_bytes =
        std::make_shared<const std::vector<uint8_t>>(message.begin(), message.end());
    attempt.reply_time = report_now();
    const bool success =
        decode_reply(attempt.received_bytes, attempt.reply_time, attempt, true) != 0;
    finish(ticket,
           success             ? exchange_failure::none
           : attempt.header.qr ? exchange_failure::malformed
                               : exchange_failure::not_response,
           success);
}

void secure_session::finish(uint32_t ticket, exchange_failure failure, bool success) {
    const auto found = requests_.find(ticket);
    if (found == requests_.end()) {
        return;
    }
    const request& entry = found->second;
    entry.attempt->failure = failure;
    if (kind_ == transport::tls && entry.written) {
        const auto id = by_id_.find(entry.id);
        if (id != by_id_.end() && id->second == ticket) {
            by_id_.erase(id);
        }
    }
    requests_.erase(found);
    ended_.emplace_back(ticket, success);
}

void secure_session::lost() {
    drop_connection();
    // What was written may never have reached the server: it goes once more on a new connection,
    // without costing the lookup a retry. What was already sent twice ends here.
    std::vector<uint32_t> closed;
    for (auto& [ticket, entry] : requests_) {
        if (!entry.written) {
            continue;
        }
        if (entry.resent) {
            closed.push_back(ticket);
        } else {
            entry.resent = true;
            entry.written = false;
            queue_.push_back(ticket);
        }
    }
    for (const uint32_t ticket : closed) {
        finish(ticket, exchange_failure::connection_closed, false);
    }
    if (!requests_.empty()) {
        connect();
    }
}

void secure_session::fail_all(exchange_failure failure) {
    drop_connection();
    std::vector<uint32_t> tickets;
    for (const auto& [ticket, entry] : requests_) {
        tickets.push_back(ticket);
    }
    for (const uint32_t ticket : tickets) {
        finish(ticket, failure, false);
    }
    queue_.clear();
}

void secure_session::drop_connection() {
    if (http_ != nullptr) {
        nghttp2_session_del(http_);
        http_ = nullptr;
    }
    if (ssl_ != nullptr) {
        // A connection freed without a close_notify sent marks its TLS session as one not to
        // resume: the next connection would make a full handshake again.
        if (SSL_is_init_finished(ssl_) == 1) {
            SSL_shutdown(ssl_);
            ERR_clear_error();
        }
        SSL_free(ssl_);
        ssl_ = nullptr;
    }
    socket_.close();
    state_ = phase::idle;
    want_write_ = false;
    in_.clear();
    out_.clear();
    by_id_.clear();
}

void secure_session::expire(uint32_t ticket) {
    const auto found = requests_.find(ticket);
    if (found == requests_.end()) {
        return;
    }
    exchange_failure failure = exchange_failure::timed_out;
    if (!found->second.written) {
        failure = state_ == phase::handshaking  ? exchange_failure::tls_handshake_timeout
                  : state_ == phase::connecting ? exchange_failure::no_connection
                                                : exchange_failure::timed_out;
    }
    if (http_ != nullptr && found->second.stream >= 0) {
        nghttp2_submit_rst_stream(http_, NGHTTP2_FLAG_NONE, found->second.stream, NGHTTP2_CANCEL);
    }
    finish(ticket, failure, false);
    std::erase(queue_, ticket);
    // A connection still being made for no one is given up: the next attempt starts afresh.
    if ((state_ == phase::connecting || state_ == phase::handshaking) && requests_.empty()) {
        drop_connection();
    }
    flush();
}

void secure_session::take_ended(std::vector<std::pair<uint32_t, bool>>& ended) {
    ended.insert(ended.end(), ended_.begin(), ended_.end());
    ended_.clear();
}

}  // namespace resq
