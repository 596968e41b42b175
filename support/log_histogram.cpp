#include "support/log_histogram.hpp"

#include <algorithm>
#include <cmath>
#include <cstddef>

namespace resq {

namespace {

// Bucket i (from 1) holds the values from growth^(i-1) up to growth^i; bucket 0 holds 0. A
// bucket's geometric middle is off any value in it by at most sqrt(growth) - 1, under 1 %.
constexpr double growth = 1.019;

std::size_t bucket_of(uint64_t value) {
    if (value == 0) {
        return 0;
    }
    return static_cast<std::size_t>(std::log(static_cast<double>(value)) / std::log(growth)) + 1;
}

}  // namespace

void log_histogram::add(uint64_t value) {
    const std::size_t bucket = bucket_of(value);
    if (bucket >= buckets_.size()) {
        buckets_.resize(bucket + 1);
    }
    ++buckets_[bucket];
    min_ = count_ == 0 ? value : std::min(min_, value);
    max_ = std::max(max_, value);
    ++count_;
}

uint64_t log_histogram::quantile(double fraction) const {
    if (count_ == 0) {
        return 0;
    }
    // The rank of the value wanted, from 1: the smallest that has `fraction` of them at or below.
    const double wanted = std::ceil(std::clamp(fraction, 0.0, 1.0) * static_cast<double>(count_));
    const uint64_t rank = std::max<uint64_t>(1, static_cast<uint64_t>(wanted));
    // The ends are known exactly.
    if (rank == count_) {
        return max_;
    }
    if (rank == 1) {
        return min_;
    }
    uint64_t seen = 0;
    std::size_t bucket = 0;
    while (bucket + 1 < buckets_.size() && seen + buckets_[bucket] < rank) {
        seen += buckets_[bucket];
        ++bucket;
    }
    if (bucket == 0) {
        return 0;
    }
    const double middle = std::pow(growth, static_cast<double>(bucket) - 0.5);
    // Values are whole: a bucket narrower than one holds a single value, its middle rounded.
    if (middle >= static_cast<double>(max_)) {
        return max_;
    }
    return std::max(min_, static_cast<uint64_t>(std::llround(middle)));
}

}  // namespace resq
