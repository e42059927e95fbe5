// SPDX-License-Identifier: GPL-3.0-or-later
#include "drives/CdText.h"

#include <cdio/cdtext.h>
#include <iterator>

namespace cdlib {

namespace {

struct FieldPair {
    TCDTextField ours;
    cdtext_field_t libcdio;
};

constexpr FieldPair kFields[] = {
    {CDTEXT_TITLE, CDTEXT_FIELD_TITLE},           {CDTEXT_PERFORMER, CDTEXT_FIELD_PERFORMER},
    {CDTEXT_SONGWRITER, CDTEXT_FIELD_SONGWRITER}, {CDTEXT_COMPOSER, CDTEXT_FIELD_COMPOSER},
    {CDTEXT_ARRANGER, CDTEXT_FIELD_ARRANGER},     {CDTEXT_MESSAGE, CDTEXT_FIELD_MESSAGE},
    {CDTEXT_GENRE, CDTEXT_FIELD_GENRE},           {CDTEXT_ISRC, CDTEXT_FIELD_ISRC},
    {CDTEXT_UPC_EAN, CDTEXT_FIELD_UPC_EAN},
};
static_assert(std::size(kFields) == CDTEXT_FIELDS);

// The length of the UTF-8 sequence at `at`, or 0 when it is not one:
// overlong forms, surrogates and code points past U+10FFFF included.
size_t utf8SequenceAt(std::string_view text, size_t at) {
    const auto byte = [&](size_t i) {
        return static_cast<unsigned char>(text[at + i]);
    };
    const unsigned char lead = byte(0);
    size_t length = 0;
    uint32_t code = 0;
    if (lead < 0x80) {
        return 1;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        code = lead & 0x1Fu;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        code = lead & 0x0Fu;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        code = lead & 0x07u;
    } else {
        return 0;
    }
    if (at + length > text.size()) {
        return 0;
    }
    for (size_t i = 1; i < length; ++i) {
        if ((byte(i) & 0xC0u) != 0x80u) {
            return 0;
        }
        code = (code << 6) | (byte(i) & 0x3Fu);
    }
    const bool overlong = (length == 3 && code < 0x800) || (length == 4 && code < 0x10000);
    const bool surrogate = code >= 0xD800 && code <= 0xDFFF;
    return overlong || surrogate || code > 0x10FFFF ? 0 : length;
}

bool validUtf8(std::string_view text) {
    for (size_t at = 0; at < text.size();) {
        const size_t length = utf8SequenceAt(text, at);
        if (length == 0) {
            return false;
        }
        at += length;
    }
    return true;
}

// libcdio reads every cue sheet and TOC as Latin-1, so a UTF-8 file arrives
// with each of its bytes turned into a character of its own. Such a text
// holds only characters up to U+00FF, and those characters, taken back as
// bytes, are UTF-8 with more than plain ASCII: those bytes are the text. A
// true Latin-1 text almost never reads as UTF-8 that way ("Ã" followed by
// a character from "€" to "¿").
std::optional<std::string> readAsLatin1(std::string_view utf8) {
    std::string bytes;
    bool beyondAscii = false;
    for (size_t at = 0; at < utf8.size();) {
        const size_t length = utf8SequenceAt(utf8, at);
        const auto lead = static_cast<unsigned char>(utf8[at]);
        if (length == 1) {
            bytes += utf8[at];
        } else if (length == 2 && lead <= 0xC3) {
            beyondAscii = true;
            bytes += static_cast<char>(((lead & 0x03u) << 6) |
                                       (static_cast<unsigned char>(utf8[at + 1]) & 0x3Fu));
        } else {
            return std::nullopt;
        }
        at += length;
    }
    if (!beyondAscii || !validUtf8(bytes)) {
        return std::nullopt;
    }
    return bytes;
}

// Where a disc has blocks in several languages, English is the one most
// players show; otherwise libcdio's first block stays selected.
void preferEnglish(cdtext_t* text) {
    const cdtext_lang_t* languages = cdtext_list_languages_v2(text);
    if (languages == nullptr) {
        return;
    }
    for (int block = 0; block < 8; ++block) {
        if (languages[block] == CDTEXT_LANGUAGE_ENGLISH) {
            cdtext_set_language_index(text, block);
            return;
        }
    }
}

} // namespace

void CdText::set(int32_t track, TCDTextField field, std::string text) {
    if (text.empty()) {
        texts_.erase({track, field});
    } else {
        texts_[{track, field}] = std::move(text);
    }
}

std::optional<std::string_view> CdText::get(int32_t track, TCDTextField field) const {
    const auto found = texts_.find({track, field});
    if (found == texts_.end()) {
        return std::nullopt;
    }
    return found->second;
}

std::string utf8FromDiscText(std::string_view bytes) {
    if (validUtf8(bytes)) {
        return std::string(readAsLatin1(bytes).value_or(std::string(bytes)));
    }
    std::string text;
    text.reserve(bytes.size() * 2);
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x80) {
            text += c;
        } else {
            text += static_cast<char>(0xC0 | (byte >> 6));
            text += static_cast<char>(0x80 | (byte & 0x3F));
        }
    }
    return text;
}

CdText cdTextOf(CdIo_t* cdio) {
    CdText result;
    // libcdio owns the CD-Text it read and frees it with the handle.
    cdtext_t* text = cdio_get_cdtext(cdio);
    const track_t first = cdio_get_first_track_num(cdio);
    const track_t count = cdio_get_num_tracks(cdio);
    if (text == nullptr || first == CDIO_INVALID_TRACK || count == CDIO_INVALID_TRACK) {
        return result;
    }
    preferEnglish(text);
    const auto add = [&](int32_t track) {
        for (const FieldPair& field : kFields) {
            const char* value = cdtext_get_const(text, field.libcdio, static_cast<track_t>(track));
            if (value != nullptr) {
                result.set(track, field.ours, utf8FromDiscText(value));
            }
        }
    };
    add(0);
    for (int32_t track = first; track < first + count; ++track) {
        add(track);
    }
    // Discs often carry their genre as a code only.
    if (!result.get(0, CDTEXT_GENRE)) {
        const cdtext_genre_t genre = cdtext_get_genre(text);
        if (genre > CDTEXT_GENRE_UNDEFINED) {
            if (const char* name = cdtext_genre2str(genre)) {
                result.set(0, CDTEXT_GENRE, name);
            }
        }
    }
    return result;
}

} // namespace cdlib
