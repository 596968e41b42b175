// The summary and the progress line of a batch, from a given tally and elapsed time.
#include "app/progress.hpp"

#include <gtest/gtest.h>

#include <chrono>
#include <sstream>
#include <string>

namespace {

using namespace resq;
using std::chrono::milliseconds;

run_tally sample_tally() {
    run_tally tally;
    tally.lines_read = 12;
    tally.blank_lines = 2;
    tally.filtered_lines = 1;
    tally.unbuildable_lines = 1;
    tally.other_shard_lines = 3;
    tally.bytes_read = 150;
    tally.input_size = 600;
    tally.lookups = 8;
    tally.attempts = 10;
    tally.timeouts = 2;
    tally.discarded = 3;
    tally.rows_by_status = {{"success", 9}, {"timeout", 2}, {"invalid", 1}};
    tally.replies_by_rcode = {{0, 6}, {3, 1}, {16, 1}};
    tally.attempts_by_status = {{"success", 6}, {"invalid", 2}, {"timeout", 2}};
    tally.lookups_by_status = {{"success", 5}, {"invalid", 1}, {"timeout", 2}};
    tally.lookups_by_rcode = {{0, 5}, {3, 1}};
    tally.replied = 6;
    tally.retries = 1;
    tally.tc_fallbacks = 1;
    for (const uint64_t rtt : {4000u, 5000u, 6000u, 7000u, 8000u, 9000u, 10000u, 123456u}) {
        tally.rtt.add(rtt);  // 100-ns units
    }
    return tally;
}

struct text_case {
    const char* description;
    run_tally tally;
    milliseconds elapsed;
    const char* summary;
    const char* progress;
};

const text_case text_cases[] = {
    {"a batch with every kind of line and reply", sample_tally(), milliseconds(4000),
     "lines read: 12\n"
     "lines skipped: 7 (2 blank, 1 filtered, 1 unbuildable, 3 of other shards)\n"
     "lookups: 8\n"
     "lookups answered: 6, unanswered: 2\n"
     "lookups by status: invalid 1, success 5, timeout 2\n"
     "lookups by rcode: NOERROR 5, NXDOMAIN 1\n"
     "attempts: 10\n"
     "attempts by status: invalid 2, success 6, timeout 2\n"
     "retries: 1, tc fallbacks: 1\n"
     "rows: invalid 1, success 9, timeout 2\n"
     "replies: NOERROR 6, NXDOMAIN 1, BADVERS 1\n"
     "discarded: 3\n"
     "rtt ms: p50 0.701, p90 12.346, p99 12.346, max 12.346\n"
     "elapsed: 4.000 s, 2.0 names/s\n",
     "8 names, 2.0/s, 2 timeouts, 0:04, 25% done, 0:12 left"},
    {"an empty batch of unknown size", run_tally{}, milliseconds(0),
     "lines read: 0\n"
     "lines skipped: 0 (0 blank, 0 filtered, 0 unbuildable)\n"
     "lookups: 0\n"
     "lookups answered: 0, unanswered: 0\n"
     "lookups by status: none\n"
     "lookups by rcode: none\n"
     "attempts: 0\n"
     "attempts by status: none\n"
     "retries: 0, tc fallbacks: 0\n"
     "rows: none\n"
     "replies: none\n"
     "rtt ms: none\n"
     "elapsed: 0.000 s, 0.0 names/s\n",
     "0 names, 0.0/s, 0 timeouts, 0:00"},
};

TEST(progress, writes_the_summary_and_the_progress_line_of_a_tally) {
    for (const text_case& c : text_cases) {
        EXPECT_EQ(summary_text(c.tally, c.elapsed), c.summary) << c.description;
        EXPECT_EQ(progress_text(c.tally, c.elapsed), c.progress) << c.description;
    }
}

TEST(progress, redraws_the_line_at_most_ten_times_a_second_and_erases_it) {
    auto now = std::chrono::steady_clock::time_point{};
    std::ostringstream err;
    {
        run_tally tally = sample_tally();
        tally.input_size = 0;
        progress_display display(err, [&] { return now; });
        for (const int step : {50, 60, 50, 100}) {
            now += milliseconds(step);
            display.update(tally);
        }
    }
    const std::string line = "8 names, 72.7/s, 2 timeouts, 0:00";
    EXPECT_EQ(err.str(), "\r" + line + "\r8 names, 30.8/s, 2 timeouts, 0:00\r" +
                             std::string(line.size(), ' ') + "\r");
}

}  // namespace
