#include "support/kx_string.hpp"

#include <gtest/gtest.h>

#include <set>

namespace resq {
namespace {

using fields = std::vector<std::string>;

TEST(kx_string, split_fields_trims_before_dropping_empty_fields_and_appends_on_request) {
    const auto split = [](bool trim, bool keep_empty) {
        fields out = {"stale"};
        EXPECT_TRUE(split_fields(" a , ,b,", ',', out, trim, keep_empty, false));
        return out;
    };
    EXPECT_EQ(split(false, false), (fields{" a ", " ", "b"}));
    EXPECT_EQ(split(true, false), (fields{"a", "b"}));
    EXPECT_EQ(split(false, true), (fields{" a ", " ", "b", ""}));
    fields out = {"x"};
    EXPECT_TRUE(split_fields("y|z", '|', out, false, false, true));
    EXPECT_EQ(out, (fields{"x", "y", "z"}));
    EXPECT_FALSE(split_fields("", '|', out, false, false, false));
    EXPECT_TRUE(out.empty());
}

TEST(kx_string, random_in_range_gives_every_value_between_its_bounds_in_either_order) {
    std::set<int> seen;
    for (int i = 0; i < 2000; ++i) {
        seen.insert(i % 2 == 0 ? random_in_range(10, 99) : random_in_range(99, 10));
    }
    EXPECT_EQ(seen.size(), 90u);
    EXPECT_EQ(*seen.begin(), 10);
    EXPECT_EQ(*seen.rbegin(), 99);
}

}  // namespace
}  // namespace resq
