// Record types: their mnemonics, and the decoding of record data into typed values.
//
// One table lists every type with its mnemonic and, where the type's data has a structure, its
// decoder. Adding a type is one row and, if its data is new in shape, one decoder and one
// alternative of `rdata_value`; the writers format the alternatives they know and show the raw
// bytes of the others.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "dns/dns_record.hpp"

namespace resq {

/// Type codes of the six lookups and of the record data that has a decoder.
enum type_code : uint16_t {
    type_a = 1,
    type_ns = 2,
    type_cname = 5,
    type_soa = 6,
    type_ptr = 12,
    type_mx = 15,
    type_txt = 16,
    type_aaaa = 28,
};

/// The mnemonic of a type number, "unk" for numbers without one.
std::string_view type_name(uint16_t type);

/// The master-file mnemonic of a type number: its name, or "TYPE" and the number (RFC 3597).
std::string type_mnemonic(uint16_t type);

/// The number of a mnemonic in any letter case, or of "TYPE" and a number; empty for others.
std::optional<uint16_t> type_number(std::string_view mnemonic);

/// The decoded data of an SOA record.
struct soa_fields {
    std::string domain_name;    // MNAME
    std::string admin_mailbox;  // RNAME, kept in its dotted form
    uint32_t serial_num = 0;
    uint32_t refresh_sec = 0;
    uint32_t retry_sec = 0;
    uint32_t expire_sec = 0;
    uint32_t min_sec = 0;
};

/// Data without a decoder for its type, or that does not have the size its type requires.
struct raw_rdata {};

/// A data of exactly four bytes.
struct ipv4_rdata {
    std::array<uint8_t, 4> address{};
};

/// AAAA data as received: sixteen bytes when well formed, but kept whatever its size.
struct ipv6_rdata {
    std::span<const uint8_t> address;
};

/// NS, CNAME and PTR data: a name, empty when it does not decode inside the data.
struct name_rdata {
    std::optional<std::string> name;
};

/// MX data: the preference (absent in data shorter than two bytes) and the exchange name.
struct mx_rdata {
    std::optional<uint16_t> preference;
    std::optional<std::string> exchange;
};

/// TXT data: each character-string without its length byte, up to the first that is cut short.
struct txt_rdata {
    std::vector<std::string> strings;
};

/// The typed value of a record's data.
using rdata_value =
    std::variant<raw_rdata, ipv4_rdata, ipv6_rdata, name_rdata, mx_rdata, soa_fields, txt_rdata>;

/// Decodes the data of `record` by its type. Reads only the record's own data bytes, and the
/// message before them where a compressed name points back (RFC 1035 4.1.4).
rdata_value decode_rdata(const dns_record& record);

/// Decodes SOA data: two names and five numbers, all inside the record's data. False when a name
/// does not decode there or the numbers would pass its end.
bool decode_soa(const dns_record& record, soa_fields& soa);

}  // namespace resq
