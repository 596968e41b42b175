// One record as a <data_entry> element, and the escaping every XML text goes through.
#pragma once

#include <cstddef>
#include <cstdint>
#include <ostream>
#include <string>
#include <string_view>

#include "dns/dns_record.hpp"
#include "support/cmd_params.hpp"

namespace resq {

/// Writes one <data_entry> line for `record` with its status, then flushes.
void write_xml_entry(const dns_record& record, std::ostream& out, const cmd_params& options,
                     std::string_view status);

/// Writes `text` as XML character data or attribute value: markup characters as entities, a
/// backslash doubled, a byte XML cannot carry as a backslash and three decimal digits.
void write_xml_escaped(std::ostream& out, std::string_view text);

/// The colon form of an IPv6 address (first run of zero groups as "::"). False, `out` empty,
/// when there are no bytes.
bool ipv6_to_text(const uint8_t* bytes, std::size_t length, std::string& out);

}  // namespace resq
