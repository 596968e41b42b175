// The limit on sends per second: a token bucket holding a single token, so that sends are spread
// evenly over each second rather than let out in bursts.
#pragma once

#include <chrono>

namespace resq {

class send_pacer {
  public:
    using clock = std::chrono::steady_clock;

    /// At most `per_second` sends a second (fractions allowed); 0 or less: no limit.
    explicit send_pacer(double per_second = 0);

    bool limited() const { return interval_ > clock::duration::zero(); }

    /// The earliest time the next send may go, `now` when it may go at once.
    clock::time_point next_slot(clock::time_point now) const;

    /// Counts a send made at `now`, which must be no earlier than next_slot(now).
    void take(clock::time_point now);

  private:
    clock::duration interval_{};
    clock::time_point next_{};  // when the next send may go
};

}  // namespace resq
