#include "dns/record_types.hpp"

#include <gtest/gtest.h>

#include <tuple>
#include <vector>

namespace resq {
namespace {

using bytes = std::vector<uint8_t>;

TEST(record_types, names_every_type_of_the_table_and_unk_otherwise) {
    const struct {
        uint16_t type;
        const char* name;
    } cases[] = {
        {1, "A"},     {2, "NS"},       {5, "CNAME"},     {6, "SOA"},         {12, "PTR"},
        {15, "MX"},   {16, "TXT"},     {23, "NSAP_PTR"}, {28, "AAAA"},       {29, "LOC"},
        {31, "EID"},  {41, "OPT"},     {44, "SSHFP"},    {51, "NSEC3PARAM"}, {55, "HIP"},
        {99, "SPF"},  {103, "UNSPEC"}, {249, "TKEY"},    {252, "AXFR"},      {254, "MAILA"},
        {255, "ANY"}, {32768, "TA"},   {32769, "DLV"},   {0, "unk"},         {30, "unk"},
        {34, "unk"},  {38, "unk"},     {43, "unk"},      {52, "unk"},        {253, "unk"},
        {256, "unk"}, {32767, "unk"},  {32770, "unk"},   {65535, "unk"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(type_name(c.type), c.name) << c.type;
    }
    int named = 0;
    for (uint32_t type = 0; type <= 0xffff; ++type) {
        named += type_name(static_cast<uint16_t>(type)) != "unk";
    }
    EXPECT_EQ(named, 61);
}

// SOA data after a header and the name x.y, followed by one more byte of the message.
const bytes soa_message = {
    0,    0,    0,    0,    0,    0,    0,   0,   0,   0,   0,   0,  // header
    0x01, 'x',  0x01, 'y',  0x00,                                    // @12 name x.y.
    0x03, 'n',  's',  '1',  0xc0, 0x0c,                           // @17 MNAME ns1 + pointer to 12
    0x0a, 'h',  'o',  's',  't',  'm',  'a', 's', 't', 'e', 'r',  // @23 RNAME label "hostmaster"
    0xc0, 0x0c,                                                   // @34 pointer to 12
    0x78, 0x49, 0x0a, 0x01,                                       // @36 SERIAL 2018052609
    0x00, 0x00, 0x1c, 0x20,                                       // REFRESH 7200
    0x00, 0x00, 0x0e, 0x10,                                       // RETRY 3600
    0x00, 0x12, 0x75, 0x00,                                       // EXPIRE 1209600
    0x00, 0x00, 0x01, 0x2c,                                       // MINIMUM 300
    0x00,                                                         // @56 one byte after the data
};

TEST(record_types, decodes_soa_data_bounded_by_the_message) {
    const bytes exact(soa_message.begin(), soa_message.end() - 1);  // numbers end at the end
    soa_fields soa;
    for (const bytes* message : {&soa_message, &exact}) {
        ASSERT_TRUE(decode_soa(*message, 17, soa));
        EXPECT_EQ(soa.domain_name, "ns1.x.y.");
        EXPECT_EQ(soa.admin_mailbox, "hostmaster.x.y.");  // kept dotted, not made an address
        EXPECT_EQ(
            std::tie(soa.serial_num, soa.refresh_sec, soa.retry_sec, soa.expire_sec, soa.min_sec),
            std::make_tuple(2018052609u, 7200u, 3600u, 1209600u, 300u));
    }
    const bytes cut(soa_message.begin(), soa_message.end() - 2);  // MINIMUM lacks a byte
    EXPECT_FALSE(decode_soa(cut, 17, soa));
    EXPECT_EQ(soa.serial_num, 0u);  // emptied, not left from the decoding before
    bytes loop = soa_message;
    loop[35] = 0x22;  // RNAME pointer at 34 -> 34 itself
    EXPECT_FALSE(decode_soa(loop, 17, soa));
    EXPECT_FALSE(decode_soa(soa_message, 0, soa));
}

}  // namespace
}  // namespace resq
