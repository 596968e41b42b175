#include "support/send_pacer.hpp"

#include <algorithm>

namespace resq {

send_pacer::send_pacer(double per_second) {
    if (per_second > 0) {
        const std::chrono::duration<double> interval(1.0 / per_second);
        interval_ = std::max(clock::duration(1), std::chrono::round<clock::duration>(interval));
    }
}

send_pacer::clock::time_point send_pacer::next_slot(clock::time_point now) const {
    return started_ ? std::max(now, next_) : now;
}

void send_pacer::rest(clock::time_point now) {
    next_ = std::max(next_, now);
}

void send_pacer::take(clock::time_point now) {
    if (!limited()) {
        return;
    }
    // The slots follow one another from the schedule's start, not from when each send went, so
    // late wake-ups do not add up. Only a send more than catch_up behind its slot moves the
    // schedule to itself.
    if (!started_ || now - next_ > catch_up) {
        next_ = now;
        started_ = true;
    }
    next_ += interval_;
}

}  // namespace resq
