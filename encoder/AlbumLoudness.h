// SPDX-License-Identifier: GPL-3.0-or-later
// The loudness of an album: the tracks of one rip, each measured as it was
// read, kept until the last is done so that the album's gain is that of all
// their samples together. Tracks may be added from several threads (tracks
// encoded side by side). A file measured again (a track read a second
// time into the same file) counts once, with its last measurement.
#pragma once

#include "LoudnessMeter.h"

#include <cstddef>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

class TAlbumLoudness final {
public:
    // Takes the measurement of the finished track in `file`, in place of
    // an earlier one of that file. Thread-safe.
    void add(const std::string& file, TLoudnessMeter track);
    // Over every track added so far. Thread-safe.
    TReplayGain replayGain() const;
    std::size_t tracks() const;

private:
    mutable std::mutex mutex_;
    std::map<std::string, std::unique_ptr<TLoudnessMeter>> tracks_;
};
