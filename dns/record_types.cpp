#include "dns/record_types.hpp"

#include <algorithm>

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
std::optional<std::string> name_in_data(const dns_record& record, std::size_t at,
                                        std::size_t& size) {
    const std::size_t data_size = record.data().size();
    if (at >= data_size) {
        return std::nullopt;
    }
    std::string name;
    size = decode_name(record.bytes(), static_cast<uint32_t>(record.data_offset + at), name);
    if (size == 0 || size > data_size - at) {
        return std::nullopt;
    }
    return name;
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
    return name_rdata{name_in_data(record, 0, size)};
}

rdata_value decode_mx(const dns_record& record) {
    wire_reader data(record.data());
    mx_rdata value;
    const uint16_t preference = data.u16();
    if (!data.failed()) {
        std::size_t size = 0;
        value.preference = preference;
        value.exchange = name_in_data(record, 2, size);
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

using rdata_decoder = rdata_value (*)(const dns_record&);

struct type_entry {
    uint16_t number;
    std::string_view name;
    rdata_decoder decode = nullptr;
};

// Sorted by number for the binary searches below.
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
    {24, "SIG"},
    {25, "KEY"},
    {26, "PX"},
    {27, "GPOS"},
    {28, "AAAA", decode_ipv6},
    {29, "LOC"},
    {31, "EID"},
    {32, "NIMLOC"},
    {33, "SRV"},
    {35, "NAPTR"},
    {36, "KX"},
    {37, "CERT"},
    {39, "DNAME"},
    {40, "SINK"},
    {41, "OPT"},
    {42, "APL"},
    {43, "DS"},
    {44, "SSHFP"},
    {45, "IPSECKEY"},
    {46, "RRSIG"},
    {47, "NSEC"},
    {48, "DNSKEY"},
    {49, "DHCID"},
    {50, "NSEC3"},
    {51, "NSEC3PARAM"},
    {52, "TLSA"},
    {53, "SMIMEA"},
    {55, "HIP"},
    {59, "CDS"},
    {60, "CDNSKEY"},
    {61, "OPENPGPKEY"},
    {62, "CSYNC"},
    {63, "ZONEMD"},
    {64, "SVCB"},
    {65, "HTTPS"},
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
    {257, "CAA"},
    {260, "AMTRELAY"},
    {261, "RESINFO"},
    {32768, "TA"},
    {32769, "DLV"},
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
    std::optional<std::string> mname = name_in_data(record, 0, mname_size);
    std::optional<std::string> rname =
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
    return true;
}

}  // namespace resq
