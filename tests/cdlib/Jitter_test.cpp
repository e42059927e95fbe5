// SPDX-License-Identifier: GPL-3.0-or-later
// Jitter correction on disc images: paranoia's own jitter simulation and a
// read function that damages what the image delivers.
#include "LibraryFixture.h"
#include "TestHooks.h"
#include "TestImages.h"

#include <cdio/paranoia/cdda.h>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>

namespace cdlib::testing {
namespace {

class JitterTest : public LibraryTest {
protected:
    // Three tracks; the tests read the middle one, away from the disc's ends.
    void SetUp() override {
        LibraryTest::SetUp();
        image_ = writeImage(tempDir(), "disc", {{150, false}, {400, false}, {150, false}});
        useImage(image_);
        srand48(7); // paranoia's jitter simulation draws from drand48
    }

    int32_t first() const { return image_.starts[1]; }
    int32_t last() const { return image_.starts[2] - 1; }

    void expectPositionsInTheirChunks(const RangeRead& read) {
        expectPositionsInTheirChunks(read, first(), last());
    }
    void expectPositionsInTheirChunks(const RangeRead& read, int32_t rangeFirst,
                                      int32_t rangeLast) {
        size_t jitterIndex = 0;
        for (size_t chunk = 0; chunk < read.results.size(); ++chunk) {
            if (read.results[chunk] != CR_CHUNK_JITTER) {
                continue;
            }
            const auto [from, to] = read.jitterPositions[jitterIndex++];
            const auto chunkFirst =
                static_cast<uint32_t>(rangeFirst + 26 * static_cast<int>(chunk));
            EXPECT_LE(from, to);
            EXPECT_GE(from, chunkFirst) << "chunk " << chunk;
            EXPECT_LE(to, std::min<uint32_t>(chunkFirst + 25, static_cast<uint32_t>(rangeLast)));
        }
    }

    TestImage image_;
};

TEST_F(JitterTest, ParanoiaJitterSimulationIsCorrected) {
    // Paranoia jitters one read in ten by up to a quarter sector (small) or
    // two sectors (large).
    for (const int flags : {CDDA_TEST_JITTER_SMALL, CDDA_TEST_JITTER_LARGE}) {
        SCOPED_TRACE(flags);
        setParanoiaTestFlags(flags);
        setReading(STEREO44100, true);
        const RangeRead read = readRange(first(), last());
        EXPECT_EQ(read.audio, imageAudio(first(), last()));
        EXPECT_GT(read.jitterErrors, 0);
        EXPECT_EQ(read.jitterErrors,
                  std::count(read.results.begin(), read.results.end(), CR_CHUNK_JITTER));
        EXPECT_EQ(read.jitterPositions.size(), static_cast<size_t>(read.jitterErrors));
        expectPositionsInTheirChunks(read);
    }
}

TEST_F(JitterTest, RangesReadOneAfterAnotherAreEachExactAndReportTheirOwnRepairs) {
    // The second range follows on from the first, as the tracks of a disc
    // extracted whole do, and a range read twice is read afresh. (libcdio's
    // jitter simulation leaks a buffer when it reaches either end of the
    // disc, so the ranges keep to the middle track.)
    setParanoiaTestFlags(CDDA_TEST_JITTER_LARGE);
    setReading(STEREO44100, true);
    const std::pair<int32_t, int32_t> tracks[] = {
        {first(), first() + 199}, {first() + 200, last()}, {first(), last()}};
    int32_t jitterErrors = 0;
    for (const auto& [from, to] : tracks) {
        SCOPED_TRACE(from);
        const RangeRead read = readRange(from, to);
        EXPECT_EQ(read.audio, imageAudio(from, to));
        EXPECT_EQ(read.lostSectors, 0);
        EXPECT_EQ(read.jitterErrors,
                  std::count(read.results.begin(), read.results.end(), CR_CHUNK_JITTER));
        expectPositionsInTheirChunks(read, from, to);
        jitterErrors += read.jitterErrors;
    }
    EXPECT_GT(jitterErrors, 0);
}

TEST_F(JitterTest, WithoutCorrectionJitterReachesTheOutput) {
    setParanoiaTestFlags(CDDA_TEST_JITTER_SMALL | CDDA_TEST_ALWAYS_JITTER);
    setReading(STEREO44100, false);
    const RangeRead read = readRange(first(), last());
    EXPECT_EQ(read.audio.size(), imageAudio(first(), last()).size());
    EXPECT_NE(read.audio, imageAudio(first(), last()));
    EXPECT_EQ(read.jitterErrors, 0) << "nothing was repaired";
}

// A few drive reads come back shifted by some samples, as from a drive that
// loses its place between reads.
struct ShiftingRead {
    std::shared_ptr<int> calls = std::make_shared<int>(0);

    long operator()(void* buffer, int32_t firstSector, long sectors,
                    const SectorReader& read) const {
        const long got = read(buffer, firstSector, sectors);
        ++*calls;
        if (got > 1 && (*calls == 6 || *calls == 11 || *calls == 17)) {
            auto* bytes = static_cast<uint8_t*>(buffer);
            const size_t size = static_cast<size_t>(got) * 2352;
            const size_t shift = 4 * static_cast<size_t>(*calls);
            std::memmove(bytes, bytes + shift, size - shift);
            std::memset(bytes + size - shift, 0, shift);
        }
        return got;
    }
};

TEST_F(JitterTest, ShiftedReadsAreRepairedAndReported) {
    setSectorReadFilter(ShiftingRead{});
    setReading(STEREO44100, true);
    const RangeRead read = readRange(first(), last());
    EXPECT_EQ(read.audio, imageAudio(first(), last()));
    EXPECT_GT(read.jitterErrors, 0);
    expectPositionsInTheirChunks(read);

    setSectorReadFilter(ShiftingRead{});
    setReading(STEREO44100, false);
    const RangeRead raw = readRange(first(), last());
    EXPECT_NE(raw.audio, imageAudio(first(), last())) << "the filter does damage the reads";
}

TEST_F(JitterTest, UnreadableSectorIsSkippedAndReadingGoesOn) {
    const int32_t bad = first() + 150;
    setSectorReadFilter(unreadableSector(bad));
    setReading(STEREO44100, true);
    const auto start = std::chrono::steady_clock::now();
    const RangeRead read = readRange(first(), last());
    const auto seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_LT(seconds, 60.0) << "the retries are bounded";
    ASSERT_EQ(read.results.back(), CR_CHUNK_LAST);
    EXPECT_GE(read.jitterErrors, 1);
    const auto expected = imageAudio(first(), last());
    ASSERT_EQ(read.audio.size(), expected.size());
    // Away from the bad spot the audio is exact.
    const size_t damageFrom = static_cast<size_t>(bad - first() - 30) * 2352;
    const size_t damageTo = static_cast<size_t>(bad - first() + 30) * 2352;
    EXPECT_TRUE(std::equal(expected.begin(), expected.begin() + damageFrom, read.audio.begin()));
    EXPECT_TRUE(
        std::equal(expected.begin() + damageTo, expected.end(), read.audio.begin() + damageTo));
    bool reported = false;
    for (const auto& [from, to] : read.jitterPositions) {
        reported = reported || (from <= static_cast<uint32_t>(bad) + 30 &&
                                to + 30 >= static_cast<uint32_t>(bad));
    }
    EXPECT_TRUE(reported) << "a repair near the bad sector is reported";
}

} // namespace
} // namespace cdlib::testing
