#include "support/send_pacer.hpp"

#include <algorithm>

namespace resq {

send_pacer::send_pacer(double per_second) {
    if (per_second > 0) {
        const std::chrono::duration<double> interval(1.0 / per_second);
        interval_ =
            std::max(clock::duration(1), std::chrono::duration_cast<clock::duration>(interval));
    }
}

send_pacer::clock::time_point send_pacer::next_slot(clock::time_point now) const {
    return std::max(now, next_);
}

void send_pacer::take(clock::time_point now) {
    if (limited()) {
        // A send that waited for its slot keeps the spacing; after an idle spell no credit is
        // saved up, so the sends never come in a burst.
        next_ = std::max(now, next_) + interval_;
    }
}

}  // namespace resq
