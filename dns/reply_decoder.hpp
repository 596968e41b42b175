// Decoding a reply message into its four sections, and the one name decoder.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "dns/dns_record.hpp"

namespace resq {

/// Steps (labels and pointers) a name may take before its decoding fails.
inline constexpr unsigned name_step_limit = 99;

/// How a decoded name writes the bytes of its labels.
enum class name_form : uint8_t {
    raw,      // as received
    escaped,  // master-file form (RFC 1035 5.1): special characters and non-printing bytes escaped
};

/// A name as decoded from a message: the bytes of its labels as received, in order, the root's
/// empty label left out. Each writer chooses the form it shows.
struct dns_name {
    std::vector<std::string> labels;

    /// The name as received: every label followed by "."; "" for the root.
    std::string raw() const;
    /// The name in master-file form (RFC 1035 5.1): every label followed by ".", its characters
    /// with a meaning in a zone file behind a backslash and bytes outside printable ASCII (space
    /// included) as "\DDD"; "." for the root.
    std::string escaped() const;

    bool operator==(const dns_name& other) const = default;
};

/// Decodes the possibly compressed name at `offset` of `message` into `out`. Returns the bytes
/// the name occupies at `offset`; 0, with `out` empty, when the name leaves the message, takes
/// `step_limit` steps or is longer than 255 bytes expanded.
std::size_t decode_name(std::span<const uint8_t> message, uint32_t offset, dns_name& out,
                        unsigned step_limit = name_step_limit);

/// Decodes the possibly compressed name at `offset` of `message` into `out` (every label followed
/// by "."; the root is ""). Returns the bytes the name occupies at `offset`; 0, with `out` empty,
/// when the name leaves the message, takes `step_limit` steps or is longer than 255 bytes expanded.
std::size_t decode_name(std::span<const uint8_t> message, uint32_t offset, std::string& out,
                        unsigned step_limit = name_step_limit, name_form form = name_form::raw);

/// Decodes `reply` into the header (its RCODE extended by the first OPT record) and the four
/// lists of `attempt`; every entry shares `reply` and carries `reply_time`. Returns the offset past
/// the last entry, 0 on failure (entries decoded before a failure stay), or when `require_response`
/// is set and the QR bit is clear.
std::size_t decode_reply(const shared_message& reply, uint64_t reply_time, dns_exchange& attempt,
                         bool require_response);

}  // namespace resq
