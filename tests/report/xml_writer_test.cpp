#include "report/xml_writer.hpp"

#include <gtest/gtest.h>

#include <arpa/inet.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <numeric>
#include <sstream>
#include <string>
#include <tuple>

#include "support/text_forms.hpp"
#include "tests/report/golden/sample_reply.hpp"

namespace resq {
namespace {

using golden::sample_entry;

std::string entry(const dns_record& record, std::string_view server = golden::sample_server) {
    std::ostringstream out;
    write_xml_entry(out, {record, server, "answer", "success"}, cmd_params{});
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

TEST(xml_writer, translates_the_data_of_each_type) {
    const char* aaaa_hex = "20 01 0d b8 00 00 00 00 00 00 00 00 00 00 00 01";
    // Description, type, data offset and length, then the expected hex and attributes.
    const std::tuple<const char*, int, uint32_t, uint16_t, const char*, const char*> cases[] = {
        {"a of 16 bytes", 1, golden::aaaa_data, 16, aaaa_hex, ""},
        {"aaaa", 28, golden::aaaa_data, 16, aaaa_hex, " ipv6_addr=\"2001:db8::1\""},
        {"aaaa of the lookup", 28, 0, 0, "", " ipv6_addr=\"\""},
        {"mx", 15, golden::mx_data, 9, "00 0a 04 6d 61 69 6c c0 0c",
         " preference=\" 10\" mx_server=\"mail.x.example.\""},
        {"mx of 1 byte", 15, golden::mx_data, 1, "00", " preference=\"\" mx_server=\"\""},
        {"mx whose name fails", 15, golden::unk_data, 3, "0a 00 05",
         " preference=\"2560\" mx_server=\"\""},
        {"ns", 2, golden::ns_data, 5, "02 6e 73 c0 0c", " domain_name=\"ns.x.example.\""},
        {"cname", 5, golden::cname_data, 6, "03 77 0a 7c c0 0c",
         " domain_name=\"w\n|.x.example.\""},
        {"cname of the lookup", 5, 0, 0, "", " domain_name=\"\""},
        {"ptr", 12, golden::ptr_data, 2, "c0 55", " domain_name=\"mail.x.example.\""},
        {"soa", 6, golden::soa_data, 39,
         "03 6e 73 31 c0 0c 0a 68 6f 73 74 6d 61 73 74 65 72 c0 0c 78 c4 25 35 00 00 0e 10 00 00 "
         "02 58 00 01 51 80 00 00 01 2c",
         " domain_name=\"ns1.x.example.\" admin_mailbox=\"hostmaster.x.example.\" serial_num="
         "\"0x78c42535\" refresh_sec=\"3600\" retry_sec=\"600\" expire_sec=\"86400\" "
         "min_sec=\"300\""},
        {"soa that fails", 6, golden::unk_data, 3, "0a 00 05", ""},
        {"txt", 16, golden::txt_data, 13, "0c 68 65 6c 6c 6f 0d 0a 77 6f 72 6c 64", ""},
    };
    for (const auto& [description, type, offset, length, hex, attributes] : cases) {
        const std::string text = entry(sample_entry(uint16_t(type), offset, length));
        EXPECT_EQ(text.substr(text.find("<raw_data_hex>")),
                  std::string("<raw_data_hex>") + hex + "</raw_data_hex><translated_data " +
                      attributes + "></translated_data></data_entry>\n")
            << description;
    }
}

TEST(xml_writer, ipv6_addresses_compress_the_first_run_of_zero_groups) {
    for (const char* expected :
         {"::", "::1", "2001:db8::1", "1::", "fe80::1:0:0:1", "2001:db8::1:1:1:1:1"}) {
        uint8_t bytes[17] = {};  // the address, then an odd byte that is ignored
        ASSERT_EQ(inet_pton(AF_INET6, expected, bytes), 1);
        bytes[16] = 0xff;
        EXPECT_EQ(ipv6_first_run_text(bytes), expected);
    }
    EXPECT_EQ(ipv6_first_run_text({}), "");
}

TEST(xml_writer, escapes_every_byte_and_utf8_sequence_xml_cannot_carry_as_it_stands) {
    const std::map<int, std::string> named = {{'&', "&amp;"},  {'<', "&lt;"},    {'>', "&gt;"},
                                              {'"', "&quot;"}, {'\'', "&apos;"}, {'\\', "\\\\"}};
    for (int value = 0; value < 256; ++value) {
        // TAB, LF, CR and printable ASCII stand; a lone byte from 0x80 is never UTF-8.
        const std::string byte(1, static_cast<char>(value));
        char code[8];
        std::snprintf(code, sizeof code, "\\%03d", value);
        const bool carried =
            value == 9 || value == 10 || value == 13 || (value >= 32 && value < 128);
        const auto entity = named.find(value);
        const std::string expected = entity != named.end() ? entity->second : carried ? byte : code;
        EXPECT_EQ(escaped(byte), expected) << "byte " << value;
    }
    const std::pair<const char*, const char*> sequences[] = {
        // U+00E9, U+20AC, U+FFFD, U+1D11E and U+10FFFF pass unchanged.
        {"\xc3\xa9\xe2\x82\xac\xef\xbf\xbd\xf0\x9d\x84\x9e\xf4\x8f\xbf\xbf",
         "\xc3\xa9\xe2\x82\xac\xef\xbf\xbd\xf0\x9d\x84\x9e\xf4\x8f\xbf\xbf"},
        {"\xc0\xaf", "\\192\\175"},                    // overlong "/"
        {"\xe0\x80\xaf", "\\224\\128\\175"},           // overlong, 3 bytes
        {"\xf0\x80\x80\xaf", "\\240\\128\\128\\175"},  // overlong, 4 bytes
        {"\xed\xa0\x80", "\\237\\160\\128"},           // surrogate D800
        {"\xf4\x90\x80\x80", "\\244\\144\\128\\128"},  // U+110000
        {"\xf5\x80\x80\x80", "\\245\\128\\128\\128"},  // a lead byte beyond U+10FFFF
        {"\xe2\x82x", "\\226\\130x"},                  // truncated, then ASCII
        {"\xe2\x82\xc3\xa9", "\\226\\130\xc3\xa9"},    // truncated, then a new sequence
        {"\xc3", "\\195"},                             // truncated at the end
        {"\xef\xbf\xbf\xef\xbf\xbe", "\\239\\191\\191\\239\\191\\190"},  // U+FFFF, U+FFFE
    };
    for (const auto& [input, expected] : sequences) {
        EXPECT_EQ(escaped(input), expected) << input;
    }
}

TEST(xml_writer, entries_with_every_byte_value_parse_as_xml) {
    if (std::system("command -v xmllint >/dev/null 2>&1") != 0) {
        GTEST_SKIP() << "xmllint is not installed";
    }
    // Every byte value in element text (query, server) and in attributes (tool, NS target).
    std::string every_byte(256, '\0');
    std::iota(every_byte.begin(), every_byte.end(), '\0');
    std::vector<uint8_t> message(12, 0);  // header, then the name: two labels of 128 bytes
    for (const auto half : {every_byte.begin(), every_byte.begin() + 128}) {
        message.push_back(128);
        message.insert(message.end(), half, half + 128);
    }
    message.push_back(0);  // root
    dns_record record = sample_entry(2, 12, static_cast<uint16_t>(message.size() - 12), false);
    record.message = std::make_shared<const std::vector<uint8_t>>(message);
    record.query = every_byte + "\xef\xbf\xbf\xed\xa0\x80";  // U+FFFF, a surrogate
    // The whole document as the writer frames it, every byte in its header and program name.
    std::ostringstream out;
    const cmd_params options;
    xml_writer writer(out, options);
    writer.begin({every_byte, every_byte + "--->", every_byte});
    writer.row({record, every_byte, "answer", "success"});
    writer.end();
    const std::string document = out.str();
    FILE* xmllint = popen("xmllint --noout -", "w");
    ASSERT_NE(xmllint, nullptr);
    std::fwrite(document.data(), 1, document.size(), xmllint);
    EXPECT_EQ(pclose(xmllint), 0);
}

}  // namespace
}  // namespace resq
