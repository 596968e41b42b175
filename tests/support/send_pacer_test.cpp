// The limit on sends per second, on a clock the test moves by hand.
#include "support/send_pacer.hpp"

#include <gtest/gtest.h>

namespace resq {
namespace {

using namespace std::chrono_literals;

TEST(send_pacer, spreads_sends_evenly_and_saves_no_credit_while_idle) {
    const send_pacer::clock::time_point start{1h};
    send_pacer pacer(4);  // one send every 250 ms
    ASSERT_TRUE(pacer.limited() && !send_pacer().limited());
    EXPECT_EQ(pacer.next_slot(start), start);
    pacer.take(start);
    EXPECT_EQ(pacer.next_slot(start + 100ms), start + 250ms);
    pacer.take(start + 250ms);
    pacer.take(start + 600ms);  // taken late: the next slot counts from when the send went
    EXPECT_EQ(pacer.next_slot(start + 600ms), start + 850ms);
    EXPECT_EQ(pacer.next_slot(start + 2s), start + 2s);  // idle: one send at once, no burst
    pacer.take(start + 2s);
    EXPECT_EQ(pacer.next_slot(start + 2s), start + 2250ms);
    send_pacer slow(0.5);  // fractions: one send every two seconds
    slow.take(start);
    EXPECT_EQ(slow.next_slot(start), start + 2s);
}

}  // namespace
}  // namespace resq
