#include "dns/record_types.hpp"

#include <gtest/gtest.h>

#include <vector>

namespace resq {
namespace {

using bytes = std::vector<uint8_t>;

TEST(record_types, names_every_type_of_the_table_and_unk_otherwise) {
    struct name_case {
        uint16_t type;
        const char* name;
    };
    const name_case cases[] = {
        {1, "A"},     {2, "NS"},       {5, "CNAME"},     {6, "SOA"},         {12, "PTR"},
        {15, "MX"},   {16, "TXT"},     {23, "NSAP_PTR"}, {28, "AAAA"},       {29, "LOC"},
        {31, "EID"},  {41, "OPT"},     {44, "SSHFP"},    {51, "NSEC3PARAM"}, {55, "HIP"},
        {99, "SPF"},  {103, "UNSPEC"}, {249, "TKEY"},    {252, "AXFR"},      {254, "MAILA"},
        {255, "ANY"}, {32768, "TA"},   {32769, "DLV"},   {0, "unk"},         {30, "unk"},
        {34, "unk"},  {38, "unk"},     {43, "unk"},      {52, "unk"},        {253, "unk"},
        {256, "unk"}, {32767, "unk"},  {32770, "unk"},   {65535, "unk"},
    };
    for (const name_case& c : cases) {
        EXPECT_EQ(type_name(c.type), c.name) << c.type;
    }
    int named = 0;
    for (uint32_t type = 0; type <= 0xffff; ++type) {
        named += type_name(static_cast<uint16_t>(type)) != "unk";
    }
    EXPECT_EQ(named, 61);
}

// An SOA answer for x.y whose five numbers are followed by one more byte of the message.
const bytes soa_reply = {
    0x01, 0x00,                                                     // id 1
    0x81, 0x80,                                                     // flags: QR RD RA
    0x00, 0x01, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00,                 // QD 1, AN 1
    0x01, 'x',  0x01, 'y',  0x00,                                   // @12 name x.y.
    0x00, 0x06, 0x00, 0x01,                                         // qtype SOA, qclass IN
    0xc0, 0x0c,                                                     // @21 owner: pointer to 12
    0x00, 0x06, 0x00, 0x01,                                         // type SOA, class IN
    0x00, 0x00, 0x0e, 0x10,                                         // TTL 3600
    0x00, 0x27,                                                     // RDLENGTH 39
    0x03, 'n',  's',  '1',  0xc0, 0x0c,                             // @33 MNAME ns1 + pointer to 12
    0x0a, 'h',  'o',  's',  't',  'm',  'a',  's',  't', 'e', 'r',  // @39 RNAME label "hostmaster"
    0xc0, 0x0c,                                                     // pointer to 12
    0x78, 0x49, 0x0a, 0x01,                                         // @52 SERIAL 2018052609
    0x00, 0x00, 0x1c, 0x20,                                         // REFRESH 7200
    0x00, 0x00, 0x0e, 0x10,                                         // RETRY 3600
    0x00, 0x12, 0x75, 0x00,                                         // EXPIRE 1209600
    0x00, 0x00, 0x01, 0x2c,                                         // MINIMUM 300
    0x00,                                                           // @72 one byte after the data
};

TEST(record_types, decodes_soa_data_with_a_dotted_rname) {
    soa_fields soa;
    ASSERT_TRUE(decode_soa(soa_reply, 33, soa));
    EXPECT_EQ(soa.domain_name, "ns1.x.y.");
    EXPECT_EQ(soa.admin_mailbox, "hostmaster.x.y.");
    EXPECT_EQ(soa.serial_num, 2018052609u);
    EXPECT_EQ(soa.refresh_sec, 7200u);
    EXPECT_EQ(soa.retry_sec, 3600u);
    EXPECT_EQ(soa.expire_sec, 1209600u);
    EXPECT_EQ(soa.min_sec, 300u);
}

TEST(record_types, bounds_soa_numbers_by_the_message_not_the_rdata) {
    // Shifted one byte on, the numbers end exactly at the end of the message: still decoded,
    // though they run one byte past the record's own data.
    bytes shifted = soa_reply;
    shifted.insert(shifted.begin() + 33, 0x00);  // a stray byte; MNAME now at 34
    shifted.pop_back();                          // the byte after the data
    soa_fields soa;
    ASSERT_TRUE(decode_soa(shifted, 34, soa));
    EXPECT_EQ(soa.min_sec, 300u);

    // Cut so that the last number lacks a byte: no SOA.
    const bytes cut(soa_reply.begin(), soa_reply.end() - 2);
    EXPECT_FALSE(decode_soa(cut, 33, soa));
    EXPECT_EQ(soa.serial_num, 0u);

    bytes loop = soa_reply;
    loop[51] = 0x32;  // RNAME pointer at 50 -> 50 itself
    EXPECT_FALSE(decode_soa(loop, 33, soa));
    EXPECT_FALSE(decode_soa(soa_reply, 0, soa));
}

}  // namespace
}  // namespace resq
