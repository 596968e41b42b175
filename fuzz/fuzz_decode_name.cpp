// Fuzz target: the name decoder at an arbitrary offset. The first two bytes of the input choose
// the offset (big-endian); the rest is the message.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "dns/reply_decoder.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    if (size < 2) {
        return 0;
    }
    const uint32_t offset = static_cast<uint32_t>(data[0]) << 8 | data[1];
    const std::span<const uint8_t> message(data + 2, size - 2);
    std::string name;
    const std::size_t consumed = resq::decode_name(message, offset, name);
    // What the name occupies at its start lies inside the message, and a failure leaves no text.
    if (consumed > 0 ? offset + consumed > message.size() : !name.empty()) {
        __builtin_trap();
    }
    return 0;
}
