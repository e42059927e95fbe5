// SPDX-License-Identifier: GPL-3.0-or-later
// The identifier MusicBrainz knows a disc by, made by libdiscid from our own
// table of contents just as libdiscid makes it from a drive, so that it is
// the one in the database: from the first track (a data track at the start
// stays in, since MusicBrainz numbers a release's tracks from 1) to the last
// audio track, each track's start plus the 150 sectors of the lead-in, and
// the lead-out. When a data track follows the audio (an Enhanced CD's second
// session) the lead-out is where the audio session ends: that track's start
// less the 11,400 sectors of the session's lead-out, the next lead-in and
// the data track's pregap.
#pragma once

#include "DiscToc.h"

#include <cstdint>
#include <string>
#include <vector>

namespace online {

struct MusicBrainzDiscId {
    std::string id;            // 28 characters; empty when `problem` says why
    std::string submissionUrl; // the page that adds the disc to MusicBrainz
    int firstTrack = 0;
    int lastTrack = 0;
    int32_t leadOut = 0;          // lead-in included
    std::vector<int32_t> offsets; // each track's start, lead-in included
    std::string problem;          // why the table gives no identifier

    bool valid() const { return problem.empty(); }
    // "first+last+lead-out+offset+…", the table as the fuzzy lookup takes it.
    std::string tocParameter() const;
    // Each track's length in sectors, first to last.
    std::vector<int32_t> trackLengths() const;

    static MusicBrainzDiscId of(const DiscToc& toc);
};

} // namespace online
