// Hand-assembled reply bytes of the scripted responder, and the behaviours chosen by query name.
#pragma once

#include <cstddef>
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
/// Pieces of the hostile behaviours (see fixtures.cpp): the answer 6.6.6.6 of forged replies, the
/// answer 192.0.2.99 to victim.forge-next.test., the question of that name (type A, class IN),
/// and a FORMERR header without question or record.
extern const std::span<const uint8_t> forged_answer;
extern const std::span<const uint8_t> victim_answer;
extern const std::span<const uint8_t> victim_question;
extern const std::span<const uint8_t> formerr_header;

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
    forge_next,
    qdzero_first,
    runts_first,
    formerr_bare,
    pointer_bomb,
    big,
    tcp_stall,
    tcp_other_first,
    echo,
    huge,
};

/// The server cookie an echo.test. reply adds after a client cookie that came alone.
inline constexpr uint8_t echo_server_cookie[8] = {0x5e, 0x5e, 0x5e, 0x5e, 0x5e, 0x5e, 0x5e, 0x5e};

/// Milliseconds a reply to a name under late.test. is held back.
inline constexpr unsigned late_reply_ms = 1500;
/// Queries for one name under flaky.test. that go unanswered before the next is answered.
inline constexpr unsigned flaky_silent_queries = 2;
/// Milliseconds between the pieces of a reply split over TCP (tcp-split.test.).
inline constexpr unsigned split_pause_ms = 50;
/// Milliseconds between the bytes of a reply sent one byte at a time (tcp-bytewise.test.).
inline constexpr unsigned byte_pause_ms = 2;

/// Milliseconds after the answer under forge-next.test. that its forged replies leave.
inline constexpr unsigned forge_pause_ms = 20;
/// Forged replies after an answer under forge-next.test.: identifiers 10 to 99 as resq writes
/// them (bytes {id, 0}), then forged_spread more whose two bytes each take every value.
inline constexpr unsigned forged_low_first = 10;
inline constexpr unsigned forged_low_last = 99;
inline constexpr unsigned forged_spread = 256;
/// The largest UDP payload over IPv4: pointer-bomb.test. and big.test. replies fill it.
inline constexpr std::size_t largest_datagram = 65507;
/// The largest DNS message, whose length fills the two bytes in front of it over TCP: huge.test.
/// replies over TCP fill it.
inline constexpr std::size_t largest_message = 65535;
/// Labels of 63 octets in the name every owner of a pointer-bomb.test. reply points to.
inline constexpr unsigned bomb_labels = 94;

/// The behaviour of `name` (lower case, ending in "."): that of the zone it equals or lies under.
behaviour behaviour_for(std::string_view name);

}  // namespace resq::test_tools
