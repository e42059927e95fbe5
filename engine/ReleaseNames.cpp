#include "ReleaseNames.h"

#include <utility>

namespace {

// The engine's table as the online services take it. The drive library
// reports no sessions: a data track after the audio is taken as a session
// of its own, as on an Enhanced CD; a data track first stays in session 1.
online::DiscToc discTocOf(const TCDRIP& engine) {
    online::DiscToc toc;
    bool audioSeen = false;
    for (const TTrackEntry& entry : engine.Tracks()) {
        const bool audio = entry.Track.TrackType == "Audio";
        online::TocTrack track;
        track.number = entry.Track.Number;
        track.start = entry.Track.StartSector;
        track.audio = audio;
        track.session = !audio && audioSeen ? 2 : 1;
        audioSeen = audioSeen || audio;
        toc.tracks.push_back(track);
        toc.leadOut = entry.Track.EndSector + 1;
    }
    return toc;
}

} // namespace

online::MetadataRequest MetadataRequestOf(const TCDRIP& engine, std::string releaseId) {
    online::MetadataRequest request;
    request.toc = discTocOf(engine);
    request.releaseId = std::move(releaseId);
    return request;
}

void TakeRelease(TRipChoices& choices, const online::MetadataResult& result) {
    if (!result.metadata) {
        return;
    }
    choices.Release = result.metadata;
    if (result.cover.outcome == online::CoverArt::Outcome::Found) {
        choices.Cover.assign(result.cover.bytes.begin(), result.cover.bytes.end());
        choices.CoverMimeType = result.cover.mimeType;
    }
}
