// SPDX-License-Identifier: GPL-3.0-or-later
// Arbitrary bytes as the start of an MP3 file: the ID3v2 tag's size and the
// layout of its frames stay within the bytes, and the frames end where the
// padding begins.
#include "FuzzCheck.h"
#include "Id3Tags.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::span<const uint8_t> bytes(data, size);
    const std::size_t tagBytes = id3v2TagBytes(bytes);
    check(tagBytes == 0 || tagBytes >= ID3V2_HEADER_BYTES);
    const std::optional<TId3v2Layout> layout = id3v2Layout(bytes);
    if (layout) {
        check(layout->tagBytes == tagBytes && tagBytes <= size);
        check(layout->framesEnd >= ID3V2_HEADER_BYTES && layout->framesEnd <= tagBytes);
        check(layout->framesEnd == tagBytes || layout->framesEnd + ID3V2_HEADER_BYTES > tagBytes ||
              data[layout->framesEnd] == 0);
    }
    return 0;
}
