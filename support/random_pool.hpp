// Numbers from the kernel's random source, drawn in blocks so that a busy run does not make one
// system call per number. Query identifiers come from here: an off-path attacker who cannot
// predict them must guess among all 65536 (RFC 5452 9.2).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace resq {

/// Fills `out` from getrandom(2), or from /dev/urandom on a kernel without it. False when neither
/// can fill it; `out` then holds no usable value.
bool fill_random(std::span<uint8_t> out);

class random_pool {
  public:
    /// Numbers handed out per refill of the pool.
    static constexpr std::size_t block = 256;

    /// Sets `value` to the next number, uniform over 0 to 65535, refilling the pool when it is
    /// used up. False, with `value` 0, when the pool cannot be refilled.
    bool next_u16(uint16_t& value);

  private:
    std::array<uint8_t, block * 2> bytes_{};
    std::size_t used_ = block;  // numbers already handed out; `block`: none left
};

}  // namespace resq
