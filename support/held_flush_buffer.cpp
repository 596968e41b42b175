#include "support/held_flush_buffer.hpp"

namespace resq {

held_flush_buffer::held_flush_buffer(std::streambuf& target, std::size_t capacity)
    : target_(target), held_(capacity != 0 ? capacity : 1) {
    setp(held_.data(), held_.data() + held_.size());
}

held_flush_buffer::~held_flush_buffer() {
    release();
}

void held_flush_buffer::pass_on() {
    const std::streamsize size = pptr() - pbase();
    if (size != 0 && !failed_ && target_.sputn(pbase(), size) != size) {
        failed_ = true;
    }
    setp(held_.data(), held_.data() + held_.size());
}

bool held_flush_buffer::release() {
    pass_on();
    if (!failed_ && target_.pubsync() == -1) {
        failed_ = true;
    }
    return !failed_;
}

held_flush_buffer::int_type held_flush_buffer::overflow(int_type c) {
    pass_on();
    if (failed_) {
        return traits_type::eof();
    }
    if (!traits_type::eq_int_type(c, traits_type::eof())) {
        *pptr() = traits_type::to_char_type(c);
        pbump(1);
    }
    return traits_type::not_eof(c);
}

int held_flush_buffer::sync() {
    return failed_ ? -1 : 0;
}

}  // namespace resq
