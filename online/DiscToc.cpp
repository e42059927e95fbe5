#include "DiscToc.h"

#include <algorithm>

namespace online {

std::string DiscToc::problem() const {
    if (tracks.empty()) {
        return "the disc has no tracks";
    }
    for (std::size_t i = 0; i < tracks.size(); ++i) {
        const TocTrack& track = tracks[i];
        if (track.number < 1 || track.number > 99 ||
            (i > 0 && track.number != tracks[i - 1].number + 1)) {
            return "track numbers do not run from 1 to 99 one after another";
        }
        if (track.startSector < 0 || (i > 0 && track.startSector <= tracks[i - 1].startSector)) {
            return "track " + std::to_string(track.number) +
                   " does not start after the track before it";
        }
    }
    if (leadOut <= tracks.back().startSector) {
        return "the lead-out does not lie beyond the last track";
    }
    if (std::ranges::all_of(tracks, &TocTrack::data)) {
        return "the disc has no audio tracks";
    }
    return {};
}

std::vector<TocTrack> DiscToc::audioTracks() const {
    std::vector<TocTrack> audio;
    std::ranges::copy_if(tracks, std::back_inserter(audio),
                         [](const TocTrack& track) { return !track.data; });
    return audio;
}

} // namespace online
