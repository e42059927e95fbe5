// SPDX-License-Identifier: GPL-3.0-or-later
// Arbitrary bytes as the AccurateRip database's file for a disc (the first
// byte picks the disc's track count): the parser either reads every byte
// into entries that hold exactly those bytes, or refuses the file whole
// with a reason, and it refuses exactly the files that do not split into
// whole entries of the disc's track count.
#include "AccurateRipFile.h"
#include "FuzzCheck.h"

#include <cstdint>
#include <string_view>

namespace {

uint32_t readU32(std::string_view bytes, std::size_t at) {
    uint32_t value = 0;
    for (std::size_t i = 4; i-- > 0;) {
        value = value << 8 | static_cast<uint8_t>(bytes[at + i]);
    }
    return value;
}

bool splitsIntoEntries(std::string_view bytes, int tracks) {
    const std::size_t entryBytes = 13 + 9 * static_cast<std::size_t>(tracks);
    if (bytes.empty() || bytes.size() % entryBytes != 0) {
        return false;
    }
    for (std::size_t at = 0; at < bytes.size(); at += entryBytes) {
        if (static_cast<uint8_t>(bytes[at]) != tracks) {
            return false;
        }
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) {
        return 0;
    }
    const int tracks = data[0] % 101; // 0 and 100 are no disc's
    const std::string_view bytes(reinterpret_cast<const char*>(data) + 1, size - 1);

    const online::AccurateRipFile file = online::parseAccurateRipFile(bytes, tracks);

    const bool acceptable = tracks >= 1 && tracks <= 99 && splitsIntoEntries(bytes, tracks);
    check(file.valid() == acceptable);
    if (!file.valid()) {
        check(file.entries.empty());
        return 0;
    }
    const std::size_t trackCount = static_cast<std::size_t>(tracks);
    check(file.entries.size() * (13 + 9 * trackCount) == bytes.size());
    std::size_t at = 0;
    for (const online::AccurateRipEntry& entry : file.entries) {
        check(entry.tracks.size() == trackCount);
        check(entry.id1 == readU32(bytes, at + 1) && entry.id2 == readU32(bytes, at + 5) &&
              entry.cddb == readU32(bytes, at + 9));
        at += 13;
        for (const online::AccurateRipTrack& track : entry.tracks) {
            check(track.confidence == static_cast<uint8_t>(bytes[at]));
            check(track.checksum == readU32(bytes, at + 1));
            check(track.frame450Checksum == readU32(bytes, at + 5));
            at += 9;
        }
    }
    return 0;
}
