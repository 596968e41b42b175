// The built resq against the scripted responder on loopback port 53, in a private network
// namespace (see tests/tools/netns_run.sh): exit statuses, messages, report frames and rows.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "tests/e2e/process.hpp"

namespace {

namespace fs = std::filesystem;
using resq::testing_support::background_process;
using resq::testing_support::process_result;
using resq::testing_support::run_process;

// Inside a private namespace the responder owns 127.0.0.1:53; as plain root it takes an address of
// its own, never one a host resolver may be using.
std::string server_address() {
    return std::getenv("RESQ_IN_NETNS") != nullptr ? "127.0.0.1" : "127.0.0.21";
}

std::unique_ptr<background_process> responder;

class resq_run : public testing::Test {
  protected:
    static void SetUpTestSuite() {
        responder = std::make_unique<background_process>(
            std::vector<std::string>{RESQ_RESPONDER, "--address", server_address()});
    }
    static void TearDownTestSuite() { responder.reset(); }

    void SetUp() override {
        if (!responder->ready()) {
            GTEST_SKIP() << "the scripted responder could not bind port 53 on " << server_address();
        }
    }

    // resq with the given arguments, the server appended unless `with_server` is false.
    static process_result resq(std::vector<std::string> arguments, const std::string& input = "",
                               bool with_server = true) {
        arguments.insert(arguments.begin(), RESQ_BINARY);
        if (with_server) {
            arguments.insert(arguments.end(), {"-server", server_address()});
        }
        return run_process(arguments, input);
    }

    static fs::path temp_file(const std::string& name) {
        return fs::temp_directory_path() / ("resq_e2e_" + std::to_string(getpid()) + "_" + name);
    }
};

// Replaces what changes from run to run (packet id, date, time, server address) so that rows
// compare exactly.
std::string masked(const std::string& text) {
    static const std::regex id(R"(\| [0-9a-f]{4} \| )");
    static const std::regex date(R"(\d{4}-\d\d-\d\d \|  \d\d:\d\d:\d\d\.\d{3})");
    static const std::regex csv_id_date(R"(,[0-9a-f]{1,4},([0-9.]+),\d{4}-\d\d-\d\d, \S+?,)");
    std::string out = std::regex_replace(text, id, "| ID | ");
    out = std::regex_replace(out, date, "DATE |  TIME");
    out = std::regex_replace(out, csv_id_date, ",ID,SERVER,DATE, TIME,");
    // The server column is as wide as the address, which depends on where the test runs.
    out = std::regex_replace(out, std::regex("DNSserv +\\|"), "DNSserv |");
    return std::regex_replace(out, std::regex(server_address()), "SERVER");
}

std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream stream(text);
    for (std::string line; std::getline(stream, line);) {
        lines.push_back(line);
    }
    return lines;
}

// The report without its three header lines and the empty line after them.
std::string rows_of(const std::string& report) {
    std::size_t at = 0;
    for (int i = 0; i < 4 && at != std::string::npos; ++i) {
        at = report.find('\n', at);
        at = at == std::string::npos ? at : at + 1;
    }
    return at == std::string::npos ? "" : report.substr(at);
}

bool xml_is_well_formed(const std::string& document) {
    if (std::system("command -v xmllint >/dev/null 2>&1") != 0) {
        ADD_FAILURE() << "xmllint (package libxml2-utils) is needed to check the XML reports";
        return false;
    }
    const fs::path file = fs::temp_directory_path() / ("resq_e2e_xml_" + std::to_string(getpid()));
    std::ofstream(file) << document;
    const int status = std::system(("xmllint --noout " + file.string()).c_str());
    fs::remove(file);
    return status == 0;
}

TEST_F(resq_run, reports_an_a_lookup_as_a_padded_table) {
    const process_result run = resq({"-url", "www.demo.example"});
    EXPECT_EQ(run.exit_status, 0);
    EXPECT_EQ(run.err, "");
    const auto header = lines_of(run.out);
    ASSERT_GE(header.size(), 4u);
    EXPECT_EQ(header[0], "resq 0.49 - DNS lookup reporter");
    EXPECT_TRUE(header[1].starts_with("run started: ")) << header[1];
    EXPECT_EQ(header[2],
              "cmdline: " RESQ_BINARY " -url www.demo.example -server " + server_address());
    EXPECT_EQ(header[3], "");
    EXPECT_EQ(masked(rows_of(run.out)),
              "query                                    | comment   | status  | id   | DNSserv "
              "| date       |  time-UTC     | type | tname  | class | ttl    | size | data\n"
              "www.demo.example.                        | answer    | success | ID | SERVER | DATE "
              "|  TIME |    1 |      A |     1 |    300 |    4 | 192.0.2.10\n"
              "www.demo.example.                        | answer    | success | ID | SERVER | DATE "
              "|  TIME |    1 |      A |     1 |    300 |    4 | 192.0.2.11\n"
              "demo.example.                            | authority | success | ID | SERVER | DATE "
              "|  TIME |    2 |     NS |     1 |   3600 |    6 | ns1.demo.example.\n");
}

// One lookup or batch in -csv form, and fragments its report must hold (or, after "!", lack).
struct csv_case {
    const char* description;
    std::vector<std::string> arguments;
    std::string input;
    std::vector<std::string> fragments;
};

class resq_csv : public resq_run, public testing::WithParamInterface<csv_case> {};

TEST_P(resq_csv, report_holds_the_expected_rows) {
    const csv_case& c = GetParam();
    std::vector<std::string> arguments = c.arguments;
    arguments.push_back("-csv");
    const process_result run = resq(arguments, c.input);
    EXPECT_EQ(run.exit_status, 0);
    const std::string report = masked(run.out);
    // What must be absent is looked for after the column header, so "!\nquery" finds a second one.
    const std::string rows = report.substr(std::min(report.find("\nquery,"), report.size()) + 1);
    for (const std::string& fragment : c.fragments) {
        if (fragment.starts_with("!")) {
            EXPECT_EQ(rows.find(fragment.substr(1)), std::string::npos) << fragment << report;
        } else {
            EXPECT_NE(report.find(fragment), std::string::npos) << fragment << report;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    lookups, resq_csv,
    testing::Values(
        csv_case{"mx exchange compressed against the question",
                 {"-mx", "demo.example"},
                 "",
                 {"\ndemo.example.,answer,success,ID,SERVER,DATE, TIME,15,MX,1,3600,9,"
                  "10;mail.demo.example.\n"}},
        csv_case{"txt keeps the length bytes and adds an empty line",
                 {"-txt", "demo.example"},
                 "",
                 {",16,TXT,1,3600,20,\x0c"
                  "first string\x06second\n\n"}},
        csv_case{"reverse lookup asks the in-addr.arpa name",
                 {"-ip", "192.0.2.10"},
                 "",
                 {"\n10.2.0.192.in-addr.arpa.,answer,success,ID,SERVER,DATE, TIME,12,PTR,1,"}},
        csv_case{
            "unknown name: the question as invalid, the soa of the authority",
            {"-url", "nowhere.demo.example"},
            "",
            {"\nnowhere.demo.example.,question,invalid,", "\ndemo.example.,authority,success,"}},
        csv_case{"late reply taken on the second attempt",
                 {"-url", "b.flaky.test", "-retry", "2"},
                 "",
                 {"\nb.flaky.test,question,timeout,", "\nb.flaky.test.,answer,success,"}},
        csv_case{"reply with a wrong identifier ignored, next attempt made",
                 {"-url", "c.wrongid-then-ok.test", "-retry", "3"},
                 "",
                 {"\nc.wrongid-then-ok.test,question,timeout,",
                  "\nc.wrongid-then-ok.test.,answer,success,ID,SERVER,DATE, TIME,1,A,1,60,4,"
                  "192.0.2.1\n"}},
        csv_case{"reply without the response bit is unkresp",
                 {"-url", "d.noqr.test"},
                 "",
                 {"\nd.noqr.test,question,unkresp,"}},
        csv_case{"reply from another address is not the server's",
                 {"-url", "e.otheraddr-then-ok.test"},
                 "",
                 {",192.0.2.1\n", "!198.51.100.66"}},
        csv_case{"batch: every line, one header, spaces kept",
                 {"-mx_pipe"},
                 "demo.example\r\n\n  \nnowhere.test\n",
                 {"\ndemo.example.,answer,success,", "\n  .,question,invalid,",
                  "\nnowhere.test.,question,invalid,", "!\nquery,comment"}},
        csv_case{"pipe alone looks up addresses",
                 {"-pipe"},
                 "www.demo.example\n",
                 {"cmdline: <filelist> ... | ", ",1,A,1,300,4,192.0.2.10\n"}}),
    [](const testing::TestParamInfo<csv_case>& param_info) {
        std::string name = param_info.param.description;
        for (char& c : name) {
            c = std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
        }
        return name;
    });

TEST_F(resq_run, each_attempt_of_a_silent_server_is_a_timeout_row) {
    const process_result run =
        resq({"-url", "a.silent.test", "-csv", "-timeout", "0", "-retry", "2"});
    EXPECT_EQ(run.exit_status, 0);
    EXPECT_EQ(masked(rows_of(run.out)),
              "query,comment,status,id,DNSserv,date, time-UTC,type,tname,class,ttl,size,data\n"
              "a.silent.test,question,timeout,ID,SERVER,DATE, TIME,1,A,1,0,0,  <none>\n"
              "a.silent.test,question,timeout,ID,SERVER,DATE, TIME,1,A,1,0,0,  <none>\n"
              "a.silent.test,question,timeout,ID,SERVER,DATE, TIME,1,A,1,0,0,  <none>\n");
}

TEST_F(resq_run, reads_the_server_address_once_and_shows_it_as_typed) {
    // 127.1 for 127.0.0.1, 127.21 for 127.0.0.21: the short form inet_aton reads.
    const std::string typed = "127." + server_address().substr(server_address().rfind('.') + 1);
    const process_result short_form =
        resq({"-url", "www.demo.example", "-csv", "-server", typed}, "", false);
    EXPECT_EQ(short_form.exit_status, 0);
    EXPECT_NE(short_form.out.find("," + typed + ","), std::string::npos) << short_form.out;
    EXPECT_NE(short_form.out.find(",answer,success,"), std::string::npos) << short_form.out;
    // A broadcast address is read, but the socket may not send to it.
    if (std::getenv("RESQ_IN_NETNS") != nullptr) {
        const process_result broadcast =
            resq({"-url", "x.test", "-csv", "-server", "255.255.255.255"}, "", false);
        EXPECT_EQ(broadcast.exit_status, 0);
        EXPECT_NE(broadcast.out.find(",sock err,"), std::string::npos) << broadcast.out;
    }
    // Anything else stops the run before any lookup, with the header alone on standard output.
    const process_result refused = resq({"-url", "x.test", "-server", "localhost"}, "", false);
    EXPECT_EQ(refused.exit_status, 255);
    EXPECT_EQ(refused.err, "invalid DNS server address: localhost\n");
    EXPECT_EQ(lines_of(refused.out).size(), 4u);
    EXPECT_EQ(rows_of(refused.out), "");
}

TEST_F(resq_run, verbose_shows_the_packets_of_each_attempt) {
    const process_result answered = resq({"-url", "www.demo.example", "-verbose"});
    EXPECT_NE(answered.out.find("packet that was sent\n0000 0000:  "), std::string::npos);
    EXPECT_NE(answered.out.find("packet that was recv'd\n0000 0000:  "), std::string::npos);
    const process_result silent = resq({"-url", "f.silent.test", "-verbose", "-timeout", "0"});
    EXPECT_NE(silent.out.find("packet that was sent"), std::string::npos);
    EXPECT_EQ(silent.out.find("packet that was recv'd"), std::string::npos);
    const process_result xml = resq({"-url", "www.demo.example", "-verbose", "-xml"});
    EXPECT_EQ(xml.out.find("packet that was sent"), std::string::npos);
}

TEST_F(resq_run, xml_report_on_standard_output_is_a_well_formed_document) {
    const process_result run = resq({"-url", "www.demo.example", "-xml"});
    EXPECT_EQ(run.exit_status, 0);
    EXPECT_TRUE(run.out.starts_with("<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<!--\nresq 0.49"));
    EXPECT_NE(run.out.find(
                  "-->\n\n<logdata tool=\"resq 0.49 - DNS lookup reporter\" cmdline=\"" RESQ_BINARY
                  "\">\n<data_entry><query>www.demo.example.</query><status>success"),
              std::string::npos)
        << run.out;
    EXPECT_TRUE(run.out.ends_with("</data_entry>\n</logdata>\n"));
    EXPECT_TRUE(xml_is_well_formed(run.out));
}

TEST_F(resq_run, empty_batch_input_gives_the_bare_xml_frame) {
    const process_result run = resq({"-url_pipe", "-xml"}, "");
    EXPECT_EQ(run.exit_status, 0);
    EXPECT_TRUE(run.out.ends_with("\">\n</logdata>\n")) << run.out;
    EXPECT_TRUE(xml_is_well_formed(run.out));
}

TEST_F(resq_run, writes_the_report_to_a_results_file_readable_as_a_shell_redirection_would) {
    const fs::path file = temp_file("results.xml");
    const mode_t saved = umask(022);
    const process_result run = resq({"-url", "www.demo.example", "-xml", "-out", file.string()});
    umask(saved);
    EXPECT_EQ(run.exit_status, 0);
    EXPECT_EQ(run.out, "");
    std::stringstream content;
    content << std::ifstream(file).rdbuf();
    EXPECT_TRUE(xml_is_well_formed(content.str()));
    EXPECT_EQ(fs::status(file).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                  fs::perms::others_read);
    fs::remove(file);
}

TEST_F(resq_run, a_failing_run_leaves_an_earlier_report_alone_and_append_extends_it) {
    const fs::path file = temp_file("kept.txt");
    std::ofstream(file) << "earlier report\n";
    const process_result failed =
        resq({"-url", "www.demo.example", "-out", file.string()}, "", false);
    EXPECT_EQ(failed.exit_status, 255);
    const process_result appended =
        resq({"-url", "www.demo.example", "-out", file.string(), "-append", "-csv"});
    EXPECT_EQ(appended.exit_status, 0);
    std::stringstream content;
    content << std::ifstream(file).rdbuf();
    EXPECT_TRUE(content.str().starts_with("earlier report\nresq 0.49")) << content.str();
    fs::remove(file);
}

struct failure_case {
    const char* description;
    std::vector<std::string> arguments;
    int exit_status;
    const char* message;  // expected at the end of standard error
};

class resq_failure : public resq_run, public testing::WithParamInterface<failure_case> {};

TEST_P(resq_failure, ends_with_its_message_and_exit_status) {
    const failure_case& c = GetParam();
    const process_result run = resq(c.arguments, "", false);
    EXPECT_EQ(run.exit_status, c.exit_status);
    EXPECT_TRUE(run.err.ends_with(c.message)) << run.err;
}

INSTANTIATE_TEST_SUITE_P(
    statuses, resq_failure,
    testing::Values(
        failure_case{"no arguments", {}, 0, " > ./results.txt\n\n"},
        failure_case{"help", {"--HELP"}, 0, " > ./results.txt\n\n"},
        failure_case{"no server",
                     {"-url", "x.test"},
                     255,
                     "error: need to specify a DNS server to query using the format: -server "
                     "<ipv4 addr>\n"},
        failure_case{"two lookups",
                     {"-url", "x.test", "-mx", "y.test", "-server", "127.0.0.1"},
                     255,
                     "invalid combination of commands\n"},
        failure_case{"nothing to look up",
                     {"-url", "", "-server", "127.0.0.1"},
                     255,
                     " > ./results.txt\n\n"},
        failure_case{"refused option",
                     {"-sqlite", "x", "-url", "x.test", "-server", "127.0.0.1"},
                     255,
                     "This option is not offered in this build\n"},
        failure_case{"results file in a missing directory",
                     {"-out", "/nonexistent/dir/r.txt", "-url", "x", "-server", "127.0.0.1"},
                     255,
                     "prob opening file /nonexistent/dir/r.txt for output, aborting\n"},
        failure_case{"label too long",
                     {"-url", std::string(64, 'a') + ".test", "-server", "127.0.0.1"},
                     255,
                     "prob building dns packet... aborting\n"}),
    [](const testing::TestParamInfo<failure_case>& param_info) {
        std::string name = param_info.param.description;
        for (char& c : name) {
            c = std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
        }
        return name;
    });

}  // namespace
