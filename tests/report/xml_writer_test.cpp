#include "report/xml_writer.hpp"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "tests/report/golden/sample_reply.hpp"

namespace resq {
namespace {

using golden::sample_entry;

std::string entry(const dns_record& record, std::string_view status = "success") {
    std::ostringstream out;
    write_xml_entry(record, out, cmd_params{}, status);
    return out.str();
}

std::string escaped(std::string_view text) {
    std::ostringstream out;
    write_xml_escaped(out, text);
    return out.str();
}

TEST(xml_writer, writes_an_a_answer_as_one_line) {
    dns_record record = sample_entry(1, golden::a_data, 4);
    record.query = "x.";
    EXPECT_EQ(entry(record),
              "<data_entry><query>x.</query><status>success</status><packet_id>002a</packet_id>"
              "<dns_server>192.0.2.1</dns_server><query_date_utc>2026-12-05</query_date_utc>"
              "<query_time_utc>05:02:25.123</query_time_utc><dns_type>1</dns_type>"
              "<dns_type_name>A</dns_type_name><dns_class>1</dns_class><ttl_secs>300</ttl_secs>"
              "<data_length>4</data_length><raw_data_hex>c0 00 02 07</raw_data_hex>"
              "<translated_data  ipv4_addr=\"192.0.2.7\"></translated_data></data_entry>\n");
}

struct data_case {
    const char* description;
    uint16_t type;
    uint32_t offset;
    uint16_t length;
    const char* expected;  // the entry from <raw_data_hex> on
};

class xml_translated_data : public testing::TestWithParam<data_case> {};

TEST_P(xml_translated_data, translates_the_data_of_each_type) {
    const data_case& c = GetParam();
    const std::string text = entry(sample_entry(c.type, c.offset, c.length));
    EXPECT_EQ(text.substr(text.find("<raw_data_hex>")), c.expected) << c.description;
}

INSTANTIATE_TEST_SUITE_P(
    every_type, xml_translated_data,
    testing::Values(
        data_case{"a of 16 bytes", 1, golden::aaaa_data, 16,
                  "<raw_data_hex>20 01 0d b8 00 00 00 00 00 00 00 00 00 00 00 01</raw_data_hex>"
                  "<translated_data ></translated_data></data_entry>\n"},
        data_case{"aaaa", 28, golden::aaaa_data, 16,
                  "<raw_data_hex>20 01 0d b8 00 00 00 00 00 00 00 00 00 00 00 01</raw_data_hex>"
                  "<translated_data  ipv6_addr=\"2001:db8::1\"></translated_data></data_entry>\n"},
        data_case{"aaaa of the lookup", 28, 0, 0,
                  "<raw_data_hex></raw_data_hex><translated_data  ipv6_addr=\"\">"
                  "</translated_data></data_entry>\n"},
        data_case{"mx", 15, golden::mx_data, 9,
                  "<raw_data_hex>00 0a 04 6d 61 69 6c c0 0c</raw_data_hex><translated_data  "
                  "preference=\" 10\" mx_server=\"mail.x.example.\"></translated_data>"
                  "</data_entry>\n"},
        data_case{"mx of 1 byte", 15, golden::mx_data, 1,
                  "<raw_data_hex>00</raw_data_hex><translated_data  preference=\"\" "
                  "mx_server=\"\"></translated_data></data_entry>\n"},
        data_case{"mx whose name fails", 15, golden::unk_data, 3,
                  "<raw_data_hex>0a 00 05</raw_data_hex><translated_data  preference=\"2560\" "
                  "mx_server=\"\"></translated_data></data_entry>\n"},
        data_case{"ns", 2, golden::ns_data, 5,
                  "<raw_data_hex>02 6e 73 c0 0c</raw_data_hex><translated_data  "
                  "domain_name=\"ns.x.example.\"></translated_data></data_entry>\n"},
        data_case{"cname of the lookup", 5, 0, 0,
                  "<raw_data_hex></raw_data_hex><translated_data  domain_name=\"\">"
                  "</translated_data></data_entry>\n"},
        data_case{"ptr", 12, golden::ptr_data, 2,
                  "<raw_data_hex>c0 55</raw_data_hex><translated_data  "
                  "domain_name=\"mail.x.example.\"></translated_data></data_entry>\n"},
        data_case{"soa", 6, golden::soa_data, 39,
                  "<raw_data_hex>03 6e 73 31 c0 0c 0a 68 6f 73 74 6d 61 73 74 65 72 c0 0c 78 c4 "
                  "25 35 00 00 0e 10 00 00 02 58 00 01 51 80 00 00 01 2c</raw_data_hex>"
                  "<translated_data  domain_name=\"ns1.x.example.\" "
                  "admin_mailbox=\"hostmaster.x.example.\" serial_num=\"0x78c42535\" "
                  "refresh_sec=\"3600\" retry_sec=\"600\" expire_sec=\"86400\" min_sec=\"300\">"
                  "</translated_data></data_entry>\n"},
        data_case{"soa that fails", 6, golden::unk_data, 3,
                  "<raw_data_hex>0a 00 05</raw_data_hex><translated_data ></translated_data>"
                  "</data_entry>\n"},
        data_case{"txt", 16, golden::txt_data, 13,
                  "<raw_data_hex>0c 68 65 6c 6c 6f 0d 0a 77 6f 72 6c 64</raw_data_hex>"
                  "<translated_data ></translated_data></data_entry>\n"}));

TEST(xml_writer, pads_the_preference_and_the_packet_id) {
    std::vector<uint8_t> message = golden::sample_reply;
    for (const auto& [preference, expected] :
         {std::pair{5, "  5"}, {10, " 10"}, {1000, "1000"}, {65535, "65535"}}) {
        message[golden::mx_data] = static_cast<uint8_t>(preference >> 8);
        message[golden::mx_data + 1] = static_cast<uint8_t>(preference & 0xff);
        dns_record record = sample_entry(15, golden::mx_data, 9);
        record.message = message;
        EXPECT_NE(entry(record).find(std::string("preference=\"") + expected + "\""),
                  std::string::npos);
    }
    dns_record record = golden::sample_lookup();
    record.packet_id = 0;
    EXPECT_NE(entry(record, "timeout").find("<packet_id>0000</packet_id>"), std::string::npos);
    record.packet_id = 0xbeef;
    EXPECT_NE(entry(record, "timeout").find("<packet_id>beef</packet_id>"), std::string::npos);
    record.query_time = 0;
    EXPECT_NE(entry(record).find("<query_date_utc></query_date_utc><query_time_utc></"),
              std::string::npos);
}

TEST(xml_writer, ipv6_to_text_compresses_the_first_run_of_zero_groups) {
    const std::vector<std::pair<std::vector<uint16_t>, std::string>> cases = {
        {{0, 0, 0, 0, 0, 0, 0, 0}, "::"},
        {{0, 0, 0, 0, 0, 0, 0, 1}, "::1"},
        {{0x2001, 0xdb8, 0, 0, 0, 0, 0, 1}, "2001:db8::1"},
        {{1, 0, 0, 0, 0, 0, 0, 0}, "1::"},
        {{0xfe80, 0, 0, 0, 1, 0, 0, 1}, "fe80::1:0:0:1"},
        {{0x2001, 0xdb8, 0, 1, 1, 1, 1, 1}, "2001:db8::1:1:1:1:1"},
    };
    for (const auto& [groups, expected] : cases) {
        std::vector<uint8_t> bytes;
        for (const uint16_t group : groups) {
            bytes.push_back(static_cast<uint8_t>(group >> 8));
            bytes.push_back(static_cast<uint8_t>(group & 0xff));
        }
        bytes.push_back(0xff);  // a trailing odd byte is ignored
        std::string text = "stale";
        EXPECT_TRUE(ipv6_to_text(bytes.data(), bytes.size(), text));
        EXPECT_EQ(text, expected);
    }
    std::string text = "stale";
    EXPECT_FALSE(ipv6_to_text(nullptr, 16, text));
    EXPECT_EQ(text, "");
}

TEST(xml_writer, escapes_every_byte_xml_cannot_carry_as_it_stands) {
    for (int value = 0; value < 256; ++value) {
        const std::string byte(1, static_cast<char>(value));
        std::string expected;
        switch (value) {
            case '&':
                expected = "&amp;";
                break;
            case '<':
                expected = "&lt;";
                break;
            case '>':
                expected = "&gt;";
                break;
            case '"':
                expected = "&quot;";
                break;
            case '\'':
                expected = "&apos;";
                break;
            case '\\':
                expected = "\\\\";
                break;
            default: {
                // TAB, LF, CR and printable ASCII stand; a lone byte from 0x80 is never UTF-8.
                const bool carried = value == 0x09 || value == 0x0a || value == 0x0d ||
                                     (value >= 0x20 && value < 0x80);
                char code[8];
                std::snprintf(code, sizeof code, "\\%03d", value);
                expected = carried ? byte : code;
            }
        }
        EXPECT_EQ(escaped(byte), expected) << "byte " << value;
    }
}

TEST(xml_writer, passes_valid_utf8_and_escapes_each_byte_of_a_bad_sequence) {
    const std::pair<const char*, const char*> cases[] = {
        {"caf\xc3\xa9", "caf\xc3\xa9"},                                  // U+00E9
        {"\xe2\x82\xac", "\xe2\x82\xac"},                                // U+20AC
        {"\xef\xbf\xbd", "\xef\xbf\xbd"},                                // U+FFFD
        {"\xf0\x9d\x84\x9e", "\xf0\x9d\x84\x9e"},                        // U+1D11E
        {"\xf4\x8f\xbf\xbf", "\xf4\x8f\xbf\xbf"},                        // U+10FFFF
        {"\xc0\xaf", "\\192\\175"},                                      // overlong "/"
        {"\xe0\x80\xaf", "\\224\\128\\175"},                             // overlong, 3 bytes
        {"\xf0\x80\x80\xaf", "\\240\\128\\128\\175"},                    // overlong, 4 bytes
        {"\xed\xa0\x80", "\\237\\160\\128"},                             // surrogate D800
        {"\xf4\x90\x80\x80", "\\244\\144\\128\\128"},                    // U+110000
        {"\xe2\x82x", "\\226\\130x"},                                    // truncated, then ASCII
        {"\xc3", "\\195"},                                               // truncated at the end
        {"\xef\xbf\xbf\xef\xbf\xbe", "\\239\\191\\191\\239\\191\\190"},  // U+FFFF, U+FFFE
        {"a\\001", "a\\\\001"},                                          // escapes stay reversible
    };
    for (const auto& [input, expected] : cases) {
        EXPECT_EQ(escaped(input), expected) << input;
    }
}

TEST(xml_writer, entries_with_every_byte_value_parse_as_xml) {
    if (std::system("command -v xmllint >/dev/null 2>&1") != 0) {
        GTEST_SKIP() << "xmllint is not installed";
    }
    // A name of two labels holding the bytes 0-127 and 128-255, as owner, server and NS target.
    std::vector<uint8_t> message(12, 0);  // header, unused here
    std::string every_byte;
    for (int first : {0, 128}) {
        message.push_back(128);  // label length
        for (int value = first; value < first + 128; ++value) {
            message.push_back(static_cast<uint8_t>(value));
            every_byte.push_back(static_cast<char>(value));
        }
    }
    message.push_back(0);  // root
    dns_record record = sample_entry(2, 12, static_cast<uint16_t>(message.size() - 12), false);
    record.message = message;
    record.query = every_byte + "\xef\xbf\xbf\xed\xa0\x80";  // U+FFFF, a surrogate
    record.dns_server = every_byte;

    const std::string path = testing::TempDir() + "xml_writer_test_every_byte.xml";
    {
        std::ofstream file(path, std::ios::binary);
        file << "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<logdata tool=\"";
        write_xml_escaped(file, every_byte);
        file << "\">\n"
             << entry(record) << entry(sample_entry(15, golden::mx_data, 9)) << "</logdata>\n";
    }
    EXPECT_EQ(std::system(("xmllint --noout '" + path + "'").c_str()), 0);
    std::remove(path.c_str());
}

}  // namespace
}  // namespace resq
