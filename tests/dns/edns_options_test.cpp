#include "dns/edns_options.hpp"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "dns/rdata_presentation.hpp"
#include "packet_bytes.hpp"

namespace resq {
namespace {

// The OPT record of a reply holding `options`, with UDP size 1232 and no flags.
dns_record opt_record(const bytes& options) {
    const bytes header = {0, 0, 0x80, 0, 0, 0, 0, 0, 0, 0, 0, 1};  // QR, one additional
    dns_record record;
    record.message = std::make_shared<const bytes>(header + options);
    record.section = section_kind::additional;
    record.dns_type = type_opt;
    record.dns_class = 1232;
    record.data_offset = static_cast<uint32_t>(header.size());
    record.data_length = static_cast<uint16_t>(options.size());
    return record;
}

struct option_case {
    const char* description;
    bytes options;
    const char* presentation;
};

// clang-format off
const option_case option_cases[] = {
    {"nsid as bytes and as text", {
         0x00, 0x03,              // code NSID
         0x00, 0x04,              // length
         'n', 's', '1', 0x07},    // identifier, its last byte not printable
     "udp=1232 ercode=0 version=0; NSID: 6e 73 31 07 (\"ns1.\")"},
    {"nsid asked for, empty", {0x00, 0x03, 0x00, 0x00}, "udp=1232 ercode=0 version=0; NSID"},
    {"client subnet of ipv6 with its scope", {
         0x00, 0x08,              // code ECS
         0x00, 0x0b,              // length
         0x00, 0x02,              // family IPv6
         56, 48,                  // source and scope prefix
         0x20, 0x01, 0x0d, 0xb8, 0x00, 0x00, 0x01},  // the 7 bytes of /56
     "udp=1232 ercode=0 version=0; ECS: 2001:db8:0:100::/56/48"},
    {"client subnet whose address is longer than its prefix", {
         0x00, 0x08, 0x00, 0x08,  // code ECS, length
         0x00, 0x01, 16, 0,       // family IPv4, /16, scope 0
         192, 0, 2, 0},           // 3 bytes where /16 takes 2
     "udp=1232 ercode=0 version=0; ECS=00011000C0000200"},
    {"cookies of client and server", {
         0x00, 0x0a, 0x00, 0x10,  // code COOKIE, length 16
         1, 2, 3, 4, 5, 6, 7, 8,  // client cookie
         0xa, 0xb, 0xc, 0xd, 0xe, 0xf, 0x10, 0x11},  // server cookie
     "udp=1232 ercode=0 version=0; COOKIE: 0102030405060708 0a0b0c0d0e0f1011"},
    {"cookie with a server part of 4 bytes", {
         0x00, 0x0a, 0x00, 0x0c,  // code COOKIE, length 12
         1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12},
     "udp=1232 ercode=0 version=0; COOKIE=0102030405060708090A0B0C"},
    {"extended error with its name and extra text", {
         0x00, 0x0f, 0x00, 0x07,  // code EDE, length
         0x00, 0x12,              // INFO-CODE 18
         'b', 'y', 'e', '\n', '!'},  // EXTRA-TEXT
     "udp=1232 ercode=0 version=0; EDE: 18 (Prohibited): (bye.!)"},
    {"extended error of an unassigned code, then an unknown option", {
         0x00, 0x0f, 0x00, 0x02, 0x01, 0x00,  // EDE 256, no text
         0xfd, 0xe9, 0x00, 0x01, 0xff},       // option 65001, one byte
     "udp=1232 ercode=0 version=0; EDE: 256; OPT65001=FF"},
};
// clang-format on

TEST(edns_options, each_option_is_written_as_dig_writes_it_or_as_its_bytes) {
    for (const auto& [description, options, presentation] : option_cases) {
        EXPECT_EQ(rdata_presentation(opt_record(options)), presentation) << description;
    }
}

TEST(edns_options, an_option_cut_short_leaves_the_record_in_its_generic_form) {
    const bytes cut = {0x00, 0x03, 0x00, 0x05, 'n', 's'};  // NSID of 5 bytes, 2 there
    EXPECT_EQ(rdata_presentation(opt_record(cut)), "\\# 6 000300056E73");
}

}  // namespace
}  // namespace resq
