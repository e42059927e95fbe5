// SPDX-License-Identifier: GPL-3.0-or-later
#include "DiscToc.h"

namespace online {

namespace {

// 100 minutes: longer than any disc's address range.
constexpr int32_t kLongestDisc = 100 * 60 * 75;

} // namespace

std::string DiscToc::problem() const {
    if (tracks.empty()) {
        return "the disc has no tracks";
    }
    if (tracks.front().number < 1 || tracks.front().number + tracks.size() - 1 > 99) {
        return "track numbers run outside 1 to 99";
    }
    if (leadOut > kLongestDisc) {
        return "the lead-out is beyond 100 minutes";
    }
    for (std::size_t i = 0; i < tracks.size(); ++i) {
        const TocTrack& track = tracks[i];
        const std::string name = "track " + std::to_string(track.number);
        if (i > 0 && track.number != tracks[i - 1].number + 1) {
            return name + " does not follow track " + std::to_string(tracks[i - 1].number);
        }
        if (track.start < 0) {
            return name + " starts before the disc";
        }
        if (track.session < 1 || (i > 0 && track.session < tracks[i - 1].session)) {
            return name + " is in session " + std::to_string(track.session);
        }
        if (trackLength(i) < 1) {
            return i + 1 < tracks.size() ? "track " + std::to_string(tracks[i + 1].number) +
                                               " starts before " + name + " ends"
                                         : "the lead-out is not after the last track";
        }
    }
    return {};
}

std::vector<std::size_t> DiscToc::audioTracks() const {
    std::vector<std::size_t> indexes;
    for (std::size_t i = 0; i < tracks.size(); ++i) {
        if (tracks[i].audio) {
            indexes.push_back(i);
        }
    }
    return indexes;
}

int32_t DiscToc::trackLength(std::size_t index) const {
    if (index + 1 == tracks.size()) {
        return leadOut - tracks[index].start;
    }
    const TocTrack& next = tracks[index + 1];
    const int32_t gap = next.session > tracks[index].session ? kSessionGapSectors : 0;
    return next.start - gap - tracks[index].start;
}

int32_t DiscToc::audioEnd() const {
    const std::vector<std::size_t> audio = audioTracks();
    if (audio.empty()) {
        return leadOut;
    }
    const std::size_t last = audio.back();
    for (std::size_t i = last + 1; i < tracks.size(); ++i) {
        if (tracks[i].session > tracks[last].session) {
            return tracks[i].start - kSessionGapSectors;
        }
    }
    return leadOut;
}

} // namespace online
