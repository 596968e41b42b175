#include "support/args.hpp"

#include <gtest/gtest.h>

#include <climits>

namespace resq {
namespace {

TEST(args, finds_whole_options_in_any_case_and_removes_them_with_their_value) {
    const char* argv[] = {"resq", nullptr, "-urlx", "-URL", "-server", "-url", "second"};
    args list = make_args(7, argv);
    EXPECT_EQ(list[1], "");
    std::string value;
    ASSERT_TRUE(get_option_value("-url", value, list));
    EXPECT_EQ(value, "-server");  // whatever follows is the value, even an option
    EXPECT_EQ(list, (args{"resq", "", "-urlx", "-url", "second"}));
    EXPECT_FALSE(get_option_value("-ur", value, list));

    list = {"resq", "-server"};  // last on the line: no value, the option stays
    EXPECT_FALSE(get_option_value("-server", value, list));
    EXPECT_EQ(list.size(), 2u);
}

TEST(args, removes_a_flag_unless_asked_to_keep_it) {
    args list = {"resq", "-Verbose", "-verbose"};
    EXPECT_TRUE(has_option("-verbose", list, true));
    EXPECT_TRUE(has_option("-verbose", list));
    EXPECT_EQ(list, (args{"resq", "-verbose"}));
    EXPECT_FALSE(has_option("-xml", list));
}

TEST(args, parse_number_reads_decimal_hexadecimal_and_octal_forms) {
    const struct {
        const char* text;
        bool ok;
        int32_t expected;
    } cases[] = {
        {"0x0A", true, 10},       {"X1f", true, 31},
        {"0xzz", true, 0},        {"012", true, 12},
        {"0o12", true, 10},       {"-1", true, -1},
        {"+7", true, 7},          {" 5s", true, 5},
        {"\t42\r\n", true, 42},   {"2147483648", true, INT_MAX},
        {"0xffffffff", true, -1}, {"abc", false, 1},
        {"", false, 1},           {"   ", false, 1},
    };
    for (const auto& c : cases) {
        int32_t value = 1;
        EXPECT_EQ(parse_number(c.text, value), c.ok) << c.text;
        EXPECT_EQ(value, c.expected) << c.text;
    }
}

TEST(args, read_unsigned_reads_its_forms_and_zeroes_on_failure) {
    const struct {
        const char* text;
        bool ok;
        uint32_t expected;
    } cases[] = {
        {"0x1f", true, 31}, {"x1F", true, 31},        {"o17", true, 15}, {"'a'", true, 97},
        {" 17 ", true, 17}, {"-1", true, UINT32_MAX}, {"abc", false, 0}, {"", false, 0},
    };
    for (const auto& c : cases) {
        uint32_t value = 5;
        EXPECT_EQ(read_unsigned(c.text, value), c.ok) << c.text;
        EXPECT_EQ(value, c.expected) << c.text;
    }
}

}  // namespace
}  // namespace resq
