// SPDX-License-Identifier: GPL-3.0-or-later
// The checksums of one track, computed from its audio as it is read, so
// that no second pass over the file is needed: the copy CRC (CRC-32, as
// zlib computes it, of the audio bytes as written, no header), the
// AccurateRip v1 and v2 checksums, the AccurateRip checksum of the track's
// sector 450 (what finding a drive's read offset compares) and the peak
// level.
//
// AccurateRip reads each stereo sample as a little-endian 32-bit value
// (left in the low half) and weighs it by its position m = 1, 2, ... in the
// track: v1 is the sum of m * s modulo 2^32, v2 the sum of the high and the
// low 32 bits of each 64-bit product. Drives read the edges of a disc
// differently, so the disc's first audio track leaves out its samples
// with m < 2,940 and its last audio track its last 2,940 samples.
//
// It runs on every byte of every rip: pieces are summed in place, without
// copies, and the CRC is zlib's.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

class TrackChecksums final {
public:
    // `sectors`: the track's length; the first and the last audio track of
    // the disc leave out their edges.
    TrackChecksums(int32_t sectors, bool firstAudioTrack, bool lastAudioTrack);

    // The next bytes of the track's 16-bit little-endian stereo audio, in
    // pieces of any size: a piece may end inside a sample. Bytes beyond
    // the track's length count in the CRC only.
    void add(std::span<const uint8_t> bytes);

    // Of every byte added.
    uint32_t copyCrc() const { return crc_; }
    uint32_t accurateRipV1() const { return static_cast<uint32_t>(productLows_); }
    uint32_t accurateRipV2() const { return static_cast<uint32_t>(productLows_ + productHighs_); }
    // The v1 checksum of the track's sector 450 (weights 1 ... 588 within
    // it), once it was added whole; none for a track of 450 sectors or less.
    std::optional<uint32_t> frame450Checksum() const;
    // The largest absolute sample value, 0 ... 32768.
    int peak() const { return peak_; }

    uint64_t bytesAdded() const { return bytes_; }
    // Exactly the track's bytes were added: its checksums are the track's.
    bool complete() const { return bytes_ == 4 * totalSamples_; }

private:
    // `count` whole samples, the first of them at position samples_ + 1.
    void addSamples(const uint8_t* samples, std::size_t count);

    uint64_t totalSamples_;
    uint64_t firstCounted_; // positions counted by v1 and v2
    uint64_t lastCounted_;
    uint64_t samples_ = 0; // whole samples added
    uint64_t bytes_ = 0;
    uint8_t pending_[4] = {}; // a sample split between pieces
    std::size_t pendingBytes_ = 0;

    uint32_t crc_ = 0;
    // Running sums of the products' low and high halves; only their low 32
    // bits matter.
    uint64_t productLows_ = 0;
    uint64_t productHighs_ = 0;
    uint64_t frame450_ = 0;
    int peak_ = 0;
};
