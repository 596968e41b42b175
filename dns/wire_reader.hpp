// The one bounded reader through which every decoder of this layer reads a DNS message.
//
// A cursor over the message with a sticky error. Bytes past the end read as zero, as if the
// message were followed by the zero-filled remainder of the receive buffer, and the first such
// byte marks the reader failed; once failed, every read yields zero and the cursor stays where it
// is. Decoders read a group of fields and check `failed()` once. Integers are assembled from
// single bytes, most significant first, so no read depends on host byte order or alignment.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace resq {

class wire_reader {
  public:
    /// A reader over `bytes`, positioned at `offset`; failed when `offset` lies past the end.
    explicit wire_reader(std::span<const uint8_t> bytes, std::size_t offset = 0) : bytes_(bytes) {
        seek(offset);
    }

    /// Moves the cursor to `offset` (the end itself is allowed). False, and the reader failed,
    /// when `offset` lies past the end or the reader had failed already.
    bool seek(std::size_t offset) {
        if (failed_ || offset > bytes_.size()) {
            failed_ = true;
            return false;
        }
        pos_ = offset;
        return true;
    }

    /// Moves the cursor `count` bytes on. False, and the reader failed, when fewer remain.
    bool skip(std::size_t count) {
        if (failed_ || count > remaining()) {
            failed_ = true;
            return false;
        }
        pos_ += count;
        return true;
    }

    /// The next byte; 0 past the end or after a failure.
    uint8_t u8() {
        if (failed_ || pos_ >= bytes_.size()) {
            failed_ = true;
            return 0;
        }
        return bytes_[pos_++];
    }

    /// The next two bytes as a big-endian number.
    uint16_t u16() {
        const uint16_t high = u8();
        const uint16_t low = u8();
        return static_cast<uint16_t>(high << 8 | low);
    }

    /// The next four bytes as a big-endian number.
    uint32_t u32() {
        const uint32_t high = u16();
        const uint32_t low = u16();
        return high << 16 | low;
    }

    /// Appends the next `count` bytes to `out`. False, with `out` unchanged and the reader
    /// failed, when fewer remain.
    bool copy(std::vector<uint8_t>& out, std::size_t count) {
        if (failed_ || count > remaining()) {
            failed_ = true;
            return false;
        }
        const auto part = bytes_.subspan(pos_, count);
        out.insert(out.end(), part.begin(), part.end());
        pos_ += count;
        return true;
    }

    /// Appends the next `count` bytes to `out` as characters, unchanged. False as `copy`.
    bool copy(std::string& out, std::size_t count) {
        if (failed_ || count > remaining()) {
            failed_ = true;
            return false;
        }
        for (const uint8_t byte : bytes_.subspan(pos_, count)) {
            out.push_back(static_cast<char>(byte));
        }
        pos_ += count;
        return true;
    }

    std::size_t offset() const { return pos_; }
    std::size_t size() const { return bytes_.size(); }
    std::size_t remaining() const { return bytes_.size() - pos_; }
    bool failed() const { return failed_; }

  private:
    std::span<const uint8_t> bytes_;
    std::size_t pos_ = 0;
    bool failed_ = false;
};

}  // namespace resq
