// The loudness of an album: the tracks of one rip, each measured as it was
// read, kept until the last is done so that the album's gain is that of all
// their samples together. Tracks may be added from several threads (tracks
// encoded side by side).
#pragma once

#include "LoudnessMeter.h"

#include <cstddef>
#include <memory>
#include <mutex>
#include <vector>

class TAlbumLoudness final {
public:
    // Takes a finished track's measurement. Thread-safe.
    void add(TLoudnessMeter track);
    // Over every track added so far. Thread-safe.
    TReplayGain replayGain() const;
    std::size_t tracks() const;

private:
    mutable std::mutex mutex_;
    std::vector<std::unique_ptr<TLoudnessMeter>> tracks_;
};
