#include "dns/query_builder.hpp"

#include <arpa/inet.h>

#include <array>
#include <charconv>
#include <iterator>
#include <memory>
#include <utility>

#include "support/kx_string.hpp"
#include "support/random_pool.hpp"
#include "support/text_forms.hpp"

namespace resq {

namespace {

// Lengths of 64 and above are not plain labels on the wire: servers read their two high bits as
// a compression pointer or an extended label type, so such a name would be misread.
constexpr std::size_t max_label_length = 63;

// RFC 1035 limits a name to 255 bytes on the wire, length bytes and the closing zero included;
// servers refuse a longer question, or read past its end.
constexpr std::size_t max_name_length = 255;

void put_u16(std::vector<uint8_t>& out, uint32_t value) {
    out.push_back(static_cast<uint8_t>(value >> 8 & 0xff));
    out.push_back(static_cast<uint8_t>(value & 0xff));
}

// Appends each field as one label, in the order given; false for an empty or over-long one. An
// empty field would not be dropped by a server but end the name there (a zero length is the
// root), so the lookup would ask another name.
template <typename Fields>
bool put_labels(std::vector<uint8_t>& out, const Fields& fields) {
    for (const std::string& field : fields) {
        if (field.empty() || field.size() > max_label_length) {
            return false;
        }
        out.push_back(static_cast<uint8_t>(field.size()));
        out.insert(out.end(), field.begin(), field.end());
    }
    return true;
}

// RFC 3596 2.5: one label per hexadecimal digit of the address, the last digit first, then
// ip6.arpa; 2001:db8::1 is 1.0.0.0. ... .8.b.d.0.1.0.0.2.ip6.arpa.
void put_ip6_arpa_name(std::vector<uint8_t>& out, const in6_addr& address) {
    // The address's hexadecimal digits read backwards: each byte's low digit, then its high one.
    const std::string digits = hex_text(address.s6_addr);
    for (auto digit = digits.rbegin(); digit != digits.rend(); ++digit) {
        out.push_back(1);
        out.push_back(static_cast<uint8_t>(*digit));
    }
    constexpr uint8_t ip6_arpa[] = {3, 'i', 'p', '6', 4, 'a', 'r', 'p', 'a', 0};
    out.insert(out.end(), std::begin(ip6_arpa), std::end(ip6_arpa));
}

// EDNS option codes a query carries (IANA DNS EDNS0 Option Codes).
constexpr uint16_t option_nsid = 3;
constexpr uint16_t option_client_subnet = 8;
constexpr uint16_t option_cookie = 10;

// The fixed fields of the OPT record before its options: owner, TYPE, CLASS, TTL, RDLENGTH.
constexpr std::size_t opt_fixed_size = 11;

// The OPT pseudo-record (RFC 6891 6.1.2): the root as owner, the UDP payload size the reply may
// fill as CLASS, a TTL of extended RCODE 0, version 0 and the DO bit, and the options asked for.
void put_opt_record(std::vector<uint8_t>& out, const query_options& options) {
    std::vector<uint8_t> data;
    if (options.nsid) {
        put_u16(data, option_nsid);
        put_u16(data, 0);  // empty: the server fills it in
    }
    if (const std::optional<client_subnet>& subnet = options.subnet) {
        put_u16(data, option_client_subnet);
        put_u16(data, static_cast<uint32_t>(4 + subnet->address.size()));
        put_u16(data, subnet->family);
        data.push_back(subnet->source_prefix);
        data.push_back(0);  // SCOPE PREFIX-LENGTH: 0 in queries
        data.insert(data.end(), subnet->address.begin(), subnet->address.end());
    }
    out.push_back(0);                                  // owner: the root
    put_u16(out, type_opt);                            // TYPE
    put_u16(out, options.edns_size);                   // CLASS
    put_u16(out, 0);                                   // TTL: extended RCODE, version
    put_u16(out, options.dnssec_ok ? 0x8000 : 0);      // TTL: DO and Z
    put_u16(out, static_cast<uint32_t>(data.size()));  // RDLENGTH
    out.insert(out.end(), data.begin(), data.end());
}

}  // namespace

bool encode_name(std::vector<uint8_t>& out, std::string_view name) {
    out.clear();
    // The root, as every client can ask it (`dig . NS`).
    if (name == ".") {
        out.push_back(0);
        return true;
    }
    // A fully qualified name ends in the root's dot, which adds no label.
    if (name.ends_with('.')) {
        name.remove_suffix(1);
    }
    std::vector<std::string> fields;
    if (!split_fields(name, '.', fields, false, true, false) || !put_labels(out, fields)) {
        out.clear();
        return false;
    }
    out.push_back(0);
    if (out.size() > max_name_length) {
        out.clear();
        return false;
    }
    return true;
}

bool encode_reverse_name(std::vector<uint8_t>& out, std::string_view address) {
    out.clear();
    // inet_pton ends at a NUL byte, so a text holding one is not taken for an address.
    in6_addr ipv6{};
    if (address.find('\0') == std::string_view::npos &&
        inet_pton(AF_INET6, std::string(address).c_str(), &ipv6) == 1) {
        put_ip6_arpa_name(out, ipv6);
        return true;
    }
    std::vector<std::string> fields{"arpa", "in-addr"};
    if (!split_fields(address, '.', fields, false, true, true)) {
        return false;
    }
    // The list holds the suffix first and the address after it; walked backwards it gives the
    // address fields reversed, then in-addr, then arpa.
    std::vector<std::string> reversed(fields.rbegin(), fields.rend());
    if (!put_labels(out, reversed)) {
        out.clear();
        return false;
    }
    out.push_back(0);
    if (out.size() > max_name_length) {
        out.clear();
        return false;
    }
    return true;
}

bool make_packet_id(uint16_t& id) {
    thread_local random_pool pool;
    return pool.next_u16(id);
}

bool build_query(dns_record& query, std::string name, uint32_t type, const query_options& options,
                 bool reverse_ptr) {
    query.reset();
    uint16_t id = 0;
    if (!make_packet_id(id)) {
        return false;
    }
    std::vector<uint8_t> packet;

    // The identifier goes out little-endian (its low byte first), the one field not in network
    // order; the reply's is read back the same way, so an echoed identifier compares equal.
    packet.push_back(static_cast<uint8_t>(id & 0xff));
    packet.push_back(static_cast<uint8_t>(id >> 8));
    packet.push_back(options.recursion_desired ? 0x01 : 0x00);  // QR 0, opcode 0, AA 0, TC 0, RD
    packet.push_back(static_cast<uint8_t>((options.authentic_data ? 0x20 : 0) |
                                          (options.checking_disabled ? 0x10 : 0)));  // AD, CD
    put_u16(packet, 1);                                                              // QDCOUNT
    put_u16(packet, 0);                                                              // ANCOUNT
    put_u16(packet, 0);                                                              // NSCOUNT
    put_u16(packet, options.edns_size != 0 ? 1 : 0);  // ARCOUNT: the OPT record

    std::vector<uint8_t> encoded;
    const bool encoded_ok = type == type_ptr && reverse_ptr ? encode_reverse_name(encoded, name)
                                                            : encode_name(encoded, name);
    if (!encoded_ok) {
        return false;
    }
    packet.insert(packet.end(), encoded.begin(), encoded.end());
    put_u16(packet, type);
    put_u16(packet, options.qclass);
    if (options.edns_size != 0) {
        put_opt_record(packet, options);
    }

    query.message = std::make_shared<const std::vector<uint8_t>>(std::move(packet));
    query.query = std::move(name);
    query.dns_type = static_cast<uint16_t>(type);
    query.dns_class = options.qclass;
    query.packet_id = id;
    return true;
}

bool build_query(dns_record& query, std::string name, uint32_t type, uint16_t edns_size) {
    query_options options;
    options.edns_size = edns_size;
    return build_query(query, std::move(name), type, options);
}

bool set_query_cookie(dns_record& query, std::span<const uint8_t> cookie) {
    const std::span<const uint8_t> message = query.bytes();
    // The question's name as build_query wrote it, labels without compression, then TYPE and
    // CLASS; the OPT record is the only record after it.
    std::size_t at = 12;
    while (at < message.size() && message[at] != 0) {
        at += std::size_t{message[at]} + 1;
    }
    at += 1 + 4;
    if (message.size() < 12 || message[11] != 1 || at + opt_fixed_size > message.size()) {
        return false;
    }
    std::vector<uint8_t> packet(message.begin(), message.begin() + static_cast<std::ptrdiff_t>(at));
    std::vector<uint8_t> options;
    std::size_t option = at + opt_fixed_size;
    while (option + 4 <= message.size()) {
        const uint16_t code = static_cast<uint16_t>(message[option] << 8 | message[option + 1]);
        const std::size_t end =
            option + 4 + (std::size_t{message[option + 2]} << 8 | message[option + 3]);
        if (end > message.size()) {
            return false;
        }
        if (code != option_cookie) {
            options.insert(options.end(), message.begin() + static_cast<std::ptrdiff_t>(option),
                           message.begin() + static_cast<std::ptrdiff_t>(end));
        }
        option = end;
    }
    put_u16(options, option_cookie);
    put_u16(options, static_cast<uint32_t>(cookie.size()));
    options.insert(options.end(), cookie.begin(), cookie.end());
    if (options.size() > UINT16_MAX) {
        return false;
    }
    packet.insert(packet.end(), message.begin() + static_cast<std::ptrdiff_t>(at),
                  message.begin() + static_cast<std::ptrdiff_t>(at + opt_fixed_size - 2));
    put_u16(packet, static_cast<uint32_t>(options.size()));  // RDLENGTH
    packet.insert(packet.end(), options.begin(), options.end());
    query.message = std::make_shared<const std::vector<uint8_t>>(std::move(packet));
    return true;
}

bool parse_client_subnet(std::string_view text, client_subnet& out) {
    const std::size_t slash = text.find('/');
    const std::string address(text.substr(0, slash));
    std::array<uint8_t, 16> bytes{};
    uint16_t family = 0;
    if (address.find('\0') != std::string::npos) {
        return false;
    }
    if (inet_pton(AF_INET, address.c_str(), bytes.data()) == 1) {
        family = 1;
    } else if (inet_pton(AF_INET6, address.c_str(), bytes.data()) == 1) {
        family = 2;
    } else if (address != "0") {
        return false;
    }
    // "0/0" asks the server to use no client address at all (RFC 7871 7.1.2).
    const unsigned width = family == 2 ? 128 : 32;
    unsigned prefix = family == 2 ? 56 : 24;
    if (slash != std::string_view::npos) {
        const std::string_view digits = text.substr(slash + 1);
        const char* const end = digits.data() + digits.size();
        const auto [stop, error] = std::from_chars(digits.data(), end, prefix);
        if (digits.empty() || error != std::errc() || stop != end || prefix > width) {
            return false;
        }
    }
    if (family == 0 && (slash == std::string_view::npos || prefix != 0)) {
        return false;
    }
    out.family = family == 2 ? 2 : 1;
    out.source_prefix = static_cast<uint8_t>(prefix);
    out.address.assign(bytes.begin(), bytes.begin() + (prefix + 7) / 8);
    if (prefix % 8 != 0) {
        out.address.back() &= static_cast<uint8_t>(0xff << (8 - prefix % 8));
    }
    return true;
}

}  // namespace resq
