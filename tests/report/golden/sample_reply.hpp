// A reply holding one answer of every translated type, the query that asked for it, and record
// builders with a fixed time stamp, shared by the writer and routing tests.
#pragma once

#include <cstdint>
#include <string>
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
    0x2a, 0x00,  // id 42 (little-endian, as the query wrote it)
    0x81, 0x80,  // QR, RD, RA, rcode 0
    0x00, 0x01, 0x00, 0x09, 0x00, 0x00, 0x00, 0x00,  // QDCOUNT 1, ANCOUNT 9, NSCOUNT 0, ARCOUNT 0
    0x01, 'x', 0x07, 'e', 'x', 'a', 'm', 'p', 'l', 'e', 0x00,  // 12: question x.example.
    0x00, 0x01, 0x00, 0x01,  // type A, class IN
    0xc0, 0x0c, 0x00, 0x01, 0x00, 0x01, 0x00, 0x00, 0x01, 0x2c,  // 27: owner, A, IN, TTL 300
    0x00, 0x04,  // RDLENGTH 4
    0xc0, 0x00, 0x02, 0x07,  // 39: 192.0.2.7
    0xc0, 0x0c, 0x00, 0x1c, 0x00, 0x01, 0x00, 0x00, 0x01, 0x2c,  // 43: owner, AAAA, IN, TTL 300
    0x00, 0x10,  // RDLENGTH 16
    0x20, 0x01, 0x0d, 0xb8, 0x00, 0x00, 0x00, 0x00,  // 55: 2001:db8:0:0:
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x01,  //     0:0:0:1
    0xc0, 0x0c, 0x00, 0x0f, 0x00, 0x01, 0x00, 0x00, 0x01, 0x2c,  // 71: owner, MX, IN, TTL 300
    0x00, 0x09,  // RDLENGTH 9
    0x00, 0x0a,  // 83: preference 10
    0x04, 'm', 'a', 'i', 'l', 0xc0, 0x0c,  // 85: mail + pointer to x.example.
    0xc0, 0x0c, 0x00, 0x02, 0x00, 0x01, 0x00, 0x00, 0x01, 0x2c,  // 92: owner, NS, IN, TTL 300
    0x00, 0x05,  // RDLENGTH 5
    0x02, 'n', 's', 0xc0, 0x0c,  // 104: ns.x.example.
    0xc0, 0x0c, 0x00, 0x05, 0x00, 0x01, 0x00, 0x00, 0x01, 0x2c,  // 109: owner, CNAME, IN, TTL 300
    0x00, 0x06,  // RDLENGTH 6
    0x03, 'w', 'w', 'w', 0xc0, 0x0c,  // 121: www.x.example.
    0xc0, 0x0c, 0x00, 0x0c, 0x00, 0x01, 0x00, 0x00, 0x01, 0x2c,  // 127: owner, PTR, IN, TTL 300
    0x00, 0x02,  // RDLENGTH 2
    0xc0, 0x55,  // 139: pointer to 85, mail.x.example.
    0xc0, 0x0c, 0x00, 0x06, 0x00, 0x01, 0x00, 0x00, 0x01, 0x2c,  // 141: owner, SOA, IN, TTL 300
    0x00, 0x27,  // RDLENGTH 39
    0x03, 'n', 's', '1', 0xc0, 0x0c,  // 153: MNAME ns1.x.example.
    0x0a, 'h', 'o', 's', 't', 'm', 'a', 's', 't', 'e', 'r', 0xc0, 0x0c,  // 159: RNAME
    0x78, 0xc4, 0x25, 0x35,  // 172: serial 2026120501
    0x00, 0x00, 0x0e, 0x10, 0x00, 0x00, 0x02, 0x58,  // refresh 3600, retry 600
    0x00, 0x01, 0x51, 0x80, 0x00, 0x00, 0x01, 0x2c,  // expire 86400, minimum 300
    0xc0, 0x0c, 0x00, 0x10, 0x00, 0x01, 0x00, 0x00, 0x01, 0x2c,  // 192: owner, TXT, IN, TTL 300
    0x00, 0x0d,  // RDLENGTH 13
    0x0c, 'h', 'e', 'l', 'l', 'o', '\r', '\n', 'w', 'o', 'r', 'l', 'd',  // 204: one string
    0xc0, 0x0c, 0x00, 0x1e, 0x00, 0x01, 0x00, 0x00, 0x01, 0x2c,  // 217: owner, type 30, IN, TTL 300
    0x00, 0x03,  // RDLENGTH 3
    0x0a, 0x00, 0x05,  // 229: three bytes; as a name, a label running past the end
};

// The A query for "x.example" that the reply answers.
inline const std::vector<uint8_t> sample_query = {
    0x2a, 0x00, 0x01, 0x00,  // id 42, RD
    0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,  // QDCOUNT 1, others 0
    0x01, 'x', 0x07, 'e', 'x', 'a', 'm', 'p', 'l', 'e', 0x00,  // x.example.
    0x00, 0x01, 0x00, 0x01,  // type A, class IN
};
// clang-format on

/// A decoded entry of sample_reply; only answer entries carry a copy of their data.
inline dns_record sample_entry(uint16_t type, uint32_t offset, uint16_t length,
                               bool answer = true) {
    const auto data = sample_reply.begin() + offset;
    return {
        .message = sample_reply,
        .dns_server = "192.0.2.1",
        .query = "x.example.",
        .dns_type = type,
        .dns_class = 1,
        .ttl_secs = 300,
        .data_length = length,
        .data_offset = offset,
        .query_time = sample_time,
        .packet_id = 42,
        .data_bytes = answer ? std::vector<uint8_t>(data, data + length) : std::vector<uint8_t>{}};
}

/// The lookup itself, as the row of an attempt without a usable reply shows it.
inline dns_record sample_lookup(uint16_t type = 1) {
    dns_record record = sample_entry(type, 0, 0, false);
    record.message = sample_query;
    record.query = "x.example";
    record.ttl_secs = 0;
    return record;
}

}  // namespace resq::golden
