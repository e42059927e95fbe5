// SPDX-License-Identifier: GPL-3.0-or-later
// What a disc carries beside its table of contents: its media catalogue
// number, and per track its ISRC, its control flags and where its pregap
// (INDEX 00) starts. Logs, cue sheets and lookups name the disc and its
// tracks with them.
#pragma once

#include "CdRip_dll.h"

#include <cdio/cdio.h>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace cdlib {

struct TrackInfo {
    std::string isrc; // 12 characters, upper case; empty when none
    // INDEX 00, in the sectors of the table of contents: the pregap runs from
    // here to the sector before the track's start.
    std::optional<int32_t> pregapSector;
    bool preEmphasis = false;
    bool copyPermitted = false;
    bool fourChannel = false;

    bool operator==(const TrackInfo&) const = default;
};

struct DiscInfo {
    std::string catalog; // the MCN, 13 digits; empty when none
    // By track number; a track not listed carries none of it.
    std::map<int32_t, TrackInfo> tracks;

    bool operator==(const DiscInfo&) const = default;
};

// What libcdio finds on an open disc or image for the tracks of `toc`
// (entries 0..N-1; entry N, the lead-out, is no track). ISRCs are read from
// audio tracks only: a drive has to scan the track's sub-channel for one.
DiscInfo discInfoOf(CdIo_t* cdio, const std::vector<TTocEntry>& toc);

// `info` as the library hands it on for the disc of `toc`, whatever drive
// reported it: a catalogue number of 13 digits, not all zeros; ISRCs in
// their form (country, registrant, year, designation: two letters, three
// letters or digits, seven digits; letters taken in either case); pregaps
// between the track's start and the previous track's
// (from sector 0 for the first track); only the tracks of `toc`. Anything
// else is left out, as if the disc did not carry it.
DiscInfo checkedAgainst(DiscInfo info, const std::vector<TTocEntry>& toc);

} // namespace cdlib
