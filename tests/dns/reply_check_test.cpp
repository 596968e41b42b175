#include "dns/reply_check.hpp"

#include <gtest/gtest.h>

#include "tests/dns/packet_bytes.hpp"

namespace resq {
namespace {

// clang-format off
const bytes example_com = {7, 'e', 'x', 'a', 'm', 'p', 'l', 'e', 3, 'c', 'o', 'm', 0};
const bytes a_in = {0x00, 0x01, 0x00, 0x01};  // QTYPE A, QCLASS IN
const bytes opt = {
    0x00,                    // owner: the root
    0x00, 0x29,              // TYPE 41, OPT
    0x04, 0xd0,              // CLASS: payload size 1232
    0x00, 0x00, 0x00, 0x00,  // TTL
    0x00, 0x00,              // RDLENGTH 0
};
const bytes query = bytes{
    0x12, 0x34,  // id, as written
    0x01, 0x00,  // RD
    0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x01,  // QDCOUNT 1, ARCOUNT 1
} + example_com + a_in + opt;
// clang-format on

// A reply header with the query's id: QR RD RA, `rcode`, and the four counts (below 256).
bytes header(uint8_t qd, uint8_t an, uint8_t ns, uint8_t ar, uint8_t rcode = 0) {
    return {0x12, 0x34, 0x81, static_cast<uint8_t>(0x80 | rcode), 0, qd, 0, an, 0, ns, 0, ar};
}

TEST(reply_check, tells_the_reply_by_its_whole_header_its_id_and_its_question) {
    using enum reply_verdict;
    // clang-format off
    const bytes answer = {0xc0, 0x0c, 0x00, 0x01, 0x00, 0x01,  // owner ->12, A, IN
                          0x00, 0x00, 0x0e, 0x10, 0x00, 0x04, 192, 0, 2, 1};  // TTL, RDLENGTH 4
    const bytes root_a = {0x00, 0x00, 0x01, 0x00, 0x01,  // owner root, A, IN
                          0, 0, 0, 0, 0x00, 0x00};      // TTL 0, RDLENGTH 0
    const struct { const char* what; bytes message; reply_verdict verdict; } cases[] = {
        {"1 byte", {0x12}, too_short},
        {"3 bytes", {0x12, 0x34, 0x81}, too_short},
        {"11 bytes", {0x12, 0x34, 0x81, 0x80, 0, 1, 0, 0, 0, 0, 0}, too_short},
        {"echo", header(1, 1, 0, 1) + example_com + a_in + answer + opt, reply},
        {"QR clear", bytes{0x12, 0x34, 0x01, 0x00, 0, 1, 0, 0, 0, 0, 0, 0} + example_com + a_in,
         reply},
        {"other id", bytes{0x13, 0x34, 0x81, 0x80, 0, 1, 0, 0, 0, 0, 0, 0} + example_com + a_in,
         other_id},
        {"id bytes swapped",
         bytes{0x34, 0x12, 0x81, 0x80, 0, 1, 0, 0, 0, 0, 0, 0} + example_com + a_in, other_id},
        {"no question, NOERROR, an answer", header(0, 1, 0, 0) + answer, other_question},
        {"no question, NOERROR", header(0, 0, 0, 0), other_question},
        {"no question, SERVFAIL", header(0, 0, 0, 0, 2), other_question},
        {"FORMERR", header(0, 0, 0, 0, 1), reply},
        {"NOTIMP", header(0, 0, 0, 0, 4), reply},
        {"FORMERR, OPT", header(0, 0, 0, 1, 1) + opt, reply},
        {"NOTIMP, OPT", header(0, 0, 0, 1, 4) + opt, reply},
        {"FORMERR, OPT cut", header(0, 0, 0, 1, 1) + bytes(opt.begin(), opt.end() - 1),
         other_question},
        {"NOTIMP, RDLENGTH past the end",
         header(0, 0, 0, 1, 4) + bytes(opt.begin(), opt.end() - 1) + bytes{0x01}, other_question},
        {"FORMERR, an A in additional", header(0, 0, 0, 1, 1) + root_a, other_question},
        {"FORMERR, two OPT", header(0, 0, 0, 2, 1) + opt + opt, other_question},
        {"FORMERR, an answer", header(0, 1, 0, 0, 1) + answer, other_question},
        {"other letter case",
         header(1, 0, 0, 0) + bytes{7, 'E', 'x', 'A', 'M', 'P', 'L', 'e', 3, 'C', 'O', 'm', 0} +
             a_in,
         reply},
        {"type AAAA", header(1, 0, 0, 0) + example_com + bytes{0x00, 0x1c, 0x00, 0x01},
         other_question},
        {"class CH", header(1, 0, 0, 0) + example_com + bytes{0x00, 0x01, 0x00, 0x03},
         other_question},
        {"other name", header(1, 0, 0, 0) + bytes{7, 'e', 'x', 'a', 'm', 'p', 'l', 'e', 0} + a_in,
         other_question},
        {"a dot inside a label",  // one label "example.com"
         header(1, 0, 0, 0) + bytes{11, 'e', 'x', 'a', 'm', 'p', 'l', 'e', '.', 'c', 'o', 'm', 0} +
             a_in,
         other_question},
        {"two questions", header(2, 0, 0, 0) + example_com + a_in + example_com + a_in,
         other_question},
        {"name pointing to itself", header(1, 0, 0, 0) + bytes{0xc0, 0x0c} + a_in, other_question},
        {"name cut", header(1, 0, 0, 0) + bytes{7, 'e', 'x', 'a'}, other_question},
        {"QCLASS cut", header(1, 0, 0, 0) + example_com + bytes{0x00, 0x01, 0x00}, other_question},
    };
    // clang-format on
    for (const auto& c : cases) {
        EXPECT_EQ(check_reply(query, c.message), c.verdict) << c.what;
    }
}

}  // namespace
}  // namespace resq
