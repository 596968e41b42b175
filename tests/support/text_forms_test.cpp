#include "support/text_forms.hpp"

#include <gtest/gtest.h>

#include <string>

namespace resq {
namespace {

TEST(text_forms, a_terminal_gets_every_byte_of_a_control_escaped_and_all_else_as_received) {
    const struct {
        std::string bytes;
        std::string shown;
    } cases[] = {
        {"a\tb", "a\tb"},                                  // TAB stays
        {"\x1b[2J", "\\027[2J"},                           // ESC, a C0 control
        {"x\x7f", "x\\127"},                               // DEL
        {"\xc2\x9bm", "\\194\\155m"},                      // CSI as U+009B in UTF-8
        {"\xc2\x80\xc2\x9f", "\\194\\128\\194\\159"},      // first and last C1 control
        {"\x9bm", "\\155m"},                               // CSI as a lone byte
        {"\xc3\x9b\xe2\x82\xac", "\xc3\x9b\xe2\x82\xac"},  // U+00DB and U+20AC: 9B, 82 inside
        {"\xc2\xa0", "\xc2\xa0"},                          // U+00A0, no control
        {"\xe2\x9b", "\xe2\\155"},  // cut-short sequence: its 9B stands alone
        {"\xff\xa0", "\xff\xa0"},   // bytes of no control stay
    };
    for (const auto& [bytes, shown] : cases) {
        EXPECT_EQ(terminal_safe(bytes), shown) << bytes;
    }
}

TEST(text_forms, addresses_keep_the_forms_of_each_report) {
    const uint8_t address[16] = {0x20, 0x01, 0x0d, 0xb8, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0x53};
    EXPECT_EQ(ipv6_text(address), "2001:db8:0:1::53");
    EXPECT_EQ(ipv6_groups_text(address), "2001:db8:0:1:0:0:0:53");
    EXPECT_EQ(ipv6_first_run_text(address), "2001:db8::1:0:0:0:53");
    EXPECT_EQ(ipv6_text(std::span(address).first(15)), "");
    EXPECT_EQ(hex_text(std::span(address).first(3), " "), "20 01 0d");
    EXPECT_EQ(hex_text(std::span(address).first(4), {}, hex_case::upper), "20010DB8");
}

TEST(text_forms, base64url_has_no_padding_and_url_safe_digits) {
    const uint8_t bytes[] = {0xfb, 0xff, 0xbf, 0x00, 0x01};
    EXPECT_EQ(base64_text(bytes), "+/+/AAE=");
    EXPECT_EQ(base64url_text(bytes), "-_-_AAE");
    EXPECT_EQ(base64url_text(std::span(bytes).first(3)), "-_-_");
}

}  // namespace
}  // namespace resq
