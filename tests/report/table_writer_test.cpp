#include "report/table_writer.hpp"

#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "tests/report/golden/sample_reply.hpp"

namespace resq {
namespace {

using golden::sample_entry;
using golden::sample_lookup;

// The options after -no_whitespace alone: "|" between values, nothing padded.
cmd_params no_whitespace_options() {
    cmd_params options;
    options.header_pending = false;
    options.compact_output = true;
    options.keep_time_space = false;
    options.csv_separator = "|";
    return options;
}

std::string row(const dns_record& record, cmd_params options, const char* section = "answer",
                const char* status = "success") {
    std::ostringstream out;
    write_table_row(record, out, section, status, options);
    return out.str();
}

struct data_case {
    const char* description;
    uint16_t type;
    uint32_t offset;
    uint16_t length;
    bool answer;
    const char* expected;  // the row from the type column on
};

class table_data_column : public testing::TestWithParam<data_case> {};

TEST_P(table_data_column, translates_the_data_of_each_type) {
    const data_case& c = GetParam();
    const std::string prefix = "x.example.|answer|success|2a|192.0.2.1|2026-12-05|05:02:25.123|";
    EXPECT_EQ(row(sample_entry(c.type, c.offset, c.length, c.answer), no_whitespace_options()),
              prefix + c.expected)
        << c.description;
}

INSTANTIATE_TEST_SUITE_P(
    every_type, table_data_column,
    testing::Values(
        data_case{"a", 1, golden::a_data, 4, true, "1|A|1|300|4|192.0.2.7\n"},
        data_case{"a of 16 bytes", 1, golden::aaaa_data, 16, true,
                  "1|A|1|300|16|20 01 0d b8 00 00 00 00 00 00 00 00 00 00 00 01\n"},
        data_case{"aaaa", 28, golden::aaaa_data, 16, true,
                  "28|AAAA|1|300|16|2001:db8:0:0:0:0:0:1\n"},
        data_case{"mx", 15, golden::mx_data, 9, true, "15|MX|1|300|9|10;mail.x.example.\n"},
        data_case{"mx of 1 byte", 15, golden::mx_data, 1, true, "15|MX|1|300|1|00\n"},
        data_case{"mx whose name fails", 15, golden::unk_data, 3, true,
                  "15|MX|1|300|3|2560;0a 00 05\n"},
        data_case{"ns", 2, golden::ns_data, 5, true, "2|NS|1|300|5|ns.x.example.\n"},
        data_case{"cname", 5, golden::cname_data, 6, true, "5|CNAME|1|300|6|www.x.example.\n"},
        data_case{"ptr", 12, golden::ptr_data, 2, true, "12|PTR|1|300|2|mail.x.example.\n"},
        data_case{"ptr whose name fails", 12, golden::unk_data, 3, true,
                  "12|PTR|1|300|3|0a 00 05\n"},
        data_case{"soa", 6, golden::soa_data, 39, true,
                  "6|SOA|1|300|39|ns1.x.example.;hostmaster.x.example.;0x78c42535;0x00000e10;"
                  "0x00000258;0x00015180;0x0000012c\n"},
        data_case{"soa that fails", 6, golden::unk_data, 3, true, "6|SOA|1|300|3|0a 00 05\n"},
        data_case{"txt, cr and lf as spaces, then an empty line", 16, golden::txt_data, 13, true,
                  "16|TXT|1|300|13|\x0chello  world\n\n"},
        data_case{"txt of the authority section", 16, golden::txt_data, 13, false,
                  "16|TXT|1|300|13|\n\n"},
        data_case{"type without a name", 30, golden::unk_data, 3, true,
                  "30|unk|1|300|3|0a 00 05\n"},
        data_case{"length 0", 15, 0, 0, true, "15|MX|1|300|0|  <none>\n"}));

TEST(table_writer, writes_the_header_once_then_padded_rows) {
    cmd_params options;
    std::ostringstream out;
    write_table_row(sample_entry(1, golden::a_data, 4), out, "answer", "success", options);
    write_table_row(sample_entry(6, golden::soa_data, 39), out, "authority", "success", options);
    EXPECT_FALSE(options.header_pending);
    EXPECT_EQ(
        out.str(),
        "query                                    | comment   | status  | id   | DNSserv   | "
        "date       |  time-UTC     | type | tname  | class | ttl    | size | data\n"
        "x.example.                               | answer    | success | 002a | 192.0.2.1 | "
        "2026-12-05 |  05:02:25.123 |    1 |      A |     1 |    300 |    4 | 192.0.2.7\n"
        "x.example.                               | authority | success | 002a | 192.0.2.1 | "
        "2026-12-05 |  05:02:25.123 |    6 |    SOA |     1 |    300 |   39 | ns1.x.example.; "
        "hostmaster.x.example.; 0x78c42535; 0x00000e10; 0x00000258; 0x00015180; 0x0000012c\n");
}

TEST(table_writer, shows_the_lookup_of_a_failed_attempt_and_lets_long_values_shift_columns) {
    cmd_params options;
    options.header_pending = false;
    EXPECT_EQ(row(sample_lookup(), options, "question", "timeout"),
              "x.example                                | question  | timeout | 002a | 192.0.2.1 | "
              "2026-12-05 |  05:02:25.123 |    1 |      A |     1 |      0 |    0 |   <none>\n");
    dns_record lookup = sample_lookup(15);
    lookup.query = "a-name-of-forty-five-characters.x.example.com";
    EXPECT_EQ(row(lookup, options, "question", "sock err"),
              "a-name-of-forty-five-characters.x.example.com | question  | sock err | 002a | "
              "192.0.2.1 | 2026-12-05 |  05:02:25.123 |   15 |     MX |     1 |      0 |    0 |   "
              "<none>\n");
}

TEST(table_writer, writes_delimiter_separated_values_in_the_compact_forms) {
    const dns_record a = sample_entry(1, golden::a_data, 4);
    cmd_params csv;
    csv.header_pending = false;
    set_csv_separator(csv, ",", false);
    csv.compact_output = true;
    EXPECT_EQ(row(a, csv),
              "x.example.,answer,success,2a,192.0.2.1,2026-12-05, 05:02:25.123,1,A,1,300,4,"
              "192.0.2.7\n");
    csv.keep_time_space = false;  // -csv with -no_whitespace
    EXPECT_EQ(row(a, csv),
              "x.example.,answer,success,2a,192.0.2.1,2026-12-05,05:02:25.123,1,A,1,300,4,"
              "192.0.2.7\n");
    csv.header_pending = true;
    std::string header = row(a, csv);
    EXPECT_EQ(header.substr(0, header.find('\n') + 1),
              "query,comment,status,id,DNSserv,date,time-UTC,type,tname,class,ttl,size,data\n");
}

TEST(table_writer, pads_columns_around_any_separator_unless_compact) {
    cmd_params tab;
    tab.header_pending = false;
    set_csv_separator(tab, "tab", false);
    EXPECT_EQ(row(sample_entry(1, golden::a_data, 4), tab),
              "x.example.                              \tanswer   \tsuccess\t002a\t192.0.2.1\t"
              "2026-12-05\t 05:02:25.123\t   1\t     A\t    1\t   300\t   4\t192.0.2.7\n");
}

TEST(table_writer, replaces_the_separator_character_and_line_ends_in_names) {
    dns_record record = sample_entry(1, golden::a_data, 4);
    record.query = "a|b,c\r\nd.";
    const auto name_column = [&](cmd_params options) {
        options.header_pending = false;
        options.compact_output = true;
        const std::string text = row(record, options);
        return text.substr(0, text.find(options.csv_separator));
    };
    cmd_params options;
    EXPECT_EQ(name_column(options), "a;b,c  d.");  // default " | ": "|" becomes ";"
    set_csv_separator(options, ",", false);
    EXPECT_EQ(name_column(options), "a|b c  d.");  // "," becomes a space
    set_csv_separator(options, ";", false);
    EXPECT_EQ(name_column(options), "a|b,c  d.");  // no replacement
    set_csv_separator(options, "|", false);
    EXPECT_EQ(name_column(options), "a;b,c  d.");
}

TEST(table_writer, a_hostile_name_in_the_data_cannot_forge_a_row) {
    // Owner name and CNAME target both carry a line end followed by a fake row.
    std::vector<uint8_t> message(12, 0);  // header, unused here
    const std::string label = "e\r\nforged|row";
    message.push_back(static_cast<uint8_t>(label.size()));  // 12: label length
    message.insert(message.end(), label.begin(), label.end());
    message.push_back(0x00);  // root
    dns_record record = sample_entry(5, 12, static_cast<uint16_t>(message.size() - 12), false);
    record.message = message;
    record.query = "x.\nforged|row.";
    EXPECT_EQ(row(record, no_whitespace_options()),
              "x. forged;row.|answer|success|2a|192.0.2.1|2026-12-05|05:02:25.123|5|CNAME|1|300|15|"
              "e  forged|row.\n");
}

TEST(table_writer, leaves_date_and_time_empty_for_an_invalid_time) {
    dns_record record = sample_entry(1, golden::a_data, 4);
    record.query_time = 0;
    cmd_params options;
    options.header_pending = false;
    EXPECT_NE(row(record, options).find("| 192.0.2.1 |            |               |    1 |"),
              std::string::npos);
}

}  // namespace
}  // namespace resq
