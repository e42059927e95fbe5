// The ID3 tags that name a track inside its MP3 file: an ID3v2.3 tag that
// opens the file, for every current player, and a 128-byte ID3v1.1 tag that
// ends it, for old ones. Both are built in memory; the extraction writes them.
#pragma once

#include "CDRIP.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

inline constexpr std::size_t ID3V1_TAG_BYTES = 128;

// TIT2 title, TPE1 performer, TALB album, TRCK "n/N" (n alone without a
// count) and TSSE `encoder`; empty fields are left out. Texts that Latin-1
// holds are stored as Latin-1, others as UTF-16 with a byte-order mark,
// since version 2.3 has no UTF-8.
std::vector<uint8_t> id3v2Tag(const TTrackTags& tags, const std::string& encoder);

// Title, performer and album in Latin-1, a character Latin-1 lacks becoming
// '?', each cut at 30 bytes; the track number (1 to 255) in the last byte of
// the comment.
std::array<uint8_t, ID3V1_TAG_BYTES> id3v1Tag(const TTrackTags& tags);

// UTF-8 text in Latin-1: a character outside it, or a byte that is no
// UTF-8, becomes '?'.
std::string latin1Replacing(const std::string& utf8);
