// A disc's table of contents as the online services read it: each track's
// number, first sector and kind, and the lead-out. Sectors count from the
// start of the program area, as the drive library numbers them (the first
// track of most discs starts at 0); the services' own forms (MusicBrainz
// adds the 150 sectors of the lead-in) are made from it where needed.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace online {

struct TocTrack {
    int number = 0;          // 1 to 99
    int32_t startSector = 0; // where its index 1 starts
    bool data = false;       // a data track (control bit 4), not audio
    bool operator==(const TocTrack&) const = default;
};

struct DiscToc {
    std::vector<TocTrack> tracks; // in disc order
    int32_t leadOut = 0;          // the first sector after the last track

    // Why the table cannot identify a disc, in a sentence; empty when it
    // can: track numbers run 1 to 99 one after another, sectors rise, the
    // lead-out lies beyond the last track and at least one track is audio.
    std::string problem() const;
    // The tracks that carry audio, in disc order.
    std::vector<TocTrack> audioTracks() const;
    bool operator==(const DiscToc&) const = default;
};

} // namespace online
