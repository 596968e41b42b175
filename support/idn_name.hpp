// Internationalised names: the A-label form a server is asked for.
#pragma once

#include <string>
#include <string_view>

namespace resq {

/// Whether `name` holds a byte outside ASCII, which only an A-label can carry to a server.
bool has_non_ascii(std::string_view name);

/// Converts `name` (UTF-8) to its A-label form (IDNA 2008 with the UTS #46 mapping,
/// non-transitional, without the STD3 rules) into `ascii`; false, with the reason in `why`, when
/// the name cannot be converted (bytes that are not UTF-8, disallowed characters, long labels).
bool to_a_labels(std::string_view name, std::string& ascii, std::string& why);

}  // namespace resq
