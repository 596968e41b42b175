#include "dns/query_builder.hpp"

#include <arpa/inet.h>

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

constexpr uint16_t class_in = 1;

void put_u16(std::vector<uint8_t>& out, uint32_t value) {
    out.push_back(static_cast<uint8_t>(value >> 8 & 0xff));
    out.push_back(static_cast<uint8_t>(value & 0xff));
}

// Appends each field as one label, in the order given; false for an over-long one.
template <typename Fields>
bool put_labels(std::vector<uint8_t>& out, const Fields& fields) {
    for (const std::string& field : fields) {
        if (field.size() > max_label_length) {
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

// The OPT pseudo-record (RFC 6891 6.1.2): the root as owner, the UDP payload size the reply may
// fill as CLASS, a TTL of 0 (extended RCODE 0, version 0, DO clear) and no options.
void put_opt_record(std::vector<uint8_t>& out, uint16_t payload_size) {
    out.push_back(0);            // owner: the root
    put_u16(out, type_opt);      // TYPE
    put_u16(out, payload_size);  // CLASS
    put_u16(out, 0);             // TTL: extended RCODE, version
    put_u16(out, 0);             // TTL: DO and Z
    put_u16(out, 0);             // RDLENGTH
}

}  // namespace

bool encode_name(std::vector<uint8_t>& out, std::string_view name) {
    out.clear();
    std::vector<std::string> fields;
    if (!split_fields(name, '.', fields, false, false, false)) {
        return false;
    }
    if (!put_labels(out, fields)) {
        out.clear();
        return false;
    }
    if (out.empty()) {
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
    if (!split_fields(address, '.', fields, false, false, true)) {
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

bool build_query(dns_record& query, std::string name, uint32_t type, uint16_t edns_size) {
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
    packet.push_back(0x01);                   // QR 0, opcode 0, AA 0, TC 0, RD 1
    packet.push_back(0x00);                   // RA 0, Z 0, RCODE 0
    put_u16(packet, 1);                       // QDCOUNT
    put_u16(packet, 0);                       // ANCOUNT
    put_u16(packet, 0);                       // NSCOUNT
    put_u16(packet, edns_size != 0 ? 1 : 0);  // ARCOUNT: the OPT record

    std::vector<uint8_t> encoded;
    const bool encoded_ok =
        type == type_ptr ? encode_reverse_name(encoded, name) : encode_name(encoded, name);
    if (!encoded_ok) {
        return false;
    }
    packet.insert(packet.end(), encoded.begin(), encoded.end());
    put_u16(packet, type);
    put_u16(packet, class_in);
    if (edns_size != 0) {
        put_opt_record(packet, edns_size);
    }

    query.message = std::make_shared<const std::vector<uint8_t>>(std::move(packet));
    query.query = std::move(name);
    query.dns_type = static_cast<uint16_t>(type);
    query.dns_class = class_in;
    query.packet_id = id;
    return true;
}

}  // namespace resq
