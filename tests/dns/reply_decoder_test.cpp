#include "dns/reply_decoder.hpp"

#include <gtest/gtest.h>

#include <array>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

namespace resq {
namespace {

using bytes = std::vector<uint8_t>;

// example.com A with one answer, one NS in authority and its glue in additional, compressed.
const bytes compressed_reply = {
    0x2a, 0x00, 0x81, 0x80,                          // id 42 (little-endian), flags: QR RD RA
    0x00, 0x01, 0x00, 0x01, 0x00, 0x01, 0x00, 0x01,  // QD AN NS AR 1 each
    0x07, 'e',  'x',  'a',  'm',  'p',  'l',  'e',   // @12 label "example"
    0x03, 'c',  'o',  'm',  0x00,                    // label "com", root
    0x00, 0x01, 0x00, 0x01,                          // @25 qtype A, qclass IN
    0xc0, 0x0c, 0x00, 0x01, 0x00, 0x01,              // @29 owner: pointer to 12, type A, class IN
    0x00, 0x00, 0x0e, 0x10, 0x00, 0x04,              // TTL 3600, RDLENGTH 4
    192,  0,    2,    1,                             // @41 address
    0xc0, 0x0c, 0x00, 0x02, 0x00, 0x01,              // @45 owner: pointer to 12, type NS, class IN
    0x00, 0x01, 0x51, 0x80, 0x00, 0x06,              // TTL 86400, @55 RDLENGTH 6
    0x03, 'n',  's',  '1',  0xc0, 0x0c,              // @57 label "ns1", pointer to 12
    0xc0, 0x39, 0x00, 0x01, 0x00, 0x01,              // @63 owner: pointer to 57, type A, class IN
    0x00, 0x00, 0x00, 0x3c, 0x00, 0x04,              // TTL 60, RDLENGTH 4
    192,  0,    2,    53,                            // @75 address; @79 end
};

// The same reply with every name written out in full.
const bytes uncompressed_reply = {
    0x2a, 0x00, 0x81, 0x80,                          // id 42, flags: QR RD RA
    0x00, 0x01, 0x00, 0x01, 0x00, 0x01, 0x00, 0x01,  // QD AN NS AR 1 each
    7,    'e',  'x',  'a',  'm',  'p',  'l',  'e',  3,   'c', 'o', 'm', 0,  // example.com.
    0x00, 0x01, 0x00, 0x01,                                                 // qtype A, qclass IN
    7,    'e',  'x',  'a',  'm',  'p',  'l',  'e',  3,   'c', 'o', 'm', 0,  // example.com.
    0x00, 0x01, 0x00, 0x01, 0x00, 0x00, 0x0e, 0x10,  // type A, class IN, TTL 3600
    0x00, 0x04, 192,  0,    2,    1,                 // RDLENGTH 4, address
    7,    'e',  'x',  'a',  'm',  'p',  'l',  'e',  3,   'c', 'o', 'm', 0,  // example.com.
    0x00, 0x02, 0x00, 0x01, 0x00, 0x01, 0x51, 0x80,  // type NS, class IN, TTL 86400
    0x00, 0x11,                                      // RDLENGTH 17
    3,    'n',  's',  '1',  7,    'e',  'x',  'a',  'm', 'p', 'l', 'e', 3,
    'c',  'o',  'm',  0,  // ns1.example.com.
    3,    'n',  's',  '1',  7,    'e',  'x',  'a',  'm', 'p', 'l', 'e', 3,
    'c',  'o',  'm',  0,                             // ns1.example.com.
    0x00, 0x01, 0x00, 0x01, 0x00, 0x00, 0x00, 0x3c,  // type A, class IN, TTL 60
    0x00, 0x04, 192,  0,    2,    53,                // RDLENGTH 4, address
};

struct decoded {
    std::size_t end = 0;
    uint16_t id = 0;
    std::array<std::vector<dns_record>, 4> sections;  // questions, answers, authority, additional
};

// Decodes into lists that hold a stale entry each, so a decoder that does not empty them shows.
decoded decode(const bytes& reply, bool require_response = true) {
    decoded d;
    d.sections.fill(std::vector<dns_record>(1));
    auto& [questions, answers, authority, additional] = d.sections;
    d.end = decode_reply("192.0.2.53", 1234, reply, d.id, questions, answers, authority, additional,
                         require_response);
    return d;
}

std::array<std::size_t, 4> sizes(const decoded& d) {
    return {d.sections[0].size(), d.sections[1].size(), d.sections[2].size(), d.sections[3].size()};
}

// The fields an entry takes from its own bytes.
auto own_fields(const dns_record& e) {
    return std::tuple(e.query, e.dns_type, e.dns_class, e.ttl_secs, e.data_length, e.data_offset,
                      e.data_bytes);
}

TEST(reply_decoder, decodes_all_four_sections_and_the_same_names_uncompressed) {
    using fields = decltype(own_fields(dns_record{}));
    // owner, type, class, TTL, data length, data offset, data (copied for answers only)
    const fields rows[] = {
        {"example.com.", 1, 1, 0, 0, 0, {}},
        {"example.com.", 1, 1, 3600, 4, 41, {192, 0, 2, 1}},
        {"example.com.", 2, 1, 86400, 6, 57, {}},
        {"ns1.example.com.", 1, 1, 60, 4, 75, {}},
    };
    const decoded d = decode(compressed_reply);
    const decoded plain = decode(uncompressed_reply);
    EXPECT_EQ(d.end, 79u);
    EXPECT_EQ(plain.end, uncompressed_reply.size());
    for (std::size_t i = 0; i < 4; ++i) {
        ASSERT_EQ(d.sections[i].size(), 1u);
        ASSERT_EQ(plain.sections[i].size(), 1u);
        const dns_record& entry = d.sections[i][0];
        EXPECT_EQ(own_fields(entry), rows[i]);
        EXPECT_EQ(plain.sections[i][0].query, entry.query);
        EXPECT_EQ(entry.message, compressed_reply);
        EXPECT_EQ(std::tie(entry.dns_server, entry.query_time, entry.packet_id),
                  std::tuple("192.0.2.53", 1234u, 42));
    }
    std::string ns_name;
    EXPECT_EQ(decode_name(uncompressed_reply, plain.sections[2][0].data_offset, ns_name), 17u);
    EXPECT_EQ(ns_name, "ns1.example.com.");
    EXPECT_EQ(decode_name(compressed_reply, 57, ns_name), 6u);
    EXPECT_EQ(ns_name, "ns1.example.com.");
}

TEST(reply_decoder, decodes_damaged_replies_up_to_the_fault_keeping_earlier_entries) {
    const struct {
        const char* description;
        std::size_t length;  // bytes of compressed_reply kept
        std::vector<std::pair<std::size_t, uint8_t>> patches;
        std::size_t end;
        uint16_t id;
        std::array<std::size_t, 4> sizes;
        uint16_t qtype = 1;
        bool require_response = true;
    } cases[] = {
        {"QR clear: refused before the id is read", 79, {{2, 0x01}}, 0, 0, {}},
        {"QR clear, no response required", 79, {{2, 0x01}}, 79, 42, {1, 1, 1, 1}, 1, false},
        {"all counts zero", 79, {{5, 0}, {7, 0}, {9, 0}, {11, 0}}, 12, 42, {}},
        {"ANCOUNT 9, ARCOUNT 5: stop at the end", 45, {{7, 9}, {9, 0}, {11, 5}}, 45, 42, {1, 1}},
        {"answer owner points to itself", 79, {{30, 0x1d}}, 0, 42, {1}},
        {"authority RDLENGTH 0x0106 past the end", 79, {{55, 0x01}}, 0, 42, {1, 1}},
        {"glue data one byte short", 78, {}, 0, 42, {1, 1, 1}},
        {"id 0x2710 decoded in full", 79, {{0, 0x10}, {1, 0x27}}, 79, 0x2710, {1, 1, 1, 1}},
        // Question fields past the end read as zero, yet count in full.
        {"qtype cut after its first byte", 26, {}, 29, 42, {1}, 0},
        {"qtype's high byte alone", 26, {{25, 0x01}}, 29, 42, {1}, 0x0100},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.description);
        bytes reply(compressed_reply.begin(), compressed_reply.begin() + c.length);
        for (const auto& [offset, value] : c.patches) {
            reply[offset] = value;
        }
        const decoded d = decode(reply, c.require_response);
        EXPECT_EQ(d.end, c.end);
        EXPECT_EQ(d.id, c.id);
        ASSERT_EQ(sizes(d), c.sizes);
        if (c.sizes[0] != 0) {
            EXPECT_EQ(d.sections[0][0].dns_type, c.qtype);
        }
        for (const auto& section : d.sections) {
            for (const dns_record& entry : section) {
                EXPECT_EQ(entry.packet_id, c.id);
            }
        }
    }
}

TEST(reply_decoder, returns_a_defined_result_for_every_cut_of_a_valid_reply) {
    for (const bytes* fixture : {&compressed_reply, &uncompressed_reply}) {
        for (std::size_t length = 1; length < fixture->size(); ++length) {
            SCOPED_TRACE(length);
            const bytes cut(fixture->data(), fixture->data() + length);
            const decoded d = decode(cut);
            if (length <= 12) {
                // One or two bytes hold no flags, so the QR bit reads as clear.
                EXPECT_EQ(d.end, length <= 2 ? 0u : 12u);
                EXPECT_EQ(d.id, length <= 2 ? 0 : 42);
                EXPECT_EQ(sizes(d), (std::array<std::size_t, 4>{}));
            } else {
                EXPECT_LE(d.end, length + 4);  // a cut question still counts its fixed fields
            }
            for (const auto& section : d.sections) {
                for (const dns_record& entry : section) {
                    EXPECT_LE(entry.data_offset + entry.data_length, length);
                }
            }
            std::string name;
            for (uint32_t offset = 0; offset <= length; ++offset) {
                decode_name(cut, offset, name);
            }
        }
    }
}

TEST(decode_name, accepts_98_labels_and_refuses_99) {
    std::string name;
    for (const int labels : {98, 99}) {
        bytes message(12, 0);  // header
        std::string expected;
        for (int i = 0; i < labels; ++i) {
            message.insert(message.end(), {0x01, 'a'});  // label "a"
            expected += "a.";
        }
        message.push_back(0x00);  // root
        const bool accepted = labels == 98;
        EXPECT_EQ(decode_name(message, 12, name), accepted ? 98u * 2 + 1 : 0u);
        EXPECT_EQ(name, accepted ? expected : "");
    }
}

TEST(decode_name, reads_lengths_with_high_bits_01_or_10_as_plain_labels) {
    for (const uint8_t length : bytes{0x41, 0x81}) {
        bytes message(12, 0);  // header
        message.push_back(length);
        message.insert(message.end(), length, 'b');
        message.push_back(0x00);  // root
        std::string name;
        EXPECT_EQ(decode_name(message, 12, name), length + 2u);
        EXPECT_EQ(name, std::string(length, 'b') + ".");
    }
}

TEST(decode_name, follows_pointers_and_refuses_whatever_leaves_the_message) {
    const bytes message = {
        0,    0,    0,   0, 0, 0, 0, 0, 0, 0, 0, 0,  // header
        0x01, 'b',                                   // @12 label "b"
        0xc0, 0x12,                                  // pointer forwards to 18
        0xc0, 0x0c,                                  // @16 pointer back to 12
        0x02, 'c',  'd',                             // @18 label "cd"
        0x00,                                        // root
        0x00,                                        // @22 root alone
        0x41,                                        // @23 length 65: high bits 01, a plain length
        0xc0, 0x1e,                                  // @24 pointer to 30, past the end
        0xc0, 0x1d,                                  // @26 pointer to 29, the end itself
        0xc0,                                        // @28 pointer missing its second byte
    };
    const struct {
        uint32_t offset;
        std::size_t size;  // counts only the bytes at the start, not those pointed to
        const char* text;
    } cases[] = {{12, 4, "b.cd."}, {16, 2, "b.cd."}, {18, 4, "cd."}, {22, 1, ""}};
    std::string name;
    for (const auto& c : cases) {
        EXPECT_EQ(decode_name(message, c.offset, name), c.size) << c.offset;
        EXPECT_EQ(name, c.text) << c.offset;
    }
    // 0 is refused as a start, 29 is the end and 30 past it.
    for (const uint32_t offset : {0, 23, 24, 26, 28, 29, 30}) {
        name = "stale";
        EXPECT_EQ(decode_name(message, offset, name), 0u) << offset;
        EXPECT_EQ(name, "") << offset;
    }
    const bytes short_message = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x00};  // 11 bytes, root at 10
    EXPECT_EQ(decode_name(short_message, 10, name), 0u);
}

}  // namespace
}  // namespace resq
