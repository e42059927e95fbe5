// SPDX-License-Identifier: GPL-3.0-or-later
// An MP3 file's tags as other programs see them: ffprobe's reading of the
// ID3v2 tag, and the ID3v1 tag's fields taken from the last 128 bytes.
#pragma once

#include <filesystem>
#include <map>
#include <string>

namespace varrow::testing {

// ffprobe's format tags (title, artist, album, track, encoder ...), keys in
// lower case; fails the test when ffprobe cannot read the file.
std::map<std::string, std::string> ffprobeTags(const std::filesystem::path& mp3);

struct Id3v1Fields {
    bool present = false;             // the file ends in "TAG" and 125 more bytes
    std::string title, artist, album; // Latin-1, trailing NULs removed
    int track = 0;                    // ID3v1.1's byte, 0 when absent
};
Id3v1Fields readId3v1(const std::filesystem::path& mp3);

} // namespace varrow::testing
