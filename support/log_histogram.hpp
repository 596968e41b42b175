// Counts of values in buckets whose bounds grow by a fixed ratio: any quantile of millions of
// values to within 1 %, in memory that does not grow with the number of values.
#pragma once

#include <cstdint>
#include <vector>

namespace resq {

class log_histogram {
  public:
    /// Counts one value.
    void add(uint64_t value);

    /// The number of values counted.
    uint64_t count() const { return count_; }
    /// The largest value counted, exactly; 0 when none was.
    uint64_t max() const { return max_; }

    /// The value below which the share `fraction` (0 to 1) of the values lies, within 1 % of the
    /// exact one and never outside the smallest and largest value counted; 0 when none was.
    uint64_t quantile(double fraction) const;

  private:
    std::vector<uint64_t> buckets_;  // grows to about 2,300 buckets at most, for 2^64
    uint64_t count_ = 0;
    uint64_t min_ = 0;
    uint64_t max_ = 0;
};

}  // namespace resq
