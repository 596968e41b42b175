#include "report/table_writer.hpp"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <tuple>

#include "dns/reply_decoder.hpp"
#include "report/report_exchange.hpp"
#include "tests/report/golden/sample_reply.hpp"

namespace resq {
namespace {

using golden::sample_entry;
using golden::sample_lookup;

/// Bytes as lower-case hexadecimal digits.
std::string hex(std::string_view bytes) {
    std::string text;
    for (const char c : bytes) {
        text += "0123456789abcdef"[static_cast<uint8_t>(c) >> 4];
        text += "0123456789abcdef"[static_cast<uint8_t>(c) & 0xf];
    }
    return text;
}

TEST(table_writer, translates_the_data_of_each_type) {
    // Description, type, data offset and length, whether the entry is an answer, the row from
    // the type column on.
    const std::tuple<const char*, uint16_t, uint32_t, uint16_t, bool, const char*> cases[] = {
        {"a of 16 bytes", 1, golden::aaaa_data, 16, true,
         "1|A|1|300|16|20 01 0d b8 00 00 00 00 00 00 00 00 00 00 00 01\n"},
        {"aaaa", 28, golden::aaaa_data, 16, true, "28|AAAA|1|300|16|2001:db8:0:0:0:0:0:1\n"},
        {"mx", 15, golden::mx_data, 9, true, "15|MX|1|300|9|10;mail.x.example.\n"},
        {"mx of 1 byte", 15, golden::mx_data, 1, true, "15|MX|1|300|1|00\n"},
        {"mx whose name fails", 15, golden::unk_data, 3, true, "15|MX|1|300|3|2560;0a 00 05\n"},
        {"ns", 2, golden::ns_data, 5, true, "2|NS|1|300|5|ns.x.example.\n"},
        {"cname, lf as a space, quoted for its |", 5, golden::cname_data, 6, true,
         "5|CNAME|1|300|6|\"w |.x.example.\"\n"},
        {"ptr", 12, golden::ptr_data, 2, true, "12|PTR|1|300|2|mail.x.example.\n"},
        {"ptr whose name fails", 12, golden::unk_data, 3, true, "12|PTR|1|300|3|0a 00 05\n"},
        {"soa", 6, golden::soa_data, 39, true,
         "6|SOA|1|300|39|ns1.x.example.;hostmaster.x.example.;0x78c42535;0x00000e10;0x00000258;"
         "0x00015180;0x0000012c\n"},
        {"soa that fails", 6, golden::unk_data, 3, true, "6|SOA|1|300|3|0a 00 05\n"},
        {"txt, cr and lf as spaces, then an empty line", 16, golden::txt_data, 13, true,
         "16|TXT|1|300|13|\x0chello  world\n\n"},
        {"txt of the authority section", 16, golden::txt_data, 13, false, "16|TXT|1|300|13|\n\n"},
        {"type without a name", 30, golden::unk_data, 3, true, "30|unk|1|300|3|0a 00 05\n"},
        {"length past the message end", 30, golden::unk_data, 4, false,
         "30|unk|1|300|4|0a 00 05\n"},
    };
    for (const auto& [description, type, offset, length, answer, expected] : cases) {
        cmd_params no_whitespace;  // compact, "|" between the columns, no space before the time
        set_csv_separator(no_whitespace, "|", false);
        no_whitespace.compact_output = true;
        no_whitespace.keep_time_space = false;
        std::ostringstream row;
        write_table_row(row,
                        {sample_entry(type, offset, length, answer), golden::sample_server,
                         "answer", "success"},
                        no_whitespace);
        EXPECT_EQ(row.str(),
                  std::string("x.example.|answer|success|2a|192.0.2.1|2026-12-05|05:02:25.123|") +
                      expected)
            << description;
    }
}

TEST(table_writer, writes_the_header_once_then_padded_rows_that_long_values_shift) {
    const cmd_params options;
    dns_record long_name = sample_lookup(15);
    long_name.query = "a-name-of-forty-five-characters.x.example.com";
    long_name.query_time = 0;  // no valid time: date and time stay empty
    std::ostringstream out;
    table_writer writer(out, options);
    const std::string_view server = golden::sample_server;
    writer.row({sample_entry(6, golden::soa_data, 39), server, "authority", "success"});
    writer.row({sample_lookup(), server, "question", "timeout"});
    writer.row({long_name, server, "question", "sock err"});
    EXPECT_EQ(
        out.str(),
        "query                                    | comment   | status  | id   | DNSserv   | "
        "date       |  time-UTC     | type | tname  | class | ttl    | size | data\n"
        "x.example.                               | authority | success | 002a | 192.0.2.1 | "
        "2026-12-05 |  05:02:25.123 |    6 |    SOA |     1 |    300 |   39 | ns1.x.example.; "
        "hostmaster.x.example.; 0x78c42535; 0x00000e10; 0x00000258; 0x00015180; 0x0000012c\n"
        "x.example                                | question  | timeout | 002a | 192.0.2.1 | "
        "2026-12-05 |  05:02:25.123 |    1 |      A |     1 |      0 |    0 |   <none>\n"
        "a-name-of-forty-five-characters.x.example.com | question  | sock err | 002a | "
        "192.0.2.1 |            |               |   15 |     MX |     1 |      0 |    0 |   "
        "<none>\n");
}

// clang-format off
// A reply whose owner name (q"a,b|c;<LF>d.) and TXT strings hold every character that splits a
// CSV row: the separators, quotes, a line end, and length bytes that are '"' (34) and ',' (44).
const std::vector<uint8_t> hostile_reply = [] {
    std::vector<uint8_t> reply = {
        0x2a, 0x00, 0x81, 0x80, 0, 1, 0, 3, 0, 0, 0, 0,  // id, QR RD RA, QD 1, AN 3
        10, 'q', '"', 'a', ',', 'b', '|', 'c', ';', '\n', 'd', 0, 0, 16, 0, 1,  // @12 TXT IN
    };
    for (const std::string& text : {std::string("a,\"b\"|c;d,"), std::string(34, '"'),
                                   std::string(22, ',') + std::string(22, '|')}) {
        const auto length = static_cast<uint8_t>(text.size());  // 10, then 34 and 44
        reply.insert(reply.end(), {0xc0, 12, 0, 16, 0, 1, 0, 0, 0, 60, 0,
                                   static_cast<uint8_t>(length + 1), length});
        reply.insert(reply.end(), text.begin(), text.end());
    }
    return reply;
}();
// clang-format on

TEST(table_writer, compact_rows_read_back_with_a_csv_reader_as_thirteen_fields) {
    if (std::system("command -v python3 >/dev/null 2>&1") != 0) {
        GTEST_SKIP() << "python3 is not installed";
    }
    dns_exchange attempt;
    ASSERT_NE(
        decode_reply(std::make_shared<const std::vector<uint8_t>>(hostile_reply), 0, attempt, true),
        0u);
    const std::vector<std::string> forms[] = {
        {"-csv"},
        {"-csv", "-enable_quoted_csv_fields"},
        {"-csv_separator", "|", "-no_whitespace"},
        {"-csv_separator", ";", "-no_whitespace"},
        {"-csv_separator", "tab", "-no_whitespace"},
    };
    // A file of this process alone: another run of the suite may be reading its own.
    const std::string path = testing::TempDir() + "csv_rows." + std::to_string(::getpid());
    for (const auto& form : forms) {
        cmd_params options;
        args list = {"resq"};
        list.insert(list.end(), form.begin(), form.end());
        ASSERT_TRUE(options.parse_options(list));
        // Each row as Python's csv module reads it: its field count, then the first field and
        // the data field in hexadecimal.
        const std::string reader =
            "python3 -c 'import csv, io, sys\n"
            "for row in csv.reader(io.TextIOWrapper(sys.stdin.buffer, \"latin-1\", newline=\"\"),"
            " delimiter=sys.argv[1]):\n"
            "    row and print(len(row), row[0].encode(\"latin-1\").hex(),"
            " row[-1].encode(\"latin-1\").hex())' '" +
            options.csv_separator + "' < " + path;
        std::ostringstream rows;
        for (const dns_record& record : attempt.answers) {
            write_table_row(rows, {record, golden::sample_server, "answer", "success"}, options);
        }
        std::ofstream(path) << rows.str();
        FILE* pipe = popen(reader.c_str(), "r");
        ASSERT_NE(pipe, nullptr);
        std::string read_back(4096, '\0');
        read_back.resize(std::fread(read_back.data(), 1, read_back.size(), pipe));
        ASSERT_EQ(pclose(pipe), 0);
        // The bytes written: the name after its separator replacement, CR and LF as spaces.
        std::string name = "q\"a,b|c; d.";
        std::replace(name.begin(), name.end(), options.replace_char, options.replace_with);
        std::string expected;
        for (const dns_record& record : attempt.answers) {
            std::string data(record.data().begin(), record.data().end());
            std::replace(data.begin(), data.end(), '\n', ' ');
            expected += "13 " + hex(name) + " " + hex(data) + "\n";
        }
        EXPECT_EQ(read_back, expected) << form.front() << " " << options.csv_separator << "\n"
                                       << rows.str();
    }
    std::remove(path.c_str());
}

// clang-format off
// A reply with a flag of each kind, an RCODE extended by its OPT record, and data of a type
// written in RFC 5952 form, one of quoted strings and one without any form of its own.
const std::vector<uint8_t> badcookie_reply = {
    0x2a, 0x00,  // id
    0x87, 0x27,  // QR AA TC RD, AD; RCODE 7
    0x00, 0x01,  // QDCOUNT 1
    0x00, 0x03,  // ANCOUNT 3
    0x00, 0x00,  // NSCOUNT 0
    0x00, 0x01,  // ARCOUNT 1
    0x01, 'x', 0x00,  // @12 name x.
    0x00, 0x1c,  // type AAAA
    0x00, 0x01,  // class IN
    0xc0, 0x0c,  // name: pointer to x.
    0x00, 0x1c,  // type AAAA
    0x00, 0x01,  // class IN
    0x00, 0x00, 0x01, 0x2c,  // TTL 300
    0x00, 0x10,  // RDLENGTH 16
    0x20, 0x01, 0x0d, 0xb8, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x01,  // 2001:db8::1
    0xc0, 0x0c,  // name: pointer to x.
    0x00, 0x10,  // type TXT
    0x00, 0x01,  // class IN
    0x00, 0x00, 0x01, 0x2c,  // TTL 300
    0x00, 0x04,  // RDLENGTH 4
    0x03, 'a', ' ', 'b',  // one string "a b"
    0xc0, 0x0c,  // name: pointer to x.
    0xff, 0x00,  // type 65280, which has no mnemonic
    0x00, 0x01,  // class IN
    0x00, 0x00, 0x01, 0x2c,  // TTL 300
    0x00, 0x02,  // RDLENGTH 2
    0xab, 0xcd,  // data
    0x00,        // name: root
    0x00, 0x29,  // type OPT
    0x10, 0x00,  // UDP payload size 4096
    0x01, 0x00, 0x00, 0x00,  // extended RCODE 1 (23, BADCOOKIE), version 0, no flags
    0x00, 0x00,  // RDLENGTH 0
};
// clang-format on

TEST(table_writer, chosen_fields_show_the_attempt_and_the_data_in_master_file_form) {
    dns_record query = sample_lookup(28);
    query.query = "x";
    dns_exchange timed_out;
    timed_out.sent_size = 19;
    dns_exchange replied;
    replied.sent_size = 19;
    replied.received_size = static_cast<uint32_t>(badcookie_reply.size());
    replied.reply_time = query.query_time + 12'345'678;  // 100-ns units
    ASSERT_NE(decode_reply(std::make_shared<const std::vector<uint8_t>>(badcookie_reply),
                           replied.reply_time, replied, true),
              0u);
    const auto report = [&](const std::vector<std::string>& form) {
        cmd_params options;
        args list = {"resq"};
        list.insert(list.end(), form.begin() + 1, form.end());
        EXPECT_TRUE(options.parse_options(list));
        options.verbose = false;
        std::vector<report_field> fields;
        std::string bad;
        EXPECT_TRUE(parse_report_fields(form.front(), fields, bad)) << bad;
        std::ostringstream out;
        table_writer writer(out, options, false, fields);
        report_exchange(writer, {timed_out, query, transport::udp, 1, 7, "192.0.2.1", 53, false});
        report_exchange(writer, {replied, query, transport::tcp, 2, 7, "192.0.2.1", 53, true});
        return out.str();
    };
    EXPECT_EQ(report({"LINE,attempt,transport,rtt,rcode,flags,tname,rdata", "-csv"}),
              "line,attempt,transport,rtt,rcode,flags,tname,rdata\n"
              "7,1,udp,,,,AAAA,\n"
              "7,2,tcp,1234.567,BADCOOKIE,qr aa tc rd ad,AAAA,2001:db8::1\n"
              "7,2,tcp,1234.567,BADCOOKIE,qr aa tc rd ad,TXT,\"\"\"a b\"\"\"\n"
              "7,2,tcp,1234.567,BADCOOKIE,qr aa tc rd ad,unk,\\# 2 ABCD\n"
              "7,2,tcp,1234.567,BADCOOKIE,qr aa tc rd ad,OPT,udp=4096 ercode=1 version=0\n");
    // Padded: every field but the last to its width; the TXT row's empty line with its data.
    EXPECT_EQ(report({"status,rcode,time,type,data"}),
              "status  | rcode     |  time-UTC     | type | data\n"
              "timeout |           |  05:02:25.123 |   28 |   <none>\n"
              "success | BADCOOKIE |  05:02:26.358 |   28 | 2001:db8:0:0:0:0:0:1\n"
              "success | BADCOOKIE |  05:02:26.358 |   16 | \x03"
              "a b\n\n"
              "success | BADCOOKIE |  05:02:26.358 | 65280 | ab cd\n"
              "success | BADCOOKIE |  05:02:26.358 |   41 |   <none>\n");
}

}  // namespace
}  // namespace resq
