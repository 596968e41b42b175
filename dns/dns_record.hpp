// The record structure of the codec and the state of one exchange.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "net/endpoint.hpp"

namespace resq {

/// A whole DNS message, immutable once received or built, shared by every record taken from it.
using shared_message = std::shared_ptr<const std::vector<uint8_t>>;

/// The section of a reply an entry was decoded from; a lookup counts as its own question.
enum class section_kind : uint8_t { question, answer, authority, additional };

/// A lookup (the `dns_query`) or one decoded entry of a reply. The message is shared, not copied:
/// every entry of a reply points at the same bytes, so a reply of thousands of entries costs one
/// copy of itself.
struct dns_record {
    shared_message message;  // the query message, or the reply the entry was decoded from
    std::string query;       // name as given (lookup) or decoded owner name (entry)
    section_kind section = section_kind::question;
    uint16_t dns_type = 0;
    uint16_t dns_class = 0;
    uint32_t ttl_secs = 0;
    uint16_t data_length = 0;
    uint32_t data_offset = 0;  // where the entry's data starts inside `message`
    uint64_t query_time = 0;   // 100-ns units since 1601-01-01 UTC
    uint16_t packet_id = 0;

    /// The whole message; empty without one.
    std::span<const uint8_t> bytes() const {
        return message ? std::span<const uint8_t>(*message) : std::span<const uint8_t>();
    }

    /// The record's data: `data_length` bytes from `data_offset`, cut at the message's end.
    std::span<const uint8_t> data() const {
        const std::span<const uint8_t> all = bytes();
        if (data_offset >= all.size()) {
            return {};
        }
        const std::size_t available = all.size() - data_offset;
        return all.subspan(data_offset, data_length < available ? data_length : available);
    }

    /// Empties the texts, drops the message and zeroes every number.
    void reset() { *this = dns_record{}; }
};

/// The fixed header of a reply (RFC 1035 4.1.1, with AD and CD of RFC 4035 3.2), and the RCODE
/// extended by an OPT record.
struct reply_header {
    uint16_t id = 0;  // as on the wire, most significant byte first
    bool qr = false;
    uint8_t opcode = 0;
    bool aa = false;
    bool tc = false;
    bool rd = false;
    bool ra = false;
    bool ad = false;
    bool cd = false;
    uint8_t rcode = 0;  // the header's four bits
    // RFC 6891 6.1.3: the OPT record's upper eight bits above `rcode`; `rcode` without one.
    uint16_t full_rcode = 0;
    uint16_t question_count = 0;
    uint16_t answer_count = 0;
    uint16_t authority_count = 0;
    uint16_t additional_count = 0;
};

/// Why an attempt brought back no reply it could decode whole; none when it did.
enum class exchange_failure : uint8_t {
    none,
    not_sent,               // no socket, or the system refused the send
    not_bound,              // the socket could not be bound to the source address
    connection_refused,     // over TCP: no listener on the port
    no_connection,          // over TCP: unreachable, or not connected in time
    timed_out,              // no reply in time (over TCP: not the whole of it)
    port_unreachable,       // over UDP: no reply in time, and an ICMP error said none would come
    connection_closed,      // over TCP: closed before the whole reply came
    empty_message,          // over TCP: a reply length of zero
    not_response,           // the QR bit is clear
    malformed,              // the reply does not decode to its end
    tls_unknown_ca,         // over TLS: the certificate chains to no trusted authority
    tls_name_mismatch,      // over TLS: the certificate names another server
    tls_expired,            // over TLS: the certificate is out of its validity
    tls_protocol,           // over TLS: the handshake failed for any other reason
    tls_handshake_timeout,  // over TLS: the handshake did not end in time
    http_status,            // over HTTPS: a status other than 200 (see http_status)
};

/// A message an attempt's socket received that was not taken as its reply, kept for the evidence
/// file: a forgery, a late reply to another query, or garbage.
struct passed_over_message {
    shared_message bytes;
    uint64_t time = 0;  // when it arrived, in the units of reply_time
};

/// One attempt: where it went, what was sent, what came back, and the decoded reply.
struct dns_exchange {
    std::string server;  // the server as the report shows it
    endpoint local;      // the socket's own address and port once it sent; none before
    shared_message sent_bytes;
    uint32_t sent_size = 0;  // 0: nothing was sent
    shared_message received_bytes;
    uint32_t received_size = 0;  // 0: nothing was received
    uint64_t reply_time = 0;
    uint32_t discarded = 0;  // messages received that were no reply to the query
    // When the attempt keeps evidence: every message received that was not taken as the reply
    // (those counted in `discarded`, and a datagram that came after the deadline), in the order
    // they arrived.
    std::vector<passed_over_message> passed_over;
    exchange_failure failure = exchange_failure::none;
    uint16_t http_status = 0;  // over HTTPS: the response's status; 0 before one came
    reply_header header;
    std::vector<dns_record> questions;
    std::vector<dns_record> answers;
    std::vector<dns_record> authority;
    std::vector<dns_record> additional;

    /// Drops the messages and lists; clears the sizes, the time stamp, the failure and the header.
    void reset() { *this = dns_exchange{}; }
};

}  // namespace resq
