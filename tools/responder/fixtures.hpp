// Hand-assembled reply bytes of the scripted responder, and the behaviours chosen by query name.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

namespace resq::test_tools {

/// One complete reply; its identifier bytes are 00 00 and are replaced by the query's.
struct reply_fixture {
    std::string_view name;  // question name, lower case, every label followed by "."
    uint16_t type;
    std::span<const uint8_t> bytes;
};

/// The fixture for `name` (lower case, ending in ".") and `type`; null when there is none.
const reply_fixture* find_fixture(std::string_view name, uint16_t type);

/// Every complete fixture, in the order of the table in fixtures.cpp.
std::span<const reply_fixture> all_fixtures();

/// Reply pieces assembled around the question copied from the query (see fixtures.cpp):
/// a header with one answer, a header of an NXDOMAIN with one authority entry, a header with TC
/// set and no answer, and the entries.
extern const std::span<const uint8_t> answer_header;
extern const std::span<const uint8_t> nxdomain_header;
extern const std::span<const uint8_t> truncated_header;
extern const std::span<const uint8_t> behaviour_answer;
extern const std::span<const uint8_t> spoofed_answer;
extern const std::span<const uint8_t> overlong_answer;
extern const std::span<const uint8_t> demo_nxdomain_soa;
extern const std::span<const uint8_t> root_nxdomain_soa;
extern const std::span<const uint8_t> badvers_opt;
extern const std::span<const uint8_t> hostile_txt;

/// What the responder does with a query, chosen by the zone its name lies in.
enum class behaviour {
    normal,  // a complete fixture, else NXDOMAIN
    silent,
    late,
    wrong_id,
    wrong_id_then_ok,
    wrong_id_first,
    other_question_first,
    upper_case,
    no_qr,
    short_reply,
    malformed,
    other_address,
    other_port,
    other_address_then_ok,
    other_port_then_ok,
    flaky,
    nodata,
    refused,
    servfail,
    badvers,
    hostile,
    truncated,
    tcp_split,
    tcp_bytewise,
    tcp_cut,
    tcp_overlong,
    tcp_hangup,
};

/// Milliseconds a reply to a name under late.test. is held back.
inline constexpr unsigned late_reply_ms = 1500;
/// Queries for one name under flaky.test. that go unanswered before the next is answered.
inline constexpr unsigned flaky_silent_queries = 2;
/// Milliseconds between the pieces of a reply split over TCP (tcp-split.test.).
inline constexpr unsigned split_pause_ms = 50;
/// Milliseconds between the bytes of a reply sent one byte at a time (tcp-bytewise.test.).
inline constexpr unsigned byte_pause_ms = 2;

/// The behaviour of `name` (lower case, ending in "."): that of the zone it equals or lies under.
behaviour behaviour_for(std::string_view name);

}  // namespace resq::test_tools
