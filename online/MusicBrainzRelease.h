// SPDX-License-Identifier: GPL-3.0-or-later
// A release as the MusicBrainz web service describes it, reduced to what a
// rip names and tags and what a user needs to tell one pressing from
// another. Texts are UTF-8 and empty where the service gave none; every
// identifier is a MusicBrainz ID (a UUID) or empty.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace online {

// Who a release or a track is credited to: the names as credited, joined by
// their join phrases ("A feat. B"), and the artists behind them.
struct ArtistCredit {
    std::string name;
    std::vector<std::string> artistIds;
    bool operator==(const ArtistCredit&) const = default;
};

struct ReleaseTrack {
    int position = 0; // 1-based, within its medium
    std::string title;
    ArtistCredit artist;
    std::string recordingId;
    std::optional<int> lengthMs;
    bool operator==(const ReleaseTrack&) const = default;
};

struct ReleaseMedium {
    int position = 0;   // 1-based, within the release
    std::string format; // "CD", "Enhanced CD", "DVD-Video", ...
    std::string title;
    std::vector<std::string> discIds; // the disc IDs attached to it
    std::vector<ReleaseTrack> tracks; // audio tracks, by position
    bool operator==(const ReleaseMedium&) const = default;
};

struct ReleaseLabel {
    std::string name;
    std::string catalogNumber;
    bool operator==(const ReleaseLabel&) const = default;
};

struct MusicBrainzRelease {
    std::string id;
    std::string title;
    ArtistCredit artist;
    std::string date;    // "YYYY", "YYYY-MM" or "YYYY-MM-DD"
    std::string country; // ISO 3166-1 code, or "XW" for worldwide
    std::vector<ReleaseLabel> labels;
    std::string barcode;
    std::string releaseGroupId;
    std::vector<ReleaseMedium> media; // by position

    // The media's formats as a release list shows them: "CD", "2×CD",
    // "CD + DVD-Video".
    std::string formatSummary() const;
    // The labels' names and catalogue numbers, each once, joined by ", ".
    std::string labelNames() const;
    std::string catalogNumbers() const;
    bool operator==(const MusicBrainzRelease&) const = default;
};

} // namespace online
