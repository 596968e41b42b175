#include "dns/query_builder.hpp"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

namespace resq {
namespace {

using bytes = std::vector<uint8_t>;

bytes operator+(bytes head, const bytes& tail) {
    head.insert(head.end(), tail.begin(), tail.end());
    return head;
}

// Bytes 1 to 11 of every query: the identifier's high byte and the rest of the header.
const bytes fixed_header = {
    0x00,                    // identifier, high byte
    0x01, 0x00,              // flags: RD
    0x00, 0x01,              // QDCOUNT 1
    0x00, 0x00, 0x00, 0x00,  // ANCOUNT 0, NSCOUNT 0
    0x00, 0x00,              // ARCOUNT 0
};
const bytes ab_cde = {0x02, 'a', 'b', 0x03, 'c', 'd', 'e', 0x00};  // labels "ab" "cde", root
const bytes in_addr_arpa = {
    0x07, 'i', 'n', '-', 'a', 'd',  'd', 'r',  // label "in-addr"
    0x04, 'a', 'r', 'p', 'a', 0x00,            // label "arpa", root
};
const bytes class_in = {0x00, 0x01};
const std::string label63(63, 'a');
const std::string label64(64, 'a');

TEST(query_builder, builds_the_header_and_question_for_each_lookup_type) {
    const bytes x = {0x01, 'x', 0x00};  // name x.
    const struct {
        std::string name;
        uint32_t type;
        bytes question;  // message from byte 12 on; empty: refused
    } cases[] = {
        {"ab.cde", type_a, ab_cde + bytes{0x00, 0x01} + class_in},  // type A
        {"x.Y", type_mx, bytes{0x01, 'x', 0x01, 'Y', 0x00} + bytes{0x00, 0x0f} + class_in},  // MX
        {"x", type_ns, x + bytes{0x00, 0x02} + class_in},     // type NS
        {"x", type_cname, x + bytes{0x00, 0x05} + class_in},  // type CNAME
        {"x", type_txt, x + bytes{0x00, 0x10} + class_in},    // type TXT
        {"192.0.2.1", type_ptr,
         bytes{0x01, '1', 0x01, '2', 0x01, '0', 0x03, '1', '9', '2'} + in_addr_arpa +
             bytes{0x00, 0x0c} + class_in},  // labels 1 2 0 192 in-addr arpa, type PTR
        {"", type_a, {}},
        {".", type_a, {}},
        {"...", type_a, {}},
        {label64, type_a, {}},
        {"", type_ptr, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        dns_record query;
        query.dns_server = "stale";
        query.message = {1, 2, 3};
        query.packet_id = 7;
        const bool built = build_query(query, c.name, c.type);
        EXPECT_EQ(built, !c.question.empty());
        EXPECT_TRUE(query.dns_server.empty());
        if (!built) {
            EXPECT_TRUE(query.message.empty());
            EXPECT_TRUE(query.query.empty());
            EXPECT_EQ(query.packet_id, 0);
            continue;
        }
        ASSERT_EQ(query.message.size(), 12 + c.question.size());
        EXPECT_EQ(bytes(query.message.begin() + 1, query.message.begin() + 12), fixed_header);
        EXPECT_EQ(bytes(query.message.begin() + 12, query.message.end()), c.question);
        EXPECT_EQ(query.query, c.name);  // the text as given, also for PTR
        EXPECT_EQ(query.dns_type, c.type);
        EXPECT_EQ(query.dns_class, 1);
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
    EXPECT_GT(seen.size(), 80u);  // both digits drawn afresh: spread over the whole range
}

TEST(query_builder, encodes_names_dropping_extra_dots_and_refuses_labels_over_63_bytes) {
    const struct {
        bool reverse;
        std::string input;
        bytes expected;  // empty: refused
    } cases[] = {
        {false, "ab.cde.", ab_cde},
        {false, ".ab.cde", ab_cde},
        {false, "ab..cde", ab_cde},
        {false, "..ab...cde..", ab_cde},
        {false, "x." + label63, bytes{0x01, 'x', 63} + bytes(63, 'a') + bytes{0x00}},
        {false, "x." + label64, {}},
        {true, "10.1", bytes{0x01, '1', 0x02, '1', '0'} + in_addr_arpa},
        {true, "host", bytes{0x04, 'h', 'o', 's', 't'} + in_addr_arpa},  // not validated
        {true, "...", in_addr_arpa},
        {true, label63 + ".1", bytes{0x01, '1', 63} + bytes(63, 'a') + in_addr_arpa},
        {true, "1." + label64, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.input);
        bytes out = {0xff};  // stale
        const bool encoded =
            c.reverse ? encode_reverse_name(out, c.input) : encode_name(out, c.input);
        EXPECT_EQ(encoded, !c.expected.empty());
        EXPECT_EQ(out, c.expected);
    }
}

}  // namespace
}  // namespace resq
