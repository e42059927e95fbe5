// SPDX-License-Identifier: GPL-3.0-or-later
// Read offsets: an image as a drive with a known offset would have read it,
// ripped with that offset corrected, gives every track of the original disc
// byte for byte, with silence (counted) where the shift reaches past the
// disc; with and without jitter correction, which read differently. A
// drive that can read its lead-in and lead-out does so when asked.
#include "LibraryFixture.h"
#include "TestHooks.h"
#include "TestImages.h"

#include <string>
#include <tuple>

namespace cdlib::testing {
namespace {

constexpr int32_t kSamplesPerSector = 588;
const std::vector<ImageTrack> kTracks = {{40, false}, {30, false}, {36, false}};

class ReadOffsetTest : public LibraryTest,
                       public ::testing::WithParamInterface<std::tuple<int32_t, bool>> {};

// What a track of the original disc holds, samples past the shifted image's
// ends silence: the samples the drive never delivered.
std::vector<uint8_t> expectedTrack(const std::vector<uint8_t>& disc, int32_t first, int32_t last,
                                   int32_t offset, int64_t& silenced) {
    const auto total = static_cast<int64_t>(disc.size() / 4);
    std::vector<uint8_t> audio;
    for (int64_t sample = int64_t{first} * kSamplesPerSector;
         sample < int64_t{last + 1} * kSamplesPerSector; ++sample) {
        const bool delivered = sample + offset >= 0 && sample + offset < total;
        silenced += delivered ? 0 : 1;
        for (int byte = 0; byte < 4; ++byte) {
            audio.push_back(delivered ? disc[static_cast<size_t>(sample * 4 + byte)] : 0);
        }
    }
    return audio;
}

TEST_P(ReadOffsetTest, ShiftedImageRipsAsTheOriginalDisc) {
    const auto [offset, jitterCorrection] = GetParam();
    const TestImage image = writeShiftedImage(tempDir(), "shifted", kTracks, offset);
    useImage(image);
    setReading(STEREO44100, jitterCorrection);
    ASSERT_EQ(CR_SetReadOffset(offset), CR_OK);
    ASSERT_EQ(CR_GetReadOffset(), offset);
    EXPECT_EQ(CR_CanOverread(), CR_FALSE) << "an image holds nothing past its ends";
    const std::vector<uint8_t> disc = imageAudio(0, image.starts.back() - 1);
    for (size_t track = 0; track < kTracks.size(); ++track) {
        SCOPED_TRACE("track " + std::to_string(track + 1));
        const int32_t first = image.starts[track];
        const int32_t last = image.starts[track + 1] - 1;
        int64_t silenced = 0;
        const std::vector<uint8_t> expected = expectedTrack(disc, first, last, offset, silenced);
        const RangeRead read = readRange(first, last);
        ASSERT_TRUE(read.opened);
        EXPECT_TRUE(read.audio == expected) << "the track's bytes differ from the original's";
        EXPECT_EQ(read.lostSectors, 0);
        EXPECT_EQ(CR_GetNumberOfSilencedSamples(), silenced);
        EXPECT_EQ(read.results.back(), CR_CHUNK_LAST);
    }
}

INSTANTIATE_TEST_SUITE_P(Offsets, ReadOffsetTest,
                         ::testing::Combine(::testing::Values(0, 1, -1, 587, -587, 588, -588, 589,
                                                              -589, 667, -1164, 5000, -5000),
                                            ::testing::Bool()));

// A drive that can read its lead-in and lead-out does so only when asked;
// otherwise silence stands in there, counted.
class OverreadTest : public LibraryTest,
                     public ::testing::WithParamInterface<std::tuple<int32_t, bool>> {};

TEST_P(OverreadTest, TheDiscsEdgesAreReadOnlyWhenAsked) {
    const auto [offset, overread] = GetParam();
    VirtualDisc disc = discOf({{100, false}, {100, false}});
    disc.readsOutsideDisc = true;
    ASSERT_EQ(addVirtualDrive(std::make_shared<VirtualDrive>("OVERREAD 1.0", disc)), 0);
    ASSERT_EQ(CR_SetActiveCDROM(0), CR_OK);
    ASSERT_EQ(CR_ReadToc(), CR_OK);
    ASSERT_EQ(CR_SetReadOffset(offset), CR_OK);
    ASSERT_EQ(CR_SetOverread(overread ? CR_TRUE : CR_FALSE), CR_OK);
    EXPECT_EQ(CR_CanOverread(), CR_TRUE);
    for (const auto& [first, last] : {std::pair{0, 99}, std::pair{100, 199}}) {
        std::vector<uint8_t> expected;
        int64_t silenced = 0;
        for (int64_t sample = int64_t{first} * kSamplesPerSector;
             sample < int64_t{last + 1} * kSamplesPerSector; ++sample) {
            const int64_t driveSample = sample + offset;
            const auto sector = static_cast<int32_t>(
                (driveSample - (driveSample < 0 ? kSamplesPerSector - 1 : 0)) / kSamplesPerSector);
            const bool read = overread || (sector >= 0 && sector < 200);
            silenced += read ? 0 : 1;
            const std::vector<uint8_t> bytes = VirtualDrive::audioSector(sector);
            const auto at =
                static_cast<size_t>(driveSample - int64_t{sector} * kSamplesPerSector) * 4;
            for (size_t byte = 0; byte < 4; ++byte) {
                expected.push_back(read ? bytes[at + byte] : 0);
            }
        }
        const RangeRead got = readRange(first, last);
        EXPECT_TRUE(got.audio == expected) << "sectors " << first << " to " << last;
        EXPECT_EQ(CR_GetNumberOfSilencedSamples(), silenced);
    }
}

INSTANTIATE_TEST_SUITE_P(Offsets, OverreadTest,
                         ::testing::Combine(::testing::Values(667, -1164, 5000, -5000),
                                            ::testing::Bool()));

} // namespace
} // namespace cdlib::testing
