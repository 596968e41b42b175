// Quantiles of a histogram with logarithmic buckets, against the exact ones.
#include "support/log_histogram.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>

namespace {

using resq::log_histogram;

TEST(log_histogram, gives_each_quantile_of_a_million_values_within_one_percent) {
    // Round-trip times from 50 us to 5 s (100-ns units), spread over five decades: value i of
    // n is 500 * 10^(5 i / n), so the exact quantile q is the value of index q * n.
    constexpr int n = 1000000;
    log_histogram histogram;
    const auto value_at = [](double index) {
        return static_cast<uint64_t>(500.0 * std::pow(10.0, 5.0 * index / n));
    };
    for (int i = 0; i < n; ++i) {
        histogram.add(value_at(i));
    }
    EXPECT_EQ(histogram.count(), static_cast<uint64_t>(n));
    EXPECT_EQ(histogram.max(), value_at(n - 1));
    for (const double q : {0.001, 0.5, 0.9, 0.99, 0.999}) {
        const auto exact = static_cast<double>(value_at(q * n - 1));
        EXPECT_NEAR(static_cast<double>(histogram.quantile(q)), exact, exact * 0.01) << q;
    }
    EXPECT_EQ(histogram.quantile(1.0), histogram.max());
}

}  // namespace
