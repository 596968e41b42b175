#include "net/endpoint.hpp"

#include <netinet/in.h>
#include <sys/un.h>

#include <string>
#include <tuple>

#include <gtest/gtest.h>

namespace resq {
namespace {

endpoint at(const char* text) {
    endpoint e;
    EXPECT_TRUE(parse_endpoint(text, 53, e)) << text;
    return e;
}

TEST(parse_endpoint, reads_ipv4_or_ipv6_with_an_optional_port_and_gives_its_canonical_text) {
    const struct {
        std::string text;
        const char* canonical = nullptr;  // null: refused, the endpoint kept as it was
        bool shown_as_typed = false;      // by display_text, else shown as `canonical`
    } cases[] = {
        // clang-format off
        {"127.0.0.1", "127.0.0.1", true}, {"127.1", "127.0.0.1", true}, {"017.1", "15.0.0.1", true},
        {"0X7F.0x0.0.01", "127.0.0.1", true}, {"2130706433", "127.0.0.1", true},
        {"127.1.258", "127.1.1.2", true}, {"255.255.255.255", "255.255.255.255", true},
        {"127.1:1", "127.0.0.1:1"}, {"0x7f.1:053", "127.0.0.1"}, {"::1", "::1"}, {"[::1]", "::1"},
        {"127.1:065535", "127.0.0.1:65535"}, {"[0::1]:53", "::1"}, {"[::1]:5353", "[::1]:5353"},
        {"2001:DB8:0:0:1:0:0:1", "2001:db8::1:0:0:1"}, {"::ffff:192.0.2.1", "::ffff:192.0.2.1"},
        {"[2001:db8::53]:5353", "[2001:db8::53]:5353"}, {"fe80::1%lo", "fe80::1%lo"},
        {"[fe80::1%1]:99", "[fe80::1%lo]:99"}, {"ff02::1%lo", "ff02::1%lo"},
        {""}, {"localhost"}, {"999.1.1.1"}, {"127.256.1"}, {"4294967296"}, {"1.2.3.4.5"}, {"08.1"},
        {"0x"}, {"1..1"}, {"1."}, {"-1.2.3.4"}, {" 127.0.0.1"}, {"127.0.0.1 "}, {"127.0.0.1 x"},
        {"127.0.0.1:"}, {"127.0.0.1:0"}, {"127.0.0.1:65536"}, {"127.0.0.1:+53"}, {"127.1:53x"},
        {"127.1:53:53"}, {":53"}, {"[::1"}, {"[::1]:"}, {"[::1]53"}, {"[::1]:0"}, {"[]"},
        {"[127.0.0.1]"}, {"2001:db8::g"}, {"1:2:3:4:5:6:7:8:9"}, {" ::1"}, {"::1%lo"},
        {"fe80::1%"}, {"fe80::1%no-such-if"}, {"fe80::1%4000000000"}, {std::string("::1\0", 4)},
        // clang-format on
    };
    for (const auto& c : cases) {
        endpoint out = at("127.9.8.7:6");
        const bool accepted = parse_endpoint(c.text, 53, out);
        const std::string canonical = c.canonical != nullptr ? c.canonical : "127.9.8.7:6";
        EXPECT_EQ(std::tuple(accepted, out.text(53)), std::tuple(c.canonical != nullptr, canonical))
            << c.text;
        if (accepted) {
            EXPECT_EQ(display_text(c.text, out, 53), c.shown_as_typed ? c.text : canonical);
        }
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
