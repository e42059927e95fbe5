// SPDX-License-Identifier: GPL-3.0-or-later
// What a rip takes from the chosen release: the album's names and the
// MusicBrainz IDs for the tags, and one entry per audio track of the disc,
// in disc order. An entry whose title is empty has none from the release
// (the medium lists fewer tracks than the disc has): the rip names that
// track as it would without a release.
#pragma once

#include <string>
#include <vector>

namespace online {

struct TrackMetadata {
    int number = 0; // the track's number on the disc
    std::string title;
    std::string artist; // the track's own credit, else the album's
    std::vector<std::string> artistIds;
    std::string recordingId;
    bool operator==(const TrackMetadata&) const = default;
};

struct DiscMetadata {
    std::string album;
    std::string albumArtist;
    std::vector<std::string> albumArtistIds;
    std::string date; // "YYYY", "YYYY-MM" or "YYYY-MM-DD"; empty when unknown
    int discNumber = 1;
    int discCount = 1;
    std::string releaseId;
    std::string releaseGroupId;
    std::vector<TrackMetadata> tracks;
    bool operator==(const DiscMetadata&) const = default;
};

} // namespace online
