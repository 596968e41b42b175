// Decoding a reply message into its four sections, and the one name decoder.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "dns/dns_record.hpp"

namespace resq {

/// Steps (labels and pointers) a name may take before its decoding fails.
inline constexpr unsigned name_step_limit = 99;

/// Decodes the possibly compressed name at `offset` of `message` into `out` (every label followed
/// by "."; the root is ""). Returns the bytes the name occupies at `offset`, 0 on failure.
std::size_t decode_name(std::span<const uint8_t> message, uint32_t offset, std::string& out,
                        unsigned step_limit = name_step_limit);

/// Decodes `reply` into the four lists. Returns the offset past the last entry, 0 on failure
/// (entries decoded before a failure stay). `reply_id` is read little-endian from bytes 0-1.
std::size_t decode_reply(std::string_view server, uint64_t reply_time,
                         std::span<const uint8_t> reply, uint16_t& reply_id,
                         std::vector<dns_record>& questions, std::vector<dns_record>& answers,
                         std::vector<dns_record>& authority, std::vector<dns_record>& additional,
                         bool require_response);

}  // namespace resq
