// SPDX-License-Identifier: GPL-3.0-or-later
// The ID3 tags that name a track inside its MP3 file: an ID3v2.3 tag that
// opens the file, for every current player, and a 128-byte ID3v1.1 tag that
// ends it, for old ones. Both are built in memory; the extraction writes them.
// Beside them, what a finished file's ID3v2 tag holds, for tags set later.
#pragma once

#include "CDRIP.h"
#include "TagText.h"

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

inline constexpr std::size_t ID3V1_TAG_BYTES = 128;

// TIT2 title, TPE1 performer, TALB album, TRCK "n/N" (n alone without a
// count), TPE2 album performer, the date (TYER, with TDAT for a day),
// TPOS disc "n/N", TSSE `encoder`, the MusicBrainz ids as MusicBrainz
// Picard writes them (TXXX "MusicBrainz Album Id", "MusicBrainz Release
// Group Id", "MusicBrainz Artist Id", "MusicBrainz Album Artist Id", several
// ids joined by '/'; the recording's in UFID "http://musicbrainz.org"), and
// the cover as APIC front cover. Empty fields are left out, and texts are
// cleaned as tagText() cleans them. Texts that Latin-1 holds are stored as
// Latin-1, others as UTF-16 with a byte-order mark, since version 2.3 has no
// UTF-8.
std::vector<uint8_t> id3v2Tag(const TTrackTags& tags, const std::string& encoder);

// Title, performer and album in Latin-1, a character Latin-1 lacks becoming
// '?', each cut at 30 bytes; the year of the date; the track number (1 to
// 255) in the last byte of the comment.
std::array<uint8_t, ID3V1_TAG_BYTES> id3v1Tag(const TTrackTags& tags);

// UTF-8 text in Latin-1: a character outside it, or a byte that is no
// UTF-8, becomes '?'.
std::string latin1Replacing(const std::string& utf8);

inline constexpr std::size_t ID3V2_HEADER_BYTES = 10;

// The bytes of the ID3v2 tag that `header` (the file's first 10 bytes)
// opens, header and footer included; 0 when it opens none.
std::size_t id3v2TagBytes(std::span<const uint8_t> header);

// What lies where in a whole ID3v2.3 or 2.4 tag without unsynchronisation,
// extended header or footer, the kind of tag whose padding can take new
// frames; empty for any other tag, and for one whose frames run past it.
struct TId3v2Layout {
    int version = 0;           // 3 or 4
    std::size_t tagBytes = 0;  // header, frames and padding
    std::size_t framesEnd = 0; // where the padding begins
    // The descriptions of its TXXX frames (characters beyond ASCII as '?').
    std::vector<std::string> userTextNames;
};
std::optional<TId3v2Layout> id3v2Layout(std::span<const uint8_t> tag);

// A TXXX frame for each field with a text (its name the description), as a
// tag of `version` (3 or 4) holds them, without the tag's header or padding.
std::vector<uint8_t> id3v2UserTextFrames(const std::vector<TTagField>& fields, int version);

// The tag `tag` (a whole ID3v2 tag, or nothing for a new one) rendered
// again with a TXXX frame for each field in place of those of its name
// (regardless of ASCII case), in its version (2.3 for a new one) and with
// padding; empty when TagLib cannot read the tag.
std::vector<uint8_t> id3v2TagWithUserTexts(std::span<const uint8_t> tag,
                                           const std::vector<TTagField>& fields);
