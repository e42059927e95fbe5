// SPDX-License-Identifier: GPL-3.0-or-later
#include "TrackChecksums.h"

#include <algorithm>
#include <cstring>
#include <zlib.h>

namespace {

constexpr uint64_t kSamplesPerSector = 588;
// Five sectors at each edge of the disc's audio are left out of v1 and v2
// (one sample fewer at the start).
constexpr uint64_t kEdgeSamples = 5 * kSamplesPerSector;
// The positions m of the first and last samples of the track's sector 450.
constexpr uint64_t kFrame450First = 450 * kSamplesPerSector + 1;
constexpr uint64_t kFrame450Last = kFrame450First + kSamplesPerSector - 1;

uint32_t sampleAt(const uint8_t* bytes) {
    return static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8 |
           static_cast<uint32_t>(bytes[2]) << 16 | static_cast<uint32_t>(bytes[3]) << 24;
}

// Adds weight * s for `count` samples, the weight rising by one a sample:
// the products' low halves to `lows`, their high halves to `highs`.
void addWeighted(const uint8_t* samples, std::size_t count, uint64_t weight, uint64_t& lows,
                 uint64_t& highs) {
    uint64_t low = 0;
    uint64_t high = 0;
    for (std::size_t i = 0; i < count; ++i, ++weight) {
        const uint64_t product = weight * sampleAt(samples + 4 * i);
        low += product & 0xffffffffu;
        high += product >> 32;
    }
    lows += low;
    highs += high;
}

int peakOf(const uint8_t* samples, std::size_t count, int peak) {
    for (std::size_t i = 0; i < 2 * count; ++i) {
        const auto value = static_cast<int16_t>(samples[2 * i] | samples[2 * i + 1] << 8);
        peak = std::max(peak, value < 0 ? -static_cast<int>(value) : static_cast<int>(value));
    }
    return peak;
}

} // namespace

TrackChecksums::TrackChecksums(int32_t sectors, bool firstAudioTrack, bool lastAudioTrack)
    : totalSamples_(kSamplesPerSector * static_cast<uint64_t>(std::max(sectors, 0)))
    , firstCounted_(firstAudioTrack ? kEdgeSamples : 1)
    , lastCounted_(lastAudioTrack
                       ? (totalSamples_ > kEdgeSamples ? totalSamples_ - kEdgeSamples : 0)
                       : totalSamples_)
    , crc_(static_cast<uint32_t>(crc32_z(0, Z_NULL, 0))) {}

void TrackChecksums::add(std::span<const uint8_t> bytes) {
    if (bytes.empty()) {
        return;
    }
    crc_ = static_cast<uint32_t>(crc32_z(crc_, bytes.data(), bytes.size()));
    bytes_ += bytes.size();
    if (pendingBytes_ > 0) {
        const std::size_t taken = std::min(bytes.size(), sizeof pending_ - pendingBytes_);
        std::memcpy(pending_ + pendingBytes_, bytes.data(), taken);
        pendingBytes_ += taken;
        bytes = bytes.subspan(taken);
        if (pendingBytes_ < sizeof pending_) {
            return;
        }
        addSamples(pending_, 1);
        pendingBytes_ = 0;
    }
    const std::size_t whole = bytes.size() / 4;
    addSamples(bytes.data(), whole);
    pendingBytes_ = bytes.size() - 4 * whole;
    std::memcpy(pending_, bytes.data() + 4 * whole, pendingBytes_);
}

void TrackChecksums::addSamples(const uint8_t* samples, std::size_t count) {
    if (count == 0) {
        return;
    }
    const uint64_t first = samples_ + 1; // the position of samples[0]
    const uint64_t last = samples_ + count;
    samples_ = last;
    peak_ = peakOf(samples, count, peak_);

    // v1 and v2: the samples at the counted positions, weighed by position.
    if (const uint64_t from = std::max(first, firstCounted_), to = std::min(last, lastCounted_);
        from <= to) {
        addWeighted(samples + 4 * (from - first), to - from + 1, from, productLows_, productHighs_);
    }
    // Sector 450, weighed 1 ... 588 within the sector; only the low halves
    // count.
    if (const uint64_t from = std::max(first, kFrame450First), to = std::min(last, kFrame450Last);
        from <= to && kFrame450Last <= totalSamples_) {
        uint64_t highs = 0;
        addWeighted(samples + 4 * (from - first), to - from + 1, from - kFrame450First + 1,
                    frame450_, highs);
    }
}

std::optional<uint32_t> TrackChecksums::frame450Checksum() const {
    if (totalSamples_ < kFrame450Last || samples_ < kFrame450Last) {
        return std::nullopt;
    }
    return static_cast<uint32_t>(frame450_);
}
