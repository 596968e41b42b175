#include "report/report_exchange.hpp"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "tests/report/golden/sample_reply.hpp"

namespace resq {
namespace {

using golden::sample_entry;
using records = std::vector<dns_record>;

/// Keeps name, section, status and id of every row, and counts the attempts ended.
class recording_writer final : public record_writer {
  public:
    recording_writer() : record_writer(unused_, options_) {}
    void begin(const report_header&) override {}
    void row(const report_row& row) override {
        rows += row.record.query + "|" + std::string(row.section) + "|" + std::string(row.status) +
                "|" + std::to_string(row.record.packet_id) + " ";
    }
    void end_attempt(const attempt_info&) override { ++attempts_ended; }
    void end() override {}

    std::string rows;
    int attempts_ended = 0;

  private:
    std::ostringstream unused_;
    cmd_params options_;
};

/// An attempt that sent and received the given sizes and decoded the four sections.
dns_exchange exchange(uint32_t sent_size, uint32_t received_size, records questions = {},
                      records answers = {}, records authority = {}, records additional = {}) {
    dns_exchange attempt;
    attempt.sent_size = sent_size;
    attempt.received_size = received_size;
    attempt.questions = std::move(questions);
    attempt.answers = std::move(answers);
    attempt.authority = std::move(authority);
    attempt.additional = std::move(additional);
    return attempt;
}

const dns_record question = sample_entry(1, 0, 0, false);
const dns_record a_answer = sample_entry(1, golden::a_data, 4);
const dns_record soa = sample_entry(6, golden::soa_data, 39, false);
const dns_exchange negative = exchange(27, 232, {question}, {}, {soa});

TEST(report_exchange, routes_each_kind_of_attempt_to_its_rows) {
    dns_record wrong_id = a_answer;
    wrong_id.packet_id = 99;
    const std::tuple<const char*, uint16_t, dns_exchange, const char*> cases[] = {
        {"nothing sent", 1, exchange(0, 0), "x.example|question|sock err|42 "},
        {"no reply", 1, exchange(27, 0), "x.example|question|timeout|42 "},
        {"nothing decoded", 1, exchange(27, 232), "x.example|question|unkresp|42 "},
        {"only a question decoded", 1, exchange(27, 232, {question}),
         "x.example.|question|invalid|42 "},
        {"only an additional entry decoded", 1, exchange(27, 232, {}, {}, {}, {soa}),
         "x.example.|additions|success|42 "},
        {"negative answer to an A lookup", 1, negative,
         "x.example.|question|invalid|42 x.example.|authority|success|42 "},
        {"negative answer to a CNAME lookup", 5, negative, "x.example.|authority|success|42 "},
        {"REFUSED or SERVFAIL to a CNAME lookup: its question, not nothing", 5,
         exchange(27, 232, {question}), "x.example.|question|invalid|42 "},
        {"answers hide the questions; sections keep their order", 1,
         exchange(27, 232, {question}, {a_answer, a_answer}, {soa},
                  {sample_entry(2, golden::ns_data, 5, false)}),
         "x.example.|answer|success|42 x.example.|answer|success|42 "
         "x.example.|authority|success|42 x.example.|additions|success|42 "},
        {"reply with a wrong identifier", 1, exchange(27, 232, {question}, {wrong_id}),
         "x.example.|answer|success|99 "},
    };
    for (const auto& [description, query_type, attempt, expected] : cases) {
        recording_writer writer;
        EXPECT_TRUE(report_exchange(writer, {attempt, golden::sample_lookup(query_type)}));
        EXPECT_EQ(writer.rows, expected) << description;
        EXPECT_EQ(writer.attempts_ended, 1) << description;
    }
}

}  // namespace
}  // namespace resq
