// SPDX-License-Identifier: GPL-3.0-or-later
#include "AlbumLoudness.h"

void TAlbumLoudness::add(const std::string& file, TLoudnessMeter track) {
    auto kept = std::make_unique<TLoudnessMeter>(std::move(track));
    const std::lock_guard lock(mutex_);
    tracks_[file] = std::move(kept);
}

TReplayGain TAlbumLoudness::replayGain() const {
    const std::lock_guard lock(mutex_);
    std::vector<const TLoudnessMeter*> tracks;
    for (const auto& [file, track] : tracks_) {
        tracks.push_back(track.get());
    }
    return TLoudnessMeter::combined(tracks);
}

std::size_t TAlbumLoudness::tracks() const {
    const std::lock_guard lock(mutex_);
    return tracks_.size();
}
