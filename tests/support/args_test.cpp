#include "support/args.hpp"

#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>

#include "support/cmd_params.hpp"
#include "support/kx_string.hpp"

namespace resq {
namespace {

TEST(args, number_readers_take_their_forms_and_refuse_words) {
    // 'n' parse_number, 'u' read_unsigned, 's' parse_seconds (ms): a refused text leaves the value
    // (1, 7) or zeroes it (5). An "x" or "o" needs a digit of its base after it: not "two", "1x".
    // clang-format off
    const struct { char reader; const char* text; bool ok; int64_t value; } cases[] = {
        {'n', "0x0A", true, 10}, {'n', "X1f", true, 31}, {'n', "012", true, 12},
        {'n', "0o12", true, 10}, {'n', "-1", true, -1}, {'n', " 5s", true, 5}, {'n', "-", true, 0},
        {'n', "0x -1", true, -1}, {'n', "abc", false, 1}, {'n', "", false, 1},
        {'n', "  ", false, 1}, {'n', "0xffffffff", true, -1}, {'n', "0x100000000", true, -1},
        {'n', "2147483648", true, INT_MAX}, {'n', "99999999999999999999", true, INT_MAX},
        {'n', "two", false, 1}, {'n', "10seconds", false, 1}, {'n', "1x", false, 1},
        {'n', "0x", false, 1}, {'n', "0xg", false, 1}, {'n', "0o9", false, 1},
        {'u', "0x1f", true, 31}, {'u', "x1F", true, 31}, {'u', "o17", true, 15},
        {'u', "'a'", true, 97}, {'u', " 17 ", true, 17}, {'u', "-1", true, UINT32_MAX},
        {'u', "99999999999", true, UINT32_MAX}, {'u', "abc", false, 0}, {'u', "", false, 0},
        {'u', "0x", false, 0}, {'u', "ox", false, 0}, {'u', "1xz", false, 0},
        {'s', "0.5", true, 500}, {'s', "1.25", true, 1250}, {'s', ".5", true, 500},
        {'s', " 2.0019 ", true, 2001}, {'s', "-0.5", true, -500}, {'s', "-1.5", true, -1500},
        {'s', "3", true, 3000}, {'s', "5.", true, 5000}, {'s', "5s", true, 5000},
        {'s', "0x0A", true, 10000}, {'s', "1.5x", false, 7}, {'s', "two", false, 7},
        {'s', ".", false, 7}, {'s', "", false, 7}};
    // clang-format on
    for (const auto& c : cases) {
        int32_t n = 1;
        uint32_t u = 5;
        std::chrono::milliseconds s{7};
        const bool ok = c.reader == 'n'   ? parse_number(c.text, n)
                        : c.reader == 'u' ? read_unsigned(c.text, u)
                                          : parse_seconds(c.text, s);
        const int64_t value = c.reader == 'n' ? n : c.reader == 'u' ? int64_t{u} : s.count();
        EXPECT_TRUE(ok == c.ok && value == c.value) << c.reader << " " << c.text << ": " << value;
    }
    const char* argv[] = {"resq", nullptr};  // a missing argument is an empty text
    EXPECT_EQ(make_args(2, argv), (args{"resq", ""}));
}

TEST(text_helpers, split_and_environment_expansion_keep_their_limits) {
    using fields = std::vector<std::string>;
    // clang-format off
    const struct { const char* text; char sep; bool trim, keep_empty, append, ok; fields out; }
    cases[] = {
        {" a , ,b,", ',', false, false, false, true, {" a ", " ", "b"}},
        {" a , ,b,", ',', true, false, false, true, {"a", "b"}},
        {" a , ,b,", ',', false, true, false, true, {" a ", " ", "b", ""}},
        {"y|z", '|', false, false, true, true, {"x", "y", "z"}}, {"", '|', 0, 0, 0, 0, {}}};
    // clang-format on
    for (const auto& c : cases) {
        fields out = {"x"};
        EXPECT_EQ(split_fields(c.text, c.sep, out, c.trim, c.keep_empty, c.append), c.ok);
        EXPECT_EQ(out, c.out) << c.text << " trim " << c.trim << " keep " << c.keep_empty;
    }
    // expand_env_vars: set %NAME%s replaced while the text is under 513 bytes, a few times at most
    const std::string full(513, 'a'), most(400, 'a'), value(100, 'v');
    ::setenv("RESQ_T_LONG", value.c_str(), 1);
    ::setenv("RESQ_T_SELF", "%RESQ_T_SELF%", 1);  // must not be expanded for ever
    ::unsetenv("RESQ_T_UNSET");
    EXPECT_EQ(expand_env_vars("%RESQ_T_UNSET%/%RESQ_T_LONG%/50%%RESQ_T_SELF%"),
              "%RESQ_T_UNSET%/" + value + "/50%%RESQ_T_SELF%");
    EXPECT_EQ(expand_env_vars(full + "%RESQ_T_LONG%"), full + "%RESQ_T_LONG%");
    EXPECT_EQ(expand_env_vars(most + "%RESQ_T_LONG%%RESQ_T_LONG%"), most + value + "%RESQ_T_LONG%");
}

}  // namespace
}  // namespace resq
