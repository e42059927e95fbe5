// SPDX-License-Identifier: GPL-3.0-or-later
#include "TagText.h"

#include <cstdint>

namespace {

// The code point of the well-formed UTF-8 sequence at the start of `text`,
// and its length; length 0 when the sequence is not well-formed.
struct Decoded {
    uint32_t codePoint = 0;
    std::size_t length = 0;
};

Decoded decodeOne(std::string_view text) {
    const auto byte = [&](std::size_t at) {
        return static_cast<uint8_t>(text[at]);
    };
    const uint8_t lead = byte(0);
    if (lead < 0x80) {
        return {lead, 1};
    }
    std::size_t length = 0;
    uint32_t codePoint = 0;
    // The range the second byte must lie in excludes overlong forms,
    // surrogates and code points beyond U+10FFFF.
    uint8_t low = 0x80;
    uint8_t high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        codePoint = lead & 0x1FU;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        codePoint = lead & 0x0FU;
        low = lead == 0xE0 ? 0xA0 : 0x80;
        high = lead == 0xED ? 0x9F : 0xBF;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        codePoint = lead & 0x07U;
        low = lead == 0xF0 ? 0x90 : 0x80;
        high = lead == 0xF4 ? 0x8F : 0xBF;
    } else {
        return {};
    }
    if (text.size() < length || byte(1) < low || byte(1) > high) {
        return {};
    }
    for (std::size_t at = 1; at < length; ++at) {
        if ((byte(at) & 0xC0U) != 0x80) {
            return {};
        }
        codePoint = (codePoint << 6) | (byte(at) & 0x3FU);
    }
    return {codePoint, length};
}

} // namespace

std::string tagText(std::string_view text) {
    static constexpr std::string_view kReplacement = "\xEF\xBF\xBD";
    std::string stored;
    stored.reserve(text.size());
    while (!text.empty()) {
        const Decoded decoded = decodeOne(text);
        if (decoded.length == 0) {
            stored += kReplacement;
            text.remove_prefix(1);
            continue;
        }
        const uint32_t c = decoded.codePoint;
        if (c == '\t' || c == '\n' || c == '\r') {
            stored += ' ';
        } else if (c >= 0x20 && (c < 0x7F || c > 0x9F)) {
            stored += text.substr(0, decoded.length);
        }
        text.remove_prefix(decoded.length);
    }
    return stored;
}
