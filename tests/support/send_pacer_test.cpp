// The limit on sends per second, on a clock the test moves by hand.
#include "support/send_pacer.hpp"

#include <gtest/gtest.h>

namespace resq {
namespace {

using namespace std::chrono_literals;

TEST(send_pacer, keeps_to_the_schedule_through_late_wake_ups_and_saves_no_credit_while_idle) {
    const send_pacer::clock::time_point start{1h};
    send_pacer pacer(4);  // one send every 250 ms
    ASSERT_TRUE(pacer.limited() && !send_pacer().limited());
    EXPECT_EQ(pacer.next_slot(start), start);
    pacer.take(start);
    EXPECT_EQ(pacer.next_slot(start + 100ms), start + 250ms);
    pacer.take(start + 265ms);  // a wake-up 15 ms late: the next slot keeps the schedule
    EXPECT_EQ(pacer.next_slot(start + 265ms), start + 500ms);
    pacer.take(start + 600ms);  // 100 ms behind: a new schedule from this send
    EXPECT_EQ(pacer.next_slot(start + 600ms), start + 850ms);
    pacer.rest(start + 2s);  // nothing to send until now: one send at once, no burst
    EXPECT_EQ(pacer.next_slot(start + 2s), start + 2s);
    pacer.take(start + 2s);
    EXPECT_EQ(pacer.next_slot(start + 2s), start + 2250ms);
    send_pacer slow(0.5);  // fractions: one send every two seconds
    slow.take(start);
    EXPECT_EQ(slow.next_slot(start), start + 2s);
}

// 50,000 a second from a loop that wakes every 100 us: each wake-up sends what is due, and the
// slots from 0 to 1 s inclusive hold 50,001 sends, not one per wake-up.
TEST(send_pacer, a_fast_rate_is_held_by_sending_what_is_due_at_each_wake_up) {
    const send_pacer::clock::time_point start{1h};
    send_pacer pacer(50000);
    int sent = 0;
    for (auto now = start; now <= start + 1s; now += 100us) {
        while (pacer.next_slot(now) <= now) {
            pacer.take(now);
            ++sent;
        }
    }
    EXPECT_EQ(sent, 50001);
}

}  // namespace
}  // namespace resq
