#include "dns/record_types.hpp"

#include <algorithm>
#include <array>

#include "dns/reply_decoder.hpp"
#include "dns/wire_reader.hpp"

namespace resq {

namespace {

struct type_entry {
    uint16_t number;
    std::string_view name;
};

// Sorted by number for the binary search in `type_name`.
constexpr std::array<type_entry, 61> type_table{{
    {1, "A"},         {2, "NS"},          {3, "MD"},        {4, "MF"},      {5, "CNAME"},
    {6, "SOA"},       {7, "MB"},          {8, "MG"},        {9, "MR"},      {10, "NULL"},
    {11, "WKS"},      {12, "PTR"},        {13, "HINFO"},    {14, "MINFO"},  {15, "MX"},
    {16, "TXT"},      {17, "RP"},         {18, "AFSDB"},    {19, "X25"},    {20, "ISDN"},
    {21, "RT"},       {22, "NSAP"},       {23, "NSAP_PTR"}, {24, "SIG"},    {25, "KEY"},
    {26, "PX"},       {27, "GPOS"},       {28, "AAAA"},     {29, "LOC"},    {31, "EID"},
    {32, "NIMLOC"},   {33, "SRV"},        {35, "NAPTR"},    {36, "KX"},     {37, "CERT"},
    {39, "DNAME"},    {40, "SINK"},       {41, "OPT"},      {42, "APL"},    {44, "SSHFP"},
    {45, "IPSECKEY"}, {46, "RRSIG"},      {47, "NSEC"},     {48, "DNSKEY"}, {49, "DHCID"},
    {50, "NSEC3"},    {51, "NSEC3PARAM"}, {55, "HIP"},      {99, "SPF"},    {100, "UINFO"},
    {101, "UID"},     {102, "GID"},       {103, "UNSPEC"},  {249, "TKEY"},  {250, "TSIG"},
    {251, "IXFR"},    {252, "AXFR"},      {254, "MAILA"},   {255, "ANY"},   {32768, "TA"},
    {32769, "DLV"},
}};

static_assert(std::is_sorted(type_table.begin(), type_table.end(),
                             [](const type_entry& a, const type_entry& b) {
                                 return a.number < b.number;
                             }));

// SERIAL, REFRESH, RETRY, EXPIRE, MINIMUM.
constexpr std::size_t soa_numbers_size = 20;

}  // namespace

std::string_view type_name(uint16_t type) {
    const auto found = std::lower_bound(
        type_table.begin(), type_table.end(), type,
        [](const type_entry& entry, uint16_t number) { return entry.number < number; });
    if (found == type_table.end() || found->number != type) {
        return "unk";
    }
    return found->name;
}

bool decode_soa(std::span<const uint8_t> message, uint32_t offset, soa_fields& soa) {
    soa = soa_fields{};
    const std::size_t mname_size = decode_name(message, offset, soa.domain_name);
    if (mname_size == 0) {
        return false;
    }
    const std::size_t rname_offset = offset + mname_size;
    const std::size_t rname_size =
        decode_name(message, static_cast<uint32_t>(rname_offset), soa.admin_mailbox);
    if (rname_size == 0) {
        return false;
    }
    // The record's own RDLENGTH is not consulted: the numbers may lie anywhere in the message.
    wire_reader numbers(message, rname_offset + rname_size);
    if (numbers.failed() || numbers.remaining() < soa_numbers_size) {
        return false;
    }
    soa.serial_num = numbers.u32();
    soa.refresh_sec = numbers.u32();
    soa.retry_sec = numbers.u32();
    soa.expire_sec = numbers.u32();
    soa.min_sec = numbers.u32();
    return true;
}

}  // namespace resq
