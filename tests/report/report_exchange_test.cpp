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

/// Name, section, status and id of every row the attempt writes in the compact form.
std::string rows(const dns_exchange& attempt, uint16_t query_type) {
    cmd_params options;
    options.header_pending = false;
    options.compact_output = true;
    options.csv_separator = "|";
    std::ostringstream out;
    EXPECT_TRUE(report_exchange(out, attempt, golden::sample_lookup(query_type), options));
    std::string result;
    std::istringstream text(out.str());
    for (std::string line; std::getline(text, line);) {
        result += line.substr(0, line.find("|192.0.2.1|")) + " ";  // up to the server column
    }
    return result;
}

/// An attempt that sent and received the given sizes and decoded the four sections.
dns_exchange exchange(uint32_t sent_size, uint32_t received_size,
                      std::vector<dns_record> questions = {}, std::vector<dns_record> answers = {},
                      std::vector<dns_record> authority = {},
                      std::vector<dns_record> additional = {}) {
    // Every member in order: sent bytes and size, received bytes and size, time, sections.
    return {{}, sent_size, {}, received_size, 0, questions, answers, authority, additional};
}

const dns_record question = sample_entry(1, 0, 0, false);
const dns_record a_answer = sample_entry(1, golden::a_data, 4);
const dns_record soa = sample_entry(6, golden::soa_data, 39, false);
const dns_exchange negative = exchange(27, 232, {question}, {}, {soa});

TEST(report_exchange, routes_each_kind_of_attempt_to_its_rows) {
    dns_record wrong_id = a_answer;
    wrong_id.packet_id = 0x63;
    const std::tuple<const char*, uint16_t, dns_exchange, const char*> cases[] = {
        {"nothing sent", 1, exchange(0, 0), "x.example|question|sock err|2a "},
        {"no reply", 1, exchange(27, 0), "x.example|question|timeout|2a "},
        {"nothing decoded", 1, exchange(27, 232), "x.example|question|unkresp|2a "},
        {"negative answer to an A lookup", 1, negative,
         "x.example.|question|invalid|2a x.example.|authority|success|2a "},
        {"negative answer to a CNAME lookup", 5, negative, "x.example.|authority|success|2a "},
        {"answers hide the questions; sections keep their order", 1,
         exchange(27, 232, {question}, {a_answer, a_answer}, {soa},
                  {sample_entry(2, golden::ns_data, 5, false)}),
         "x.example.|answer|success|2a x.example.|answer|success|2a "
         "x.example.|authority|success|2a x.example.|additions|success|2a "},
        {"reply with a wrong identifier", 1, exchange(27, 232, {question}, {wrong_id}),
         "x.example.|answer|success|63 "},
    };
    for (const auto& [description, query_type, attempt, expected] : cases) {
        EXPECT_EQ(rows(attempt, query_type), expected) << description;
    }
}

TEST(report_exchange, writes_xml_entries_without_a_section_when_asked) {
    cmd_params options;
    options.xml_output = true;
    std::ostringstream out;
    report_exchange(out, negative, golden::sample_lookup(), options);
    const std::string text = out.str();
    EXPECT_EQ(text.find("<data_entry><query>x.example.</query><status>invalid</status>"), 0u);
    EXPECT_NE(text.find("\n<data_entry><query>x.example.</query><status>success</status>"),
              std::string::npos);
    EXPECT_EQ(text.find("authority"), std::string::npos);
    EXPECT_TRUE(options.header_pending);  // the table header was never involved
}

}  // namespace
}  // namespace resq
