#include "net/endpoint.hpp"

#include <netinet/in.h>
#include <sys/un.h>

#include <cstring>
#include <tuple>

#include <gtest/gtest.h>

namespace resq {
namespace {

endpoint at(const char* text) {
    endpoint e;
    EXPECT_TRUE(parse_endpoint(text, 53, e)) << text;
    return e;
}

TEST(parse_endpoint, reads_every_inet_aton_form_with_an_optional_port_and_refuses_the_rest) {
    const struct {
        const char* text;
        uint32_t address = 0x7f090807;  // refused: 127.9.8.7:6, the endpoint as it was before
        uint16_t port = 6;
    } cases[] = {
        // clang-format off
        {"127.0.0.1", 0x7f000001, 53}, {"127.1", 0x7f000001, 53}, {"127.3", 0x7f000003, 53},
        {"0x7f.1", 0x7f000001, 53}, {"0X7F.0x0.0.01", 0x7f000001, 53}, {"017.1", 0x0f000001, 53},
        {"2130706433", 0x7f000001, 53}, {"127.1.258", 0x7f010102, 53}, {"127.1:1", 0x7f000001, 1},
        {"255.255.255.255", 0xffffffff, 53}, {"127.0.0.1:065535", 0x7f000001, 65535},
        {""}, {"localhost"}, {"999.1.1.1"}, {"127.256.1"}, {"4294967296"}, {"1.2.3.4.5"}, {"08.1"},
        {"0x"}, {"1..1"}, {"1."}, {"-1.2.3.4"}, {" 127.0.0.1"}, {"127.0.0.1 "}, {"127.0.0.1 x"},
        {"127.0.0.1:"}, {"127.0.0.1:0"}, {"127.0.0.1:65536"}, {"127.0.0.1:+53"}, {"127.1:53x"},
        {"127.1:53:53"}, {":53"}, {"::1"}, {"[::1]:53"},
        // clang-format on
    };
    for (const auto& c : cases) {
        endpoint out = at("127.9.8.7:6");
        const bool accepted = parse_endpoint(c.text, 53, out);
        sockaddr_in read{};
        std::memcpy(&read, out.address(), sizeof read);
        EXPECT_EQ(std::tuple(accepted, ntohl(read.sin_addr.s_addr), ntohs(read.sin_port)),
                  std::tuple(c.port != 6, c.address, c.port))
            << c.text;
    }
}

TEST(endpoint, equals_another_of_the_same_family_address_and_port_only) {
    EXPECT_EQ(at("127.1"), at("127.0.0.1:53"));
    EXPECT_NE(at("127.1"), at("127.0.0.1:54"));
    EXPECT_NE(at("127.1"), at("127.0.0.2"));
    EXPECT_NE(at("127.1"), endpoint{});
    EXPECT_EQ(at("127.1").size(), sizeof(sockaddr_in));
    // Only the families a DNS server can be reached in are taken over.
    endpoint out = at("127.1");
    const sockaddr_un local{AF_UNIX, {}};
    EXPECT_FALSE(out.assign(reinterpret_cast<const sockaddr*>(&local), sizeof local));
    EXPECT_EQ(out, endpoint{});
}

}  // namespace
}  // namespace resq
