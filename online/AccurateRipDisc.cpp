// SPDX-License-Identifier: GPL-3.0-or-later
#include "AccurateRipDisc.h"

#include <cstdio>
#include <stdexcept>

namespace online {

namespace {

// Sectors before a disc's first sector: the addresses CDDB counts from.
constexpr int32_t kLeadInSectors = 150;
constexpr int32_t kSectorsPerSecond = 75;

int digitSum(int32_t number) {
    int sum = 0;
    for (; number > 0; number /= 10) {
        sum += number % 10;
    }
    return sum;
}

void checkUsable(const DiscToc& toc) {
    if (const std::string problem = toc.problem(); !problem.empty()) {
        throw std::invalid_argument("Not a table of contents: " + problem);
    }
}

} // namespace

std::string AccurateRipDisc::fileName() const {
    char name[64];
    std::snprintf(name, sizeof name, "dBAR-%03d-%08x-%08x-%08x.bin", audioTrackCount, id1, id2,
                  cddb);
    return name;
}

std::string AccurateRipDisc::urlPath() const {
    char folders[8];
    std::snprintf(folders, sizeof folders, "%x/%x/%x/", id1 & 0xf, (id1 >> 4) & 0xf,
                  (id1 >> 8) & 0xf);
    return folders + fileName();
}

std::optional<int> AccurateRipDisc::entryIndex(int audioTrack) const {
    const int index = dataTrackFirst ? audioTrack + 1 : audioTrack;
    if (audioTrack < 0 || index >= audioTrackCount) {
        return std::nullopt;
    }
    return index;
}

AccurateRipDisc accurateRipDisc(const DiscToc& toc) {
    checkUsable(toc);
    const std::vector<std::size_t> audio = toc.audioTracks();
    if (audio.empty()) {
        throw std::invalid_argument("The disc has no audio track");
    }
    AccurateRipDisc disc;
    disc.audioTrackCount = static_cast<int>(audio.size());
    disc.dataTrackFirst = !toc.tracks.front().audio;
    const auto leadOut = static_cast<uint32_t>(toc.leadOut);
    uint32_t number = 1;
    for (const std::size_t index : audio) {
        const auto start = static_cast<uint32_t>(toc.tracks[index].start);
        disc.id1 += start;
        disc.id2 += (start > 0 ? start : 1) * number;
        ++number;
    }
    disc.id1 += leadOut;
    disc.id2 += leadOut * number;
    disc.cddb = cddbDiscId(toc);
    return disc;
}

uint32_t cddbDiscId(const DiscToc& toc) {
    checkUsable(toc);
    int sum = 0;
    for (const TocTrack& track : toc.tracks) {
        sum += digitSum((track.start + kLeadInSectors) / kSectorsPerSecond);
    }
    const int32_t seconds = (toc.leadOut + kLeadInSectors) / kSectorsPerSecond -
                            (toc.tracks.front().start + kLeadInSectors) / kSectorsPerSecond;
    return (static_cast<uint32_t>(sum % 255) << 24) | (static_cast<uint32_t>(seconds) << 8) |
           static_cast<uint32_t>(toc.tracks.size());
}

} // namespace online
