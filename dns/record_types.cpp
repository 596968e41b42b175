#include "dns/record_types.hpp"

#include <algorithm>
#include <utility>

#include "dns/reply_decoder.hpp"
#include "dns/wire_reader.hpp"
#include "support/kx_string.hpp"

namespace resq {

namespace {

// SERIAL, REFRESH, RETRY, EXPIRE, MINIMUM.
constexpr std::size_t soa_numbers_size = 20;

// The name that starts `at` bytes into the record's data. Its own labels must end inside the
// data; a compression pointer may lead anywhere in the message. `size` receives the bytes the
// name takes in the data.
std::optional<dns_name> name_in_data(const dns_record& record, std::size_t at, std::size_t& size) {
    const std::size_t data_size = record.data().size();
    if (at >= data_size) {
        return std::nullopt;
    }
    dns_name name;
    size = decode_name(record.bytes(), static_cast<uint32_t>(record.data_offset + at), name);
    if (size == 0 || size > data_size - at) {
        return std::nullopt;
    }
    return name;
}

// The fields of one record's data, read in order: numbers and strings through a reader over the
// data alone, names through the name decoder, which may follow pointers into the whole message.
// Any fault leaves the reader failed, so a decoder checks `whole()` once at its end.
struct data_fields {
    explicit data_fields(const dns_record& of) : record(of), wire(of.data()) {}

    // The next name.
    void name(dns_name& out) {
        std::size_t size = 0;
        std::optional<dns_name> decoded =
            wire.failed() ? std::nullopt : name_in_data(record, wire.offset(), size);
        if (!decoded) {
            fail();
            return;
        }
        out = std::move(*decoded);
        wire.skip(size);
    }

    // The next character-string (RFC 1035 3.3): a length byte and as many bytes.
    void string(std::string& out) { wire.copy(out, wire.u8()); }

    // The rest of the data, which must hold at least one byte.
    void rest(std::vector<uint8_t>& out) {
        if (wire.remaining() == 0) {
            fail();
        }
        wire.copy(out, wire.remaining());
    }

    // True when every field read and the fields fill the data exactly.
    bool whole() const { return !wire.failed() && wire.remaining() == 0; }

    // Marks the data as not decoding: every later read fails.
    void fail() { wire.seek(wire.size() + 1); }

    const dns_record& record;
    wire_reader wire;
};

// `value` when its fields filled the data exactly, the raw data otherwise.
template <typename Value>
rdata_value whole_or_raw(const data_fields& fields, Value&& value) {
    if (!fields.whole()) {
        return raw_rdata{};
    }
    return rdata_value(std::forward<Value>(value));
}

rdata_value decode_ipv4(const dns_record& record) {
    const std::span<const uint8_t> data = record.data();
    if (data.size() != 4 || record.data_length != 4) {
        return raw_rdata{};
    }
    ipv4_rdata value;
    std::copy(data.begin(), data.end(), value.address.begin());
    return value;
}

rdata_value decode_ipv6(const dns_record& record) {
    return ipv6_rdata{record.data()};
}

rdata_value decode_domain_name(const dns_record& record) {
    std::size_t size = 0;
    name_rdata value{name_in_data(record, 0, size)};
    value.exact = value.name && size == record.data().size();
    return value;
}

rdata_value decode_mx(const dns_record& record) {
    wire_reader data(record.data());
    mx_rdata value;
    const uint16_t preference = data.u16();
    if (!data.failed()) {
        std::size_t size = 0;
        value.preference = preference;
        value.exchange = name_in_data(record, 2, size);
        value.exact = value.exchange && 2 + size == data.size();
    }
    return value;
}

rdata_value decode_soa_data(const dns_record& record) {
    soa_fields soa;
    if (!decode_soa(record, soa)) {
        return raw_rdata{};
    }
    return soa;
}

rdata_value decode_txt(const dns_record& record) {
    wire_reader data(record.data());
    txt_rdata value;
    while (data.remaining() != 0) {
        const uint8_t length = data.u8();
        std::string text;
        if (!data.copy(text, length)) {
            break;
        }
        value.strings.push_back(std::move(text));
    }
    return value;
}

rdata_value decode_srv(const dns_record& record) {
    data_fields fields(record);
    srv_rdata value;
    value.priority = fields.wire.u16();
    value.weight = fields.wire.u16();
    value.port = fields.wire.u16();
    fields.name(value.target);
    return whole_or_raw(fields, std::move(value));
}

rdata_value decode_caa(const dns_record& record) {
    data_fields fields(record);
    caa_rdata value;
    value.flags = fields.wire.u8();
    fields.string(value.tag);
    // The tag is one or more letters and digits (RFC 8659 4.1), so it is shown as it stands.
    const bool tag_ok =
        !value.tag.empty() && std::all_of(value.tag.begin(), value.tag.end(), [](char c) {
            return (c >= '0' && c <= '9') || (ascii_lower(c) >= 'a' && ascii_lower(c) <= 'z');
        });
    if (!tag_ok) {
        fields.fail();
    }
    fields.wire.copy(value.value, fields.wire.remaining());
    return whole_or_raw(fields, std::move(value));
}

rdata_value decode_naptr(const dns_record& record) {
    data_fields fields(record);
    naptr_rdata value;
    value.order = fields.wire.u16();
    value.preference = fields.wire.u16();
    fields.string(value.flags);
    fields.string(value.services);
    fields.string(value.regexp);
    fields.name(value.replacement);
    return whole_or_raw(fields, std::move(value));
}

rdata_value decode_ds(const dns_record& record) {
    data_fields fields(record);
    ds_rdata value;
    value.key_tag = fields.wire.u16();
    value.algorithm = fields.wire.u8();
    value.digest_type = fields.wire.u8();
    fields.rest(value.digest);
    return whole_or_raw(fields, std::move(value));
}

rdata_value decode_dnskey(const dns_record& record) {
    data_fields fields(record);
    dnskey_rdata value;
    value.flags = fields.wire.u16();
    value.protocol = fields.wire.u8();
    value.algorithm = fields.wire.u8();
    fields.rest(value.public_key);
    return whole_or_raw(fields, std::move(value));
}

rdata_value decode_rrsig(const dns_record& record) {
    data_fields fields(record);
    rrsig_rdata value;
    value.type_covered = fields.wire.u16();
    value.algorithm = fields.wire.u8();
    value.labels = fields.wire.u8();
    value.original_ttl = fields.wire.u32();
    value.expiration = fields.wire.u32();
    value.inception = fields.wire.u32();
    value.key_tag = fields.wire.u16();
    fields.name(value.signer_name);
    fields.rest(value.signature);
    return whole_or_raw(fields, std::move(value));
}

rdata_value decode_nsec(const dns_record& record) {
    data_fields fields(record);
    nsec_rdata value;
    fields.name(value.next_name);
    if (fields.wire.failed()) {
        return raw_rdata{};
    }
    // Windows of 1 to 32 bitmap bytes, in ascending order (RFC 4034 4.1.2).
    wire_reader& wire = fields.wire;
    int last_window = -1;
    while (wire.remaining() != 0) {
        const uint8_t window = wire.u8();
        const uint8_t length = wire.u8();
        std::vector<uint8_t> bitmap;
        if (length == 0 || length > 32 || window <= last_window || !wire.copy(bitmap, length)) {
            value.complete = false;
            break;
        }
        last_window = window;
        for (std::size_t bit = 0; bit < bitmap.size() * 8; ++bit) {
            if ((bitmap[bit / 8] & (0x80 >> bit % 8)) != 0) {
                value.types.push_back(static_cast<uint16_t>(std::size_t{window} << 8 | bit));
            }
        }
    }
    return value;
}

rdata_value decode_tlsa(const dns_record& record) {
    data_fields fields(record);
    tlsa_rdata value;
    value.usage = fields.wire.u8();
    value.selector = fields.wire.u8();
    value.matching_type = fields.wire.u8();
    fields.rest(value.data);
    return whole_or_raw(fields, std::move(value));
}

rdata_value decode_sshfp(const dns_record& record) {
    data_fields fields(record);
    sshfp_rdata value;
    value.algorithm = fields.wire.u8();
    value.fingerprint_type = fields.wire.u8();
    fields.rest(value.fingerprint);
    return whole_or_raw(fields, std::move(value));
}

// Whether a SvcParamValue has the shape its key requires (RFC 9460 7); values of other keys are
// any bytes.
bool svc_value_fits(uint16_t key, const std::vector<uint8_t>& value) {
    switch (key) {
        case svc_mandatory:
            return !value.empty() && value.size() % 2 == 0;
        case svc_alpn: {
            // One or more non-empty character-strings that fill the value.
            wire_reader ids(value);
            while (ids.remaining() != 0) {
                const uint8_t length = ids.u8();
                if (length == 0 || !ids.skip(length)) {
                    return false;
                }
            }
            return !value.empty();
        }
        case svc_no_default_alpn:
            return value.empty();
        case svc_port:
            return value.size() == 2;
        case svc_ipv4hint:
            return !value.empty() && value.size() % 4 == 0;
        case svc_ipv6hint:
            return !value.empty() && value.size() % 16 == 0;
        default:
            return true;
    }
}

rdata_value decode_svcb(const dns_record& record) {
    data_fields fields(record);
    svcb_rdata value;
    value.priority = fields.wire.u16();
    fields.name(value.target);
    if (fields.wire.failed()) {
        return raw_rdata{};
    }
    // Keys in strictly ascending order (RFC 9460 2.2).
    wire_reader& wire = fields.wire;
    int last_key = -1;
    while (wire.remaining() != 0) {
        svc_param param;
        param.key = wire.u16();
        const uint16_t length = wire.u16();
        if (!wire.copy(param.value, length) || param.key <= last_key ||
            !svc_value_fits(param.key, param.value)) {
            value.complete = false;
            break;
        }
        last_key = param.key;
        value.params.push_back(std::move(param));
    }
    return value;
}

rdata_value decode_opt(const dns_record& record) {
    opt_rdata value;
    value.udp_size = record.dns_class;
    value.extended_rcode = static_cast<uint8_t>(record.ttl_secs >> 24);
    value.version = static_cast<uint8_t>(record.ttl_secs >> 16);
    value.flags = static_cast<uint16_t>(record.ttl_secs);
    value.dnssec_ok = (value.flags & 0x8000) != 0;
    wire_reader wire(record.data());
    while (wire.remaining() != 0) {
        edns_option option;
        option.code = wire.u16();
        const uint16_t length = wire.u16();
        if (!wire.copy(option.data, length)) {
            value.complete = false;
            break;
        }
        value.options.push_back(std::move(option));
    }
    return value;
}

using rdata_decoder = rdata_value (*)(const dns_record&);

struct type_entry {
    uint16_t number;
    std::string_view name;
    rdata_decoder decode = nullptr;
};

// Sorted by number for the binary searches below. The data of a type without a decoder is shown
// as its bytes.
constexpr std::array<type_entry, 82> type_table{{
    {1, "A", decode_ipv4},
    {2, "NS", decode_domain_name},
    {3, "MD"},
    {4, "MF"},
    {5, "CNAME", decode_domain_name},
    {6, "SOA", decode_soa_data},
    {7, "MB"},
    {8, "MG"},
    {9, "MR"},
    {10, "NULL"},
    {11, "WKS"},
    {12, "PTR", decode_domain_name},
    {13, "HINFO"},
    {14, "MINFO"},
    {15, "MX", decode_mx},
    {16, "TXT", decode_txt},
    {17, "RP"},
    {18, "AFSDB"},
    {19, "X25"},
    {20, "ISDN"},
    {21, "RT"},
    {22, "NSAP"},
    {23, "NSAP_PTR"},
    {24, "SIG", decode_rrsig},
    {25, "KEY", decode_dnskey},
    {26, "PX"},
    {27, "GPOS"},
    {28, "AAAA", decode_ipv6},
    {29, "LOC"},
    {31, "EID"},
    {32, "NIMLOC"},
    {33, "SRV", decode_srv},
    {35, "NAPTR", decode_naptr},
    {36, "KX"},
    {37, "CERT"},
    {39, "DNAME"},
    {40, "SINK"},
    {41, "OPT", decode_opt},
    {42, "APL"},
    {43, "DS", decode_ds},
    {44, "SSHFP", decode_sshfp},
    {45, "IPSECKEY"},
    {46, "RRSIG", decode_rrsig},
    {47, "NSEC", decode_nsec},
    {48, "DNSKEY", decode_dnskey},
    {49, "DHCID"},
    {50, "NSEC3"},
    {51, "NSEC3PARAM"},
    {52, "TLSA", decode_tlsa},
    {53, "SMIMEA", decode_tlsa},
    {55, "HIP"},
    {59, "CDS", decode_ds},
    {60, "CDNSKEY", decode_dnskey},
    {61, "OPENPGPKEY"},
    {62, "CSYNC"},
    {63, "ZONEMD"},
    {64, "SVCB", decode_svcb},
    {65, "HTTPS", decode_svcb},
    {99, "SPF"},
    {100, "UINFO"},
    {101, "UID"},
    {102, "GID"},
    {103, "UNSPEC"},
    {104, "NID"},
    {105, "L32"},
    {106, "L64"},
    {107, "LP"},
    {108, "EUI48"},
    {109, "EUI64"},
    {249, "TKEY"},
    {250, "TSIG"},
    {251, "IXFR"},
    {252, "AXFR"},
    {253, "MAILB"},
    {254, "MAILA"},
    {255, "ANY"},
    {256, "URI"},
    {257, "CAA", decode_caa},
    {260, "AMTRELAY"},
    {261, "RESINFO"},
    {32768, "TA", decode_ds},
    {32769, "DLV", decode_ds},
}};

static_assert(std::is_sorted(type_table.begin(), type_table.end(),
                             [](const type_entry& a, const type_entry& b) {
                                 return a.number < b.number;
                             }));

const type_entry* find_type(uint16_t type) {
    const auto found = std::lower_bound(
        type_table.begin(), type_table.end(), type,
        [](const type_entry& entry, uint16_t number) { return entry.number < number; });
    return found == type_table.end() || found->number != type ? nullptr : &*found;
}

}  // namespace

set_flags flags_set(const reply_header& header) {
    set_flags flags;
    for (const auto& [on, flag] : {std::pair{header.qr, "qr"},
                                   {header.aa, "aa"},
                                   {header.tc, "tc"},
                                   {header.rd, "rd"},
                                   {header.ra, "ra"},
                                   {header.ad, "ad"},
                                   {header.cd, "cd"}}) {
        if (on) {
            flags.names[flags.count++] = flag;
        }
    }
    return flags;
}

std::string rcode_name(uint16_t rcode) {
    constexpr std::string_view names[] = {"NOERROR", "FORMERR",   "SERVFAIL", "NXDOMAIN", "NOTIMP",
                                          "REFUSED", "YXDOMAIN",  "YXRRSET",  "NXRRSET",  "NOTAUTH",
                                          "NOTZONE", "DSOTYPENI", "",         "",         "",
                                          "",        "BADVERS",   "BADKEY",   "BADTIME",  "BADMODE",
                                          "BADNAME", "BADALG",    "BADTRUNC", "BADCOOKIE"};
    if (rcode < std::size(names) && !names[rcode].empty()) {
        return std::string(names[rcode]);
    }
    return "RCODE" + std::to_string(rcode);
}

std::string_view type_name(uint16_t type) {
    const type_entry* entry = find_type(type);
    return entry == nullptr ? "unk" : entry->name;
}

std::string type_mnemonic(uint16_t type) {
    const type_entry* entry = find_type(type);
    return entry == nullptr ? "TYPE" + number_text(type) : std::string(entry->name);
}

std::optional<uint16_t> type_number(std::string_view mnemonic) {
    const auto same = [](std::string_view a, std::string_view b) {
        return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                          [](char x, char y) { return ascii_lower(x) == ascii_lower(y); });
    };
    for (const type_entry& entry : type_table) {
        if (same(entry.name, mnemonic)) {
            return entry.number;
        }
    }
    // RFC 3597 5: "TYPE" and the number in decimal.
    const std::string_view digits = mnemonic.substr(std::min<std::size_t>(mnemonic.size(), 4));
    uint32_t number = 0;
    if (!same(mnemonic.substr(0, 4), "TYPE") || digits.empty() || digits.size() > 5) {
        return std::nullopt;
    }
    for (const char c : digits) {
        if (c < '0' || c > '9') {
            return std::nullopt;
        }
        number = number * 10 + static_cast<uint32_t>(c - '0');
    }
    if (number > 0xffff) {
        return std::nullopt;
    }
    return static_cast<uint16_t>(number);
}

rdata_value decode_rdata(const dns_record& record) {
    const type_entry* entry = find_type(record.dns_type);
    if (entry == nullptr || entry->decode == nullptr) {
        return raw_rdata{};
    }
    return entry->decode(record);
}

bool decode_soa(const dns_record& record, soa_fields& soa) {
    soa = soa_fields{};
    std::size_t mname_size = 0;
    std::size_t rname_size = 0;
    std::optional<dns_name> mname = name_in_data(record, 0, mname_size);
    std::optional<dns_name> rname =
        mname ? name_in_data(record, mname_size, rname_size) : std::nullopt;
    if (!rname) {
        return false;
    }
    wire_reader numbers(record.data(), mname_size + rname_size);
    if (numbers.failed() || numbers.remaining() < soa_numbers_size) {
        return false;
    }
    soa.domain_name = std::move(*mname);
    soa.admin_mailbox = std::move(*rname);
    soa.serial_num = numbers.u32();
    soa.refresh_sec = numbers.u32();
    soa.retry_sec = numbers.u32();
    soa.expire_sec = numbers.u32();
    soa.min_sec = numbers.u32();
    soa.exact = numbers.remaining() == 0;
    return true;
}

}  // namespace resq
