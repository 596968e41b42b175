// The built resq against the scripted responder on loopback port 53, in a private network
// namespace (tests/tools/netns_run.sh): reports compared with golden files, statuses, messages.
#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <regex>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "tests/e2e/process.hpp"

extern char** environ;  // handed to the programs the tests start

namespace {

namespace fs = std::filesystem;
using namespace resq::testing_support;

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

    // resq with `arguments`, then the server unless `with_server` is false; output to `out_fd`.
    static process_result resq(std::vector<std::string> arguments, const std::string& input = "",
                               bool with_server = true, int out_fd = -1) {
        arguments.insert(arguments.begin(), RESQ_BINARY);
        if (with_server) {
            arguments.insert(arguments.end(), {"-server", server_address()});
        }
        return run_process(arguments, input, out_fd);
    }

    static fs::path temp_file(const std::string& name) {
        return fs::temp_directory_path() / ("resq_e2e_" + std::to_string(getpid()) + "_" + name);
    }
};

void replace_all(std::string& text, std::string_view from, std::string_view to) {
    for (std::size_t at = 0; (at = text.find(from, at)) != std::string::npos; at += to.size()) {
        text.replace(at, from.size(), to);
    }
}

// How often `word` occurs in `text`.
std::size_t count_text(const std::string& text, std::string_view word) {
    std::size_t n = 0;
    for (std::size_t at = text.find(word); at != std::string::npos; at = text.find(word, at + 1)) {
        ++n;
    }
    return n;
}

std::string file_text(const fs::path& file) {
    std::stringstream content;
    content << std::ifstream(file, std::ios::binary).rdbuf();
    return content.str();
}

// The report with what changes from run to run replaced by fixed text, in every form: the start
// line, the program's path, each row's packet id, date and time (the id, server, date and time
// columns follow one another with only separators or XML tags between them), and the id bytes
// opening each packet dump. Outside a private namespace the server is written as 127.0.0.1, its
// column one space narrower, so that the same golden files hold there.
std::string masked(std::string text) {
    replace_all(text, fs::path(RESQ_BINARY).parent_path().string(), "...");
    if (server_address() != "127.0.0.1") {
        replace_all(text, server_address(), "127.0.0.1");
        replace_all(text, "DNSserv   ", "DNSserv  ");
    }
    static const std::pair<std::regex, const char*> rules[] = {
        {std::regex("run started: .*"), "run started: (masked)"},
        {std::regex(R"(\b[0-9a-f]{1,4}\b((?:\W|</?\w+>)+127\.0\.0\.1\D+)\d{4}-\d\d-\d\d(\D+))"
                    R"(\d\d:\d\d:\d\d\.\d{3})"),
         "####$1yyyy-mm-dd$2hh:mm:ss.xxx"},
        {std::regex(R"((\n0000 0000:  )[0-9a-f]{2} [0-9a-f]{2}(.{45})..)"), "$1## ##$2##"},
    };
    for (const auto& [pattern, replacement] : rules) {
        text = std::regex_replace(text, pattern, replacement);
    }
    return text;
}

// The arguments of a table row, split at single spaces ("a  b" holds an empty one).
std::vector<std::string> words_of(const std::string& text) {
    std::vector<std::string> words;
    std::istringstream stream(text);
    for (std::string word; std::getline(stream, word, ' ');) {
        words.push_back(word);
    }
    return words;
}

// The description of a table row as a test name: letters and digits, anything else as "_".
template <typename Case>
std::string param_name(const testing::TestParamInfo<Case>& info) {
    std::string name = info.param.description;
    for (char& c : name) {
        c = std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
    }
    return name;
}

// One run of resq and the file under tests/e2e/golden/ that holds its masked report.
struct golden_case {
    const char* description;
    const char* arguments;  // separated by single spaces; the server is appended
    const char* input;
    const char* file;
};

// A names answered at once in most of the responder's ways, and the input rules: CR LF taken off,
// blank lines skipped, spaces kept.
constexpr const char* batch =
    "www.demo.example\nnowhere.demo.example\r\n\n  \nnowhere.test\na.malformed.test\nb.noqr.test\n"
    "c.short.test\nd.wrongid.test\ne.otheraddr-then-ok.test\n";
// The same over TCP, and replies the responder splits into pieces or bytes, or cuts short.
const std::string tcp_batch =
    std::string(batch) +
    "f.truncated.test\ng.tcp-split.test\nh.tcp-bytewise.test\ni.tcp-cut.test\n";
// A name with a CNAME record, and one with records of other types.
constexpr const char* names = "alias.demo.example\ndemo.example\n";

const golden_case golden_cases[] = {
    {"batch, padded table", "-pipe", batch, "batch.table.txt"},
    {"batch, comma-separated", "-pipe -csv", batch, "batch.csv.txt"},
    {"batch, tab-separated", "-pipe -csv_separator tab", batch, "batch.tab.txt"},
    {"batch, no whitespace", "-pipe -no_whitespace", batch, "batch.no_whitespace.txt"},
    {"batch, XML", "-pipe -xml", batch, "batch.xml.txt"},
    {"batch, packet dumps", "-pipe -verbose", batch, "batch.verbose.txt"},
    {"MX, padded table", "-mx_pipe", names, "mx.table.txt"},
    {"MX, comma-separated", "-mx_pipe -csv", names, "mx.csv.txt"},
    {"MX, XML, which shows no packet dumps", "-mx_pipe -xml -verbose", names, "mx.xml.txt"},
    {"CNAME, never a question row", "-cname_pipe", names, "cname.table.txt"},
    {"CNAME, XML", "-cname_pipe -xml", names, "cname.xml.txt"},
    {"NS with an additional record", "-ns demo.example", "", "ns.table.txt"},
    {"NS, XML", "-ns demo.example -xml", "", "ns.xml.txt"},
    {"TXT, followed by an empty line", "-txt demo.example", "", "txt.table.txt"},
    {"TXT, XML", "-txt demo.example -xml", "", "txt.xml.txt"},
    {"PTR of an address", "-ip 192.0.2.10", "", "ptr.table.txt"},
    {"PTR, XML", "-ip 192.0.2.10 -xml", "", "ptr.xml.txt"},
    {"PTR of an IPv6 address: its ip6.arpa question", "-ip 2001:db8::10 -csv", "", "ptr6.csv.txt"},
    {"NS with EDNS: the OPT record echoed", "-ns demo.example -edns 4096 -csv", "", "edns.csv.txt"},
    {"-type AAAA on a batch", "-pipe -type aaaa -csv", "www.demo.example\n", "type.csv.txt"},
    {"late reply, then a wrong id: every attempt a row", "-url_pipe -csv -retry 2",
     "b.flaky.test\nc.wrongid-then-ok.test\n", "retries.csv.txt"},
    {"silent server: timeout rows, only the sent packets",
     "-url a.silent.test -csv -verbose -timeout 0 -retry 2", "", "silent.csv.txt"},
    {"empty batch, bare XML frame", "-url_pipe -xml", "", "empty.xml.txt"},
    {"truncated UDP reply, then the answer over TCP, both dumped",
     "-url a.truncated.test -csv -verbose -tcp_fallback", "", "fallback.csv.txt"},
    {"no reply over TCP after the fallback: retried over TCP",
     "-url a.tcp-hangup.test -csv -tcp_fallback -retry 1", "", "fallback_retry.csv.txt"},
    {"batch with TCP fallback and a retry over TCP",
     "-pipe -csv -tcp_fallback -retry 1 -timeout 0.5",
     "a.truncated.test\nwww.demo.example\nc.tcp-hangup.test\n", "batch.fallback.csv.txt"},
    {"batch over TCP, which -tcp_fallback does not change", "-pipe -tcp -tcp_fallback -csv",
     tcp_batch.c_str(), "batch.tcp.csv.txt"},
};

class resq_golden : public resq_run, public testing::WithParamInterface<golden_case> {};

// Each report, masked (see masked()), must equal its golden file byte for byte. After a deliberate
// change of a report, rewrite the files from the current binary and review their diff:
//   RESQ_UPDATE_GOLDEN=1 ctest --test-dir build -R e2e && git diff tests/e2e/golden
TEST_P(resq_golden, report_matches_its_golden_file) {
    const golden_case& c = GetParam();
    const process_result run = resq(words_of(c.arguments), c.input);
    EXPECT_EQ(run.exit_status, 0);
    EXPECT_EQ(run.err, "");
    const fs::path file = fs::path(RESQ_GOLDEN_DIR) / c.file;
    if (std::getenv("RESQ_UPDATE_GOLDEN") != nullptr) {
        std::ofstream(file, std::ios::binary) << masked(run.out);
    }
    EXPECT_EQ(masked(run.out), file_text(file)) << c.description << ": " << file;
}

// A batch with many lookups in flight writes the same report, in input order, apart from the
// option on its command line. The responder's answers to the names of the retries case depend on
// how often each was asked before, so that case is left to the one-by-one run.
TEST_P(resq_golden, a_concurrent_batch_writes_the_same_report) {
    const golden_case& c = GetParam();
    const std::string arguments = c.arguments;
    if (arguments.find("pipe") == std::string::npos || c.file == std::string("retries.csv.txt")) {
        GTEST_SKIP() << "not a batch, or answers that depend on earlier runs";
    }
    const process_result run = resq(words_of(arguments + " -inflight 8"), c.input);
    EXPECT_EQ(run.exit_status, 0);
    EXPECT_EQ(run.err, "");
    std::string report = run.out;
    replace_all(report, " -inflight 8", "");
    EXPECT_EQ(masked(report), file_text(fs::path(RESQ_GOLDEN_DIR) / c.file)) << c.description;
}

INSTANTIATE_TEST_SUITE_P(reports, resq_golden, testing::ValuesIn(golden_cases),
                         param_name<golden_case>);

TEST_F(resq_run, writes_the_report_to_a_results_file_as_it_would_to_standard_output) {
    const fs::path file = temp_file("results.xml");
    const mode_t saved = umask(022);
    const process_result run = resq({"-ns", "demo.example", "-xml", "-out", file.string()});
    umask(saved);
    EXPECT_EQ(run.exit_status, 0);
    EXPECT_EQ(run.out, "");
    std::string report = file_text(file);
    replace_all(report, " -out " + file.string(), "");
    EXPECT_EQ(masked(report), masked(resq({"-ns", "demo.example", "-xml"}).out));
    EXPECT_EQ(fs::status(file).permissions() & fs::perms::all, static_cast<fs::perms>(0644));
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
    EXPECT_TRUE(file_text(file).starts_with("earlier report\nresq 0.49")) << file_text(file);
    fs::remove(file);
}

// Standard output that refuses the report, a full device or a pipe whose reader went away, ends
// the run with status 255 and a message, not with a signal (-1 here).
TEST_F(resq_run, a_report_that_standard_output_refuses_fails_with_its_message) {
    int closed_pipe[2];
    ASSERT_EQ(pipe2(closed_pipe, O_CLOEXEC), 0);
    close(closed_pipe[0]);
    const int full = open("/dev/full", O_WRONLY | O_CLOEXEC);
    for (const int out_fd : {full, closed_pipe[1]}) {
        const process_result run = resq({"-pipe"}, "www.demo.example\n", true, out_fd);
        EXPECT_EQ(run.exit_status, 255);
        EXPECT_TRUE(run.err.ends_with("prob writing results to standard output\n")) << run.err;
    }
    close(full);
    close(closed_pipe[1]);
}

// A name a server echoes with terminal codes in it (C0 controls, DEL, CSI as U+009B in UTF-8 and
// as a lone byte) reaches a terminal as text in every format; a pipe gets the bytes as they came.
TEST_F(resq_run, a_terminal_is_never_written_control_bytes_from_the_network) {
    const std::string input = "erase\x1b[2J\x7f\xc2\x9bm\x9bm.demo.example\n";
    const std::string escaped = "erase\\027[2J\\127\\194\\155m\\155m.demo.example";
    for (const char* format : {"-pipe", "-csv", "-xml", "-json"}) {
        const int terminal = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        ASSERT_TRUE(terminal >= 0 && grantpt(terminal) == 0 && unlockpt(terminal) == 0);
        const int screen = open(ptsname(terminal), O_RDWR | O_NOCTTY | O_CLOEXEC);
        resq({"-pipe", format}, input, true, screen);
        close(screen);
        const std::string shown = read_all(terminal);
        close(terminal);
        EXPECT_EQ(shown.find_first_of("\x1b\x7f\x9b"), std::string::npos) << format;
        std::string expected = escaped;
        if (format == std::string_view("-json")) {
            replace_all(expected, "\\", "\\\\");
        }
        EXPECT_NE(shown.find(expected), std::string::npos) << format << ": " << shown;
    }
    EXPECT_NE(resq({"-pipe"}, input).out.find("erase\x1b[2J\x7f\xc2\x9bm\x9bm.demo.example."),
              std::string::npos);
}

TEST_F(resq_run, reads_the_server_address_once_and_shows_it_as_typed) {
    // 127.1 for 127.0.0.1, 127.21 for 127.0.0.21: the short form inet_aton reads.
    const std::string typed = "127." + server_address().substr(server_address().rfind('.') + 1);
    const process_result short_form =
        resq({"-url", "www.demo.example", "-csv", "-server", typed}, "", false);
    EXPECT_EQ(short_form.exit_status, 0);
    EXPECT_NE(short_form.out.find(",answer,success,"), std::string::npos);
    EXPECT_NE(short_form.out.find("," + typed + ","), std::string::npos) << short_form.out;
    // A broadcast address is read, but the socket may not send to it.
    if (std::getenv("RESQ_IN_NETNS") != nullptr) {
        const process_result broadcast =
            resq({"-url", "x.test", "-csv", "-server", "255.255.255.255"}, "", false);
        EXPECT_EQ(broadcast.exit_status, 0);
        EXPECT_NE(broadcast.out.find(",sock err,"), std::string::npos) << broadcast.out;
    }
}

// A responder of its own on 127.0.0.31 and ::1, at port 53 or 5300; a case whose responder cannot
// bind there (no IPv6, or the address taken outside a private namespace) is passed over.
TEST_F(resq_run, asks_a_server_over_ipv6_or_another_port_and_shows_it_in_canonical_form) {
    // clang-format off
    const struct { const char *port, *server, *shown; } cases[] = {
        {"53", "::1", "::1"}, {"53", "[0::1]:53", "::1"}, {"5300", "[::1]:5300", "[::1]:5300"},
        {"5300", "127.31:5300", "127.0.0.31:5300"}};
    // clang-format on
    for (const auto& c : cases) {
        const background_process server(
            {RESQ_RESPONDER, "--address", "127.0.0.31", "--address6", "::1", "--port", c.port});
        if (server.ready()) {
            const std::string out =
                resq({"-url", "www.demo.example", "-csv", "-server", c.server}, "", false).out;
            EXPECT_NE(out.find(",answer,success,"), std::string::npos) << out;
            EXPECT_NE(out.find(std::string(",") + c.shown + ","), std::string::npos) << out;
        }
    }
}

// Runs with -json, read back by jq. Skipped without jq, except on CI (CI=true), where it fails.
class resq_jq : public resq_run {
  protected:
    void SetUp() override {
        resq_run::SetUp();
        if (!IsSkipped() && run_process({"/bin/sh", "-c", "command -v jq"}).exit_status != 0) {
            ASSERT_EQ(std::getenv("CI"), nullptr) << "jq is missing (package jq)";
            GTEST_SKIP() << "jq is missing (package jq)";
        }
    }

    // jq with `option` (-c or -r) and `filter` over `text`.
    static std::string jq(const std::string& text, const std::string& filter, const char* option) {
        const process_result run =
            run_process({"/bin/sh", "-c", "exec jq \"$0\" \"$1\"", option, filter}, text);
        EXPECT_EQ(run.exit_status, 0) << run.err;
        return run.out;
    }
};

// One run, a filter jq runs over every line, its compact output and the run's exit status.
// "SERVER" in the arguments stands for the responder's address.
struct json_case {
    const char* description;
    const char* arguments;
    const char* input;
    const char* filter;
    const char* expected;  // the responder's address written 127.0.0.1
    int exit_status = 0;
};

class resq_json : public resq_jq, public testing::WithParamInterface<json_case> {};

TEST_P(resq_json, every_attempt_is_one_line_that_jq_reads_field_by_field) {
    const json_case& c = GetParam();
    std::string arguments = c.arguments;
    replace_all(arguments, "SERVER", server_address());
    const process_result run = resq(words_of(arguments), c.input, false);
    EXPECT_EQ(run.exit_status, c.exit_status);
    std::string fields = jq(run.out, c.filter, "-c");
    replace_all(fields, server_address(), "127.0.0.1");
    EXPECT_EQ(fields, std::string(c.expected) + "\n") << c.description;
    EXPECT_EQ(std::ranges::count(run.out, '\n'), std::ranges::count(fields, '\n'));
}

const json_case json_cases[] = {
    {"an answer; -json wins over -xml and -csv",
     "-xml -url www.demo.example -json -csv -exit_status -server SERVER", "",
     "[.name,.qtype,.qtype_code,.qclass_code,.server,.port,.transport,.attempt,.line,.status,"
     ".error,.rcode,.flags,.opcode,(.answers|map(.address)),.authority[0].target,"
     "(.sent|test(\"^\\\\d{4}-\\\\d\\\\d-\\\\d\\\\dT[\\\\d:]{8}\\\\.\\\\d{6}Z$\")),"
     ".datetime==.sent,.received>=.sent,.rtt_ms>=0,.timestamp_desc,.message]",
     R"(["www.demo.example","A",1,1,"127.0.0.1",53,"udp",1,null,"success",null,"NOERROR",)"
     R"(["qr","aa","rd","ra"],0,["192.0.2.10","192.0.2.11"],"ns1.demo.example.",true,true,true,)"
     R"(true,"DNS query sent","A www.demo.example @127.0.0.1: NOERROR, 2 answers"])"},
    {"the packets, and the id as on the wire", "-url www.demo.example -json -v -server SERVER", "",
     "[(.query_hex[0:4]|explode|map(if .>96 then .-87 else .-48 end)|reduce .[] as $d (0;.*16+$d))"
     "==.id,.reply_hex[0:4]==.query_hex[0:4],.answers[0].rdata_hex]",
     R"([true,true,"c000020a"])"},
    {"MX", "-mx demo.example -json -server SERVER", "",
     ".answers[0]|[.name,.type,.type_code,.class_code,.ttl,.rdlength,.rdata_hex,.data,"
     ".preference,.exchange]",
     R"(["demo.example.","MX",15,1,3600,9,"000a046d61696cc00c","10 mail.demo.example.",10,)"
     R"("mail.demo.example."])"},
    {"TXT", "-txt demo.example -json -server SERVER", "", ".answers[0]|[.strings,.data]",
     R"([["first string","second"],"\"first string\" \"second\""])"},
    {"NXDOMAIN with its SOA", "-url nowhere.demo.example -json -server SERVER", "",
     ".authority[0]|[.type,.mname,.rname,.serial,.refresh,.retry,.expire,.minimum]",
     R"(["SOA","ns1.demo.example.","hostmaster.demo.example.",2024010101,7200,900,1209600,300])"},
    {"NXDOMAIN, NODATA, REFUSED, SERVFAIL and an RCODE extended by OPT told apart",
     "-url_pipe -json -server SERVER",
     "nowhere.demo.example\na.nodata.test\na.refused.test\na.servfail.test\na.badvers.test\n",
     "[.rcode,.rcode_code,.status,.error,(.answers|length),.authority[0].type,"
     "(.additional[0]|.type,.extended_rcode)]",
     "[\"NXDOMAIN\",3,\"invalid\",null,0,\"SOA\",null,null]\n"
     "[\"NOERROR\",0,\"invalid\",null,0,\"SOA\",null,null]\n"
     "[\"REFUSED\",5,\"invalid\",null,0,null,null,null]\n"
     "[\"SERVFAIL\",2,\"invalid\",null,0,null,null,null]\n"
     "[\"BADVERS\",16,\"invalid\",null,0,null,\"OPT\",1]"},
    {"TC set, then the answer over TCP", "-url a.truncated.test -json -tcp_fallback -server SERVER",
     "", "[.transport,.attempt,.status,.flags,.message]",
     R"(["udp",1,"invalid",["qr","tc","rd","ra"],"A a.truncated.test @127.0.0.1: NOERROR, )"
     R"(0 answers, truncated"])"
     "\n"
     R"(["tcp",2,"success",["qr","rd","ra"],"A a.truncated.test @127.0.0.1: NOERROR, 1 answer"])"},
    {"hostile bytes as \\DDD and a backslash doubled", "-txt_pipe -json -server SERVER",
     "q\"\\\x01\xc3\xa9\xff.hostile.test\n", "[.name,.answers[0].name,.answers[0].strings]",
     R"(["q\"\\\\\\001é\\255.hostile.test","q\"\\\\\\001é\\255.hostile.test.",)"
     R"(["say \"hi\" \\\\","\\000\\001\\009\\027\\127","\\255\\195xé\\237\\160\\128"]])"},
    {"a batch: a line per attempt, whatever its status; some lookups got no reply",
     "-url_pipe -json -retry 1 -timeout 0.3 -exit_status -server SERVER",
     "www.demo.example\na.silent.test\nb.flaky.test\nc.noqr.test\n\nd.wrongid-then-ok.test\n",
     "[.line,.attempt,.status,.error]",
     "[1,1,\"success\",null]\n[2,1,\"timeout\",\"timed out\"]\n[2,2,\"timeout\",\"timed out\"]\n"
     "[3,1,\"timeout\",\"timed out\"]\n[3,2,\"timeout\",\"timed out\"]\n"
     "[4,1,\"unkresp\",\"not a response\"]\n[4,2,\"unkresp\",\"not a response\"]\n"
     "[6,1,\"timeout\",\"timed out\"]\n[6,2,\"success\",null]",
     1},
    {"header bits and class as the query set them, echoed by the server",
     "-url a.echo.test -class ch -norecurse -adflag -cd -json -server SERVER", "",
     "[.qclass_code,.flags,.questions[0].class_code,.additional]", R"([3,["qr","ad","cd"],3,[]])"},
    {"NSID, client subnet and DO imply an OPT record; its options decoded",
     "-url a.echo.test -nsid -subnet 192.0.2.130/25 -dnssec -json -server SERVER", "",
     ".additional[0]|[.udp_size,.dnssec_ok,.data,.options]",
     R"([1232,true,"udp=1232 ercode=0 version=0 flags=do; NSID; ECS: 192.0.2.128/25/0",)"
     R"([{"code":3,"data_hex":"","name":"NSID","nsid_hex":"","nsid_text":""},)"
     R"({"code":8,"data_hex":"00011900c0000280","name":"ECS","family":1,"source_prefix":25,)"
     R"("scope_prefix":0,"address":"192.0.2.128"}]])"},
    {"a client subnet of ipv6 cut to its default prefix",
     "-url_pipe -json -subnet 2001:db8:1:2:3::1 -server SERVER", "a.echo.test\n",
     ".additional[0].data", R"("udp=1232 ercode=0 version=0; ECS: 2001:db8:1::/56/0")"},
    {"a client subnet opting out", "-url a.echo.test -subnet 0/0 -json -server SERVER", "",
     ".additional[0].options[0].data_hex", R"("00010000")"},
    {"the server cookie learned is sent in later queries, the client cookie kept",
     "-url_pipe -cookie -json -v -server SERVER", "a.echo.test\nb.echo.test\n",
     "[(.additional[0].options[0]|(.client_cookie|length),.server_cookie),"
     "(.query_hex|test(\"000a0010[0-9a-f]{16}5e5e5e5e5e5e5e5e$\"))]",
     "[16,\"5e5e5e5e5e5e5e5e\",false]\n[16,\"5e5e5e5e5e5e5e5e\",true]"},
    {"no lookup got a reply", "-url a.silent.test -timeout 0 -json -exit_status -server SERVER", "",
     "[.status,.error,.rcode]", R"(["timeout","timed out",null])", 2},
    {"no listener over TCP", "-url x.test -tcp -json -exit_status -server SERVER:1", "",
     "[.port,.status,.error,.message]",
     R"([1,"sock err","connection refused","A x.test @127.0.0.1: connection refused"])", 2},
    {"dig-style: name, @server and type", "www.demo.example @SERVER aaaa -json", "",
     "[.name,.qtype,.server,.answers[0].address]",
     R"(["www.demo.example","AAAA","127.0.0.1","2001:db8::10"])"},
    {"-edns before @server takes no size from it", "demo.example -edns @SERVER MX -json", "",
     "[.qtype,.additional[-1].type,.answers[0].exchange]", R"(["MX","OPT","mail.demo.example."])"},
    {"typed lines mix types; a PTR line is asked as it stands; an unknown type or a third word "
     "is skipped",
     "-f - -typed_lines -json -server SERVER",
     "www.demo.example \t AAAA\ndemo.example MX\n10.2.0.192.in-addr.arpa PTR\n"
     "www.demo.example BOGUS\nwww.demo.example A 3600\nwww.demo.example\n",
     "[.line,.qtype,(.answers|map(.data))]",
     "[1,\"AAAA\",[\"2001:db8::10\"]]\n[2,\"MX\",[\"10 mail.demo.example.\"]]\n"
     "[3,\"PTR\",[\"www.demo.example.\"]]\n[6,\"A\",[\"192.0.2.10\",\"192.0.2.11\"]]"},
    {"-idn: the A-label on the wire, the name as typed beside it",
     "-url_pipe -idn -json -server SERVER",
     "b\xc3\xbc"
     "cher.demo.example\nwww.demo.example\n",
     "[.line,.name,.name_ascii,.questions[0].name,.rcode]",
     R"([1,"bücher.demo.example","xn--bcher-kva.demo.example","xn--bcher-kva.demo.example.",)"
     R"("NXDOMAIN"])"
     "\n"
     R"([2,"www.demo.example","www.demo.example","www.demo.example.","NOERROR"])"},
};

INSTANTIATE_TEST_SUITE_P(reports, resq_json, testing::ValuesIn(json_cases), param_name<json_case>);

// Three runs of -shard K/3 over one file take every line once: their reports merge by line.
TEST_F(resq_jq, shards_of_a_file_take_every_line_once) {
    const fs::path file = temp_file("shard.txt");
    std::ofstream(file) << "www.demo.example\n\nalias.demo.example\ndemo.example\n"
                           "nowhere.demo.example\nwww.demo.example\nx.demo.example\n";
    std::string merged;
    for (const char* shard : {"1/3", "2/3", "3/3"}) {
        merged += resq({"-f", file, "-shard", shard, "-json"}).out;
    }
    fs::remove(file);
    EXPECT_EQ(jq(merged, "[.line]|add", "-c"), "1\n4\n7\n5\n3\n6\n");
}

TEST_F(resq_jq, hostile_names_and_strings_read_back_byte_for_byte) {
    const std::string name = "q\"\\\x01\xc3\xa9\xff.hostile.test";
    const process_result run =
        resq({"-txt_pipe", "-json", "-server", server_address()}, name + "\n", false);
    std::istringstream lines(jq(run.out, ".name, .answers[0].strings[]", "-r"));
    std::vector<std::string> decoded;
    for (std::string line; std::getline(lines, line);) {
        std::string bytes;  // RFC 1035 5.1: "\DDD" is the byte of that value, "\X" is X
        for (std::size_t i = 0; i < line.size(); ++i) {
            if (line[i] == '\\' && std::isdigit(static_cast<unsigned char>(line[i + 1]))) {
                bytes += static_cast<char>(std::stoi(line.substr(i + 1, 3)));
                i += 3;
                continue;
            }
            i += line[i] == '\\' ? 1u : 0u;
            bytes += line[i];
        }
        decoded.push_back(bytes);
    }
    const std::vector<std::string> sent = {name, "say \"hi\" \\", std::string("\0\1\t\x1b\x7f", 5),
                                           "\xff\xc3x\xc3\xa9\xed\xa0\x80"};
    EXPECT_EQ(decoded, sent);
}

// tcpdump's text for a pcap file, "" when tcpdump is not installed. tcpdump gives up root before
// reading, which a private namespace's root cannot do: there it runs as an ordinary user of a
// namespace of its own.
std::string tcpdump_text(const fs::path& file, const std::vector<std::string>& options) {
    std::string tcpdump;
    for (const char* path : {"/usr/bin/tcpdump", "/usr/sbin/tcpdump"}) {
        tcpdump = access(path, X_OK) == 0 ? path : tcpdump;
    }
    if (tcpdump.empty()) {
        return "";
    }
    std::vector<std::string> reader = {tcpdump, "-r", file.string()};
    reader.insert(reader.end(), options.begin(), options.end());
    if (std::getenv("RESQ_IN_NETNS") != nullptr) {
        reader.insert(reader.begin(),
                      {"/usr/bin/unshare", "--user", "--map-user=65534", "--map-group=65534"});
    }
    return run_process(reader).out;
}

// tcpdump reads the evidence file back: the query and the reply of each lookup, over UDP or TCP,
// as DNS with the same identifier and name, and with no checksum it finds wrong.
TEST_F(resq_run, writes_every_message_to_a_pcap_file_that_tcpdump_decodes) {
    const fs::path file = temp_file("evidence.pcap");
    for (const char* transport : {"-csv", "-tcp"}) {
        const process_result run =
            resq({"-url", "www.demo.example", transport, "-pcap", file.string()});
        EXPECT_EQ(run.exit_status, 0) << run.err;
        const std::string shown = tcpdump_text(file, {"-n", "-vv"});
        if (shown.empty()) {
            GTEST_SKIP() << "tcpdump is not installed";
        }
        const std::regex message(R"( (\d+)[*+]?-? (?:q: )?A\? www\.demo\.example\. )");
        std::vector<std::string> ids;
        for (auto it = std::sregex_iterator(shown.begin(), shown.end(), message);
             it != std::sregex_iterator(); ++it) {
            ids.push_back((*it)[1]);
        }
        ASSERT_EQ(ids.size(), 2U) << transport << '\n' << shown;
        EXPECT_EQ(ids[0], ids[1]) << shown;
        EXPECT_EQ(shown.find("bad"), std::string::npos) << shown;
        EXPECT_EQ(shown.find("incorrect"), std::string::npos) << shown;
    }
    fs::remove(file);
}

// The evidence holds every message the sockets received: the forgery the reply check passed over
// (another identifier) before the real reply, and a TCP reply of 65,533 bytes whose frame does
// not fit one IP packet, as two segments with their own IP lengths, sequence numbers following
// on, and checksums that tcpdump finds correct.
TEST_F(resq_run, the_evidence_holds_passed_over_forgeries_and_replies_too_big_for_one_packet) {
    const fs::path file = temp_file("hostile.pcap");
    const process_result run =
        resq({"-pipe", "-csv", "-tcp_fallback", "-timeout", "2", "-pcap", file.string()},
             "a.wrongid-first.test\na.huge.test\n");
    EXPECT_EQ(std::tie(run.exit_status, run.err), std::tuple(0, ""));
    const std::string shown = tcpdump_text(file, {"-n", "-S", "-vv"});
    if (shown.empty()) {
        GTEST_SKIP() << "tcpdump is not installed";
    }
    const std::size_t forged = shown.find("a.wrongid-first.test. A 198.51.100.66");
    const std::size_t real = shown.find("a.wrongid-first.test. A 192.0.2.1");
    EXPECT_LT(forged, real) << shown;
    EXPECT_NE(real, std::string::npos) << shown;
    // The query over TCP is 31 bytes with its length: the reply's segments acknowledge byte 32.
    for (const char* segment :
         {"proto TCP (6), length 65535)", "(correct), seq 1:65496, ack 32, win 65535, length 65495",
          "proto TCP (6), length 80)",
          "(correct), seq 65496:65536, ack 32, win 65535, length 40"}) {
        EXPECT_NE(shown.find(segment), std::string::npos) << segment << '\n' << shown;
    }
    EXPECT_EQ(shown.find("bad"), std::string::npos) << shown;
    EXPECT_EQ(shown.find("incorrect"), std::string::npos) << shown;
    fs::remove(file);
}

// The root is asked as "." like any name (JSON names it so; the table and CSV show it as the
// decoder shows the root: empty), while a name with an empty label is no name and is skipped.
TEST_F(resq_run, asks_the_root_and_skips_names_with_an_empty_label) {
    const std::string input = ".\nwww..demo.example\n.demo.example\n";
    const process_result json = resq({"-ns_pipe", "-json"}, input);
    EXPECT_EQ(json.exit_status, 0);
    EXPECT_EQ(count_text(json.out, "\n"), 1u) << json.out;
    EXPECT_TRUE(json.out.starts_with(R"({"name":".","qtype":"NS",)")) << json.out;
    EXPECT_EQ(json.err,
              "skipping line 2, prob building dns packet for: www..demo.example\n"
              "skipping line 3, prob building dns packet for: .demo.example\n");
    const process_result csv = resq({"-ns", ".", "-csv"});
    EXPECT_EQ(csv.exit_status, 0);
    EXPECT_NE(csv.out.find("\n,question,invalid,"), std::string::npos) << csv.out;
}

// An evidence file that stops taking writes part-way (its reader gone after the file header)
// ends the run with a message and status 255, not as a complete capture.
TEST_F(resq_run, an_evidence_file_that_fails_part_way_fails_the_run) {
    const fs::path fifo = temp_file("evidence.fifo");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const background_process reader(
        {"/bin/sh", "-c", "echo ready; head -c 24 \"$0\" >/dev/null", fifo.string()});
    const process_result run =
        resq({"-url", "a.silent.test", "-timeout", "0.3", "-pcap", fifo.string()});
    EXPECT_EQ(run.exit_status, 255);
    EXPECT_TRUE(run.err.ends_with("prob writing pcap file: " + fifo.string() + "\n")) << run.err;
    fs::remove(fifo);
}

// On a terminal a batch redraws its progress line (names, timeouts, share of the input file
// done) and ends with its summary; a file gets neither unless asked for.
TEST_F(resq_run, shows_progress_and_a_summary_on_a_terminal_only) {
    const int terminal = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_TRUE(terminal >= 0 && grantpt(terminal) == 0 && unlockpt(terminal) == 0);
    const int screen = open(ptsname(terminal), O_RDWR | O_NOCTTY | O_CLOEXEC);
    const std::vector<std::string> arguments = {RESQ_BINARY, "-pipe",   "-timeout",
                                                "0.15",      "-server", server_address()};
    const std::string input = "www.demo.example\nsilent.test\nsilent.test\n\nwww.demo.example\n";
    const int null = open("/dev/null", O_WRONLY | O_CLOEXEC);
    run_process(arguments, input, null, screen);
    close(null);
    close(screen);
    const std::string shown = read_all(terminal);
    close(terminal);
    EXPECT_TRUE(std::regex_search(shown, std::regex(R"(\r[1-3] names, [0-9.]+/s, [0-2] timeouts, )"
                                                    R"(0:00, [0-9]+% done, 0:00 left)")))
        << shown;
    EXPECT_NE(shown.find("lines read: 5\r\nlines skipped: 1 (1 blank, 0 filtered"),
              std::string::npos)
        << shown;
    const process_result to_file = run_process(arguments, input);
    EXPECT_EQ(to_file.err, "");
    std::vector<std::string> asked = arguments;
    asked.insert(asked.end(), {"-progress", "-summary"});
    const std::string forced = run_process(asked, input).err;
    EXPECT_NE(forced.find(" timeouts, "), std::string::npos) << forced;
    EXPECT_NE(forced.find("lines read: 5\n"), std::string::npos) << forced;
    asked.back() = "-quiet";
    EXPECT_EQ(run_process(asked, input).err, "");
}

// -rate spreads the queries over each second, one by one or many in flight: eleven queries at
// 20 a second take half a second at least. The delay between a lookup's attempts is kept.
TEST_F(resq_run, a_rate_limit_spreads_the_queries) {
    std::string input;
    for (int i = 0; i < 11; ++i) {
        input += "r" + std::to_string(i) + ".demo.example\n";
    }
    for (const char* inflight : {"1", "8"}) {
        const auto start = std::chrono::steady_clock::now();
        const process_result run = resq({"-pipe", "-rate", "20", "-inflight", inflight}, input);
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
        EXPECT_EQ(run.exit_status, 0);
        EXPECT_GE(took.count(), 0.5) << "-inflight " << inflight;
    }
    // Many in flight, a lookup still waits out the delay between its own attempts: three
    // attempts of 0.1 s with 0.3 s between them.
    const auto start = std::chrono::steady_clock::now();
    const process_result retried =
        resq({"-url_pipe", "-inflight", "8", "-retry", "2", "-timeout", "0.1", "-delay", "0.3"},
             "a.silent.test\n");
    EXPECT_EQ(std::count(retried.out.begin(), retried.out.end(), '\n'), 5 + 3);
    EXPECT_GE(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), 0.9);
}

// An input whose writer pauses does not hold back the rows of what it already gave: the first
// answer is written while the input is still open.
TEST_F(resq_run, a_pausing_input_does_not_hold_back_the_rows) {
    const process_result run = run_process(
        {"/bin/sh", "-c",
         "{ echo www.demo.example; sleep 3; } | \"$0\" \"$@\" | timeout 2 head -n 6 | tail -n 1",
         RESQ_BINARY, "-pipe", "-csv", "-inflight", "4", "-server", server_address()});
    EXPECT_TRUE(run.out.starts_with("www.demo.example.,answer,success,")) << run.out;
}

// Fewer descriptors than -inflight asks for: the run says so once, keeps what fits and still
// reports every name.
TEST_F(resq_run, a_low_limit_on_open_files_lowers_the_lookups_in_flight) {
    std::string input;
    for (int i = 0; i < 100; ++i) {
        input += "n" + std::to_string(i) + ".demo.example\n";
    }
    const process_result run =
        run_process({"/bin/sh", "-c", "ulimit -n 48 && exec \"$0\" \"$@\"", RESQ_BINARY, "-pipe",
                     "-csv", "-inflight", "1000", "-server", server_address()},
                    input);
    EXPECT_EQ(run.exit_status, 0);
    EXPECT_EQ(run.err, "lowering -inflight to 16: the limit on open files is 48\n");
    for (int i = 0; i < 100; ++i) {
        EXPECT_NE(run.out.find("\nn" + std::to_string(i) + ".demo.example.,question,"),
                  std::string::npos);
    }
    // No descriptor left for the event loop itself: a message and the failed run's status.
    const process_result none =
        run_process({"/bin/sh", "-c", "ulimit -n 3 && exec \"$0\" \"$@\"", RESQ_BINARY, "-pipe",
                     "-inflight", "4", "-server", server_address()},
                    input);
    // A dynamically linked build (the sanitizers') cannot even load its libraries so.
    if (none.err.find("error while loading shared libraries") == std::string::npos) {
        EXPECT_EQ(none.exit_status, 255);
        EXPECT_TRUE(none.err.ends_with("prob starting lookups: Too many open files\n")) << none.err;
    }
}

// SIGTERM or SIGINT part-way: nothing more is sent, the lookups in flight are left out (and
// counted on standard error) rather than waited for, and the report holds every lookup that ended,
// closed whole (the XML end element, whole JSON lines), with status 128 + the signal.
TEST_F(resq_run, a_stop_signal_ends_the_run_with_a_whole_report) {
    const fs::path name_list = temp_file("late_name_list");
    {
        std::ofstream list(name_list);
        list << "www.demo.example\nwww.demo.example\n";  // answered at once
        for (int i = 0; i < 40; ++i) {
            list << "s" << i << ".late.test\n";  // each answered after 1.5 seconds
        }
    }
    const struct {
        const char* format;
        const char* inflight;
        int signal;
        std::size_t lines;  // the report's lines: its frame, and the rows of the two answers
        const char* message;
    } cases[] = {
        {"-xml", "4", SIGTERM, 9 + 6, "stopped: 4 lookups in flight left out\n"},
        {"-json", "4", SIGINT, 2, "stopped: 4 lookups in flight left out\n"},
        {"-xml", "1", SIGTERM, 9 + 6, "stopped: 1 lookups in flight left out\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.format) + " -inflight " + c.inflight);
        const fs::path file = temp_file("stopped");
        const fs::path errors = temp_file("stopped_errors");
        const std::string server = server_address();
        const char* const argv[] = {RESQ_BINARY,    "-pipe", c.format, "-inflight",  c.inflight,
                                    "-timeout",     "9",     "-out",   file.c_str(), "-server",
                                    server.c_str(), nullptr};
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, name_list.c_str(), O_RDONLY, 0);
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errors.c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0600);
        pid_t pid = -1;
        ASSERT_EQ(
            posix_spawn(&pid, RESQ_BINARY, &actions, nullptr, const_cast<char**>(argv), environ),
            0);
        posix_spawn_file_actions_destroy(&actions);
        usleep(500 * 1000);
        kill(pid, c.signal);
        int status = 0;
        waitpid(pid, &status, 0);
        EXPECT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), 128 + c.signal);
        const std::string report = file_text(file);
        fs::remove(file);
        EXPECT_EQ(file_text(errors), c.message);
        fs::remove(errors);
        EXPECT_EQ(static_cast<std::size_t>(std::count(report.begin(), report.end(), '\n')), c.lines)
            << report;
        EXPECT_EQ(report.find("late.test"), std::string::npos) << report;
        // Closed whole: the XML end element, or a JSON object on every line.
        const bool xml = c.format == std::string("-xml");
        EXPECT_TRUE(xml ? report.ends_with("</logdata>\n")
                        : report.starts_with("{\"") && report.ends_with("}\n") &&
                              report.find("\n{\"", 0) != std::string::npos);
    }
    fs::remove(name_list);
}

// A stop signal also ends a run that waits: for the rest of a line its input writer has not
// finished (the rows of the lookups before it are written meanwhile), or for the reader of a FIFO
// given to -out or -pcap. The report, where there is one, is closed whole.
TEST_F(resq_run, a_stop_signal_ends_a_run_that_waits_for_input_or_for_a_fifo) {
    int input[2];
    ASSERT_EQ(::pipe2(input, O_CLOEXEC), 0);
    const fs::path file = temp_file("waiting.xml");
    const fs::path fifo = temp_file("fifo");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const std::string server = server_address();
    const struct {
        std::vector<std::string> arguments;
        int signal;
    } cases[] = {
        {{"-pipe", "-xml", "-out", file}, SIGTERM},
        {{"-url", "www.demo.example", "-out", fifo}, SIGINT},
        {{"-url", "www.demo.example", "-pcap", fifo}, SIGTERM},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.arguments.back());
        std::vector<const char*> argv = {RESQ_BINARY};
        for (const std::string& argument : c.arguments) {
            argv.push_back(argument.c_str());
        }
        argv.insert(argv.end(), {"-server", server.c_str(), nullptr});
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, input[0], STDIN_FILENO);
        pid_t pid = -1;
        ASSERT_EQ(posix_spawn(&pid, RESQ_BINARY, &actions, nullptr, const_cast<char**>(argv.data()),
                              environ),
                  0);
        posix_spawn_file_actions_destroy(&actions);
        const std::string lines = "www.demo.example\nwww.dem";  // and the writer pauses
        ASSERT_EQ(::write(input[1], lines.data(), lines.size()),
                  static_cast<ssize_t>(lines.size()));
        usleep(400 * 1000);
        const std::string before_stop = file_text(file);
        kill(pid, c.signal);
        int status = 0;
        waitpid(pid, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 128 + c.signal) << status;
        if (c.arguments.front() == "-pipe") {
            EXPECT_NE(before_stop.find("<query>www.demo.example.</query>"), std::string::npos)
                << before_stop;
            EXPECT_TRUE(file_text(file).ends_with("</logdata>\n"));
        }
        // What the pipe still holds is left for the next run.
        char rest[64];
        static_cast<void>(::fcntl(input[0], F_SETFL, O_NONBLOCK));
        while (::read(input[0], rest, sizeof rest) > 0) {
        }
        static_cast<void>(::fcntl(input[0], F_SETFL, 0));
    }
    ::close(input[0]);
    ::close(input[1]);
    fs::remove(file);
    fs::remove(fifo);
}

// A list of a server nothing listens on (127.0.0.3) and the responder: the lookups take them in
// turn, each retry the other, until the dead one has failed five times and rests; every name is
// answered.
TEST_F(resq_run, a_dead_server_of_a_list_rests_and_every_name_is_still_answered) {
    const fs::path list = temp_file("servers.txt");
    std::ofstream(list) << "# dead first\n127.0.0.3  dns.example\n\n"
                        << server_address() << ":53\n";
    std::string twelve;
    for (int name = 0; name < 12; ++name) {
        twelve += "www.demo.example\n";
    }
    const process_result run =
        resq({"-pipe", "-json", "-servers", list.string(), "-retry", "1", "-timeout", "0.2"},
             twelve, false);
    fs::remove(list);
    EXPECT_EQ(run.exit_status, 0);
    EXPECT_EQ(run.err, "server 127.0.0.3 failed 5 attempts in a row: resting 30 s\n");
    std::string asked;
    const std::regex server(R"re("server":"127\.0\.0\.(\d+)")re");
    for (std::sregex_iterator at(run.out.begin(), run.out.end(), server), end; at != end; ++at) {
        asked += (*at)[1].str() == "3" ? 'D' : 'L';
    }
    EXPECT_EQ(asked,
              "DLL"
              "DLL"
              "DLL"
              "DLL"
              "DLL"
              "L"
              "L");
    EXPECT_EQ(count_text(run.out, R"("status":"success")"), 12u);
}

// The test's own socket takes the query and sees where it came from; an address of no interface
// leaves every query unsent.
TEST_F(resq_run, queries_leave_from_the_source_address) {
    const int socket = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    ASSERT_EQ(::bind(socket, reinterpret_cast<sockaddr*>(&address), size), 0);
    ::getsockname(socket, reinterpret_cast<sockaddr*>(&address), &size);
    const std::string server = "127.0.0.1:" + std::to_string(ntohs(address.sin_port));
    resq({"-url", "x.test", "-timeout", "0", "-server", server, "-source", "127.0.0.2"}, "", false);
    char datagram[512];
    ASSERT_GT(::recvfrom(socket, datagram, sizeof datagram, MSG_DONTWAIT,
                         reinterpret_cast<sockaddr*>(&address), &size),
              0);
    ::close(socket);
    EXPECT_EQ(std::string(inet_ntoa(address.sin_addr)), "127.0.0.2");
    const process_result unbound =
        resq({"-url", "x.test", "-csv", "-server", server, "-source", "192.0.2.1"}, "", false);
    EXPECT_NE(unbound.out.find(",question,sock err,"), std::string::npos) << unbound.out;
    EXPECT_EQ(unbound.err, "cannot send from source address 192.0.2.1 to server " + server +
                               ": not an address of this host, or in use\n");
}

// Forged answers 6.6.6.6 reach the port of the lookup before the victim's, under every id a
// client of old wrote and 256 more: each attempt's fresh port and random id leave them unread,
// and the victim gets the server's own 192.0.2.99, however the batch runs.
TEST_F(resq_run, forged_replies_for_the_next_lookup_are_never_taken) {
    for (const auto& extra :
         std::vector<std::vector<std::string>>{{}, {"-delay", "1"}, {"-inflight", "2"}}) {
        std::vector<std::string> arguments = {"-url_pipe", "-json", "-timeout", "2"};
        arguments.insert(arguments.end(), extra.begin(), extra.end());
        const process_result run = resq(arguments, "a.forge-next.test\nvictim.forge-next.test\n");
        EXPECT_EQ(run.exit_status, 0);
        EXPECT_EQ(count_text(run.out, "\n"), 2u) << run.out;
        EXPECT_EQ(count_text(run.out, R"("status":"success")"), 2u) << run.out;
        EXPECT_EQ(count_text(run.out, R"("address":"192.0.2.99")"), 1u) << run.out;
        EXPECT_EQ(run.out.find("6.6.6.6"), std::string::npos) << run.out;
    }
}

// One attempt, one JSON line, holding what the server's real reply said: what came before it and
// was no reply is discarded and counted; a name that expands past 255 octets stops the decoding;
// nothing is spelt out past the reply's size (4,092 answers make about 800 KB of JSON).
TEST_F(resq_run, a_hostile_reply_is_one_attempt_with_the_real_reply) {
    const struct {
        std::vector<std::string> arguments;
        std::vector<std::string> members;  // each in the run's one JSON line
    } cases[] = {
        {{"-url", "a.qdzero.test", "-timeout", "2"},  // an answer without question first
         {R"("status":"success")", R"("discarded":1,)", R"("address":"192.0.2.1")"}},
        {{"-url", "a.runt.test", "-timeout", "2"},  // 1, 3 and 11 bytes first
         {R"("status":"success")", R"("discarded":3,)", R"("address":"192.0.2.1")"}},
        {{"-url", "a.formerr-bare.test"}, {R"("rcode":"FORMERR")"}},
        {{"-url", "a.formerr-bare.test", "-edns", "1232"}, {R"("rcode":"FORMERR")"}},
        {{"-url", "a.pointer-bomb.test"}, {R"("error":"malformed reply")"}},
        {{"-url", "a.pointer-bomb.test", "-tcp"}, {R"("error":"malformed reply")"}},
        {{"-url", "a.big.test"}, {R"(NOERROR, 4092 answers")"}},
        {{"-url", "a.big.test", "-tcp"}, {R"(NOERROR, 4092 answers")"}},
        {{"-url", "a.tcp-other-first.test", "-tcp", "-timeout", "2"},
         {R"("status":"success")", R"("discarded":1,)", R"("address":"192.0.2.1")"}},
    };
    for (const auto& c : cases) {
        std::vector<std::string> arguments = c.arguments;
        arguments.push_back("-json");
        SCOPED_TRACE(::testing::PrintToString(arguments));
        const process_result run = resq(arguments);
        EXPECT_EQ(std::tie(run.exit_status, run.err), std::tuple(0, ""));
        EXPECT_EQ(count_text(run.out, "\n"), 1u);
        for (const std::string& member : c.members) {
            EXPECT_NE(run.out.find(member), std::string::npos) << member;
        }
        EXPECT_NE(run.out.find(R"("attempt":1,)"), std::string::npos);
        EXPECT_EQ(run.out.find("6.6.6.6"), std::string::npos);
        EXPECT_EQ(run.out.find("timed out"), std::string::npos);
        EXPECT_LT(run.out.size(), 1000000u);
    }
}

// The responder as a relay on an address of its own, answering any name under synth.test: some
// names lose their first query, some get it answered after the client gave up, some every reply
// twice, always the same names (by a hash of the name), counted afresh in each relay.
class resq_relay : public resq_run {
  protected:
    // Clear of the scripted responder's addresses and of the one after each, where its
    // misdirected replies leave from.
    static std::string relay_address() { return "127.0.0.33"; }

    // A batch against a fresh relay that takes `shares`.
    static process_result batch(const std::vector<std::string>& shares,
                                std::vector<std::string> arguments, const std::string& input) {
        std::vector<std::string> relay = {RESQ_RESPONDER, "--address", relay_address(),
                                          "--synthetic", "synth.test"};
        relay.insert(relay.end(), shares.begin(), shares.end());
        const background_process server(relay);
        if (!server.ready()) {
            ADD_FAILURE() << "the relay could not bind port 53 on " << relay_address();
            return {};
        }
        arguments.insert(arguments.end(), {"-server", relay_address()});
        return resq(arguments, input, false);
    }

    // What differs between two runs of one batch, in JSON Lines too: ids, times, round trips.
    static std::string masked_run(std::string text, const std::string& option = "") {
        if (!option.empty()) {
            replace_all(text, option, "");
        }
        replace_all(text, relay_address(), "127.0.0.1");
        static const std::regex json_times(
            R"re("(id|rtt_ms)":[0-9.]+|"(sent|received|datetime)":"[^"]*")re");
        return std::regex_replace(masked(text), json_times, "\"$1$2\":#");
    }
};

// Lost, late and repeated replies, and retries: the concurrent report equals the one-by-one
// report of the same batch in every form, apart from ids and times.
TEST_F(resq_relay, reports_drops_late_and_repeated_replies_as_one_by_one) {
    const std::vector<std::string> shares = {"--drop",    "10",  "--late",  "5",
                                             "--late-ms", "500", "--twice", "10"};
    std::string input;
    for (int i = 0; i < 80; ++i) {
        input += "q" + std::to_string(i) + ".synth.test\n";
    }
    for (const char* format : {"-pipe", "-csv", "-xml", "-json"}) {
        SCOPED_TRACE(format);
        const std::vector<std::string> arguments = {"-pipe", format,   "-timeout",
                                                    "0.25",  "-retry", "2"};
        const process_result one_by_one = batch(shares, arguments, input);
        std::vector<std::string> concurrent = arguments;
        concurrent.insert(concurrent.end(), {"-inflight", "16"});
        const process_result run = batch(shares, concurrent, input);
        EXPECT_EQ(std::tie(one_by_one.exit_status, run.exit_status), std::tuple(0, 0));
        EXPECT_EQ(masked_run(run.out, " -inflight 16"), masked_run(one_by_one.out));
        // The shares were met: some first attempts timed out and their retries were answered.
        EXPECT_NE(run.out.find("timeout"), std::string::npos);
    }
}

// A long batch with a tenth of the names losing their first query: every name of the input has
// its answer, in input order.
TEST_F(resq_relay, a_long_batch_with_losses_reports_every_name_in_order) {
    constexpr int count = 200000;
    std::string input;
    for (int i = 0; i < count; ++i) {
        input += "s" + std::to_string(i) + ".synth.test\n";
    }
    const process_result run =
        batch({"--drop", "10"},
              {"-pipe", "-csv", "-inflight", "1000", "-timeout", "0.2", "-retry", "3"}, input);
    EXPECT_EQ(run.exit_status, 0);
    std::istringstream rows(run.out);
    int next = 0;
    int timeouts = 0;
    for (std::string row; std::getline(rows, row);) {
        const std::string expected = "s" + std::to_string(next) + ".synth.test.,answer,success,";
        if (row.starts_with(expected)) {
            ++next;
        } else if (row.find(",question,timeout,") != std::string::npos) {
            ++timeouts;
        }
    }
    EXPECT_EQ(next, count);  // each answer in its place
    EXPECT_GT(timeouts, count / 20);
}

// 10,000 lookups started at once, each answered at once by the relay: every one is answered,
// none reported as a timeout, however far the reading of replies falls behind the sends (replies
// are read between sends, and judged by when they arrived). Datagrams the kernel itself dropped
// for want of buffer room (UDP RcvbufErrors of the namespace) are the only excuse.
TEST_F(resq_relay, a_burst_of_ten_thousand_lookups_has_no_false_timeout) {
    constexpr int count = 10000;
    std::string input;
    for (int i = 0; i < count; ++i) {
        input += "b" + std::to_string(i) + ".synth.test\n";
    }
    const auto receive_errors = [] {
        std::ifstream snmp("/proc/net/snmp");
        std::string line, values;
        std::getline(snmp, line);
        while (std::getline(snmp, values) && !values.starts_with("Udp: ")) {
        }
        std::getline(snmp, values);  // the Udp: line of values follows that of names
        std::istringstream fields(values);
        std::string label;
        long long field[6] = {};
        fields >> label >> field[0] >> field[1] >> field[2] >> field[3] >> field[4] >> field[5];
        return field[4];  // InDatagrams NoPorts InErrors OutDatagrams RcvbufErrors ...
    };
    const long long dropped_before = receive_errors();
    const process_result run =
        batch({}, {"-pipe", "-csv", "-inflight", "10000", "-timeout", "5"}, input);
    const long long dropped = receive_errors() - dropped_before;
    EXPECT_EQ(run.exit_status, 0);
    const std::size_t answered = count_text(run.out, ",answer,success,");
    EXPECT_GE(static_cast<long long>(answered), count - dropped) << dropped << " dropped";
    EXPECT_EQ(count_text(run.out, ",timeout,"), static_cast<std::size_t>(count) - answered);
}

// Every RCODE the responder gives, and TC, through the chosen fields and through -short.
constexpr const char* outcomes =
    "www.demo.example\nnowhere.demo.example\na.nodata.test\na.refused.test\na.servfail.test\n"
    "a.badvers.test\na.formerr-bare.test\na.truncated.test\n";

TEST_F(resq_run, chosen_fields_tell_each_rcode_and_flag_apart) {
    const process_result run = resq(
        {"-pipe", "-csv", "-fields", "query,rcode,flags,transport,attempt,line,rdata"}, outcomes);
    EXPECT_EQ(run.exit_status, 0);
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.out.substr(run.out.find("\n\n") + 2),
              "query,rcode,flags,transport,attempt,line,rdata\n"
              "www.demo.example.,NOERROR,qr aa rd ra,udp,1,1,192.0.2.10\n"
              "www.demo.example.,NOERROR,qr aa rd ra,udp,1,1,192.0.2.11\n"
              "demo.example.,NOERROR,qr aa rd ra,udp,1,1,ns1.demo.example.\n"
              "nowhere.demo.example.,NXDOMAIN,qr aa rd ra,udp,1,2,\n"
              "demo.example.,NXDOMAIN,qr aa rd ra,udp,1,2,ns1.demo.example. "
              "hostmaster.demo.example. 2024010101 7200 900 1209600 300\n"
              "a.nodata.test.,NOERROR,qr rd ra,udp,1,3,\n"
              ",NOERROR,qr rd ra,udp,1,3,ns.invalid. hostmaster.invalid. 1 7200 900 1209600 300\n"
              "a.refused.test.,REFUSED,qr rd ra,udp,1,4,\n"
              "a.servfail.test.,SERVFAIL,qr rd ra,udp,1,5,\n"
              "a.badvers.test.,BADVERS,qr rd ra,udp,1,6,\n"
              ",BADVERS,qr rd ra,udp,1,6,udp=4096 ercode=1 version=0\n"
              "a.formerr-bare.test,FORMERR,qr rd ra,udp,1,7,\n"
              "a.truncated.test.,NOERROR,qr tc rd ra,udp,1,8,\n");
}

TEST_F(resq_run, short_writes_the_answers_alone_and_names_each_lookup_without_one) {
    const process_result listed = resq({"-pipe", "-short"}, outcomes);
    EXPECT_EQ(listed.exit_status, 0);
    EXPECT_EQ(listed.out, "www.demo.example\t192.0.2.10\nwww.demo.example\t192.0.2.11\n");
    EXPECT_EQ(listed.err,
              "nowhere.demo.example: NXDOMAIN\na.nodata.test: NODATA\na.refused.test: REFUSED\n"
              "a.servfail.test: SERVFAIL\na.badvers.test: BADVERS\na.formerr-bare.test: FORMERR\n"
              "a.truncated.test: truncated\n");
    // A single lookup: the data alone; the answer that came over TCP after the truncated one.
    const process_result single = resq({"-url", "a.truncated.test", "-tcp_fallback", "-short"});
    EXPECT_EQ(single.out, "192.0.2.1\n");
    EXPECT_EQ(single.err, "");
    const process_result none = resq({"-url", "a.silent.test", "-timeout", "0", "-short"});
    EXPECT_EQ(none.out, "");
    EXPECT_EQ(none.err, "a.silent.test: timeout\n");
}

struct failure_case {
    const char* description;
    std::string arguments;  // as in golden_case; no server is appended
    int exit_status;
    const char* message;  // expected at the end of standard error
};

class resq_failure : public resq_run, public testing::WithParamInterface<failure_case> {};

TEST_P(resq_failure, ends_with_its_message_and_exit_status) {
    const failure_case& c = GetParam();
    const process_result run = resq(words_of(c.arguments), "", false);
    EXPECT_EQ(run.exit_status, c.exit_status);
    EXPECT_TRUE(run.err.ends_with(c.message)) << run.err;
}

const failure_case failure_cases[] = {
    {"no arguments", "", 0, " > ./results.txt\n\n"},
    {"help", "--HELP", 0, " > ./results.txt\n\n"},
    {"no server", "-url x.test", 255,
     "error: need to specify a DNS server to query using the format: -server <ipv4 addr>\n"},
    {"two lookups", "-url x.test -mx y.test -server 127.0.0.1", 255,
     "invalid combination of commands\n"},
    {"nothing to look up", "-url  -server 127.0.0.1", 255, " > ./results.txt\n\n"},
    {"refused option", "-sqlite x -url x.test -server 127.0.0.1", 255,
     "This option is not offered in this build\n"},
    {"results file in a missing directory", "-out /nonexistent/dir/r.txt -url x -server 127.0.0.1",
     255, "prob opening file /nonexistent/dir/r.txt for output, aborting\n"},
    {"results file on a full device", "-out /dev/full -url_pipe -server 127.0.0.1", 255,
     "prob writing results to /dev/full\n"},
    {"results held for a concurrent batch, on a full device",
     "-out /dev/full -url_pipe -inflight 4 -server 127.0.0.1", 255,
     "prob writing results to /dev/full\n"},
    {"label too long", "-url " + std::string(64, 'a') + ".test -server 127.0.0.1", 255,
     "prob building dns packet... aborting\n"},
    {"server that is not an address", "-url x.test -server localhost", 255,
     "invalid DNS server address: localhost\n"},
    {"EDNS size below 512", "-url x.test -server ::1 -edns 511", 255,
     "invalid EDNS buffer size: 511 (512 to 65535)\n"},
    {"client subnet with a prefix too long", "-url x.test -server ::1 -subnet 192.0.2.0/33", 255,
     "invalid client subnet: 192.0.2.0/33\n"},
    {"unknown class", "-url x.test -server ::1 -class chaos", 255, "invalid query class: chaos\n"},
    {"empty field name", "-fields query,,ttl -url x -server 127.0.0.1", 255, "unknown field: \n"},
    {"field named twice", "-fields ttl,TTL -url x -server 127.0.0.1", 255, "unknown field: TTL\n"},
    {"fields of a JSON report", "-fields ttl -json -url x -server 127.0.0.1", 255,
     "-fields chooses columns of the table and separated values: not with -xml or -json\n"},
    {"short data as CSV", "-short -csv -url x -server 127.0.0.1", 255,
     "-short writes the data alone: not with -json, -xml, -csv, -fields or -verbose\n"},
    {"server list that cannot be read", "-url x -servers /nonexistent/servers.txt", 255,
     "cannot read the server list: /nonexistent/servers.txt\n"},
    {"source address of another family", "-url x -server 127.0.0.1 -source ::1", 255,
     "source address ::1 cannot reach DNS server 127.0.0.1: another address family\n"},
    {"a third word", "www.demo.example @127.0.0.1 A extra", 255, "unexpected argument: extra\n"},
    {"a word beside a batch", "-url_pipe names.txt -server 127.0.0.1", 255,
     "unexpected argument: names.txt\n"},
    {"an input file that cannot be opened", "-f /nonexistent/names.txt -server 127.0.0.1", 255,
     "prob opening input file: /nonexistent/names.txt: No such file or directory\n"},
    {"a shard past its count", "-url_pipe -shard 4/3 -server 127.0.0.1", 255,
     "invalid shard: 4/3 (K/N with 1 <= K <= N)\n"},
    {"a shard of a single lookup", "-url x.test -shard 1/2 -server 127.0.0.1", 255,
     "-shard takes the lines of a batch: use it with -f or a -..._pipe form\n"},
    {"a name -idn cannot convert", "-idn -url \xe2\x80\xae.test -server 127.0.0.1", 255,
     "prob building dns packet... aborting\n"},
    {"a GET without DNS over HTTPS", "-url x.test -https_get -server 127.0.0.1", 255,
     "-https_get asks over DNS over HTTPS: give -https URL\n"},
    {"a TLS name without TLS", "-url x.test -tls_name dns.test -server 127.0.0.1", 255,
     "-tls_name applies to -tls or -https: give one of them\n"},
    {"pcap without its file", "-url x.test -pcap -json -server 127.0.0.1", 255,
     "missing value for -pcap\n"},
    {"pcap file in a missing directory", "-pcap /nonexistent/dir/e.pcap -url x -server 127.0.0.1",
     255, "prob opening pcap file: /nonexistent/dir/e.pcap\n"},
};

INSTANTIATE_TEST_SUITE_P(statuses, resq_failure, testing::ValuesIn(failure_cases),
                         param_name<failure_case>);

}  // namespace
