// A reply holding one answer of every translated type, the query that asked for it, and record
// builders with a fixed time stamp, shared by the writer and routing tests.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "dns/dns_record.hpp"

namespace resq::golden {

// 2026-12-05 05:02:25.1234567 UTC in 100-ns units since 1601.
inline constexpr uint64_t sample_time = 134409205451234567ull;

// Offsets of each answer's data inside sample_reply.
inline constexpr uint32_t a_data = 39, aaaa_data = 55, mx_data = 83, ns_data = 104,
                          cname_data = 121, ptr_data = 139, soa_data = 153, txt_data = 204,
                          unk_data = 229;

// clang-format off
inline const std::vector<uint8_t> sample_reply = {
    0x2a, 0x00, 0x81, 0x80,  // id 42 (little-endian, as the query wrote it), QR RD RA rcode 0
    0, 1, 0, 9, 0, 0, 0, 0,  // QDCOUNT 1, ANCOUNT 9, NSCOUNT 0, ARCOUNT 0
    1, 'x', 7, 'e', 'x', 'a', 'm', 'p', 'l', 'e', 0, 0, 1, 0, 1,  // @12 x.example. A IN
    // Answers: owner (pointer to 12), type, class IN, TTL 300, RDLENGTH; then the data.
    0xc0, 12, 0, 1, 0, 1, 0, 0, 1, 44, 0, 4, 192, 0, 2, 7,  // @27 A, @39 192.0.2.7
    0xc0, 12, 0, 28, 0, 1, 0, 0, 1, 44, 0, 16,  // @43 AAAA, @55 2001:db8::1
    0x20, 0x01, 0x0d, 0xb8, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1,
    0xc0, 12, 0, 15, 0, 1, 0, 0, 1, 44, 0, 9,  // @71 MX
    0, 10, 4, 'm', 'a', 'i', 'l', 0xc0, 12,  // @83 preference 10, @85 mail.x.example.
    0xc0, 12, 0, 2, 0, 1, 0, 0, 1, 44, 0, 5, 2, 'n', 's', 0xc0, 12,  // @92 NS, @104 ns.x.example.
    0xc0, 12, 0, 5, 0, 1, 0, 0, 1, 44, 0, 6,  // @109 CNAME, @121 w<LF>|.x.example.
    3, 'w', '\n', '|', 0xc0, 12,  // a line end and a separator that must not forge a row
    0xc0, 12, 0, 12, 0, 1, 0, 0, 1, 44, 0, 2, 0xc0, 85,  // @127 PTR, @139 mail.x.example. (@85)
    0xc0, 12, 0, 6, 0, 1, 0, 0, 1, 44, 0, 39,  // @141 SOA, then @153 MNAME ns1.x.example.
    3, 'n', 's', '1', 0xc0, 12,
    10, 'h', 'o', 's', 't', 'm', 'a', 's', 't', 'e', 'r', 0xc0, 12,  // @159 RNAME
    0x78, 0xc4, 0x25, 0x35, 0, 0, 0x0e, 0x10,  // @172 serial 2026120501, refresh 3600
    0, 0, 0x02, 0x58, 0, 0x01, 0x51, 0x80, 0, 0, 0x01, 0x2c,  // retry 600, expire 86400, min 300
    0xc0, 12, 0, 16, 0, 1, 0, 0, 1, 44, 0, 13,  // @192 TXT, @204 one string with CR LF
    12, 'h', 'e', 'l', 'l', 'o', '\r', '\n', 'w', 'o', 'r', 'l', 'd',
    0xc0, 12, 0, 30, 0, 1, 0, 0, 1, 44, 0, 3,  // @217 type 30
    10, 0, 5,  // @229 three bytes; as a name, a label running past the end
};

// The A query for "x.example" that the reply answers.
inline const std::vector<uint8_t> sample_query = {
    0x2a, 0x00, 0x01, 0x00, 0, 1, 0, 0, 0, 0, 0, 0,  // id 42, RD, QDCOUNT 1, others 0
    1, 'x', 7, 'e', 'x', 'a', 'm', 'p', 'l', 'e', 0, 0, 1, 0, 1,  // x.example. A IN
};
// clang-format on

/// A decoded entry of sample_reply, from the answer section or another one.
inline dns_record sample_entry(uint16_t type, uint32_t offset, uint16_t length,
                               bool answer = true) {
    static const shared_message reply = std::make_shared<const std::vector<uint8_t>>(sample_reply);
    dns_record record{reply,
                      "x.example.",
                      answer ? section_kind::answer : section_kind::authority,
                      type,
                      1,
                      300,
                      length,
                      offset,
                      sample_time,
                      42};
    return record;
}

/// The lookup itself, as the row of an attempt without a usable reply shows it.
inline dns_record sample_lookup(uint16_t type = 1) {
    dns_record record = sample_entry(type, 0, 0, false);
    record.message = std::make_shared<const std::vector<uint8_t>>(sample_query);
    record.section = section_kind::question;
    record.query = "x.example";
    record.ttl_secs = 0;
    return record;
}

/// The server every sample row names.
inline constexpr std::string_view sample_server = "192.0.2.1";

}  // namespace resq::golden
