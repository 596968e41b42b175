// Record types: their mnemonics, and the decoding of record data into typed values.
//
// One table lists every type with its mnemonic and, where the type's data has a structure, its
// decoder. Adding a type is one row and, if its data is new in shape, one decoder and one
// alternative of `rdata_value`; the writers format the alternatives they know and show the raw
// bytes of the others.
//
// Names are held as decoded, label by label (dns_name): the table and XML reports show them as
// received, the master-file form escapes them as RFC 1035 5.1 allows, and JSON writes each field
// in the form its readers know. A decoder reads only inside the record's data (a compressed name
// may point back into the message); data that is short, long or has a bad inner length decodes to
// `raw_rdata`, or, for data that ends in a list, to the elements before the fault with `complete`
// cleared.
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
#include "dns/reply_decoder.hpp"

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
    type_sig = 24,
    type_key = 25,
    type_aaaa = 28,
    type_srv = 33,
    type_naptr = 35,
    type_opt = 41,
    type_ds = 43,
    type_sshfp = 44,
    type_rrsig = 46,
    type_nsec = 47,
    type_dnskey = 48,
    type_tlsa = 52,
    type_smimea = 53,
    type_cds = 59,
    type_cdnskey = 60,
    type_svcb = 64,
    type_https = 65,
    type_any = 255,
    type_caa = 257,
    type_ta = 32768,
    type_dlv = 32769,
};

/// The mnemonic of an RCODE, extended ones included (IANA DNS RCODEs); "RCODE" and the number
/// for unassigned values.
std::string rcode_name(uint16_t rcode);

/// The names of the header flags set in a reply, in header order ("qr", "aa", "tc", "rd", "ra",
/// "ad", "cd"); the first `count` entries are used.
struct set_flags {
    std::array<std::string_view, 7> names{};
    std::size_t count = 0;
    std::span<const std::string_view> list() const& { return std::span(names).first(count); }
    // A span into a temporary would outlive it (a range-for over flags_set(h).list() does).
    std::span<const std::string_view> list() const&& = delete;
};
set_flags flags_set(const reply_header& header);

/// The mnemonic of a type number, "unk" for numbers without one.
std::string_view type_name(uint16_t type);

/// The master-file mnemonic of a type number: its name, or "TYPE" and the number (RFC 3597).
std::string type_mnemonic(uint16_t type);

/// The number of a mnemonic in any letter case, or of "TYPE" and a number; empty for others.
std::optional<uint16_t> type_number(std::string_view mnemonic);

/// The decoded data of an SOA record.
struct soa_fields {
    dns_name domain_name;    // MNAME
    dns_name admin_mailbox;  // RNAME, kept a name, not made an address
    uint32_t serial_num = 0;
    uint32_t refresh_sec = 0;
    uint32_t retry_sec = 0;
    uint32_t expire_sec = 0;
    uint32_t min_sec = 0;
    bool exact = false;  // the numbers end where the data does
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
    std::optional<dns_name> name;
    bool exact = false;  // the name ends where the data does
};

/// MX data: the preference (absent in data shorter than two bytes) and the exchange name.
struct mx_rdata {
    std::optional<uint16_t> preference;
    std::optional<dns_name> exchange;
    bool exact = false;  // the exchange ends where the data does
};

/// TXT data: each character-string without its length byte, up to the first that is cut short.
struct txt_rdata {
    std::vector<std::string> strings;
};

/// SRV data (RFC 2782).
struct srv_rdata {
    uint16_t priority = 0;
    uint16_t weight = 0;
    uint16_t port = 0;
    dns_name target;
};

/// CAA data (RFC 8659): the tag is one or more ASCII letters and digits, the value any bytes.
struct caa_rdata {
    uint8_t flags = 0;
    std::string tag;
    std::string value;
};

/// NAPTR data (RFC 3403): three character-strings, as received, and a name.
struct naptr_rdata {
    uint16_t order = 0;
    uint16_t preference = 0;
    std::string flags;
    std::string services;
    std::string regexp;
    dns_name replacement;
};

/// DS data (RFC 4034 5.1), also of CDS, TA and DLV: a digest of at least one byte.
struct ds_rdata {
    uint16_t key_tag = 0;
    uint8_t algorithm = 0;
    uint8_t digest_type = 0;
    std::vector<uint8_t> digest;
};

/// DNSKEY data (RFC 4034 2.1), also of CDNSKEY and KEY: a key of at least one byte.
struct dnskey_rdata {
    uint16_t flags = 0;
    uint8_t protocol = 0;
    uint8_t algorithm = 0;
    std::vector<uint8_t> public_key;
};

/// RRSIG data (RFC 4034 3.1), also of SIG; times in seconds since 1970 (RFC 4034 3.1.5).
struct rrsig_rdata {
    uint16_t type_covered = 0;
    uint8_t algorithm = 0;
    uint8_t labels = 0;
    uint32_t original_ttl = 0;
    uint32_t expiration = 0;
    uint32_t inception = 0;
    uint16_t key_tag = 0;
    dns_name signer_name;
    std::vector<uint8_t> signature;
};

/// NSEC data (RFC 4034 4.1): the next owner name and the types of the bitmap, in ascending order.
struct nsec_rdata {
    dns_name next_name;
    std::vector<uint16_t> types;
    bool complete =
        true;  // false: a window of the bitmap is cut short, empty, too long or unordered
};

/// TLSA data (RFC 6698 2.1), also of SMIMEA: certificate association data of at least one byte.
struct tlsa_rdata {
    uint8_t usage = 0;
    uint8_t selector = 0;
    uint8_t matching_type = 0;
    std::vector<uint8_t> data;
};

/// SSHFP data (RFC 4255 3.1): a fingerprint of at least one byte.
struct sshfp_rdata {
    uint8_t algorithm = 0;
    uint8_t fingerprint_type = 0;
    std::vector<uint8_t> fingerprint;
};

/// One SvcParam (RFC 9460 2.2): its key and value bytes.
struct svc_param {
    uint16_t key = 0;
    std::vector<uint8_t> value;
};

/// SvcParamKeys with a defined value format (RFC 9460 14.3.2, RFC 9461).
enum svc_key : uint16_t {
    svc_mandatory = 0,
    svc_alpn = 1,
    svc_no_default_alpn = 2,
    svc_port = 3,
    svc_ipv4hint = 4,
    svc_ech = 5,
    svc_ipv6hint = 6,
    svc_dohpath = 7,
};

/// SVCB and HTTPS data (RFC 9460 2.2).
struct svcb_rdata {
    uint16_t priority = 0;
    dns_name target;
    std::vector<svc_param> params;
    bool complete = true;  // false: a parameter is cut short, unordered or malformed for its key
};

/// One EDNS option (RFC 6891 6.1.2).
struct edns_option {
    uint16_t code = 0;
    std::vector<uint8_t> data;
};

/// OPT pseudo-record (RFC 6891 6.1): the fields that CLASS and TTL carry, and the options.
struct opt_rdata {
    uint16_t udp_size = 0;       // CLASS: the sender's UDP payload size
    uint8_t extended_rcode = 0;  // TTL bits 24-31: the upper eight bits of the RCODE
    uint8_t version = 0;         // TTL bits 16-23
    bool dnssec_ok = false;      // TTL bit 15, DO
    uint16_t flags = 0;          // TTL bits 0-15, DO included
    std::vector<edns_option> options;
    bool complete = true;  // false: an option is cut short
};

/// The typed value of a record's data.
using rdata_value =
    std::variant<raw_rdata, ipv4_rdata, ipv6_rdata, name_rdata, mx_rdata, soa_fields, txt_rdata,
                 srv_rdata, caa_rdata, naptr_rdata, ds_rdata, dnskey_rdata, rrsig_rdata, nsec_rdata,
                 tlsa_rdata, sshfp_rdata, svcb_rdata, opt_rdata>;

/// Decodes the data of `record` by its type. Reads only the record's own data bytes, and the
/// message before them where a compressed name points back (RFC 1035 4.1.4).
rdata_value decode_rdata(const dns_record& record);

/// Decodes SOA data: two names and five numbers, all inside the record's data. False when a name
/// does not decode there or the numbers would pass its end.
bool decode_soa(const dns_record& record, soa_fields& soa);

}  // namespace resq
