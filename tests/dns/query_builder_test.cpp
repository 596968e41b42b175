#include "dns/query_builder.hpp"

#include <gtest/gtest.h>

#include <initializer_list>
#include <set>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include "tests/dns/packet_bytes.hpp"

namespace resq {
namespace {

// clang-format off
// Bytes 2 to 11 of every query: flags RD, QDCOUNT 1, AN NS AR 0.
const bytes fixed_header = {0x01, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00};
const bytes ab_cde = {2, 'a', 'b', 3, 'c', 'd', 'e', 0};  // labels "ab" "cde", root
const bytes x = {1, 'x', 0};                               // label "x", root
const bytes in_addr_arpa = {7, 'i', 'n', '-', 'a', 'd', 'd', 'r', 4, 'a', 'r', 'p', 'a', 0};
const bytes class_in = {0x00, 0x01};
// clang-format on
// The ip6.arpa name of an address whose 32 hexadecimal digits, the last first, are `digits`.
bytes ip6_arpa(std::string_view digits) {
    bytes name;
    for (const char digit : digits) {
        name.insert(name.end(), {1, static_cast<uint8_t>(digit)});
    }
    return name + bytes{3, 'i', 'p', '6', 4, 'a', 'r', 'p', 'a', 0};
}
// The identifier as it goes out, low byte first.
bytes id_bytes(uint16_t id) {
    return {static_cast<uint8_t>(id & 0xff), static_cast<uint8_t>(id >> 8)};
}
const std::string label63(63, 'a');
const std::string label64(64, 'a');

// A name of labels of the given sizes (letters "a"), as text and on the wire without the root.
std::string name_of(std::initializer_list<std::size_t> sizes) {
    std::string name;
    for (const std::size_t size : sizes) {
        name += (name.empty() ? "" : ".") + std::string(size, 'a');
    }
    return name;
}
bytes wire_of(std::initializer_list<std::size_t> sizes) {
    bytes wire;
    for (const std::size_t size : sizes) {
        wire.push_back(static_cast<uint8_t>(size));
        wire.insert(wire.end(), size, 'a');
    }
    return wire;
}

TEST(query_builder, builds_each_type_and_the_root_refusing_empty_or_over_long_labels_and_names) {
    const bytes reversed_192_0_2_1 = {1, '1', 1, '2', 1, '0', 3, '1', '9', '2'};  // 1 2 0 192
    const struct {
        std::string name;
        uint32_t type;
        bytes encoded;      // the name on the wire; empty: refused
        uint8_t type_code;  // low byte of the type on the wire
    } cases[] = {
        {"ab.cde", type_a, ab_cde, 0x01},
        {"x.Y", type_mx, {1, 'x', 1, 'Y', 0}, 0x0f},
        {"x", type_ns, x, 0x02},
        {"x", type_cname, x, 0x05},
        {"x", type_txt, x, 0x10},
        {"192.0.2.1", type_ptr, reversed_192_0_2_1 + in_addr_arpa, 0x0c},
        {"ab.cde.", type_a, ab_cde, 0x01},
        {".", type_ns, {0}, 0x02},  // the root
        // An empty label would end the name early: another name would be asked.
        {".ab.cde", type_a, {}, 0},
        {"ab..cde", type_a, {}, 0},
        {"ab.cde..", type_a, {}, 0},
        {"", type_a, {}, 0},
        {"..", type_a, {}, 0},
        {"x." + label63, type_a, bytes{1, 'x', 63} + bytes(63, 'a') + bytes{0}, 0x01},
        {"x." + label64, type_a, {}, 0},
        {"10.1", type_ptr, bytes{1, '1', 2, '1', '0'} + in_addr_arpa, 0x0c},
        {"host", type_ptr, bytes{4, 'h', 'o', 's', 't'} + in_addr_arpa, 0x0c},  // not validated
        {"...", type_ptr, {}, 0},
        {"192..2.1", type_ptr, {}, 0},
        {label63 + ".1", type_ptr, bytes{1, '1', 63} + bytes(63, 'a') + in_addr_arpa, 0x0c},
        {"1." + label64, type_ptr, {}, 0},
        {"", type_ptr, {}, 0},
        // 255 bytes on the wire at most, length bytes and the root included.
        {name_of({63, 63, 63, 61}), type_a, wire_of({63, 63, 63, 61}) + bytes{0}, 0x01},
        {name_of({63, 63, 63, 62}), type_a, {}, 0},
        {name_of({63, 63, 63, 48}), type_ptr, wire_of({48, 63, 63, 63}) + in_addr_arpa, 0x0c},
        {name_of({63, 63, 63, 49}), type_ptr, {}, 0},
        {"2001:db8::1", type_ptr, ip6_arpa("1000000000000000000000008bd01002"), 0x0c},
        {"::FFFF:192.0.2.1", type_ptr, ip6_arpa("1020000cffff00000000000000000000"), 0x0c},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        bytes out = {0xff};  // stale
        EXPECT_EQ(c.type == type_ptr ? encode_reverse_name(out, c.name) : encode_name(out, c.name),
                  !c.encoded.empty());
        EXPECT_EQ(out, c.encoded);
        dns_record query;
        query.message = std::make_shared<const bytes>(bytes{1, 2, 3});
        query.packet_id = 7;
        const bool built = build_query(query, c.name, c.type);
        EXPECT_EQ(built, !c.encoded.empty());
        if (!built) {
            EXPECT_EQ(std::tie(query.message, query.query, query.packet_id),
                      std::tuple(nullptr, "", 0));
            continue;
        }
        EXPECT_EQ(*query.message, (id_bytes(query.packet_id) + fixed_header + c.encoded +
                                   bytes{0x00, c.type_code} + class_in));
        EXPECT_EQ(std::tie(query.query, query.dns_type, query.dns_class),
                  std::tuple(c.name, c.type, 1));  // the name as given, also for PTR
    }
}

TEST(query_builder, adds_an_opt_record_advertising_the_edns_size_unless_it_is_0) {
    // clang-format off
    const bytes opt_1232 = {
        0x00,                    // owner: the root
        0x00, 0x29,              // TYPE 41, OPT
        0x04, 0xd0,              // CLASS: UDP payload size 1232
        0x00, 0x00, 0x00, 0x00,  // TTL: extended RCODE 0, version 0, DO clear, Z 0
        0x00, 0x00,              // RDLENGTH 0, no options
    };
    const struct { uint16_t size; uint8_t additional_count; bytes opt; } cases[] = {
        {0, 0, {}}, {1232, 1, opt_1232}, {65535, 1, {0, 0, 41, 0xff, 0xff, 0, 0, 0, 0, 0, 0}}};
    // clang-format on
    const bytes counts(fixed_header.begin(), fixed_header.end() - 1);  // up to ARCOUNT's low byte
    for (const auto& c : cases) {
        dns_record query;
        ASSERT_TRUE(build_query(query, "x", type_a, c.size));
        EXPECT_EQ(*query.message, (id_bytes(query.packet_id) + counts + bytes{c.additional_count} +
                                   x + bytes{0, 1} + class_in + c.opt));
    }
}

TEST(query_builder, draws_identifiers_whose_two_bytes_each_take_nearly_every_value) {
    std::set<uint8_t> low, high;
    for (int i = 0; i < 4000; ++i) {  // a byte value is missed with a chance of about e^-15.6
        dns_record query;
        ASSERT_TRUE(build_query(query, "a", type_a));
        low.insert(query.message->at(0));
        high.insert(query.message->at(1));
    }
    EXPECT_GE(low.size(), 250u);
    EXPECT_GE(high.size(), 250u);
}

}  // namespace
}  // namespace resq
