// SPDX-License-Identifier: GPL-3.0-or-later
// What a FLAC picture block says about its image, read from the image's own
// header: PNG's IHDR chunk or a JPEG frame header.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

struct TCoverImage {
    std::string mimeType; // "image/png" or "image/jpeg"
    uint32_t width = 0;
    uint32_t height = 0;
    uint32_t bitsPerPixel = 0;
    uint32_t paletteColours = 0; // indexed PNG only
};

// Empty when the bytes are neither a PNG nor a JPEG image whose size can be
// read before its image data.
std::optional<TCoverImage> coverImageOf(std::span<const uint8_t> bytes);
