// SPDX-License-Identifier: GPL-3.0-or-later
#include "OutputBuffer.h"

#include <cerrno>
#include <unistd.h>

namespace varrowrip {

OutputBuffer::OutputBuffer(int fd)
    : fd_(fd) {
    setp(buffer_.data(), buffer_.data() + buffer_.size());
}

OutputBuffer::~OutputBuffer() {
    drain();
}

void OutputBuffer::fail(int error) {
    if (error_ == 0) {
        error_ = error;
    }
}

bool OutputBuffer::drain() {
    const char* next = pbase();
    while (error_ == 0 && next < pptr()) {
        const ssize_t written = ::write(fd_, next, static_cast<std::size_t>(pptr() - next));
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            fail(written < 0 ? errno : ENOSPC);
            break;
        }
        next += written;
    }
    // What could not be written is dropped: it would fail again.
    setp(buffer_.data(), buffer_.data() + buffer_.size());
    return error_ == 0;
}

OutputBuffer::int_type OutputBuffer::overflow(int_type c) {
    if (!drain()) {
        return traits_type::eof();
    }
    if (!traits_type::eq_int_type(c, traits_type::eof())) {
        *pptr() = traits_type::to_char_type(c);
        pbump(1);
    }
    return traits_type::not_eof(c);
}

int OutputBuffer::sync() {
    return drain() ? 0 : -1;
}

} // namespace varrowrip
