// The DNS over HTTPS URL as -https reads it: host, port, :authority and path.
#include "dns/secure_session.hpp"

#include <gtest/gtest.h>

#include <string>

namespace resq {
namespace {

TEST(secure_session, reads_the_host_port_authority_and_path_of_an_https_url) {
    const struct {
        const char* url;
        bool read;
        const char* host;
        uint16_t port;
        const char* authority;
        const char* path;
    } cases[] = {
        {"https://dns.test/dns-query", true, "dns.test", 443, "dns.test", "/dns-query"},
        {"https://127.0.0.1:8443/q?x=1", true, "127.0.0.1", 8443, "127.0.0.1:8443", "/q?x=1"},
        {"https://[::1]/dns-query", true, "::1", 443, "[::1]", "/dns-query"},
        {"https://dns.test", true, "dns.test", 443, "dns.test", "/"},
        {"http://dns.test/dns-query", false, "", 0, "", ""},  // not over TLS
        {"https:///dns-query", false, "", 0, "", ""},         // no host
        {"https://dns.test:0/", false, "", 0, "", ""},        // no port 0
        {"https://dns.test:65536/", false, "", 0, "", ""},
    };
    for (const auto& c : cases) {
        https_url url;
        ASSERT_EQ(parse_https_url(c.url, url), c.read) << c.url;
        if (c.read) {
            EXPECT_EQ(url.host, c.host) << c.url;
            EXPECT_EQ(url.port, c.port) << c.url;
            EXPECT_EQ(url.authority, c.authority) << c.url;
            EXPECT_EQ(url.path, c.path) << c.url;
        }
    }
}

}  // namespace
}  // namespace resq
