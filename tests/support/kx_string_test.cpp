#include "support/kx_string.hpp"

#include <gtest/gtest.h>

#include <set>

namespace resq {
namespace {

using fields = std::vector<std::string>;

TEST(kx_string, split_fields_trims_before_dropping_empty_fields_and_appends_on_request) {
    // clang-format off
    const struct { const char* text; char sep; bool trim, keep_empty, append, ok; fields out; }
    cases[] = {
        {" a , ,b,", ',', false, false, false, true, {" a ", " ", "b"}},
        {" a , ,b,", ',', true, false, false, true, {"a", "b"}},
        {" a , ,b,", ',', false, true, false, true, {" a ", " ", "b", ""}},
        {"y|z", '|', false, false, true, true, {"x", "y", "z"}},
        {"", '|', false, false, false, false, {}}};
    // clang-format on
    for (const auto& c : cases) {
        fields out = {"x"};
        EXPECT_EQ(split_fields(c.text, c.sep, out, c.trim, c.keep_empty, c.append), c.ok);
        EXPECT_EQ(out, c.out) << c.text << " trim " << c.trim << " keep " << c.keep_empty;
    }
}

TEST(kx_string, random_in_range_gives_every_value_between_its_bounds_in_either_order) {
    std::set<int> seen;
    for (int i = 0; i < 2000; ++i) {
        seen.insert(i % 2 == 0 ? random_in_range(10, 99) : random_in_range(99, 10));
    }
    EXPECT_EQ(seen.size(), 90u);
    EXPECT_TRUE(*seen.begin() == 10 && *seen.rbegin() == 99);
}

}  // namespace
}  // namespace resq
