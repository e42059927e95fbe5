// SPDX-License-Identifier: GPL-3.0-or-later
// Where an encoder puts the bytes of one file. The engine's OutputFile is
// one: it writes under a temporary name and places the file when the track
// ends, so an encoder that writes through a sink never names a path.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// Bytes to put at an offset of a file that is already written.
struct TByteWrite {
    uint64_t offset = 0;
    std::vector<uint8_t> bytes;
};

class TByteSink {
public:
    virtual ~TByteSink() = default;

    // Appends after the last byte written so far. Stores every byte or
    // raises; the exception (with the system's reason) is the sink's own.
    virtual void write(const void* data, std::size_t size) = 0;
    // Overwrites bytes already written (a header completed at the end).
    virtual void writeAt(uint64_t offset, const void* data, std::size_t size) = 0;
    // Bytes appended by write().
    virtual uint64_t size() const = 0;

protected:
    TByteSink() = default;
    TByteSink(const TByteSink&) = default;
    TByteSink& operator=(const TByteSink&) = default;
};
