#include "dns/reply_decoder.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace resq {
namespace {

using bytes = std::vector<uint8_t>;

// example.com A with one answer, one NS in authority and its glue in additional, compressed.
const bytes compressed_reply = {
    0x2a, 0x00,                                  // id 42, little-endian
    0x81, 0x80,                                  // flags: QR RD RA
    0x00, 0x01,                                  // QDCOUNT 1
    0x00, 0x01,                                  // ANCOUNT 1
    0x00, 0x01,                                  // NSCOUNT 1
    0x00, 0x01,                                  // ARCOUNT 1
    0x07, 'e',  'x',  'a',  'm', 'p', 'l', 'e',  // @12 label "example"
    0x03, 'c',  'o',  'm',                       // label "com"
    0x00,                                        // root
    0x00, 0x01,                                  // qtype A
    0x00, 0x01,                                  // qclass IN
    0xc0, 0x0c,                                  // @29 owner: pointer to 12
    0x00, 0x01,                                  // type A
    0x00, 0x01,                                  // class IN
    0x00, 0x00, 0x0e, 0x10,                      // TTL 3600
    0x00, 0x04,                                  // RDLENGTH 4
    192,  0,    2,    1,                         // @41 address
    0xc0, 0x0c,                                  // @45 owner: pointer to 12
    0x00, 0x02,                                  // type NS
    0x00, 0x01,                                  // class IN
    0x00, 0x01, 0x51, 0x80,                      // TTL 86400
    0x00, 0x06,                                  // RDLENGTH 6
    0x03, 'n',  's',  '1',                       // @57 label "ns1"
    0xc0, 0x0c,                                  // pointer to 12
    0xc0, 0x39,                                  // @63 owner: pointer to 57
    0x00, 0x01,                                  // type A
    0x00, 0x01,                                  // class IN
    0x00, 0x00, 0x00, 0x3c,                      // TTL 60
    0x00, 0x04,                                  // RDLENGTH 4
    192,  0,    2,    53,                        // @75 address
};                                               // @79 end

// The same reply with every name written out in full.
const bytes uncompressed_reply = {
    0x2a, 0x00,                                      // id 42
    0x81, 0x80,                                      // flags: QR RD RA
    0x00, 0x01, 0x00, 0x01, 0x00, 0x01, 0x00, 0x01,  // QD AN NS AR 1 each
    0x07, 'e',  'x',  'a',  'm',  'p',  'l',  'e',  0x03, 'c',  'o',  'm',  0x00,  // example.com.
    0x00, 0x01, 0x00, 0x01,  // qtype A, qclass IN
    0x07, 'e',  'x',  'a',  'm',  'p',  'l',  'e',  0x03, 'c',  'o',  'm',  0x00,  // example.com.
    0x00, 0x01, 0x00, 0x01,           // type A, class IN
    0x00, 0x00, 0x0e, 0x10,           // TTL 3600
    0x00, 0x04, 192,  0,    2,    1,  // RDLENGTH 4, address
    0x07, 'e',  'x',  'a',  'm',  'p',  'l',  'e',  0x03, 'c',  'o',  'm',  0x00,  // example.com.
    0x00, 0x02, 0x00, 0x01,  // type NS, class IN
    0x00, 0x01, 0x51, 0x80,  // TTL 86400
    0x00, 0x11,              // RDLENGTH 17
    0x03, 'n',  's',  '1',  0x07, 'e',  'x',  'a',  'm',  'p',  'l',  'e',  0x03,
    'c',  'o',  'm',  0x00, 0x03, 'n',  's',  '1',  0x07, 'e',  'x',  'a',  'm',
    'p',  'l',  'e',  0x03, 'c',  'o',  'm',  0x00, 0x00, 0x01, 0x00, 0x01,  // type A, class IN
    0x00, 0x00, 0x00, 0x3c,                                                  // TTL 60
    0x00, 0x04, 192,  0,    2,    53,                                        // RDLENGTH 4, address
};

struct decoded {
    std::size_t end = 0;
    uint16_t id = 0;
    std::vector<dns_record> questions, answers, authority, additional;
};

decoded decode(const bytes& reply, bool require_response = true) {
    decoded d;
    d.end = decode_reply("192.0.2.53", 1234, reply, d.id, d.questions, d.answers, d.authority,
                         d.additional, require_response);
    return d;
}

std::vector<std::string> owner_names(const decoded& d) {
    std::vector<std::string> names;
    for (const auto* list : {&d.questions, &d.answers, &d.authority, &d.additional}) {
        for (const dns_record& entry : *list) {
            names.push_back(entry.query);
        }
    }
    return names;
}

TEST(reply_decoder, decodes_all_four_sections_of_a_compressed_reply) {
    const decoded d = decode(compressed_reply);
    EXPECT_EQ(d.end, 79u);
    EXPECT_EQ(d.id, 42);
    ASSERT_EQ(d.questions.size(), 1u);
    ASSERT_EQ(d.answers.size(), 1u);
    ASSERT_EQ(d.authority.size(), 1u);
    ASSERT_EQ(d.additional.size(), 1u);

    const dns_record& q = d.questions[0];
    EXPECT_EQ(q.query, "example.com.");
    EXPECT_EQ(q.dns_type, 1);
    EXPECT_EQ(q.dns_class, 1);
    EXPECT_EQ(q.ttl_secs, 0u);
    EXPECT_EQ(q.data_length, 0);
    EXPECT_EQ(q.data_offset, 0u);

    const dns_record& a = d.answers[0];
    EXPECT_EQ(a.query, "example.com.");
    EXPECT_EQ(a.ttl_secs, 3600u);
    EXPECT_EQ(a.data_length, 4);
    EXPECT_EQ(a.data_offset, 41u);
    EXPECT_EQ(a.data_bytes, (bytes{192, 0, 2, 1}));

    const dns_record& ns = d.authority[0];
    EXPECT_EQ(ns.dns_type, 2);
    EXPECT_EQ(ns.ttl_secs, 86400u);
    EXPECT_EQ(ns.data_offset, 57u);
    EXPECT_TRUE(ns.data_bytes.empty());  // data is copied for answers only

    const dns_record& glue = d.additional[0];
    EXPECT_EQ(glue.query, "ns1.example.com.");
    EXPECT_EQ(glue.data_offset, 75u);
    EXPECT_TRUE(glue.data_bytes.empty());

    for (const dns_record* entry : {&q, &a, &ns, &glue}) {
        EXPECT_EQ(entry->message, compressed_reply);
        EXPECT_EQ(entry->dns_server, "192.0.2.53");
        EXPECT_EQ(entry->query_time, 1234u);
        EXPECT_EQ(entry->packet_id, 42);
    }
}

TEST(reply_decoder, compressed_and_uncompressed_names_decode_the_same) {
    const decoded plain = decode(uncompressed_reply);
    EXPECT_EQ(plain.end, uncompressed_reply.size());
    EXPECT_EQ(owner_names(plain), owner_names(decode(compressed_reply)));
    std::string ns_name;
    EXPECT_EQ(decode_name(uncompressed_reply, plain.authority[0].data_offset, ns_name), 17u);
    EXPECT_EQ(ns_name, "ns1.example.com.");
    EXPECT_EQ(decode_name(compressed_reply, 57, ns_name), 6u);
    EXPECT_EQ(ns_name, "ns1.example.com.");
}

TEST(reply_decoder, decodes_nothing_when_the_qr_bit_is_clear) {
    bytes query_like = compressed_reply;
    query_like[2] = 0x01;  // flags: QR clear
    decoded d;
    d.answers.resize(3);  // emptied even so
    d.end = decode_reply("s", 0, query_like, d.id, d.questions, d.answers, d.authority,
                         d.additional, true);
    EXPECT_EQ(d.end, 0u);
    EXPECT_EQ(d.id, 0);  // returned before the identifier is read
    EXPECT_TRUE(d.answers.empty());
    EXPECT_TRUE(d.questions.empty());
    // Without the response requirement the same bytes decode.
    EXPECT_EQ(decode(query_like, false).end, 79u);
}

TEST(reply_decoder, treats_replies_up_to_the_header_size_as_empty) {
    const bytes header = {
        0x2a, 0x00,  // id 42
        0x81, 0x80,  // flags: QR RD RA
        0x00, 0x01,  // QDCOUNT 1
        0x00, 0x01,  // ANCOUNT 1
        0x00, 0x00,  // NSCOUNT 0
        0x00, 0x00,  // ARCOUNT 0
    };
    for (std::size_t length = 1; length <= header.size(); ++length) {
        SCOPED_TRACE(length);
        const decoded d = decode(bytes(header.data(), header.data() + length));
        // One or two bytes hold no flags, so the QR bit reads as 0.
        EXPECT_EQ(d.end, length <= 2 ? 0u : 12u);
        EXPECT_EQ(d.id, length <= 2 ? 0 : 42);
        EXPECT_TRUE(d.questions.empty());
        EXPECT_TRUE(d.answers.empty());
    }
}

TEST(reply_decoder, stops_a_section_at_the_end_when_its_count_is_too_large) {
    bytes reply(compressed_reply.begin(), compressed_reply.begin() + 45);  // question, answer
    reply[7] = 9;                                                          // ANCOUNT 9
    reply[9] = 0;                                                          // NSCOUNT 0
    reply[11] = 5;                                                         // ARCOUNT 5
    const decoded d = decode(reply);
    EXPECT_EQ(d.end, 45u);
    EXPECT_EQ(d.answers.size(), 1u);
    EXPECT_TRUE(d.additional.empty());

    bytes counts_zero(compressed_reply);
    counts_zero[5] = counts_zero[7] = counts_zero[9] = counts_zero[11] = 0;
    const decoded none = decode(counts_zero);
    EXPECT_EQ(none.end, 12u);
    EXPECT_TRUE(owner_names(none).empty());
}

TEST(reply_decoder, fails_on_a_pointer_to_itself_keeping_earlier_entries) {
    bytes reply = compressed_reply;
    reply[30] = 0x1d;  // answer owner at 29: pointer to 29
    const decoded d = decode(reply);
    EXPECT_EQ(d.end, 0u);
    EXPECT_EQ(d.id, 42);
    EXPECT_EQ(d.questions.size(), 1u);
    EXPECT_TRUE(d.answers.empty());
    EXPECT_TRUE(d.authority.empty());
}

TEST(reply_decoder, fails_when_rdlength_runs_past_the_end_keeping_earlier_entries) {
    bytes reply = compressed_reply;
    reply[55] = 0x01;  // authority RDLENGTH 6 -> 0x0106, beyond the reply
    const decoded d = decode(reply);
    EXPECT_EQ(d.end, 0u);
    EXPECT_EQ(d.questions.size(), 1u);
    EXPECT_EQ(d.answers.size(), 1u);
    EXPECT_TRUE(d.authority.empty());

    bytes last_short(compressed_reply.begin(), compressed_reply.end() - 1);  // glue 1 byte short
    EXPECT_EQ(decode(last_short).end, 0u);
}

TEST(reply_decoder, decodes_a_reply_with_another_identifier_in_full) {
    bytes reply = compressed_reply;
    reply[0] = 0x10;  // id 0x2710, little-endian
    reply[1] = 0x27;
    const decoded d = decode(reply);
    EXPECT_EQ(d.end, 79u);
    EXPECT_EQ(d.id, 0x2710);
    EXPECT_EQ(d.additional.at(0).packet_id, 0x2710);
}

TEST(reply_decoder, reads_question_fields_past_the_end_as_zero) {
    bytes reply = {
        0x05, 0x00,        // id 5
        0x80, 0x00,        // flags: QR
        0x00, 0x01,        // QDCOUNT 1
        0x00, 0x00,        // ANCOUNT 0
        0x00, 0x00,        // NSCOUNT 0
        0x00, 0x00,        // ARCOUNT 0
        0x01, 'a',  0x00,  // name a.
        0x00,              // first byte of qtype; the rest is missing
    };
    decoded d = decode(reply);
    EXPECT_EQ(d.end, 19u);  // the question's fixed fields are counted in full
    ASSERT_EQ(d.questions.size(), 1u);
    EXPECT_EQ(d.questions[0].dns_type, 0);
    EXPECT_EQ(d.questions[0].dns_class, 0);

    reply.back() = 0x01;  // the byte present is the high byte of qtype
    d = decode(reply);
    EXPECT_EQ(d.questions.at(0).dns_type, 0x0100);
}

// A header followed by `labels` one-byte labels and the root.
bytes message_with_labels(int labels) {
    bytes message(12, 0);
    for (int i = 0; i < labels; ++i) {
        message.push_back(0x01);  // label length 1
        message.push_back('a');
    }
    message.push_back(0x00);  // root
    return message;
}

TEST(decode_name, accepts_98_labels_and_refuses_99) {
    std::string name;
    EXPECT_EQ(decode_name(message_with_labels(98), 12, name), 98u * 2 + 1);
    std::string expected;
    for (int i = 0; i < 98; ++i) {
        expected += "a.";
    }
    EXPECT_EQ(name, expected);
    EXPECT_EQ(decode_name(message_with_labels(99), 12, name), 0u);
    EXPECT_EQ(name, "");
}

TEST(decode_name, follows_pointers_and_counts_only_the_bytes_at_the_start) {
    const bytes message = {
        0,    0,    0,   0, 0, 0, 0, 0, 0, 0, 0, 0,  // header
        0x01, 'b',                                   // @12 label "b"
        0xc0, 0x12,                                  // pointer forwards to 18
        0xc0, 0x0c,                                  // @16 pointer back to 12
        0x02, 'c',  'd',                             // @18 label "cd"
        0x00,                                        // root
        0x00,                                        // @22 root alone
        0x41,                                        // @23 length 65: high bits 01, a plain length
    };
    struct name_case {
        uint32_t offset;
        std::size_t size;
        const char* text;
    };
    const name_case cases[] = {
        {12, 4, "b.cd."},  // label then pointer: 2 + 2
        {16, 2, "b.cd."},  // pointer only
        {18, 4, "cd."},    // uncompressed: 3 + 1
        {22, 1, ""},       // root
        {23, 0, ""},       // label of 65 bytes runs past the end
        {24, 0, ""},       // start at the end: no byte to read
        {25, 0, ""},       // start past the end
        {0, 0, ""},        // start 0 is refused
    };
    for (const name_case& c : cases) {
        std::string name = "stale";
        EXPECT_EQ(decode_name(message, c.offset, name), c.size) << c.offset;
        EXPECT_EQ(name, c.text) << c.offset;
    }
}

TEST(decode_name, refuses_pointers_past_the_end_and_messages_shorter_than_a_header) {
    bytes message(12, 0);
    message.push_back(0xc0);  // @12 pointer ...
    message.push_back(0x0f);  // ... to 15, past the end (length 14)
    std::string name;
    EXPECT_EQ(decode_name(message, 12, name), 0u);
    message[13] = 0x0e;  // to 14: the end itself, where no byte is
    EXPECT_EQ(decode_name(message, 12, name), 0u);
    message.pop_back();  // pointer missing its second byte
    EXPECT_EQ(decode_name(message, 12, name), 0u);

    const bytes short_message = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x00};  // 11 bytes, root at 10
    EXPECT_EQ(decode_name(short_message, 10, name), 0u);
}

TEST(reply_decoder, returns_a_defined_result_for_every_cut_of_a_valid_reply) {
    for (const bytes* fixture : {&compressed_reply, &uncompressed_reply}) {
        for (std::size_t length = 1; length < fixture->size(); ++length) {
            const bytes cut(fixture->data(), fixture->data() + length);
            const decoded d = decode(cut);
            EXPECT_LE(d.end, length < 12 ? 12 : length + 4) << length;
            for (const auto* list : {&d.answers, &d.authority, &d.additional}) {
                for (const dns_record& entry : *list) {
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

}  // namespace
}  // namespace resq
