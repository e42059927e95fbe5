// SPDX-License-Identifier: GPL-3.0-or-later
// Finding a drive's read offset with a disc the AccurateRip database knows.
// The database holds, for every track of every pressing it knows, the
// checksum of the track's sector 450 as drives with a corrected offset read
// it. The drive reads the sectors around sector 450 of a track once, without
// correction; a 588-sample window then slides over them in memory, one
// sample at a time across the whole range of offsets, and every shift whose
// window checksum is one the database holds is a candidate. A candidate
// counts when a second track confirms it at the same shift.
//
// The window's checksum (the sum of w * s for w = 1 ... 588, modulo 2^32)
// moves by a sample in constant time: adding the next sample at weight 588
// and taking the window's plain sum away lowers every other weight by one.
#pragma once

#include "AccurateRipDisc.h"
#include "AccurateRipLookup.h"
#include "DiscToc.h"

#include <cstdint>
#include <functional>
#include <map>
#include <span>
#include <stop_token>
#include <string>
#include <vector>

// The largest read offset searched for, either way.
inline constexpr int32_t kMaxOffsetSearched = 5000;

// The shifts within ±kMaxOffsetSearched at which the sector that starts at
// drive sample `sectorSample` has one of the `wanted` checksums, each with
// that checksum. `audio` holds 16-bit stereo samples from drive sample
// `firstSample` on; shifts whose window it does not hold whole are skipped.
std::map<int32_t, uint32_t> MatchingShifts(std::span<const uint8_t> audio, int64_t firstSample,
                                           int64_t sectorSample,
                                           const std::vector<uint32_t>& wanted);

struct TOffsetResult {
    enum class TKind {
        Found,         // Offset, Confidence and Tracks say what matched
        NoMatch,       // the database knows the disc, but no shift matched
        NotInDatabase, // the database does not know the disc
        Failed,        // the database or the drive could not be read: Message
        Cancelled
    };
    TKind Kind = TKind::Failed;
    int32_t Offset = 0;
    // How many rips in the database agree: the confidence of the entries
    // that match at the offset, on the first track that matched.
    int Confidence = 0;
    // The disc's track numbers that matched at the offset, in order.
    std::vector<int> Tracks;
    std::string Message;
};

// The text varrow-rip prints and the window shows for a result:
// "Read offset: +667 (confidence 12, tracks 1 and 2)", or why there is none.
std::string OffsetResultText(const TOffsetResult& result);

struct TOffsetSearch {
    // The database's answer for the disc.
    std::function<online::AccurateRipAnswer(const online::AccurateRipDisc& disc,
                                            std::stop_token stop)>
        LookUp;
    // Reads first..last of the disc without offset correction as 16-bit
    // stereo; false with `error` set when the drive could not.
    std::function<bool(int32_t first, int32_t last, std::vector<uint8_t>& audio,
                       std::string& error)>
        ReadSectors;
    // Told the work done so far, 0 ... 100.
    std::function<void(int percent)> Progress;
};

// Searches `toc`'s audio tracks in order until an offset is confirmed on a
// second track (or on the only track that can be searched).
TOffsetResult FindReadOffset(const online::DiscToc& toc, const TOffsetSearch& search,
                             std::stop_token stop = {});

// The search as both front ends run it: the database asked over HTTP (its
// cache in the program's cache folder) and the disc in the CD library's
// active drive read, `abort` (null: never) stopping a read in progress.
TOffsetResult FindDriveReadOffset(const online::DiscToc& toc, int32_t* abort,
                                  std::function<void(int percent)> progress,
                                  std::stop_token stop = {});
