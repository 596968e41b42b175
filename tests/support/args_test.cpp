#include "support/args.hpp"

#include <gtest/gtest.h>

#include <climits>

namespace resq {
namespace {

TEST(args, finds_whole_options_in_any_case_and_removes_them_with_their_value) {
    const char* argv[] = {"resq", nullptr, "-urlx", "-URL", "-server", "-url", "second"};
    args list = make_args(7, argv);
    std::string value;
    ASSERT_TRUE(get_option_value("-url", value, list));
    EXPECT_EQ(value, "-server");  // whatever follows is the value, even an option
    EXPECT_EQ(list, (args{"resq", "", "-urlx", "-url", "second"}));
    EXPECT_FALSE(get_option_value("-ur", value, list));
    list = {"resq", "-Verbose", "-verbose", "-server"};
    EXPECT_FALSE(get_option_value("-server", value, list));  // last: no value, the option stays
    EXPECT_TRUE(has_option("-verbose", list, true) && has_option("-verbose", list));
    EXPECT_EQ(list, (args{"resq", "-verbose", "-server"}));
}

TEST(args, parse_number_and_read_unsigned_read_their_number_forms) {
    // A refused text leaves parse_number's value (1) as it was and zeroes read_unsigned's (5).
    // clang-format off
    const struct { bool is_unsigned; const char* text; bool ok; int64_t value; } cases[] = {
        {false, "0x0A", true, 10}, {false, "X1f", true, 31}, {false, "012", true, 12},
        {false, "0o12", true, 10}, {false, "-1", true, -1}, {false, " 5s", true, 5},
        {false, "abc", false, 1}, {false, "", false, 1}, {false, "   ", false, 1},
        {false, "0xffffffff", true, -1}, {false, "0x100000000", true, -1},  // clamped, not cut
        {false, "2147483648", true, INT_MAX}, {false, "99999999999999999999", true, INT_MAX},
        // An "x" or "o" needs a digit of its base after it: "two" and "10seconds" are no numbers.
        {false, "two", false, 1}, {false, "10seconds", false, 1}, {false, "1x", false, 1},
        {false, "0x", false, 1}, {false, "0xg", false, 1}, {false, "0o9", false, 1},
        {false, "0x -1", true, -1}, {false, "-", true, 0},
        {true, "0x", false, 0}, {true, "ox", false, 0}, {true, "1xz", false, 0},
        {true, "0x1f", true, 31}, {true, "x1F", true, 31}, {true, "o17", true, 15},
        {true, "'a'", true, 97}, {true, " 17 ", true, 17}, {true, "-1", true, UINT32_MAX},
        {true, "99999999999", true, UINT32_MAX}, {true, "abc", false, 0}, {true, "", false, 0}};
    // clang-format on
    for (const auto& c : cases) {
        int32_t n = 1;
        uint32_t u = 5;
        EXPECT_EQ(c.is_unsigned ? read_unsigned(c.text, u) : parse_number(c.text, n), c.ok)
            << c.text;
        EXPECT_EQ(c.is_unsigned ? int64_t{u} : int64_t{n}, c.value) << c.text;
    }
}

TEST(args, parse_seconds_reads_decimal_fractions_to_the_millisecond_and_other_forms_as_numbers) {
    // A refused text leaves the value (7 ms) as it was.
    // clang-format off
    const struct { const char* text; bool ok; int64_t millis; } cases[] = {
        {"0.5", true, 500}, {"1.25", true, 1250}, {".5", true, 500}, {" 2.0019 ", true, 2001},
        {"-0.5", true, -500}, {"-1.5", true, -1500}, {"3", true, 3000}, {"5.", true, 5000},
        {"5s", true, 5000}, {"0x0A", true, 10000}, {"1.5x", false, 7}, {"two", false, 7},
        {".", false, 7}, {"", false, 7}};
    // clang-format on
    for (const auto& c : cases) {
        std::chrono::milliseconds value{7};
        EXPECT_EQ(parse_seconds(c.text, value), c.ok) << c.text;
        EXPECT_EQ(value.count(), c.millis) << c.text;
    }
}

}  // namespace
}  // namespace resq
