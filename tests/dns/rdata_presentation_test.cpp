#include "dns/rdata_presentation.hpp"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <type_traits>
#include <variant>

#include "dns/record_types.hpp"
#include "packet_bytes.hpp"
#include "support/text_forms.hpp"

namespace resq {
namespace {

// A header and the name types.test. at offset 12, which the data's pointers 0xc0 0x0c lead to.
const bytes message_head = {0, 0,   0,   0,   0,   0,   0, 0,   0,   0,   0,   0,  // header
                            5, 't', 'y', 'p', 'e', 's', 4, 't', 'e', 's', 't', 0};
// Bytes after the data: a decoder that reads past the data would end a name or complete a field.
const bytes message_tail = {0, 1, 1, 1, 1, 1, 1, 1};

// An answer whose data is `data`, inside a message that goes on after it. CLASS and TTL carry
// what an OPT record would: UDP size 1232, extended RCODE 1, version 1, DO and Z bit 0.
dns_record answer(uint16_t type, const bytes& data) {
    dns_record record;
    record.message = std::make_shared<const bytes>(message_head + data + message_tail);
    record.section = section_kind::answer;
    record.dns_type = type;
    record.dns_class = 1232;
    record.ttl_secs = 0x01018001;
    record.data_offset = static_cast<uint32_t>(message_head.size());
    record.data_length = static_cast<uint16_t>(data.size());
    return record;
}

struct presentation_case {
    const char* description;
    uint16_t type;
    bytes data;
    const char* presentation;
};

// clang-format off
const presentation_case presentation_cases[] = {
    {"a as a dotted quad", type_a, {192, 0, 2, 1}, "192.0.2.1"},
    {"aaaa with its longest zero run shortened", type_aaaa,
     {0x20, 0x01, 0x0d, 0xb8, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 1},  // 2001:db8:0:1::1
     "2001:db8:0:1::1"},
    {"aaaa mapping an ipv4 address", type_aaaa,
     {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xff, 0xff, 192, 0, 2, 1},  // ::ffff:192.0.2.1
     "::ffff:192.0.2.1"},
    {"ns with a dot, a space and a quote in a label", type_ns,
     {5, 'a', '.', 'b', ' ', '"',  // label a.b "
      0xc0, 0x0c},                 // -> types.test.
     "a\\.b\\032\\\".types.test."},
    {"cname to the root", type_cname, {0}, "."},
    {"mx", type_mx,
     {0, 10,                          // preference
      4, 'm', 'a', 'i', 'l', 0xc0, 0x0c},  // exchange mail -> types.test.
     "10 mail.types.test."},
    {"soa with decimal numbers", type_soa,
     {3, 'n', 's', '1', 0xc0, 0x0c,  // MNAME ns1 -> types.test.
      2, 'h', 'm', 0xc0, 0x0c,       // RNAME hm -> types.test.
      0x78, 0x49, 0x0a, 0x01,        // SERIAL 2018052609
      0, 0, 0x0e, 0x10,              // REFRESH 3600
      0, 0, 0x03, 0x84,              // RETRY 900
      0, 0x12, 0x75, 0x00,           // EXPIRE 1209600
      0, 0, 0x01, 0x2c},             // MINIMUM 300
     "ns1.types.test. hm.types.test. 2018052609 3600 900 1209600 300"},
    {"txt with a quote, a backslash, a tab, an empty string and utf-8", type_txt,
     {4, 'a', '"', '\\', '\t',  // a"\<TAB>
      0,                        // ""
      2, 0xc3, 0xa9},           // é in UTF-8
     "\"a\\\"\\\\\\009\" \"\" \"\\195\\169\""},
    {"srv", type_srv,
     {0, 10,                          // priority
      0, 60,                          // weight
      0x13, 0xc4,                     // port 5060
      3, 's', 'i', 'p', 0xc0, 0x0c},  // target sip -> types.test.
     "10 60 5060 sip.types.test."},
    {"caa", type_caa,
     {0,                                   // flags
      5, 'i', 's', 's', 'u', 'e',          // tag
      'c', 'a', '.', 'o', 'r', 'g', '"'},  // value
     "0 issue \"ca.org\\\"\""},
    {"naptr", type_naptr,
     {0, 100,                                // order
      0, 10,                                 // preference
      1, 'U',                                // flags
      7, 'E', '2', 'U', '+', 's', 'i', 'p',  // services
      6, '!', '.', '*', '!', 'x', '!',       // regexp
      0},                                    // replacement: the root
     "100 10 \"U\" \"E2U+sip\" \"!.*!x!\" ."},
    {"ds", type_ds,
     {0x30, 0x39,  // key tag 12345
      8,           // algorithm
      2,           // digest type
      0xab, 0xcd, 0xef},  // digest
     "12345 8 2 ABCDEF"},
    {"dnskey", type_dnskey,
     {0x01, 0x01,            // flags 257
      3,                     // protocol
      13,                    // algorithm
      'a', 'b', 'c', 'd'},   // public key
     "257 3 13 YWJjZA=="},
    {"rrsig with a time past 2038", type_rrsig,
     {0, 1,                   // type covered A
      13,                     // algorithm
      2,                      // labels
      0, 0, 0x0e, 0x10,       // original TTL 3600
      0xff, 0xff, 0xff, 0xff, // expiration 2106-02-07 06:28:15
      0x66, 0x5b, 0x0d, 0x40, // inception 2024-06-01 12:00:00
      0x30, 0x39,             // key tag 12345
      0xc0, 0x0c,             // signer -> types.test.
      'a', 'b', 'c'},         // signature
     "A 13 2 3600 21060207062815 20240601120000 12345 types.test. YWJj"},
    {"nsec", type_nsec,
     {5, 'n', 's', 'e', 'c', '2', 0xc0, 0x0c,  // next name nsec2 -> types.test.
      0, 6, 0x62, 0x01, 0x80, 0x08, 0, 0x03,   // window 0: A NS SOA MX TXT AAAA RRSIG NSEC
      4, 1, 0x40},                             // window 4: 1025
     "nsec2.types.test. A NS SOA MX TXT AAAA RRSIG NSEC TYPE1025"},
    {"tlsa", type_tlsa,
     {3, 1, 1,       // usage, selector, matching type
      0x0c, 0x72},   // certificate association data
     "3 1 1 0C72"},
    {"sshfp", type_sshfp,
     {4, 2,          // algorithm, fingerprint type
      0x12, 0x34},   // fingerprint
     "4 2 1234"},
    {"svcb in alias mode", type_svcb,
     {0, 0,                                  // priority
      4, 's', 'v', 'c', '2', 0xc0, 0x0c},    // target svc2 -> types.test.
     "0 svc2.types.test."},
    {"https with every known key and two others", type_https,
     {0, 1,                                  // priority
      0,                                     // target: the root
      0, 0, 0, 4, 0, 1, 0, 4,                // mandatory: alpn, ipv4hint
      0, 1, 0, 7, 2, 'h', '2', 3, 'a', ',', 'b',  // alpn: h2, "a,b"
      0, 2, 0, 0,                            // no-default-alpn
      0, 3, 0, 2, 0x20, 0xfb,                // port 8443
      0, 4, 0, 8, 192, 0, 2, 1, 192, 0, 2, 2,  // ipv4hint
      0, 5, 0, 2, 'a', 'b',                  // ech
      0, 6, 0, 16, 0x20, 0x01, 0x0d, 0xb8, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1,  // ipv6hint
      0, 7, 0, 2, '/', 'q',                  // dohpath
      0xfd, 0xe8, 0, 1, '"',                 // key65000
      0xfd, 0xe9, 0, 0},                     // key65001, empty
     "1 . mandatory=alpn,ipv4hint alpn=\"h2,a\\\\,b\" no-default-alpn port=8443 "
     "ipv4hint=192.0.2.1,192.0.2.2 ech=YWI= ipv6hint=2001:db8::1 dohpath=\"/q\" "
     "key65000=\"\\\"\" key65001"},
    {"opt with the fields of class and ttl", type_opt,
     {0, 3, 0, 2, 'n', 's',                  // NSID "ns"
      0, 10, 0, 2, 1, 2,                     // COOKIE
      0xfd, 0xe9, 0, 0},                     // 65001, empty
     "udp=1232 ercode=1 version=1 flags=do z=0x1; NSID: 6e 73 (\"ns\"); COOKIE=0102; OPT65001"},
    {"type without a decoder", 99, {3, 'a', 'b', 'c'}, "\\# 4 03616263"},
    {"empty data without a decoder", 10, {}, "\\# 0"},
};
// clang-format on

TEST(rdata_presentation, writes_each_type_in_master_file_form) {
    for (const auto& [description, type, data, presentation] : presentation_cases) {
        EXPECT_EQ(rdata_presentation(answer(type, data)), presentation) << description;
    }
    dns_record question = answer(type_a, {192, 0, 2, 1});
    question.section = section_kind::question;
    EXPECT_EQ(rdata_presentation(question), "");
}

struct hostile_case {
    const char* description;
    uint16_t type;
    bytes data;
    int kept;  // elements kept before the fault, raw_data (-1) or an alternative without (-2)
};

constexpr int raw_data = -1;
constexpr int legacy = -2;

int elements_kept(const rdata_value& value) {
    return std::visit(
        [](const auto& v) {
            using kind = std::decay_t<decltype(v)>;
            if constexpr (std::is_same_v<kind, raw_rdata>) {
                return raw_data;
            } else if constexpr (std::is_same_v<kind, nsec_rdata>) {
                return v.complete ? legacy : static_cast<int>(v.types.size());
            } else if constexpr (std::is_same_v<kind, svcb_rdata>) {
                return v.complete ? legacy : static_cast<int>(v.params.size());
            } else if constexpr (std::is_same_v<kind, opt_rdata>) {
                return v.complete ? legacy : static_cast<int>(v.options.size());
            } else {
                return legacy;
            }
        },
        value);
}

// clang-format off
const hostile_case hostile_cases[] = {
    {"a of five bytes", type_a, {192, 0, 2, 1, 0}, raw_data},
    {"aaaa of fifteen bytes", type_aaaa, bytes(15, 1), legacy},
    {"ns whose label runs past the data", type_ns, {3, 'n', 's'}, legacy},
    {"mx of one byte", type_mx, {0}, legacy},
    {"mx with a byte after the exchange", type_mx, {0, 10, 0, 7}, legacy},
    {"soa with a byte after minimum", type_soa, bytes(23, 0), legacy},  // root, root, 5 numbers
    {"txt whose length passes the data", type_txt, {1, 'a', 5, 'b'}, legacy},
    {"txt of no string", type_txt, {}, legacy},
    {"srv without its target", type_srv, {0, 1, 0, 2, 0, 3}, raw_data},
    {"srv with a byte after the target", type_srv, {0, 1, 0, 2, 0, 3, 0, 9}, raw_data},
    {"caa with an empty tag", type_caa, {0, 0, 'x'}, raw_data},
    {"caa whose tag passes the data", type_caa, {0, 9, 'i', 's'}, raw_data},
    {"caa with a space in its tag", type_caa, {0, 2, 'a', ' ', 'v'}, raw_data},
    {"naptr whose regexp passes the data", type_naptr, {0, 1, 0, 2, 1, 'U', 0, 9, 'x'}, raw_data},
    {"naptr without its replacement", type_naptr, {0, 1, 0, 2, 0, 0, 0}, raw_data},
    {"ds without a digest", type_ds, {0x30, 0x39, 8, 2}, raw_data},
    {"dnskey of three bytes", type_dnskey, {1, 1, 3}, raw_data},
    {"rrsig cut in its times", type_rrsig, {0, 1, 13, 2, 0, 0, 0x0e, 0x10, 0x66}, raw_data},
    {"rrsig without a signature", type_rrsig, bytes(18, 0) + bytes{0}, raw_data},
    {"nsec whose next name passes the data", type_nsec, {3, 'a'}, raw_data},
    {"nsec with an empty window", type_nsec, {0, 0, 0}, 0},
    {"nsec window passing the data", type_nsec, {0, 0, 1, 0x40, 1, 2, 0x40}, 1},
    {"nsec windows out of order", type_nsec, {0, 1, 1, 0x40, 0, 1, 0x40}, 1},
    {"nsec window of 33 bytes", type_nsec, {0, 0, 33, 0x40}, 0},
    {"tlsa without data", type_tlsa, {3, 1, 1}, raw_data},
    {"sshfp of one byte", type_sshfp, {4}, raw_data},
    {"svcb whose target passes the data", type_svcb, {0, 1, 3, 'a'}, raw_data},
    {"svcb value passing the data", type_svcb, {0, 1, 0, 0, 3, 0, 2, 1}, 0},
    {"svcb keys out of order", type_svcb, {0, 1, 0, 0, 3, 0, 2, 0, 80, 0, 1, 0, 1, 0}, 1},
    {"svcb port of one byte", type_svcb, {0, 1, 0, 0, 3, 0, 1, 80}, 0},
    {"svcb alpn with an empty id", type_https, {0, 1, 0, 0, 1, 0, 1, 0}, 0},
    {"svcb alpn id passing its value", type_https, {0, 1, 0, 0, 1, 0, 2, 5, 'h'}, 0},
    {"svcb mandatory of odd length", type_svcb, {0, 1, 0, 0, 0, 0, 1, 1}, 0},
    {"svcb no-default-alpn with a value", type_svcb, {0, 1, 0, 0, 2, 0, 1, 'x'}, 0},
    {"svcb ipv4hint of three bytes", type_svcb, {0, 1, 0, 0, 4, 0, 3, 1, 2, 3}, 0},
    {"svcb ipv6hint of four bytes", type_svcb, {0, 1, 0, 0, 6, 0, 4, 1, 2, 3, 4}, 0},
    {"opt option passing the data", type_opt, {0, 3, 0, 5, 'n', 's'}, 0},
    {"opt option cut in its code", type_opt, {0, 3, 0, 0, 0}, 1},
};
// clang-format on

TEST(rdata_presentation, keeps_hostile_data_inside_its_bounds_and_shows_it_raw) {
    for (const auto& [description, type, data, kept] : hostile_cases) {
        const dns_record record = answer(type, data);
        EXPECT_EQ(elements_kept(decode_rdata(record)), kept) << description;
        const std::string hex = hex_text(data, {}, hex_case::upper);
        EXPECT_EQ(rdata_presentation(record),
                  "\\# " + std::to_string(data.size()) + (hex.empty() ? "" : " " + hex))
            << description;
    }
}

}  // namespace
}  // namespace resq
