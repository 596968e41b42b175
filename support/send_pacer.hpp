// The limit on sends per second: a schedule of evenly spaced slots counted from the first send, so
// that sends are spread over each second rather than let out in bursts, and a wake-up that comes
// late is made up by the sends after it instead of lowering the rate. Time when the sender had
// nothing to send is not made up.
#pragma once

#include <chrono>

namespace resq {

class send_pacer {
  public:
    using clock = std::chrono::steady_clock;

    /// How far sends that were waiting may fall behind their schedule (a sender kept from the
    /// processor) and still catch up; further behind, a new schedule starts.
    static constexpr clock::duration catch_up = std::chrono::milliseconds(20);

    /// At most `per_second` sends a second (fractions allowed); 0 or less: no limit.
    explicit send_pacer(double per_second = 0);

    bool limited() const { return interval_ > clock::duration::zero(); }

    /// The earliest time the next send may go, `now` when it may go at once.
    clock::time_point next_slot(clock::time_point now) const;

    /// Counts a send made at `now`, which must be no earlier than next_slot(now).
    void take(clock::time_point now);

    /// Says that at `now` a send becomes due after a spell with none: the slots that passed
    /// meanwhile are not made up.
    void rest(clock::time_point now);

  private:
    clock::duration interval_{};
    clock::time_point next_{};  // the next slot of the schedule
    bool started_ = false;
};

}  // namespace resq
