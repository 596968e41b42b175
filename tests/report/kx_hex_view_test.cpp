#include "report/kx_hex_view.hpp"

#include <gtest/gtest.h>

#include <iomanip>
#include <sstream>
#include <string>

namespace resq {
namespace {

// clang-format off
// The 29-byte A query for www.example.
const std::vector<uint8_t> query_29 = {
    0x2a, 0x00,  // id 42
    0x01, 0x00,  // RD
    0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,  // QDCOUNT 1, others 0
    0x03, 'w', 'w', 'w', 0x07, 'e', 'x', 'a', 'm', 'p', 'l', 'e', 0x00,  // www.example.
    0x00, 0x01,  // type A
    0x00, 0x01,  // class IN
};
// clang-format on

const std::string query_29_dump =
    "0000 0000:  2a 00 01 00 00 01 00 00  00 00 00 00 03 77 77 77  *............www\n"
    "0000 0010:  07 65 78 61 6d 70 6c 65  00 00 01 00 01           .example.....\n";

const std::string rule(79, '-');

std::string dump(const std::vector<uint8_t>& bytes) {
    std::ostringstream out;
    dump_bytes(bytes, out);
    return out.str();
}

TEST(kx_hex_view, dumps_a_29_byte_message_in_two_aligned_lines) {
    EXPECT_EQ(dump(query_29), query_29_dump);
    EXPECT_EQ(dump({}), "");
}

TEST(kx_hex_view, pads_short_lines_so_the_characters_line_up) {
    const std::pair<std::vector<uint8_t>, std::string> cases[] = {
        {{0x05}, "0000 0000:  05" + std::string(47, ' ') + " .\n"},
        {{0x1f, 0x20, 0x7e, 0x7f, 0x80, 0xff, 0x30, 0x31},  // 24 + 1 padding spaces
         "0000 0000:  1f 20 7e 7f 80 ff 30 31 " + std::string(25, ' ') + " . ~...01\n"},
        {{'a', 'b', 'c', 'd', 'e', 'f', 'g', 'h', 'i', 'j', 'k', 'l', 'm'},
         "0000 0000:  61 62 63 64 65 66 67 68  69 6a 6b 6c 6d " + std::string(9, ' ') +
             " abcdefghijklm\n"},
        {{'A', 'B', 'C', 'D', 'E', 'F', 'G', 'H', 'I', 'J', 'K', 'L', 'M', 'N', 'O', 'P'},
         "0000 0000:  41 42 43 44 45 46 47 48  49 4a 4b 4c 4d 4e 4f 50  ABCDEFGHIJKLMNOP\n"},
    };
    for (const auto& [bytes, expected] : cases) {
        EXPECT_EQ(dump(bytes), expected) << bytes.size() << " bytes";
    }
    for (uint8_t count = 1; count <= 16; ++count) {
        const std::string line = dump(std::vector<uint8_t>(count, 'z'));
        EXPECT_EQ(line.find('z'), 62u) << int{count} << " bytes";
    }
}

TEST(kx_hex_view, writes_the_upper_half_of_a_wide_offset_only_when_needed) {
    const std::vector<uint8_t> bytes = {0x41};
    const kx::binary_data data(bytes, true);
    const std::pair<uint64_t, std::string> cases[] = {
        {0x0000000000012340ull, "0001 2340:  "},
        {0x0000000100000010ull, "0001 0000 0010:  "},
        {0x0002000300040050ull, "0002 0003 0004 0050:  "},
    };
    for (const auto& [offset, expected] : cases) {
        std::ostringstream out;
        kx::write_dump_line(out, data, 0, 1, offset, true);
        EXPECT_EQ(out.str().substr(0, expected.size()), expected);
    }
    std::ostringstream out;
    kx::write_dump_line(out, data, 0, 1, 0, false);
    EXPECT_EQ(out.str(), "41" + std::string(47, ' ') + " A");
}

TEST(kx_hex_view, dumps_a_range_with_its_base_offset) {
    std::ostringstream out;
    kx::hex_dump(out, kx::binary_data(query_29, false), 16, 1000, 0x100, true);
    EXPECT_EQ(out.str(),
              "0000 0100:  07 65 78 61 6d 70 6c 65  00 00 01 00 01           .example.....\n");
}

TEST(kx_hex_view, an_owned_copy_does_not_follow_the_source) {
    std::vector<uint8_t> bytes = {1, 2};
    const kx::binary_data owned(bytes, true);
    const kx::binary_data borrowed(bytes, false);
    bytes[0] = 9;
    EXPECT_EQ(owned(0), 1);
    EXPECT_EQ(borrowed(0), 9);
    EXPECT_EQ(owned.size(), 2u);
}

TEST(kx_hex_view, verbose_block_shows_what_the_attempt_sent_and_received) {
    dns_exchange attempt;
    const auto block = [&] {
        std::ostringstream out;
        write_verbose_block(out, attempt);
        return out.str();
    };
    // A send failure: only the two rules.
    EXPECT_EQ(block(), "\n" + rule + "\n" + rule + "\n\n");

    attempt.sent_bytes = query_29;
    attempt.sent_size = 29;  // a time-out: the sent packet only
    EXPECT_EQ(block(),
              "\n" + rule + "\npacket that was sent\n" + query_29_dump + "\n" + rule + "\n\n");

    attempt.received_bytes = {0x2a};
    attempt.received_size = 1;
    EXPECT_EQ(block(), "\n" + rule + "\npacket that was sent\n" + query_29_dump +
                           "\npacket that was recv'd\n0000 0000:  2a" + std::string(47, ' ') +
                           " *\n" + rule + "\n\n");
}

TEST(kx_hex_view, leaves_the_stream_format_state_as_found) {
    std::ostringstream out;
    out << std::uppercase << std::setfill('*');
    const auto flags = out.flags();
    dns_exchange attempt;
    attempt.sent_bytes = query_29;
    attempt.sent_size = 29;
    write_verbose_block(out, attempt);
    EXPECT_EQ(out.flags(), flags);
    EXPECT_EQ(out.fill(), '*');
    out.str("");
    out << std::setw(4) << 7;
    EXPECT_EQ(out.str(), "***7");
}

}  // namespace
}  // namespace resq
