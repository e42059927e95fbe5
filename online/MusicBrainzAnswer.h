// SPDX-License-Identifier: GPL-3.0-or-later
// Reads the MusicBrainz web service's JSON answers into release values.
// The answer comes from outside: whatever its bytes, reading never throws
// for them, never recurses with their nesting and never keeps more than a
// bounded amount. A field that is missing, null or of another type reads
// as unknown (an empty text, no length, a track's place in its list for its
// position); only an answer that is not JSON at all, or not the object the
// lookup answers with, is an error.
#pragma once

#include "MusicBrainzRelease.h"

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace online {

struct MusicBrainzAnswer {
    std::vector<MusicBrainzRelease> releases;
    std::string error; // why the answer cannot be read; empty when it was

    bool readable() const { return error.empty(); }
};

// Larger answers are refused unread: the largest disc lookups the service
// gives (dozens of pressings of one disc) stay far below it.
inline constexpr std::size_t kLargestMusicBrainzAnswer = 8u << 20;

// The answer to a disc ID lookup (/ws/2/discid/<id>) or to a fuzzy lookup
// by table of contents: every release it lists. One without a list of
// releases (a CD stub, an error object) lists none.
MusicBrainzAnswer readDiscAnswer(std::string_view json);
// The answer to a release lookup (/ws/2/release/<mbid>): that one release.
MusicBrainzAnswer readReleaseAnswer(std::string_view json);

} // namespace online
