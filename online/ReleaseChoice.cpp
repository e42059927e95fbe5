// SPDX-License-Identifier: GPL-3.0-or-later
#include "ReleaseChoice.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <limits>

namespace online {

namespace {

// A track whose length the release does not give is taken to be this far
// from the disc's, so that a medium with lengths that fit wins over one
// without lengths.
constexpr int64_t kUnknownLengthMs = 60'000;

std::string_view withoutLeadingZeros(std::string_view digits) {
    while (!digits.empty() && digits.front() == '0') {
        digits.remove_prefix(1);
    }
    return digits;
}

bool allDigits(std::string_view text) {
    return std::ranges::all_of(text, [](char c) { return c >= '0' && c <= '9'; });
}

bool carriesDisc(const ReleaseMedium& medium, const MusicBrainzDiscId& disc) {
    return std::ranges::find(medium.discIds, disc.id) != medium.discIds.end();
}

// How far the medium's track lengths are from the disc's, in milliseconds.
int64_t distance(const ReleaseMedium& medium, const std::vector<int32_t>& discLengths) {
    int64_t sum = 0;
    for (std::size_t i = 0; i < discLengths.size(); ++i) {
        const int64_t discMs = int64_t{discLengths[i]} * 1000 / 75;
        const std::optional<int>& length = medium.tracks[i].lengthMs;
        sum += length ? std::abs(int64_t{*length} - discMs) : kUnknownLengthMs;
    }
    return sum;
}

} // namespace

const ReleaseMedium* mediumOfDisc(const MusicBrainzRelease& release,
                                  const MusicBrainzDiscId& disc) {
    const auto exact = std::ranges::find_if(
        release.media, [&](const ReleaseMedium& medium) { return carriesDisc(medium, disc); });
    if (exact != release.media.end()) {
        return &*exact;
    }
    const std::vector<int32_t> lengths = disc.trackLengths();
    const ReleaseMedium* nearest = nullptr;
    int64_t nearestDistance = std::numeric_limits<int64_t>::max();
    for (const ReleaseMedium& medium : release.media) {
        if (medium.tracks.size() != lengths.size()) {
            continue;
        }
        if (const int64_t d = distance(medium, lengths); d < nearestDistance) {
            nearest = &medium;
            nearestDistance = d;
        }
    }
    return nearest;
}

bool sameProductCode(std::string_view barcode, std::string_view mediaCatalogNumber) {
    const std::string_view number = withoutLeadingZeros(mediaCatalogNumber);
    return !number.empty() && allDigits(number) && allDigits(barcode) &&
           withoutLeadingZeros(barcode) == number;
}

std::size_t preselectedRelease(const std::vector<MusicBrainzRelease>& releases,
                               const MusicBrainzDiscId& disc, std::string_view mediaCatalogNumber) {
    const auto byCode = std::ranges::find_if(releases, [&](const MusicBrainzRelease& release) {
        return sameProductCode(release.barcode, mediaCatalogNumber);
    });
    if (byCode != releases.end()) {
        return static_cast<std::size_t>(byCode - releases.begin());
    }
    const auto byId = std::ranges::find_if(releases, [&](const MusicBrainzRelease& release) {
        return std::ranges::any_of(
            release.media, [&](const ReleaseMedium& medium) { return carriesDisc(medium, disc); });
    });
    return byId != releases.end() ? static_cast<std::size_t>(byId - releases.begin()) : 0;
}

bool isMusicBrainzId(std::string_view text) {
    if (text.size() != 36) {
        return false;
    }
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        const bool dash = i == 8 || i == 13 || i == 18 || i == 23;
        const bool hex = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
        if (dash ? c != '-' : !hex) {
            return false;
        }
    }
    return true;
}

DiscMetadata metadataOf(const MusicBrainzRelease& release, const ReleaseMedium& medium,
                        const DiscToc& toc) {
    DiscMetadata metadata;
    metadata.album = release.title;
    metadata.albumArtist = release.artist.name;
    metadata.albumArtistIds = release.artist.artistIds;
    metadata.date = release.date;
    metadata.discNumber = std::max(medium.position, 1);
    metadata.discCount = std::max(static_cast<int>(release.media.size()), metadata.discNumber);
    metadata.releaseId = release.id;
    metadata.releaseGroupId = release.releaseGroupId;
    const std::vector<std::size_t> audio = toc.audioTracks();
    for (std::size_t i = 0; i < audio.size(); ++i) {
        TrackMetadata track;
        track.number = toc.tracks[audio[i]].number;
        if (i < medium.tracks.size()) {
            const ReleaseTrack& source = medium.tracks[i];
            const bool ownArtist = !source.artist.name.empty();
            track.title = source.title;
            track.artist = ownArtist ? source.artist.name : release.artist.name;
            track.artistIds = ownArtist ? source.artist.artistIds : release.artist.artistIds;
            track.recordingId = source.recordingId;
        }
        metadata.tracks.push_back(std::move(track));
    }
    return metadata;
}

} // namespace online
