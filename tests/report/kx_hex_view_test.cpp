#include "report/kx_hex_view.hpp"

#include <gtest/gtest.h>

#include <iomanip>
#include <memory>
#include <sstream>
#include <string>

namespace resq {
namespace {

// clang-format off
const std::vector<uint8_t> query_29 = {
    0x2a, 0x00, 0x01, 0x00, 0, 1, 0, 0, 0, 0, 0, 0,  // id 42, RD, QDCOUNT 1, others 0
    3, 'w', 'w', 'w', 7, 'e', 'x', 'a', 'm', 'p', 'l', 'e', 0, 0, 1, 0, 1,  // www.example. A IN
};
// clang-format on

// Its dump: the second line, short, pads the hexadecimal column so the characters line up.
const std::string line_1 = "2a 00 01 00 00 01 00 00  00 00 00 00 03 77 77 77  *............www\n";
const std::string line_2 = "07 65 78 61 6d 70 6c 65  00 00 01 00 01           .example.....\n";
const std::string query_29_dump = "0000 0000:  " + line_1 + "0000 0010:  " + line_2;

std::string dump(const std::vector<uint8_t>& bytes) {
    std::ostringstream out;
    dump_bytes(bytes, out);
    return out.str();
}

TEST(kx_hex_view, dumps_whole_and_partial_lines_with_the_characters_aligned) {
    EXPECT_EQ(dump(query_29), query_29_dump);
    EXPECT_EQ(dump({}), "");
    const std::pair<std::vector<uint8_t>, std::string> cases[] = {
        {{0x05}, "05" + std::string(47, ' ') + " ."},
        {{0x1f, 0x20, 0x7e, 0x7f, 0x80, 0xff, 0x30, 0x31},
         "1f 20 7e 7f 80 ff 30 31 " + std::string(25, ' ') + " . ~...01"},
        {{'a', 'b', 'c', 'd', 'e', 'f', 'g', 'h', 'i', 'j', 'k', 'l', 'm'},
         "61 62 63 64 65 66 67 68  69 6a 6b 6c 6d " + std::string(9, ' ') + " abcdefghijklm"},
        {{'A', 'B', 'C', 'D', 'E', 'F', 'G', 'H', 'I', 'J', 'K', 'L', 'M', 'N', 'O', 'P'},
         "41 42 43 44 45 46 47 48  49 4a 4b 4c 4d 4e 4f 50  ABCDEFGHIJKLMNOP"},
    };
    for (const auto& [bytes, expected] : cases) {
        EXPECT_EQ(dump(bytes), "0000 0000:  " + expected + "\n") << bytes.size() << " bytes";
    }
    for (uint8_t count = 1; count <= 16; ++count) {
        EXPECT_EQ(dump(std::vector<uint8_t>(count, 'z')).find('z'), 62u) << int{count} << " bytes";
    }
}

TEST(kx_hex_view, verbose_block_shows_what_the_attempt_sent_and_received) {
    const std::string rule(79, '-');
    dns_exchange attempt;
    const auto block = [&] {
        std::ostringstream out;
        out << std::uppercase << std::setfill('*');
        write_verbose_block(out, attempt);
        out << std::setw(5) << 122 << ' ' << 1e30;  // fill, base and upper case as found
        return out.str();
    };
    EXPECT_EQ(block(), "\n" + rule + "\n" + rule + "\n\n**122 1E+30");  // a send failure
    attempt.sent_bytes = std::make_shared<const std::vector<uint8_t>>(query_29);
    attempt.sent_size = 29;  // a time-out
    const std::string sent = "\n" + rule + "\npacket that was sent\n" + query_29_dump + "\n";
    EXPECT_EQ(block(), sent + rule + "\n\n**122 1E+30");
    attempt.received_bytes = std::make_shared<const std::vector<uint8_t>>(1, uint8_t{0x2a});
    attempt.received_size = 1;
    EXPECT_EQ(block(), sent + "packet that was recv'd\n0000 0000:  2a" + std::string(47, ' ') +
                           " *\n" + rule + "\n\n**122 1E+30");
}

}  // namespace
}  // namespace resq
