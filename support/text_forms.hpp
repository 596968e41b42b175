// The text forms of bytes every layer writes: the RFC 1035 "\DDD" escape and the escaping built
// on it, hexadecimal and base64, IPv4 and IPv6 addresses, and the text a terminal may be given.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace resq {

/// Letter case of the hexadecimal digits above 9.
enum class hex_case { lower, upper };

/// Appends a backslash and the byte's value in three decimal digits (RFC 1035 5.1).
void append_decimal_escape(std::string& out, uint8_t byte);

/// Appends `bytes` in master-file form: bytes outside printable ASCII, and the space when
/// `escape_space`, as decimal escapes; the characters of `specials` behind a backslash.
void append_master_text(std::string& out, std::string_view bytes, std::string_view specials,
                        bool escape_space);

/// Appends the low `digits` hexadecimal digits of `value`, zero-padded.
void append_hex(std::string& out, uint32_t value, int digits, hex_case letters = hex_case::lower);

/// `bytes` as two hexadecimal digits each, `separator` between two bytes.
std::string hex_text(std::span<const uint8_t> bytes, std::string_view separator = {},
                     hex_case letters = hex_case::lower);

/// `bytes` in base64 (RFC 4648 4), padded with "=".
std::string base64_text(std::span<const uint8_t> bytes);

/// base64url without padding (RFC 4648 5), as the dns parameter of a DNS over HTTPS GET carries
/// the query (RFC 8484 4.1).
std::string base64url_text(std::span<const uint8_t> bytes);

/// An IPv4 address as its bytes in decimal joined by dots.
std::string ipv4_text(std::span<const uint8_t> address);

/// An IPv6 address in the RFC 5952 form (lower case, the longest run of two or more zero groups
/// as "::", an IPv4-mapped address with its last 32 bits dotted); empty unless `address` holds
/// exactly sixteen bytes.
std::string ipv6_text(std::span<const uint8_t> address);

/// Every whole 16-bit group of `address` in hexadecimal, joined by colons, none left out.
std::string ipv6_groups_text(std::span<const uint8_t> address);

/// The whole 16-bit groups of `address` joined by colons, the first run of zero groups (even a
/// single one) written "::"; empty for no group.
std::string ipv6_first_run_text(std::span<const uint8_t> address);

/// Bytes at the front of `text` that a terminal would act on: 1 for a C0 control but TAB, for
/// DEL, and for a byte 0x80-0x9F that starts no well-formed UTF-8; 2 for a C1 control in UTF-8
/// (C2 80 to C2 9F); 0 for any other character.
std::size_t terminal_control_length(std::string_view text);

/// `text` as a terminal may be given it: each byte of a terminal control as a decimal escape,
/// `lead` written before the escape's backslash (a JSON string needs one more backslash there);
/// every other byte as it is.
std::string terminal_safe(std::string_view text, std::string_view lead = {});

}  // namespace resq
