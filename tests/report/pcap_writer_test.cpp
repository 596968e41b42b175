// The packets of the evidence file: synthesized IP and UDP headers, byte by byte.
#include "report/pcap_writer.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace {

using namespace resq;

struct packet_case {
    const char* description;
    const char* from;
    const char* to;
    std::vector<uint8_t> expected;
};

// A four-byte payload (an identifier and flags) from port 40000 to port 53.
const std::vector<uint8_t> payload = {0x12, 0x34, 0x01, 0x00};

// clang-format off
const packet_case packet_cases[] = {
    {"an ipv4 datagram has a header checksum and no udp checksum", "192.0.2.1:40000", "192.0.2.53",
     {0x45, 0x00, 0x00, 0x20,  // version 4, 5 words; total length 32
      0x00, 0x00, 0x40, 0x00,  // identification 0; don't fragment
      0x40, 0x11, 0xb6, 0x96,  // TTL 64, UDP; header checksum
      0xc0, 0x00, 0x02, 0x01,  // 192.0.2.1
      0xc0, 0x00, 0x02, 0x35,  // 192.0.2.53
      0x9c, 0x40, 0x00, 0x35,  // ports 40000 and 53
      0x00, 0x0c, 0x00, 0x00,  // UDP length 12; no checksum
      0x12, 0x34, 0x01, 0x00}},
    {"an ipv6 datagram carries its udp checksum", "[2001:db8::1]:40000", "2001:db8::35",
     {0x60, 0x00, 0x00, 0x00,  // version 6, no class or flow label
      0x00, 0x0c, 0x11, 0x40,  // payload length 12, UDP, hop limit 64
      0x20, 0x01, 0x0d, 0xb8, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x00, 0x01,  // 2001:db8::1
      0x20, 0x01, 0x0d, 0xb8, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x00, 0x35,  // 2001:db8::35
      0x9c, 0x40, 0x00, 0x35,  // ports 40000 and 53
      0x00, 0x0c, 0xf4, 0x84,  // UDP length 12; checksum over the pseudo-header
      0x12, 0x34, 0x01, 0x00}},
    {"endpoints of two families make no packet", "192.0.2.1", "2001:db8::35", {}},
};
// clang-format on

TEST(pcap_writer, builds_the_header_bytes_of_each_packet) {
    for (const packet_case& c : packet_cases) {
        endpoint from;
        endpoint to;
        ASSERT_TRUE(parse_endpoint(c.from, 53, from) && parse_endpoint(c.to, 53, to));
        EXPECT_EQ(build_packet({from, to, transport::udp}, payload), c.expected) << c.description;
    }
}

}  // namespace
