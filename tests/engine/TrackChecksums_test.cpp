// SPDX-License-Identifier: GPL-3.0-or-later
// Every track length, place on the disc (its edges are left out of
// AccurateRip's sums) and way of cutting the audio into pieces gives the
// checksums of a plain reference loop; a few values are pinned.
#include "TrackChecksums.h"

#include <algorithm>
#include <cstdint>
#include <gtest/gtest.h>
#include <optional>
#include <random>
#include <span>
#include <vector>

namespace {

constexpr std::size_t kSamplesPerSector = 588;

struct Expected {
    uint32_t crc;
    uint32_t v1;
    uint32_t v2;
    std::optional<uint32_t> frame450;
    int peak;
};

// Sample k: left (k * 40503) & 0xffff, right (k * 9973 + 12345) & 0xffff,
// little-endian, then `loud` full-scale negative samples at the start.
std::vector<uint8_t> syntheticTrack(int32_t sectors, bool loud = false) {
    std::vector<uint8_t> audio(static_cast<std::size_t>(sectors) * kSamplesPerSector * 4);
    for (std::size_t k = 0; k < audio.size() / 4; ++k) {
        const auto left = static_cast<uint16_t>(k * 40503);
        const auto right = static_cast<uint16_t>(k * 9973 + 12345);
        audio[4 * k] = static_cast<uint8_t>(left);
        audio[4 * k + 1] = static_cast<uint8_t>(left >> 8);
        audio[4 * k + 2] = static_cast<uint8_t>(right);
        audio[4 * k + 3] = static_cast<uint8_t>(right >> 8);
    }
    if (loud && !audio.empty()) {
        audio[1] = 0x80; // left sample 0: -32768
        audio[0] = 0x00;
    }
    return audio;
}

// The definitions, one sample and one bit at a time.
Expected reference(const std::vector<uint8_t>& audio, bool first, bool last) {
    Expected expected{0xffffffffu, 0, 0, std::nullopt, 0};
    for (const uint8_t byte : audio) {
        expected.crc ^= byte;
        for (int bit = 0; bit < 8; ++bit) {
            expected.crc = (expected.crc >> 1) ^ (expected.crc & 1 ? 0xedb88320u : 0);
        }
    }
    expected.crc ^= 0xffffffffu;
    const std::size_t samples = audio.size() / 4;
    const auto sample = [&audio](std::size_t k) {
        return static_cast<uint32_t>(audio[4 * k] | audio[4 * k + 1] << 8 | audio[4 * k + 2] << 16 |
                                     static_cast<uint32_t>(audio[4 * k + 3]) << 24);
    };
    for (std::size_t k = 0; k < samples; ++k) {
        const uint64_t m = k + 1;
        if ((first && m < 2940) || (last && m + 2940 > samples)) {
            continue;
        }
        const uint64_t product = m * sample(k);
        expected.v1 += static_cast<uint32_t>(product);
        expected.v2 += static_cast<uint32_t>(product) + static_cast<uint32_t>(product >> 32);
    }
    if (samples >= 451 * kSamplesPerSector) {
        uint32_t sum = 0;
        for (std::size_t j = 0; j < kSamplesPerSector; ++j) {
            sum += static_cast<uint32_t>(j + 1) * sample(450 * kSamplesPerSector + j);
        }
        expected.frame450 = sum;
    }
    for (std::size_t i = 0; i + 1 < audio.size(); i += 2) {
        const auto value = static_cast<int16_t>(audio[i] | audio[i + 1] << 8);
        expected.peak = std::max(expected.peak, std::abs(static_cast<int>(value)));
    }
    return expected;
}

enum class Place { Middle, First, Last, Only };

// Piece sizes: the whole track, whole sectors, sizes that split samples,
// and random ones (0).
constexpr std::pair<const char*, std::size_t> kChunkings[] = {
    {"Whole", SIZE_MAX}, {"Sectors", 2352 * 13}, {"Odd", 4095}, {"Tiny", 3}, {"Random", 0}};

using Case = std::tuple<int32_t, Place, int>;

std::string caseName(const Case& c) {
    static const char* const kPlaces[] = {"Middle", "First", "Last", "Only"};
    return std::to_string(std::get<0>(c)) + "Sectors" + kPlaces[static_cast<int>(std::get<1>(c))] +
           kChunkings[std::get<2>(c)].first;
}

class TrackChecksumsTest : public ::testing::TestWithParam<Case> {};

TEST_P(TrackChecksumsTest, EqualTheReferenceInAnyPieces) {
    const auto [sectors, place, chunking] = GetParam();
    const bool first = place == Place::First || place == Place::Only;
    const bool last = place == Place::Last || place == Place::Only;
    const std::vector<uint8_t> audio = syntheticTrack(sectors, true);
    const Expected expected = reference(audio, first, last);

    TrackChecksums checksums(sectors, first, last);
    std::mt19937 random(static_cast<unsigned>(audio.size()));
    std::uniform_int_distribution<std::size_t> randomSize(1, 9000);
    for (std::size_t at = 0; at < audio.size();) {
        const std::size_t piece = kChunkings[chunking].second;
        const std::size_t size = std::min(audio.size() - at, piece ? piece : randomSize(random));
        checksums.add(std::span(audio).subspan(at, size));
        at += size;
    }

    EXPECT_TRUE(checksums.complete());
    EXPECT_EQ(checksums.bytesAdded(), audio.size());
    EXPECT_EQ(checksums.copyCrc(), expected.crc);
    EXPECT_EQ(checksums.accurateRipV1(), expected.v1);
    EXPECT_EQ(checksums.accurateRipV2(), expected.v2);
    EXPECT_EQ(checksums.frame450Checksum(), expected.frame450);
    EXPECT_EQ(checksums.peak(), expected.peak);
}

// Lengths around the edges left out (five sectors, ten for a track that is
// first and last) and around sector 450.
INSTANTIATE_TEST_SUITE_P(Tracks, TrackChecksumsTest,
                         ::testing::Combine(::testing::Values(1, 5, 6, 10, 11, 450, 451, 700),
                                            ::testing::Values(Place::Middle, Place::First,
                                                              Place::Last, Place::Only),
                                            ::testing::Range(0, 5)),
                         [](const auto& info) { return caseName(info.param); });

// Values computed apart from this code (Python's zlib.crc32 and integer
// arithmetic over the same synthetic samples), so that the reference and
// the code cannot agree on a mistake.
TEST(TrackChecksumsPinned, KnownValues) {
    const struct {
        int32_t sectors;
        Place place;
        uint32_t crc, v1, v2;
        std::optional<uint32_t> frame450;
    } cases[] = {
        {10, Place::Middle, 0xfab045b9, 0x67b570e8, 0x6838c62b, std::nullopt},
        {10, Place::First, 0xfab045b9, 0x2b84a280, 0x2be687f0, std::nullopt},
        {10, Place::Last, 0xfab045b9, 0x4ccfae34, 0x4cf12301, std::nullopt},
        {10, Place::Only, 0xfab045b9, 0x109edfcc, 0x109ee4c6, std::nullopt},
        {451, Place::Middle, 0x20fb685d, 0x5816d9ec, 0x70375701, 0xed956fd4},
        {451, Place::First, 0x20fb685d, 0x1be60b84, 0x33e518c6, 0xed956fd4},
        {451, Place::Last, 0x20fb685d, 0xa1169538, 0xa1ce3957, 0xed956fd4},
        {451, Place::Only, 0x20fb685d, 0x64e5c6d0, 0x657bfb1c, 0xed956fd4},
    };
    for (const auto& c : cases) {
        const bool first = c.place == Place::First || c.place == Place::Only;
        const bool last = c.place == Place::Last || c.place == Place::Only;
        TrackChecksums checksums(c.sectors, first, last);
        checksums.add(syntheticTrack(c.sectors));
        EXPECT_EQ(checksums.copyCrc(), c.crc) << c.sectors;
        EXPECT_EQ(checksums.accurateRipV1(), c.v1) << c.sectors;
        EXPECT_EQ(checksums.accurateRipV2(), c.v2) << c.sectors;
        EXPECT_EQ(checksums.frame450Checksum(), c.frame450) << c.sectors;
    }
    // CRC-32's published check value.
    TrackChecksums text(0, false, false);
    const std::string digits = "123456789";
    text.add(std::span(reinterpret_cast<const uint8_t*>(digits.data()), digits.size()));
    EXPECT_EQ(text.copyCrc(), 0xcbf43926u);
}

// A track that ends early (an aborted read) or runs on past its length is
// not complete; bytes past the length change the CRC, never AccurateRip's
// sums.
TEST(TrackChecksumsLength, OnlyTheTracksOwnSamplesAreWeighed) {
    const std::vector<uint8_t> audio = syntheticTrack(452);
    const Expected expected = reference({audio.begin(), audio.end() - 2352}, false, false);
    for (const std::size_t bytes : {audio.size(), audio.size() - 2352 - 6}) {
        TrackChecksums checksums(451, false, false);
        checksums.add(std::span(audio).first(bytes));
        EXPECT_FALSE(checksums.complete());
        EXPECT_NE(checksums.copyCrc(), expected.crc);
        EXPECT_EQ(checksums.frame450Checksum(),
                  bytes > audio.size() - 2352 ? expected.frame450 : std::nullopt);
        if (bytes > audio.size() - 2352) {
            EXPECT_EQ(checksums.accurateRipV1(), expected.v1);
            EXPECT_EQ(checksums.accurateRipV2(), expected.v2);
        }
    }
}

} // namespace
