// The built resq against a server that tries to fool or wear out a lookup (the hostile zones of
// tools/responder/fixtures.cpp): forged replies for the next lookup, a reply without question,
// runts, a bare FORMERR, a pointer bomb, replies that fill a datagram, and over TCP a message for
// another query first. Run in a private network namespace (tests/tools/netns_run.sh).
#include <gtest/gtest.h>

#include <cctype>
#include <memory>
#include <ostream>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "tests/e2e/process.hpp"

namespace {

using namespace resq::testing_support;

// An address of its own: the suites of resq_e2e_test.cpp take 127.0.0.1 (or .21) while they run.
constexpr const char* server = "127.0.0.41";

class hostile_server : public testing::Test {
  protected:
    static void SetUpTestSuite() {
        responder = std::make_unique<background_process>(
            std::vector<std::string>{RESQ_RESPONDER, "--address", server});
    }
    static void TearDownTestSuite() { responder.reset(); }

    void SetUp() override {
        if (!responder->ready()) {
            GTEST_SKIP() << "the scripted responder could not bind port 53 on " << server;
        }
    }

    static process_result resq(const std::vector<std::string>& arguments,
                               const std::string& input = "") {
        std::vector<std::string> command = {RESQ_BINARY};
        command.insert(command.end(), arguments.begin(), arguments.end());
        command.insert(command.end(), {"-server", server});
        return run_process(command, input);
    }

    static inline std::unique_ptr<background_process> responder;
};

// Whether the JSON line holds `member` ("key":value) whole, not the start of a longer value.
bool has_member(const std::string& line, const std::string& member) {
    const std::size_t at = line.find(member);
    return at != std::string::npos &&
           std::string_view(",}").find(line[at + member.size()]) != std::string_view::npos;
}

std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream stream(text);
    for (std::string line; std::getline(stream, line);) {
        lines.push_back(line);
    }
    return lines;
}

// The lookup after one under forge-next.test., on a socket a one-by-one batch may keep, is sent
// forged answers 6.6.6.6 under every identifier resq writes; only the server's own 192.0.2.99
// may be taken, however the batch runs.
TEST_F(hostile_server, forged_replies_for_the_next_lookup_are_never_taken) {
    for (const auto& extra :
         std::vector<std::vector<std::string>>{{}, {"-delay", "1"}, {"-inflight", "2"}}) {
        std::vector<std::string> arguments = {"-url_pipe", "-json", "-timeout", "2"};
        arguments.insert(arguments.end(), extra.begin(), extra.end());
        const process_result run = resq(arguments, "a.forge-next.test\nvictim.forge-next.test\n");
        const std::vector<std::string> lines = lines_of(run.out);
        EXPECT_EQ(run.exit_status, 0);
        ASSERT_EQ(lines.size(), 2u) << run.out;
        EXPECT_TRUE(has_member(lines[1], R"("name":"victim.forge-next.test")")) << lines[1];
        EXPECT_TRUE(has_member(lines[1], R"("status":"success")")) << lines[1];
        EXPECT_NE(lines[1].find(R"("address":"192.0.2.99")"), std::string::npos) << lines[1];
        EXPECT_EQ(run.out.find("6.6.6.6"), std::string::npos) << run.out;
    }
}

struct hostile_case {
    const char* description;
    std::vector<std::string> arguments;
    std::vector<std::string> members;  // each in the run's one JSON line
};

void PrintTo(const hostile_case& c, std::ostream* out) {
    *out << c.description;
}

class hostile_reply : public hostile_server, public testing::WithParamInterface<hostile_case> {};

// One attempt, reported in one line with what the server's real reply said; nothing forged is
// taken, nothing times out, and no reply is spelt out past its size (a 64 KiB reply of 4,092
// answers makes about 800 KB of JSON).
TEST_P(hostile_reply, is_one_attempt_with_the_real_reply) {
    const hostile_case& c = GetParam();
    const process_result run = resq(c.arguments);
    EXPECT_EQ(run.exit_status, 0);
    EXPECT_EQ(run.err, "");
    const std::vector<std::string> lines = lines_of(run.out);
    ASSERT_EQ(lines.size(), 1u) << run.out.substr(0, 2000);
    for (const std::string& member : c.members) {
        EXPECT_TRUE(has_member(lines[0], member)) << member << " in " << lines[0].substr(0, 2000);
    }
    EXPECT_TRUE(has_member(lines[0], R"("attempt":1)"));
    EXPECT_EQ(run.out.find("6.6.6.6"), std::string::npos);
    EXPECT_EQ(run.out.find("timed out"), std::string::npos);
    EXPECT_LT(run.out.size(), 1000000u);
}

const hostile_case hostile_cases[] = {
    {"a forged reply without question first",
     {"-url", "a.qdzero.test", "-json", "-timeout", "2"},
     {R"("status":"success")", R"("discarded":1)", R"("address":"192.0.2.1")"}},
    {"runts of 1, 3 and 11 bytes first",
     {"-url", "a.runt.test", "-json", "-timeout", "2"},
     {R"("status":"success")", R"("discarded":3)", R"("address":"192.0.2.1")"}},
    {"a bare FORMERR", {"-url", "a.formerr-bare.test", "-json"}, {R"("rcode":"FORMERR")"}},
    {"a bare FORMERR with the OPT record echoed",
     {"-url", "a.formerr-bare.test", "-json", "-edns", "1232"},
     {R"("rcode":"FORMERR")"}},
    {"a pointer bomb", {"-url", "a.pointer-bomb.test", "-json"}, {R"("error":"malformed reply")"}},
    {"a pointer bomb over TCP",
     {"-url", "a.pointer-bomb.test", "-json", "-tcp"},
     {R"("error":"malformed reply")"}},
    {"a datagram filled with answers",
     {"-url", "a.big.test", "-json"},
     {R"("status":"success")", R"("message":"A a.big.test @127.0.0.41: NOERROR, 4092 answers")"}},
    {"a TCP message filled with answers",
     {"-url", "a.big.test", "-json", "-tcp"},
     {R"("status":"success")", R"("message":"A a.big.test @127.0.0.41: NOERROR, 4092 answers")"}},
    {"a TCP message for another query first",
     {"-url", "a.tcp-other-first.test", "-tcp", "-json", "-timeout", "2"},
     {R"("status":"success")", R"("discarded":1)", R"("address":"192.0.2.1")"}},
};

// The description as a test name: letters and digits, anything else as "_".
std::string case_name(const testing::TestParamInfo<hostile_case>& param) {
    std::string name = param.param.description;
    for (char& c : name) {
        c = std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
    }
    return name;
}

INSTANTIATE_TEST_SUITE_P(hostile, hostile_reply, testing::ValuesIn(hostile_cases), case_name);

}  // namespace
