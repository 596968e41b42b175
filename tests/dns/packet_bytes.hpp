// Byte vectors for hand-assembled packets, joined piece by piece with +.
#pragma once

#include <cstdint>
#include <vector>

namespace resq {

using bytes = std::vector<uint8_t>;

inline bytes operator+(bytes head, const bytes& tail) {
    head.insert(head.end(), tail.begin(), tail.end());
    return head;
}

}  // namespace resq
