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

/// The report of `attempt` for a lookup of `query_type`, compact or as XML.
std::string report(const dns_exchange& attempt, uint16_t query_type, bool xml = false) {
    cmd_params options;
    options.header_pending = false;
    options.compact_output = true;
    options.csv_separator = "|";
    options.xml_output = xml;
    std::ostringstream out;
    EXPECT_TRUE(report_exchange(out, attempt, golden::sample_lookup(query_type), options));
    return out.str();
}

/// An attempt that sent and received the given sizes and decoded the four sections.
dns_exchange exchange(uint32_t sent_size, uint32_t received_size, records questions = {},
                      records answers = {}, records authority = {}, records additional = {}) {
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
        {"only a question decoded", 1, exchange(27, 232, {question}),
         "x.example.|question|invalid|2a "},
        {"only an additional entry decoded", 1, exchange(27, 232, {}, {}, {}, {soa}),
         "x.example.|additions|success|2a "},
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
        // Name, section, status and id of every row: each line up to the server column.
        std::istringstream text(report(attempt, query_type));
        std::string rows;
        for (std::string line; std::getline(text, line);) {
            rows += line.substr(0, line.find("|192.0.2.1|")) + " ";
        }
        EXPECT_EQ(rows, expected) << description;
    }
}

TEST(report_exchange, writes_xml_entries_without_a_section) {
    const std::string text = report(negative, 1, true);
    EXPECT_EQ(text.find("<data_entry><query>x.example.</query><status>invalid</status>"), 0u);
    EXPECT_NE(text.find("\n<data_entry><query>x.example.</query><status>success</status>"),
              std::string::npos);
    EXPECT_EQ(text.find("authority"), std::string::npos);
}

}  // namespace
}  // namespace resq
