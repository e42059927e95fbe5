// SPDX-License-Identifier: GPL-3.0-or-later
// The stream buffer of varrow-rip's standard output: it writes to a file
// descriptor and keeps the first write error, so that output lost to a full
// disk, a closed or broken pipe or a closed descriptor fails the command
// instead of passing for success.
#pragma once

#include <array>
#include <streambuf>

namespace varrowrip {

class OutputBuffer final : public std::streambuf {
public:
    // `fd` stays open; the buffer is written out on sync and destruction.
    explicit OutputBuffer(int fd);
    ~OutputBuffer() override;
    OutputBuffer(const OutputBuffer&) = delete;
    OutputBuffer& operator=(const OutputBuffer&) = delete;

    // Takes `error` (an errno value) as the first write error: output that
    // cannot go anywhere from the start.
    void fail(int error);
    // The errno value of the first write that failed; 0 while none has.
    int error() const { return error_; }

protected:
    int_type overflow(int_type c) override;
    int sync() override;

private:
    // Writes out what the buffer holds; false once a write has failed.
    bool drain();

    int fd_;
    int error_ = 0;
    std::array<char, 4096> buffer_{};
};

} // namespace varrowrip
