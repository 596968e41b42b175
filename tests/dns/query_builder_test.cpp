#include "dns/query_builder.hpp"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

namespace resq {
namespace {

using bytes = std::vector<uint8_t>;

// Bytes 1 to 11 of every query: the identifier's high byte and the rest of the header.
const bytes fixed_header = {
    0x00,        // identifier, high byte
    0x01, 0x00,  // flags: RD
    0x00, 0x01,  // QDCOUNT 1
    0x00, 0x00,  // ANCOUNT 0
    0x00, 0x00,  // NSCOUNT 0
    0x00, 0x00,  // ARCOUNT 0
};

struct query_case {
    const char* name;
    uint32_t type;
    bytes question;  // message from byte 12 on
};

TEST(query_builder, builds_the_header_and_question_for_each_lookup_type) {
    const query_case cases[] = {
        {"ab.cde",
         type_a,
         {
             0x02, 'a', 'b',       // label "ab"
             0x03, 'c', 'd', 'e',  // label "cde"
             0x00,                 // root
             0x00, 0x01,           // type A
             0x00, 0x01,           // class IN
         }},
        {"x.Y",
         type_mx,
         {
             0x01, 'x',   // label "x"
             0x01, 'Y',   // label "Y", case kept
             0x00,        // root
             0x00, 0x0f,  // type MX
             0x00, 0x01,  // class IN
         }},
        {"x",
         type_ns,
         {0x01, 'x', 0x00,  // name x.
          0x00, 0x02,       // type NS
          0x00, 0x01}},     // class IN
        {"x",
         type_cname,
         {0x01, 'x', 0x00,  // name x.
          0x00, 0x05,       // type CNAME
          0x00, 0x01}},     // class IN
        {"x",
         type_txt,
         {0x01, 'x', 0x00,  // name x.
          0x00, 0x10,       // type TXT
          0x00, 0x01}},     // class IN
        {"192.0.2.1",
         type_ptr,
         {
             0x01, '1',                                 // label "1"
             0x01, '2',                                 // label "2"
             0x01, '0',                                 // label "0"
             0x03, '1',  '9', '2',                      // label "192"
             0x07, 'i',  'n', '-', 'a', 'd', 'd', 'r',  // label "in-addr"
             0x04, 'a',  'r', 'p', 'a',                 // label "arpa"
             0x00,                                      // root
             0x00, 0x0c,                                // type PTR
             0x00, 0x01,                                // class IN
         }},
    };
    for (const query_case& c : cases) {
        SCOPED_TRACE(c.name);
        dns_record query;
        ASSERT_TRUE(build_query(query, c.name, c.type));
        ASSERT_EQ(query.message.size(), 12 + c.question.size());
        EXPECT_EQ(bytes(query.message.begin() + 1, query.message.begin() + 12), fixed_header);
        EXPECT_EQ(bytes(query.message.begin() + 12, query.message.end()), c.question);
        EXPECT_EQ(query.query, c.name);  // the text as given, also for PTR
        EXPECT_EQ(query.dns_type, c.type);
        EXPECT_EQ(query.dns_class, 1);
        EXPECT_TRUE(query.dns_server.empty());
        EXPECT_EQ(query.query_time, 0u);
    }
}

TEST(query_builder, writes_an_identifier_from_10_to_99_low_byte_first) {
    std::set<uint16_t> seen;
    for (int i = 0; i < 3000; ++i) {
        dns_record query;
        ASSERT_TRUE(build_query(query, "a", type_a));
        ASSERT_GE(query.packet_id, 10);
        ASSERT_LE(query.packet_id, 99);
        ASSERT_EQ(query.message[0], query.packet_id);
        ASSERT_EQ(query.message[1], 0);
        seen.insert(query.packet_id);
    }
    // Both digits are drawn afresh each time: the identifiers spread over the whole range.
    EXPECT_GT(seen.size(), 80u);
}

TEST(query_builder, drops_leading_trailing_and_doubled_dots) {
    bytes plain;
    ASSERT_TRUE(encode_name(plain, "ab.cde"));
    for (const char* variant : {"ab.cde.", ".ab.cde", "ab..cde", "..ab...cde.."}) {
        bytes out;
        EXPECT_TRUE(encode_name(out, variant)) << variant;
        EXPECT_EQ(out, plain) << variant;
    }
}

TEST(query_builder, refuses_empty_and_dot_only_names_and_leaves_the_query_reset) {
    for (const char* name : {"", ".", "..."}) {
        dns_record query;
        query.query = "stale";
        query.message = {1, 2, 3};
        EXPECT_FALSE(build_query(query, name, type_a)) << name;
        EXPECT_TRUE(query.message.empty());
        EXPECT_TRUE(query.query.empty());
        EXPECT_EQ(query.packet_id, 0);
    }
    dns_record query;
    EXPECT_FALSE(build_query(query, "", type_ptr));
}

TEST(query_builder, reverses_address_fields_one_by_one) {
    struct reverse_case {
        const char* address;
        bytes name;
    };
    const reverse_case cases[] = {
        {"10.1",
         {0x01, '1',                                // label "1"
          0x02, '1', '0',                           // label "10"
          0x07, 'i', 'n', '-', 'a', 'd', 'd', 'r',  // label "in-addr"
          0x04, 'a', 'r', 'p', 'a',                 // label "arpa"
          0x00}},                                   // root
        {"host",
         {0x04, 'h', 'o', 's', 't',                 // label "host", not validated
          0x07, 'i', 'n', '-', 'a', 'd', 'd', 'r',  // label "in-addr"
          0x04, 'a', 'r', 'p', 'a',                 // label "arpa"
          0x00}},                                   // root
        {"...",
         {0x07, 'i', 'n', '-', 'a', 'd', 'd', 'r',  // label "in-addr"
          0x04, 'a', 'r', 'p', 'a',                 // label "arpa"
          0x00}},                                   // root
    };
    for (const reverse_case& c : cases) {
        bytes out;
        EXPECT_TRUE(encode_reverse_name(out, c.address)) << c.address;
        EXPECT_EQ(out, c.name) << c.address;
    }
    bytes out;
    EXPECT_FALSE(encode_reverse_name(out, ""));
}

TEST(query_builder, accepts_63_byte_labels_and_refuses_64) {
    const std::string label63(63, 'a');
    const std::string label64(64, 'a');
    bytes out;
    ASSERT_TRUE(encode_name(out, "x." + label63));
    EXPECT_EQ(out.size(), 2u + 64u + 1u);
    EXPECT_EQ(out[2], 63);
    EXPECT_FALSE(encode_name(out, "x." + label64));
    EXPECT_TRUE(out.empty());

    ASSERT_TRUE(encode_reverse_name(out, label63 + ".1"));
    EXPECT_EQ(out[2], 63);
    EXPECT_FALSE(encode_reverse_name(out, "1." + label64));

    dns_record query;
    EXPECT_FALSE(build_query(query, label64, type_a));
    EXPECT_TRUE(query.message.empty());
}

}  // namespace
}  // namespace resq
