// SPDX-License-Identifier: GPL-3.0-or-later
#include "DiscIdentity.h"

#include <algorithm>
#include <cstddef>

online::DiscToc OnlineToc(const TCDRIP& engine) {
    online::DiscToc toc;
    const std::vector<TTrackEntry>& tracks = engine.Tracks();
    if (tracks.empty()) {
        return toc;
    }
    for (const TTrackEntry& entry : tracks) {
        toc.tracks.push_back(
            {entry.Track.Number, entry.Track.StartSector, entry.Track.TrackType != "Data", 1});
    }
    toc.leadOut = tracks.back().Track.EndSector + 1;

    const auto lastAudio = std::find_if(toc.tracks.rbegin(), toc.tracks.rend(),
                                        [](const online::TocTrack& track) { return track.audio; });
    if (lastAudio == toc.tracks.rend() || lastAudio == toc.tracks.rbegin()) {
        return toc;
    }
    const auto dataSession = static_cast<std::size_t>(toc.tracks.rend() - lastAudio);
    const int32_t dataStart = toc.tracks[dataSession].start + online::kSessionGapSectors;
    const int32_t dataEnd =
        dataSession + 1 < toc.tracks.size() ? toc.tracks[dataSession + 1].start : toc.leadOut;
    if (dataStart >= dataEnd) {
        return toc;
    }
    toc.tracks[dataSession].start = dataStart;
    for (std::size_t i = dataSession; i < toc.tracks.size(); ++i) {
        toc.tracks[i].session = 2;
    }
    return toc;
}
