// SPDX-License-Identifier: GPL-3.0-or-later
#include "AccurateRipFile.h"

namespace online {

namespace {

constexpr std::size_t kEntryHeadBytes = 13;
constexpr std::size_t kTrackBytes = 9;

uint32_t readU32(std::string_view bytes, std::size_t at) {
    const auto byte = [&](std::size_t i) {
        return static_cast<uint32_t>(static_cast<uint8_t>(bytes[at + i]));
    };
    return byte(0) | byte(1) << 8 | byte(2) << 16 | byte(3) << 24;
}

AccurateRipFile damaged(std::string problem) {
    AccurateRipFile file;
    file.problem = std::move(problem);
    return file;
}

} // namespace

AccurateRipFile parseAccurateRipFile(std::string_view bytes, int trackCount) {
    if (trackCount < 1 || trackCount > 99) {
        return damaged("a disc has 1 to 99 tracks, not " + std::to_string(trackCount));
    }
    if (bytes.empty()) {
        return damaged("the file is empty");
    }
    AccurateRipFile file;
    const std::size_t entryBytes =
        kEntryHeadBytes + kTrackBytes * static_cast<std::size_t>(trackCount);
    for (std::size_t at = 0; at < bytes.size(); at += entryBytes) {
        const std::string entryName = "entry " + std::to_string(file.entries.size() + 1);
        const int count = static_cast<uint8_t>(bytes[at]);
        if (count != trackCount) {
            return damaged(entryName + " has " + std::to_string(count) + " tracks, the disc " +
                           std::to_string(trackCount));
        }
        if (bytes.size() - at < entryBytes) {
            return damaged(entryName + " is cut short");
        }
        AccurateRipEntry entry;
        entry.id1 = readU32(bytes, at + 1);
        entry.id2 = readU32(bytes, at + 5);
        entry.cddb = readU32(bytes, at + 9);
        entry.tracks.resize(static_cast<std::size_t>(trackCount));
        for (std::size_t track = 0; track < entry.tracks.size(); ++track) {
            const std::size_t trackAt = at + kEntryHeadBytes + kTrackBytes * track;
            entry.tracks[track] = {static_cast<uint8_t>(bytes[trackAt]),
                                   readU32(bytes, trackAt + 1), readU32(bytes, trackAt + 5)};
        }
        file.entries.push_back(std::move(entry));
    }
    return file;
}

} // namespace online
