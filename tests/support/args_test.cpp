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
    EXPECT_TRUE(has_option("-verbose", list, true));
    EXPECT_TRUE(has_option("-verbose", list));
    EXPECT_EQ(list, (args{"resq", "-verbose", "-server"}));
}

TEST(args, parse_number_reads_hexadecimal_octal_and_clamped_decimal_forms) {
    const std::pair<const char*, int32_t> accepted[] = {
        {"0x0A", 10}, {"X1f", 31}, {"012", 12},        {"0o12", 10},
        {"-1", -1},   {" 5s", 5},  {"0xffffffff", -1}, {"2147483648", INT_MAX}};
    for (const auto& [text, expected] : accepted) {
        int32_t value = 1;
        EXPECT_TRUE(parse_number(text, value) && value == expected) << text << " gave " << value;
    }
    for (const char* refused : {"abc", "", "   "}) {
        int32_t value = 1;
        EXPECT_FALSE(parse_number(refused, value) || value != 1) << refused;  // left untouched
    }
}

TEST(args, read_unsigned_reads_its_forms_and_zeroes_on_failure) {
    const std::pair<const char*, uint32_t> accepted[] = {
        {"0x1f", 31}, {"x1F", 31}, {"o17", 15}, {"'a'", 97}, {" 17 ", 17}, {"-1", UINT32_MAX}};
    for (const auto& [text, expected] : accepted) {
        uint32_t value = 5;
        EXPECT_TRUE(read_unsigned(text, value) && value == expected) << text << " gave " << value;
    }
    for (const char* refused : {"abc", ""}) {
        uint32_t value = 5;
        EXPECT_FALSE(read_unsigned(refused, value) || value != 0) << refused;
    }
}

}  // namespace
}  // namespace resq
