#include "dns/record_types.hpp"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

namespace resq {
namespace {

using bytes = std::vector<uint8_t>;

TEST(record_types, names_every_type_of_the_table_and_unk_otherwise) {
    const std::pair<uint16_t, const char*> cases[] = {
        {1, "A"},      {23, "NSAP_PTR"}, {51, "NSEC3PARAM"}, {61, "OPENPGPKEY"},
        {65, "HTTPS"}, {257, "CAA"},     {32769, "DLV"},     {0, "unk"},
        {30, "unk"},   {54, "unk"},      {65535, "unk"},
    };
    for (const auto& [type, name] : cases) {
        EXPECT_EQ(type_name(type), name) << type;
    }
    for (uint32_t type = 0; type <= 0xffff; ++type) {
        const auto number = static_cast<uint16_t>(type);
        // Every name and every RFC 3597 mnemonic leads back to its number.
        EXPECT_EQ(type_number(type_mnemonic(number)), number);
    }
}

TEST(record_types, reads_mnemonics_in_any_letter_case_and_the_rfc_3597_form) {
    const std::pair<const char*, std::optional<uint16_t>> cases[] = {
        {"https", 65}, {"Svcb", 64},      {"TYPE65", 65}, {"type0", 0},       {"TYPE65535", 65535},
        {"TYPE", {}},  {"TYPE65536", {}}, {"TYPE6x", {}}, {"TYPE000001", {}}, {"unk", {}},
        {"", {}},      {"HTTPSX", {}},    {"TYPE-1", {}}, {"A ", {}},
    };
    for (const auto& [mnemonic, number] : cases) {
        EXPECT_EQ(type_number(mnemonic), number) << mnemonic;
    }
}

// clang-format off
// SOA data after a header and the name x.y, followed by one more byte of the message.
const bytes soa_message = {
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 'x', 1, 'y', 0,           // header, @12 x.y.
    3, 'n', 's', '1', 0xc0, 0x0c,                                    // @17 MNAME ns1 ->12
    10, 'h', 'o', 's', 't', 'm', 'a', 's', 't', 'e', 'r', 0xc0, 0x0c,  // @23 RNAME, @34 ->12
    0x78, 0x49, 0x0a, 0x01, 0x00, 0x00, 0x1c, 0x20,  // @36 SERIAL 2018052609, REFRESH 7200
    0x00, 0x00, 0x0e, 0x10, 0x00, 0x12, 0x75, 0x00,  // RETRY 3600, EXPIRE 1209600
    0x00, 0x00, 0x01, 0x2c, 0x00,                    // MINIMUM 300, @56 one byte after the data
};
// clang-format on

// A record over `message` whose data is `length` bytes from `offset`.
dns_record record_in(const bytes& message, uint16_t type, uint32_t offset, uint16_t length) {
    dns_record record;
    record.message = std::make_shared<const bytes>(message);
    record.section = section_kind::answer;
    record.dns_type = type;
    record.data_offset = offset;
    record.data_length = length;
    return record;
}

TEST(record_types, decodes_soa_data_bounded_by_the_record_data) {
    soa_fields soa;
    ASSERT_TRUE(decode_soa(record_in(soa_message, type_soa, 17, 39), soa));
    EXPECT_EQ(std::make_tuple(soa.domain_name.raw(), soa.admin_mailbox.raw(), soa.serial_num,
                              soa.refresh_sec, soa.retry_sec, soa.expire_sec, soa.min_sec),
              std::make_tuple("ns1.x.y.", "hostmaster.x.y.", 2018052609u, 7200u, 3600u, 1209600u,
                              300u));  // RNAME kept a name, not made an address
    // MINIMUM lacks a byte of the data, though the message has it.
    EXPECT_FALSE(decode_soa(record_in(soa_message, type_soa, 17, 38), soa));
    EXPECT_EQ(soa.serial_num, 0u);  // emptied, not left from the decoding before
    // MNAME's own labels run past a data of 3 bytes.
    EXPECT_FALSE(decode_soa(record_in(soa_message, type_soa, 17, 3), soa));
    bytes loop = soa_message;
    loop[35] = 0x22;  // RNAME pointer at 34 -> 34 itself
    EXPECT_FALSE(decode_soa(record_in(loop, type_soa, 17, 39), soa));
}

}  // namespace
}  // namespace resq
