#include "report/report_exchange.hpp"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "tests/report/golden/sample_reply.hpp"

namespace resq {
namespace {

using golden::sample_entry;

/// Name, section, status and id of every row the attempt writes in the compact form.
std::vector<std::string> rows(const dns_exchange& attempt, uint16_t query_type = 1) {
    cmd_params options;
    options.header_pending = false;
    options.compact_output = true;
    options.csv_separator = "|";
    std::ostringstream out;
    EXPECT_TRUE(report_exchange(out, attempt, golden::sample_lookup(query_type), options));
    std::vector<std::string> result;
    std::istringstream lines(out.str());
    for (std::string line; std::getline(lines, line);) {
        std::size_t end = 0;
        for (int field = 0; field < 4; ++field) {
            end = line.find('|', end) + 1;
        }
        result.push_back(line.substr(0, end - 1));
    }
    return result;
}

dns_exchange replied(std::vector<dns_record> questions, std::vector<dns_record> answers,
                     std::vector<dns_record> authority, std::vector<dns_record> additional) {
    dns_exchange attempt;
    attempt.sent_bytes = golden::sample_query;
    attempt.sent_size = static_cast<uint32_t>(golden::sample_query.size());
    attempt.received_bytes = golden::sample_reply;
    attempt.received_size = static_cast<uint32_t>(golden::sample_reply.size());
    attempt.questions = std::move(questions);
    attempt.answers = std::move(answers);
    attempt.authority = std::move(authority);
    attempt.additional = std::move(additional);
    return attempt;
}

const dns_record question = sample_entry(1, 0, 0, false);
const dns_record a_answer = sample_entry(1, golden::a_data, 4);
const dns_record soa_authority = sample_entry(6, golden::soa_data, 39, false);
const dns_record ns_additional = sample_entry(2, golden::ns_data, 5, false);

using lines = std::vector<std::string>;

TEST(report_exchange, reports_the_lookup_itself_without_a_usable_reply) {
    dns_exchange attempt;  // nothing sent
    EXPECT_EQ(rows(attempt), lines{"x.example|question|sock err|2a"});
    attempt.sent_size = 29;  // sent, nothing received
    EXPECT_EQ(rows(attempt), lines{"x.example|question|timeout|2a"});
    attempt.received_size = 232;  // received, nothing decoded
    EXPECT_EQ(rows(attempt), lines{"x.example|question|unkresp|2a"});
}

TEST(report_exchange, shows_questions_as_invalid_only_for_unanswered_non_cname_lookups) {
    const dns_exchange negative = replied({question}, {}, {soa_authority}, {});
    EXPECT_EQ(rows(negative, 1),
              (lines{"x.example.|question|invalid|2a", "x.example.|authority|success|2a"}));
    EXPECT_EQ(rows(negative, 5), lines{"x.example.|authority|success|2a"});
}

TEST(report_exchange, answers_hide_the_questions_and_every_section_keeps_its_order) {
    const dns_exchange full =
        replied({question}, {a_answer, a_answer}, {soa_authority}, {ns_additional});
    EXPECT_EQ(rows(full),
              (lines{"x.example.|answer|success|2a", "x.example.|answer|success|2a",
                     "x.example.|authority|success|2a", "x.example.|additions|success|2a"}));
}

TEST(report_exchange, reports_the_entries_of_a_reply_with_a_wrong_identifier) {
    dns_record answer = a_answer;
    answer.packet_id = 0x63;
    EXPECT_EQ(rows(replied({question}, {answer}, {}, {})), lines{"x.example.|answer|success|63"});
}

TEST(report_exchange, writes_xml_entries_without_a_section_when_asked) {
    cmd_params options;
    options.xml_output = true;
    std::ostringstream out;
    report_exchange(out, replied({question}, {}, {soa_authority}, {}), golden::sample_lookup(),
                    options);
    const std::string text = out.str();
    EXPECT_EQ(text.find("<data_entry><query>x.example.</query><status>invalid</status>"), 0u);
    EXPECT_NE(text.find("\n<data_entry><query>x.example.</query><status>success</status>"),
              std::string::npos);
    EXPECT_EQ(text.find("authority"), std::string::npos);
    EXPECT_TRUE(options.header_pending);  // the table header was never involved
}

}  // namespace
}  // namespace resq
