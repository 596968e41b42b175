#include "support/kx_filter.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using resq::build_filter_list;
using resq::filter_entry;
using resq::filter_matches;

std::vector<filter_entry> filters(const std::string& value) {
    std::vector<filter_entry> list;
    build_filter_list(list, value);
    return list;
}

struct filter_case {
    const char* value;
    const char* line;
    bool accepted;
};

class filter_matches_test : public testing::TestWithParam<filter_case> {};

TEST_P(filter_matches_test, accepts_exactly_the_lines_the_pattern_describes) {
    const filter_case& c = GetParam();
    EXPECT_EQ(filter_matches(c.line, filters(c.value)), c.accepted)
        << "filter " << c.value << " line " << c.line;
}

INSTANTIATE_TEST_SUITE_P(
    patterns, filter_matches_test,
    testing::Values(
        // *mail*: contains, in any letter case
        filter_case{"*mail*", "Mail.Example", true}, filter_case{"*mail*", "web.test", false},
        filter_case{"*mail*", "x.gmail.com", true},
        // mail*: begins with
        filter_case{"mail*", "mail.example", true}, filter_case{"mail*", "webmail.example", false},
        // *.org: the name ends with it, whatever came before
        filter_case{"*.org", "example.org", true}, filter_case{"*.org", "a.org.org", true},
        filter_case{"*.org", "example.com", false}, filter_case{"*.com", "mail.company.com", true},
        filter_case{"*abc", "abcabc", true}, filter_case{"*.com", "a.com.org", false},
        filter_case{"*.example.org", "e.org", false},
        // a,b and a|b: exactly those names, any letter case
        filter_case{"a,b", "a", true}, filter_case{"a,b", "B", true},
        filter_case{"a,b", "ab", false}, filter_case{"a|b", "b", true},
        // a star in the middle is dropped: x*y is exactly xy
        filter_case{"x*y", "xy", true}, filter_case{"x*y", "xay", false},
        // * accepts everything, also inside a list
        filter_case{"*", "anything", true}, filter_case{"a,*", "zzz", true},
        // the name part of a path is what the name patterns see
        filter_case{"*.log", "/var/log/app.log", true},
        filter_case{"app*", "C:\\logs\\App.txt", true},
        // a path pattern matches a directory that ends there or before a slash
        filter_case{"/var/log", "/var/log/x", true},
        filter_case{"/var/log", "/var/log/sub/x", true},
        filter_case{"/var/log", "/var/logs/x", false}));

TEST(filter_matches, empty_list_accepts_every_line) {
    EXPECT_TRUE(filter_matches("whatever", {}));
}

}  // namespace
