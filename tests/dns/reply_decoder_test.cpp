#include "dns/reply_decoder.hpp"

#include <gtest/gtest.h>

#include <array>
#include <initializer_list>
#include <memory>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "tests/dns/packet_bytes.hpp"

namespace resq {
namespace {

// clang-format off
// example.com A with one answer, one NS in authority and its glue in additional, compressed.
// id 42 (low byte first), flags QR RD RA, QD AN NS AR 1 each
const bytes header = {0x2a, 0x00, 0x81, 0x80, 0x00, 0x01, 0x00, 0x01, 0x00, 0x01, 0x00, 0x01};
const bytes example_com = {7, 'e', 'x', 'a', 'm', 'p', 'l', 'e', 3, 'c', 'o', 'm', 0};
const bytes ns1 = {3, 'n', 's', '1'};
const bytes compressed_reply = header + example_com + bytes{
    0x00, 0x01, 0x00, 0x01,  // @25 qtype A, qclass IN
    // @29 owner ->12, A, IN, TTL 3600, RDLENGTH 4, @41 192.0.2.1
    0xc0, 0x0c, 0x00, 0x01, 0x00, 0x01, 0x00, 0x00, 0x0e, 0x10, 0x00, 0x04, 192, 0, 2, 1,
    // @45 owner ->12, NS, IN, TTL 86400, @55 RDLENGTH 6, @57 label "ns1", ->12
    0xc0, 0x0c, 0x00, 0x02, 0x00, 0x01, 0x00, 0x01, 0x51, 0x80, 0x00, 0x06,
    3, 'n', 's', '1', 0xc0, 0x0c,
    // @63 owner ->57, A, class CH (passed through), TTL 60, RDLENGTH 4, @75 192.0.2.53; @79 end
    0xc0, 0x39, 0x00, 0x01, 0x00, 0x03, 0x00, 0x00, 0x00, 0x3c, 0x00, 0x04, 192, 0, 2, 53,
};
// The same reply with every name written out in full.
const bytes uncompressed_reply = header + example_com + bytes{0x00, 0x01, 0x00, 0x01} +  // A IN
    example_com + bytes{0x00, 0x01, 0x00, 0x01, 0x00, 0x00, 0x0e, 0x10, 0x00, 0x04, 192, 0, 2, 1} +
    example_com + bytes{0x00, 0x02, 0x00, 0x01, 0x00, 0x01, 0x51, 0x80, 0x00, 0x11} + ns1 +
    example_com + ns1 + example_com +
    bytes{0x00, 0x01, 0x00, 0x03, 0x00, 0x00, 0x00, 0x3c, 0x00, 0x04, 192, 0, 2, 53};
// clang-format on

struct decoded {
    std::size_t end = 0;
    uint16_t id = 0;  // as the report shows it: read little-endian
    reply_header header;
    std::array<std::vector<dns_record>, 4> sections;  // questions, answers, authority, additional
};

// Decodes into an attempt whose lists hold a stale entry each, so a decoder that does not empty
// them shows.
decoded decode(const bytes& reply, bool require_response = true) {
    dns_exchange attempt;
    for (auto* list :
         {&attempt.questions, &attempt.answers, &attempt.authority, &attempt.additional}) {
        list->resize(1);
    }
    decoded d;
    d.end = decode_reply(std::make_shared<const bytes>(reply), 1234, attempt, require_response);
    d.header = attempt.header;
    d.id = static_cast<uint16_t>((d.header.id & 0xff) << 8 | d.header.id >> 8);
    d.sections = {attempt.questions, attempt.answers, attempt.authority, attempt.additional};
    return d;
}

std::array<std::size_t, 4> sizes(const decoded& d) {
    return {d.sections[0].size(), d.sections[1].size(), d.sections[2].size(), d.sections[3].size()};
}

TEST(reply_decoder, decodes_the_header_all_four_sections_and_the_same_names_uncompressed) {
    using fields = std::tuple<std::string, section_kind, uint16_t, uint16_t, uint32_t, uint16_t,
                              uint32_t, uint64_t, uint16_t>;
    // owner, section, type, class, TTL, data length, data offset, time, id
    const fields rows[] = {
        {"example.com.", section_kind::question, 1, 1, 0, 0, 0, 1234, 42},
        {"example.com.", section_kind::answer, 1, 1, 3600, 4, 41, 1234, 42},
        {"example.com.", section_kind::authority, 2, 1, 86400, 6, 57, 1234, 42},
        {"ns1.example.com.", section_kind::additional, 1, 3, 60, 4, 75, 1234, 42},
    };
    const auto reply = std::make_shared<const bytes>(compressed_reply);
    dns_exchange attempt;
    EXPECT_EQ(decode_reply(reply, 1234, attempt, true), 79u);
    const decoded plain = decode(uncompressed_reply);
    EXPECT_EQ(plain.end, uncompressed_reply.size());
    const std::array sections = {&attempt.questions, &attempt.answers, &attempt.authority,
                                 &attempt.additional};
    for (std::size_t i = 0; i < 4; ++i) {
        ASSERT_EQ(sections[i]->size(), 1u);
        ASSERT_EQ(plain.sections[i].size(), 1u);
        const dns_record& e = sections[i]->front();
        EXPECT_EQ(std::tie(e.query, e.section, e.dns_type, e.dns_class, e.ttl_secs, e.data_length,
                           e.data_offset, e.query_time, e.packet_id),
                  rows[i]);
        EXPECT_EQ(plain.sections[i][0].query, e.query);
        EXPECT_EQ(e.message, reply);  // shared, not copied
    }
    const reply_header& h = attempt.header;
    EXPECT_EQ(std::tie(h.id, h.qr, h.opcode, h.aa, h.tc, h.rd, h.ra, h.ad, h.cd, h.rcode),
              std::make_tuple(0x2a00, true, 0, false, false, true, true, false, false, 0));
    // Opcode 2 (STATUS), AA, TC, AD, CD and RCODE 3 (NXDOMAIN), with the counts.
    const decoded flags = decode(bytes{0, 1, 0x97, 0x33, 0, 0, 0, 0, 0, 0, 0, 0});
    const reply_header& f = flags.header;
    EXPECT_EQ(std::tie(f.id, f.opcode, f.aa, f.tc, f.rd, f.ra, f.ad, f.cd, f.rcode),
              std::make_tuple(1, 2, true, true, true, false, true, true, 3));
    EXPECT_EQ(std::tie(h.question_count, h.answer_count, h.authority_count, h.additional_count),
              std::make_tuple(1, 1, 1, 1));
}

TEST(reply_decoder, extends_the_rcode_by_the_first_opt_record_of_the_additional_section) {
    // Root owner, TYPE, CLASS 1232, TTL's top byte `high` (extended RCODE), RDLENGTH 0.
    const auto record = [](uint8_t type, uint8_t high) {
        return bytes{0, 0, type, 0x04, 0xd0, high, 0, 0, 0, 0, 0};
    };
    // clang-format off
    const struct { uint8_t rcode, count; bytes additional; uint16_t full_rcode; } cases[] = {
        {3, 0, {}, 3},                                               // NXDOMAIN, no OPT record
        {0, 1, record(41, 1), 16},                                   // BADVERS
        {15, 1, record(41, 0xff), 0xfff},                            // all twelve bits
        {0, 3, record(1, 1) + record(41, 2) + record(41, 3), 0x20},  // not the A record's TTL
    };
    // clang-format on
    for (const auto& c : cases) {
        const decoded d =
            decode(bytes{0, 1, 0x80, c.rcode, 0, 0, 0, 0, 0, 0, 0, c.count} + c.additional);
        EXPECT_EQ(std::tie(d.header.rcode, d.header.full_rcode), std::tie(c.rcode, c.full_rcode));
    }
}

TEST(reply_decoder, entries_of_a_full_size_reply_share_its_one_copy) {
    // Near 64 KiB: a root question, then 4,094 minimal answers (owner pointing to the question,
    // A, 4 bytes of data); and 13,104 five-byte root questions.
    bytes answers = {0, 0, 0x80, 0, 0, 1, 0xff, 0xff, 0, 0, 0, 0, 0, 0, 1, 0, 1};
    while (answers.size() + 16 <= 65535) {
        answers.insert(answers.end(), {0xc0, 12, 0, 1, 0, 1, 0, 0, 0, 1, 0, 4, 192, 0, 2, 1});
    }
    bytes questions = {0, 0, 0x80, 0, 0xff, 0xff, 0, 0, 0, 0, 0, 0};
    while (questions.size() + 5 <= 65535) {
        questions.insert(questions.end(), {0, 0, 1, 0, 1});
    }
    for (const auto& [message, count] : {std::pair{&answers, 4094u}, {&questions, 13104u}}) {
        const auto reply = std::make_shared<const bytes>(*message);
        dns_exchange attempt;
        decode_reply(reply, 0, attempt, true);
        const auto& list = attempt.answers.empty() ? attempt.questions : attempt.answers;
        ASSERT_EQ(list.size(), count);
        EXPECT_EQ(reply.use_count(),
                  static_cast<long>(attempt.questions.size() + attempt.answers.size() + 1));
    }
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
        {"QR clear: refused after the header", 79, {{2, 0x01}}, 0, 42, {}},
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
        bytes reply(compressed_reply.begin(),
                    compressed_reply.begin() + static_cast<std::ptrdiff_t>(c.length));
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
                EXPECT_EQ(d.id, 42);
                EXPECT_EQ(sizes(d), (std::array<std::size_t, 4>{}));
            } else {
                EXPECT_LE(d.end, length + 4);  // a cut question still counts its fixed fields
            }
            for (const auto& section : d.sections) {
                for (const dns_record& entry : section) {
                    EXPECT_LE(entry.data_offset + entry.data_length, length);
                }
            }
        }
    }
}

// A header, then `count` labels of `length` bytes, then the root.
bytes labels(int count, uint8_t length) {
    bytes message(12, 0);
    for (int i = 0; i < count; ++i) {
        message.push_back(length);
        message.insert(message.end(), length, 'b');
    }
    message.push_back(0x00);
    return message;
}

// A header, then labels of the given lengths (letters "b"), then the root; and that name as text.
bytes wide(std::initializer_list<uint8_t> lengths) {
    bytes message(12, 0);
    for (const uint8_t length : lengths) {
        message.push_back(length);
        message.insert(message.end(), length, 'b');
    }
    return message + bytes{0x00};
}
std::string wide_text(std::initializer_list<uint8_t> lengths) {
    std::string text;
    for (const uint8_t length : lengths) {
        text += std::string(length, 'b') + ".";
    }
    return text;
}

TEST(decode_name, follows_pointers_and_refuses_loops_and_whatever_leaves_the_message) {
    // clang-format off
    const bytes pointers = {
        0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,  // header
        0x01, 'b', 0xc0, 0x12, 0xc0, 0x0c,   // @12 label "b", pointer to 18; @16 pointer to 12
        0x02, 'c', 'd', 0x00, 0x00,          // @18 label "cd", root; @22 root alone
        0x41, 0xc0, 0x1e,                    // @23 length 65 past the end; @24 pointer to 30
        0xc0, 0x1d, 0xc0,                    // @26 pointer to 29 (the end); @28 half a pointer
    };
    // clang-format on
    // Each name one 63-byte label longer than the one it points to: 65, 129, 193 bytes expanded.
    const bytes chain = wide({63}) +                                     // @12
                        bytes{63} + bytes(63, 'b') + bytes{0xc0, 12} +   // @77 -> 12
                        bytes{63} + bytes(63, 'b') + bytes{0xc0, 77} +   // @143 -> 77
                        bytes{61} + bytes(61, 'b') + bytes{0xc0, 143} +  // @209: 255 bytes
                        bytes{63} + bytes(63, 'b') + bytes{0xc0, 143};   // @273: 257 bytes
    std::string b98;
    for (int i = 0; i < 98; ++i) {
        b98 += "b.";
    }
    const struct {
        bytes message;
        uint32_t offset;
        std::size_t size;  // counts only the bytes at the start, not those pointed to
        std::string text;  // empty when refused
    } cases[] = {
        {pointers, 12, 4, "b.cd."},
        {pointers, 16, 2, "b.cd."},
        {pointers, 18, 4, "cd."},
        {pointers, 22, 1, ""},
        // clang-format off
        {pointers, 0, 0, ""}, {pointers, 23, 0, ""}, {pointers, 24, 0, ""},  // 0: the header
        {pointers, 26, 0, ""}, {pointers, 28, 0, ""}, {pointers, 29, 0, ""}, {pointers, 30, 0, ""},
        // clang-format on
        {bytes(11, 0), 10, 0, ""},  // shorter than a header
        {labels(98, 1), 12, 98 * 2 + 1, b98},
        {labels(99, 1), 12, 0, ""},
        {labels(1, 0x41), 12, 0x41 + 2, std::string(0x41, 'b') + "."},  // high bits 01: a length
        {labels(1, 0x81), 12, 0x81 + 2, std::string(0x81, 'b') + "."},  // high bits 10: a length
        // At most 255 bytes expanded, length bytes and the root included, however reached.
        {wide({63, 63, 63, 61}), 12, 255, wide_text({63, 63, 63, 61})},
        {wide({63, 63, 63, 62}), 12, 0, ""},
        {wide({0xbf, 61}), 12, 255, wide_text({0xbf, 61})},
        {wide({0xbf, 62}), 12, 0, ""},
        {chain, 209, 1 + 61 + 2, wide_text({61, 63, 63, 63})},
        {chain, 273, 0, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.message.size() << "-byte message @" << c.offset);
        std::string name = "stale";
        EXPECT_EQ(decode_name(c.message, c.offset, name), c.size);
        EXPECT_EQ(name, c.text);
    }
}

// One decoded name, shown as received or in master-file form: a dot inside a label, the zone
// file's special characters, a space and bytes outside printable ASCII.
TEST(decode_name, keeps_the_labels_that_each_writer_shows_raw_or_escaped) {
    // clang-format off
    const bytes message = {
        0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,  // header
        3, 'a', '.', 'b',                    // @12 label "a.b"
        5, '(', '\\', ' ', '"', 0xff,        // label: ( \ space " and byte 255
        3, 'x', 0xc2, 0x9b,                  // label "x" and U+009B in UTF-8
        0, 0,                                // root; @27 the root alone
    };
    // clang-format on
    dns_name name;
    ASSERT_EQ(decode_name(message, 12, name), 15u);
    EXPECT_EQ(name.raw(), "a.b.(\\ \"\xff.x\xc2\x9b.");
    EXPECT_EQ(name.escaped(), "a\\.b.\\(\\\\\\032\\\"\\255.x\\194\\155.");
    ASSERT_EQ(decode_name(message, 27, name), 1u);
    EXPECT_EQ(std::make_pair(name.raw(), name.escaped()),
              std::make_pair(std::string(), std::string(".")));
}

}  // namespace
}  // namespace resq
