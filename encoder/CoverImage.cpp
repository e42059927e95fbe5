// SPDX-License-Identifier: GPL-3.0-or-later
#include "CoverImage.h"

#include <algorithm>
#include <array>

namespace {

uint32_t bigEndian(std::span<const uint8_t> bytes, std::size_t at, std::size_t length) {
    uint32_t value = 0;
    for (std::size_t i = 0; i < length; ++i) {
        value = value << 8 | bytes[at + i];
    }
    return value;
}

std::optional<TCoverImage> pngImage(std::span<const uint8_t> bytes) {
    static constexpr std::array<uint8_t, 8> kSignature{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    // The signature, then IHDR first: length, type, width, height, bit
    // depth, colour type.
    constexpr std::size_t kHeaderEnd = 8 + 8 + 10;
    static constexpr std::array<uint8_t, 4> kHeaderType{'I', 'H', 'D', 'R'};
    if (bytes.size() < kHeaderEnd ||
        !std::equal(kSignature.begin(), kSignature.end(), bytes.begin()) ||
        !std::equal(kHeaderType.begin(), kHeaderType.end(), bytes.begin() + 12)) {
        return std::nullopt;
    }
    const uint32_t bitDepth = bytes[24];
    uint32_t channels = 0;
    switch (bytes[25]) {
    case 0: // grey
    case 3: // indexed
        channels = 1;
        break;
    case 4: // grey and alpha
        channels = 2;
        break;
    case 2: // RGB
        channels = 3;
        break;
    case 6: // RGB and alpha
        channels = 4;
        break;
    default:
        return std::nullopt;
    }
    TCoverImage image{"image/png", bigEndian(bytes, 16, 4), bigEndian(bytes, 20, 4),
                      bitDepth * channels, 0};
    if (bytes[25] == 3 && bitDepth <= 8) {
        image.paletteColours = 1U << bitDepth;
    }
    return image;
}

std::optional<TCoverImage> jpegImage(std::span<const uint8_t> bytes) {
    if (bytes.size() < 4 || bytes[0] != 0xFF || bytes[1] != 0xD8) {
        return std::nullopt;
    }
    std::size_t at = 2;
    while (at + 4 <= bytes.size()) {
        if (bytes[at] != 0xFF) {
            return std::nullopt;
        }
        const uint8_t marker = bytes[at + 1];
        if (marker == 0xFF) { // fill byte
            ++at;
            continue;
        }
        if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) { // no length
            at += 2;
            continue;
        }
        if (marker == 0xD9 || marker == 0xDA) { // end of image, start of scan
            return std::nullopt;
        }
        const uint32_t length = bigEndian(bytes, at + 2, 2);
        // Start of frame: every SOFn but DHT (C4), JPG (C8) and DAC (CC).
        const bool frame =
            marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
        if (frame) {
            if (length < 8 || at + 2 + 8 > bytes.size()) {
                return std::nullopt;
            }
            const uint32_t precision = bytes[at + 4];
            const uint32_t components = bytes[at + 9];
            return TCoverImage{"image/jpeg", bigEndian(bytes, at + 7, 2),
                               bigEndian(bytes, at + 5, 2), precision * components, 0};
        }
        if (length < 2) {
            return std::nullopt;
        }
        at += 2 + length;
    }
    return std::nullopt;
}

} // namespace

std::optional<TCoverImage> coverImageOf(std::span<const uint8_t> bytes) {
    if (auto png = pngImage(bytes)) {
        return png;
    }
    return jpegImage(bytes);
}
