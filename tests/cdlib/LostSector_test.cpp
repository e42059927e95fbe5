// SPDX-License-Identifier: GPL-3.0-or-later
// Sectors that cannot be read: counted and reported apart from the repairs
// of jitter correction, a vanished medium ends every read in bounded time,
// and an abort reaches a read in progress. Through virtual drives, disc
// images truncated or failing while they are read, and physical drives
// with a scratch.
#include "FakeDevices.h"
#include "LibraryFixture.h"
#include "TestHooks.h"
#include "TestImages.h"
#include "drives/DriveParameters.h"
#include "reading/Ripper.h"

#include <algorithm>
#include <chrono>
#include <csignal>
#include <fstream>
#include <set>
#include <sys/time.h>
#include <tuple>

namespace cdlib::testing {
namespace {

using Runs = std::vector<std::pair<uint32_t, uint32_t>>;

double secondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

class VirtualLostSectors : public LibraryTest {
protected:
    void SetUp() override {
        LibraryTest::SetUp();
        drive_ = std::make_shared<VirtualDrive>("LOST 1.0", discOf({{3000, false}}));
        ASSERT_EQ(addVirtualDrive(drive_), 0);
        ASSERT_EQ(CR_SetActiveCDROM(0), CR_OK);
        ASSERT_EQ(CR_ReadToc(), CR_OK);
    }

    std::shared_ptr<VirtualDrive> drive_;
};

TEST_F(VirtualLostSectors, EveryWayOfLosingSectorsIsCountedInRuns) {
    struct Case {
        const char* name;
        std::function<void(VirtualFaults&)> script;
        int32_t lost;
        Runs runs;
        int32_t jitterErrors;
    };
    const std::vector<Case> cases = {
        {"clean", [](VirtualFaults&) {}, 0, {}, 0},
        {"jitter is no loss", [](VirtualFaults& f) { f.jitterSectors = {30}; }, 0, {}, 1},
        {"unreadable sectors",
         [](VirtualFaults& f) {
             f.unreadableSectors = {3, 4, 5, 60, 99};
         },
         5,
         {{3, 5}, {60, 60}, {99, 99}},
         0},
        {"an empty chunk", [](VirtualFaults& f) { f.emptyChunks = {1}; }, 26, {{26, 51}}, 0},
        {"a short chunk",
         [](VirtualFaults& f) {
             f.shortChunks = {{0, 2352 * 20}};
         },
         6,
         {{20, 25}},
         0},
        {"runs across chunks",
         [](VirtualFaults& f) {
             f.unreadableSectors = {24, 25};
             f.emptyChunks = {1};
         },
         28,
         {{24, 51}},
         0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        drive_->faults() = {};
        c.script(drive_->faults());
        const RangeRead read = readRange(0, 99);
        EXPECT_EQ(read.results.back(), CR_CHUNK_LAST);
        EXPECT_EQ(read.lostSectors, c.lost);
        EXPECT_EQ(read.lostRuns, c.runs);
        EXPECT_EQ(read.jitterErrors, c.jitterErrors);
    }
}

TEST_F(VirtualLostSectors, UnreadableSectorsStandAsSilenceInTheirPlace) {
    drive_->faults().unreadableSectors = {10};
    const RangeRead read = readRange(0, 25);
    std::vector<uint8_t> expected = virtualAudio(0, 25);
    std::fill(expected.begin() + 10 * 2352, expected.begin() + 11 * 2352, 0);
    EXPECT_EQ(read.audio, expected);
}

TEST_F(VirtualLostSectors, AVanishedMediumStopsTheRangeAfterABoundedStretch) {
    drive_->faults().mediumLostAtSector = 100;
    const RangeRead read = readRange(0, 2999);
    // Chunks of 26: the one holding sector 100 starts at 78.
    ASSERT_EQ(read.results.back(), CR_CHUNK_LAST);
    EXPECT_EQ(read.audio, virtualAudio(0, 77));
    EXPECT_EQ(read.lostRuns, (Runs{{78, 2999}}));
    EXPECT_EQ(read.lostSectors, 2999 - 78 + 1);
    EXPECT_EQ(read.percents.back(), 100);
    // Reading stopped once the stretch was long enough, not at the end.
    const int chunksToGiveUp = (GIVE_UP_AFTER_LOST_SECTORS + 25) / 26;
    EXPECT_LE(drive_->chunksRead(), 3 + chunksToGiveUp + 1);
}

TEST_F(VirtualLostSectors, LostFiguresBelongToTheirRange) {
    drive_->faults().unreadableSectors = {5};
    EXPECT_EQ(readRange(0, 99).lostSectors, 1);
    drive_->faults().unreadableSectors.clear();
    const RangeRead clean = readRange(0, 99);
    EXPECT_EQ(clean.lostSectors, 0);
    EXPECT_TRUE(clean.lostRuns.empty());
    uint32_t first = 7;
    EXPECT_EQ(CR_GetLostSectorRun(-1, &first, nullptr), CR_ERROR);
    EXPECT_EQ(first, 7u);
}

volatile int32_t g_abortIndicator = CR_FALSE;

// The indicator is set the way a program's signal handler sets it, while
// the library's read waits.
class AbortTimer {
public:
    explicit AbortTimer(int milliseconds) {
        g_abortIndicator = CR_FALSE;
        std::signal(SIGALRM, [](int) { g_abortIndicator = CR_TRUE; });
        const itimerval timer{{0, 0}, {0, milliseconds * 1000}};
        setitimer(ITIMER_REAL, &timer, nullptr);
    }
    ~AbortTimer() {
        const itimerval off{};
        setitimer(ITIMER_REAL, &off, nullptr);
        std::signal(SIGALRM, SIG_DFL);
    }
    AbortTimer(const AbortTimer&) = delete;
    AbortTimer& operator=(const AbortTimer&) = delete;
};

TEST_F(VirtualLostSectors, AnAbortReachesAReadThatHangs) {
    drive_->faults().stallingChunks = {1};
    int32_t bytes = 0;
    ASSERT_EQ(CR_OpenRipper(&bytes, 0, 999), CR_OK);
    std::vector<uint8_t> buffer(static_cast<size_t>(bytes));
    int32_t delivered = 0;
    auto* abort = const_cast<int32_t*>(&g_abortIndicator);
    g_abortIndicator = CR_FALSE;
    EXPECT_EQ(CR_RipChunk(buffer.data(), &delivered, abort), CR_CHUNK_OK);
    const AbortTimer timer(100);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(CR_RipChunk(buffer.data(), &delivered, abort), CR_CHUNK_LAST);
    EXPECT_LT(secondsSince(start), 5.0);
    EXPECT_EQ(delivered, 0);
    EXPECT_EQ(CR_GetNumberOfLostSectors(), 0) << "an abort loses nothing";
    CR_CloseRipper();
}

// A three-track image whose middle track is long enough for the library to
// give up inside it, and longer than what paranoia reads ahead (about 1250
// sectors).
class TruncatedImage : public LibraryTest {
protected:
    void SetUp() override {
        LibraryTest::SetUp();
        image_ = writeImage(tempDir(), "disc", {{150, false}, {3500, false}, {150, false}});
        useImage(image_);
    }

    int32_t first() const { return image_.starts[1]; }
    int32_t last() const { return image_.starts[2] - 1; }

    // Reads the middle track, cutting the image file at `cutAt` (a sector)
    // after the second chunk.
    RangeRead readCutAt(int32_t cutAt) {
        return readRange(first(), last(), 100000, [&](int chunk) {
            if (chunk == 1) {
                std::filesystem::resize_file(image_.bin, static_cast<uintmax_t>(cutAt) * 2352);
            }
        });
    }

    TestImage image_;
};

TEST_F(TruncatedImage, ReadingEndsInBoundedTimeAndReportsTheLossInBothModes) {
    for (const bool correction : {false, true}) {
        SCOPED_TRACE(correction ? "jitter correction on" : "jitter correction off");
        image_ = writeImage(tempDir(), "disc", {{150, false}, {3500, false}, {150, false}});
        setReading(STEREO44100, correction);
        const int32_t cutAt = first() + 2000;
        const auto start = std::chrono::steady_clock::now();
        const RangeRead read = readCutAt(cutAt);
        EXPECT_LT(secondsSince(start), 60.0);
        ASSERT_EQ(read.results.back(), CR_CHUNK_LAST);
        ASSERT_FALSE(read.lostRuns.empty());
        // libcdio reads a block that holds the end of the file as a whole,
        // so the loss may start a few sectors after the cut.
        const auto [lostFrom, lostTo] = read.lostRuns.back();
        EXPECT_GE(lostFrom, static_cast<uint32_t>(cutAt) - (correction ? 30 : 0));
        EXPECT_LE(lostFrom, static_cast<uint32_t>(cutAt) + 30);
        EXPECT_EQ(lostTo, static_cast<uint32_t>(last()));
        EXPECT_GE(read.lostSectors, last() - cutAt - 30);
        const auto expected = imageAudio(first(), cutAt - 40);
        ASSERT_GE(read.audio.size(), expected.size());
        EXPECT_TRUE(std::equal(expected.begin(), expected.end(), read.audio.begin()));
    }
}

TEST_F(TruncatedImage, AnEmptiedImageLosesTheWholeRest) {
    setReading(STEREO44100, false);
    const RangeRead read = readCutAt(0);
    ASSERT_EQ(read.results.back(), CR_CHUNK_LAST);
    ASSERT_EQ(read.lostRuns.size(), 1u);
    // What paranoia read ahead before the cut is still delivered.
    const auto [lostFrom, lostTo] = read.lostRuns.front();
    EXPECT_GE(lostFrom, static_cast<uint32_t>(first() + 52));
    EXPECT_EQ(lostTo, static_cast<uint32_t>(last()));
    const auto expected = imageAudio(first(), static_cast<int32_t>(lostFrom) - 1);
    ASSERT_GE(read.audio.size(), expected.size());
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), read.audio.begin()));
}

TEST_F(TruncatedImage, AnUnreadableSectorIsLostNotRepaired) {
    const int32_t bad = first() + 150;
    setSectorReadFilter(unreadableSector(bad));
    for (const bool correction : {false, true}) {
        SCOPED_TRACE(correction ? "jitter correction on" : "jitter correction off");
        setReading(STEREO44100, correction);
        const RangeRead read = readRange(first(), last());
        ASSERT_EQ(read.results.back(), CR_CHUNK_LAST);
        ASSERT_FALSE(read.lostRuns.empty());
        bool covered = false;
        for (const auto& [from, to] : read.lostRuns) {
            covered =
                covered || (from <= static_cast<uint32_t>(bad) && static_cast<uint32_t>(bad) <= to);
        }
        EXPECT_TRUE(covered);
        EXPECT_LE(read.lostSectors, 60) << "only the bad spot is lost";
        for (const auto& [from, to] : read.jitterPositions) {
            EXPECT_FALSE(from == static_cast<uint32_t>(bad) && to == static_cast<uint32_t>(bad))
                << "a lost sector is not called repaired";
        }
    }
}

TEST_F(TruncatedImage, ARangeCarriesNothingOfTheOneBeforeIt) {
    // The first range fails reads around `bad` and stops two chunks in,
    // with losses and failed reads already noted for sectors it never
    // delivered; the next range, on the same drive, reads a clean image.
    const int32_t bad = first() + 60;
    bool failing = true;
    setSectorReadFilter(
        [&](void* buffer, int32_t firstSector, long sectors, const SectorReader& read) -> long {
            if (failing && firstSector <= bad && bad < firstSector + sectors) {
                return -1;
            }
            return read(buffer, firstSector, sectors);
        });
    struct Case {
        const char* name;
        bool correctionBefore;
        bool correctionAfter;
        int32_t from;
        int32_t to;
    };
    const Case cases[] = {
        {"off, then the same range off", false, false, first(), last()},
        {"off, then an earlier range off", false, false, 0, first() - 1},
        {"off, then a later range off", false, false, last() + 1, last() + 150},
        {"on, then off", true, false, first(), last()},
        {"off, then on", false, true, first(), last()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        failing = true;
        setReading(STEREO44100, c.correctionBefore);
        const RangeRead partial = readRange(first(), last(), 2);
        ASSERT_EQ(partial.results.size(), 2u);
        failing = false;
        setReading(STEREO44100, c.correctionAfter);
        const RangeRead next = readRange(c.from, c.to);
        ASSERT_EQ(next.results.back(), CR_CHUNK_LAST);
        EXPECT_EQ(next.lostSectors, 0);
        EXPECT_EQ(next.jitterErrors, 0);
        EXPECT_EQ(next.audio, imageAudio(c.from, c.to));
    }
}

TEST_F(TruncatedImage, ARangeThatFollowsOnDeliversTheImagesAudio) {
    // The next range starts where the last one stopped. After a whole range,
    // what paranoia read ahead is the disc's audio; after an abort it may
    // hold silence made up for the abort; after a read that failed beyond
    // the range, the sector is read again and, readable now, is not lost.
    int reads = 0;
    int32_t abort = CR_FALSE;
    int abortAtRead = 0;
    bool failBeyond = false;
    const int32_t beyond = first() + 60;
    setSectorReadFilter(
        [&](void* buffer, int32_t firstSector, long sectors, const SectorReader& read) -> long {
            if (++reads == abortAtRead) {
                abort = CR_TRUE;
            }
            if (failBeyond && firstSector <= beyond && beyond < firstSector + sectors) {
                return -1;
            }
            return read(buffer, firstSector, sectors);
        });
    struct Case {
        const char* name;
        bool correction;
        int abortAt;
        bool failBeyond;
    };
    const Case cases[] = {
        {"correction off, whole", false, 0, false},
        {"correction off, aborted", false, 3, false},
        {"correction off, a failed read beyond", false, 0, true},
        {"correction on, whole", true, 0, false},
        {"correction on, aborted", true, 3, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        setReading(STEREO44100, c.correction);
        reads = 0;
        abort = CR_FALSE;
        abortAtRead = c.abortAt;
        failBeyond = c.failBeyond;
        int32_t bytes = 0;
        ASSERT_EQ(CR_OpenRipper(&bytes, first(), c.abortAt > 0 ? last() : first() + 51), CR_OK);
        std::vector<uint8_t> buffer(static_cast<size_t>(bytes));
        int32_t delivered = 0;
        int32_t sectorsDelivered = 0;
        for (CR_RESULT result = CR_CHUNK_OK; result != CR_CHUNK_LAST;) {
            result = CR_RipChunk(buffer.data(), &delivered, &abort);
            sectorsDelivered += delivered / 2352;
        }
        CR_CloseRipper();
        abortAtRead = 0;
        failBeyond = false;
        const int32_t next = first() + sectorsDelivered;
        ASSERT_LT(next, last());
        const RangeRead read = readRange(next, last());
        EXPECT_EQ(read.lostSectors, 0);
        EXPECT_TRUE(read.audio == imageAudio(next, last()));
    }
}

TEST_F(TruncatedImage, AnAbortReachesAReadInProgressAndReadsNoMore) {
    // The drive fails every read after the first chunk; the abort comes
    // while paranoia keeps retrying inside one chunk.
    int reads = 0;
    int readsAtAbort = -1;
    int32_t abort = CR_FALSE;
    const int32_t cutAt = first() + 30;
    setSectorReadFilter(
        [&](void* buffer, int32_t firstSector, long sectors, const SectorReader& read) -> long {
            ++reads;
            if (firstSector + sectors <= cutAt) {
                return read(buffer, firstSector, sectors);
            }
            if (reads == 10) {
                abort = CR_TRUE;
                readsAtAbort = reads;
            }
            return -1;
        });
    for (const bool correction : {false, true}) {
        SCOPED_TRACE(correction ? "jitter correction on" : "jitter correction off");
        reads = 0;
        readsAtAbort = -1;
        abort = CR_FALSE;
        setReading(STEREO44100, correction);
        int32_t bytes = 0;
        ASSERT_EQ(CR_OpenRipper(&bytes, first(), last()), CR_OK);
        std::vector<uint8_t> buffer(static_cast<size_t>(bytes));
        int32_t delivered = 0;
        CR_RESULT result = CR_CHUNK_OK;
        for (int chunk = 0; chunk < 100 && result != CR_CHUNK_LAST; ++chunk) {
            result = CR_RipChunk(buffer.data(), &delivered, &abort);
        }
        EXPECT_EQ(result, CR_CHUNK_LAST);
        ASSERT_NE(readsAtAbort, -1) << "the abort came during the reads";
        EXPECT_EQ(reads, readsAtAbort) << "no drive read after the abort";
        EXPECT_LT(CR_GetPercentCompleted(), 100);
        CR_CloseRipper();
    }
}

// A stretch of the track that no read gets through: its first and last
// sector, counted from the track's start.
struct Scratch {
    const char* name;
    int32_t from, to;
};

// A track of 2,025 sectors from sector 1500, between two readable ones.
constexpr int32_t kTrackFirst = 1500;
constexpr int32_t kTrackSectors = 2025;
constexpr int32_t kTrackLast = kTrackFirst + kTrackSectors - 1;
const Scratch kScratches[] = {{"first sectors", 0, 4},
                              {"from the middle on", 300, kTrackSectors - 1},
                              {"last few sectors", kTrackSectors - 5, kTrackSectors - 1},
                              {"whole track", 0, kTrackSectors - 1}};

// Image: reads stop short at the stretch, delivering what lies before it.
// Physical: a READ CD that touches the stretch fails as a whole.
enum class FailingDrive { Image, Physical };

class UnreadableStretch
    : public LibraryTest,
      public ::testing::WithParamInterface<std::tuple<bool, Scratch, FailingDrive>> {
protected:
    void SetUp() override {
        LibraryTest::SetUp();
        const auto& [correction, scratch, kind] = GetParam();
        from_ = kTrackFirst + scratch.from;
        to_ = kTrackFirst + scratch.to;
        const TestImage image = writeImage(
            tempDir(), "disc", {{kTrackFirst, false}, {kTrackSectors, false}, {150, false}});
        if (kind == FailingDrive::Physical) {
            drive_->cue = image.descriptor;
            drive_->unreadable = {from_, to_};
            installFakeDrives({drive_});
            ASSERT_EQ(CR_Init((tempDir() / "Varrow.INI").c_str()), CR_OK);
            ASSERT_EQ(CR_SetActiveCDROM(0), CR_OK);
        } else {
            useImage(image);
            setSectorReadFilter([this](void* buffer, int32_t first, long sectors,
                                       const SectorReader& read) -> long {
                ++drive_->reads;
                if (first > to_ || first + sectors <= from_) {
                    return read(buffer, first, sectors);
                }
                ++drive_->failedReads;
                return first < from_ ? read(buffer, first, from_ - first) : -1;
            });
        }
        ASSERT_EQ(CR_ReadToc(), CR_OK);
        setReading(STEREO44100, correction);
    }

    int32_t from_ = 0;
    int32_t to_ = 0;
    // The physical drive, or what an image's reads are counted in.
    std::shared_ptr<FakeDrive> drive_ = std::make_shared<FakeDrive>();
};

TEST_P(UnreadableStretch, EveryLostSectorIsCountedAndNamedAndTheReadsStayBounded) {
    const RangeRead read = readRange(kTrackFirst, kTrackLast);
    ASSERT_EQ(read.results.back(), CR_CHUNK_LAST);

    // The runs name every sector of the stretch, and beyond it no more than
    // one read's worth that a failed read took with it.
    constexpr int32_t kOneRead = 26;
    std::set<int32_t> lost;
    for (const auto& [first, last] : read.lostRuns) {
        for (auto sector = static_cast<int32_t>(first); sector <= static_cast<int32_t>(last);
             ++sector) {
            lost.insert(sector);
        }
    }
    EXPECT_EQ(read.lostSectors, static_cast<int32_t>(lost.size())) << "the count is the runs'";
    for (int32_t sector = from_; sector <= to_; ++sector) {
        ASSERT_TRUE(lost.contains(sector)) << "sector " << sector << " is not called lost";
    }
    ASSERT_FALSE(lost.empty());
    EXPECT_GE(*lost.begin(), std::max(kTrackFirst, from_ - kOneRead));
    EXPECT_LE(*lost.rbegin(), std::min(kTrackLast, to_ + kOneRead));

    // What is delivered is the disc's audio wherever no loss is named; a
    // stretch too long to be worth reading on ends the range, and its rest
    // is not delivered.
    const auto delivered = static_cast<int32_t>(read.audio.size() / CD_SECTOR_BYTES);
    ASSERT_EQ(read.audio.size() % CD_SECTOR_BYTES, 0u);
    const int32_t stretch = to_ - from_ + 1;
    if (stretch < GIVE_UP_AFTER_LOST_SECTORS) {
        EXPECT_EQ(delivered, kTrackSectors);
    } else {
        EXPECT_GE(delivered, from_ - kTrackFirst + GIVE_UP_AFTER_LOST_SECTORS - kOneRead);
        EXPECT_LE(delivered, from_ - kTrackFirst + GIVE_UP_AFTER_LOST_SECTORS + 2 * kOneRead);
    }
    for (int32_t i = 0; i < delivered; ++i) {
        const int32_t sector = kTrackFirst + i;
        const auto at = read.audio.begin() + static_cast<std::ptrdiff_t>(i) * CD_SECTOR_BYTES;
        ASSERT_TRUE(lost.contains(sector) ||
                    std::vector<uint8_t>(at, at + CD_SECTOR_BYTES) == imageSector(sector))
            << "sector " << sector << " is neither the disc's audio nor called lost";
    }

    // A failed read is what costs a real drive seconds: the first sectors of
    // the stretch take the retries, the rest about one failed read per read
    // of sectors, and no more is tried once the range gives up. Paranoia
    // reads its read-ahead (its model of the drive's cache) again for each
    // retry.
    const int retries = std::get<0>(GetParam()) ? DriveParameters{}.readRetries : 1;
    const int32_t tried = std::min(stretch, GIVE_UP_AFTER_LOST_SECTORS + kOneRead);
    EXPECT_LE(drive_->failedReads, 2 * (retries + (tried + kOneRead - 1) / kOneRead));
    constexpr int32_t kParanoiaReadAhead = 1200;
    EXPECT_LE(drive_->reads, (retries + 1) * (kTrackSectors + kParanoiaReadAhead) / kOneRead);
}

INSTANTIATE_TEST_SUITE_P(
    LostSectors, UnreadableStretch,
    ::testing::Combine(::testing::Bool(), ::testing::ValuesIn(kScratches),
                       ::testing::Values(FailingDrive::Image, FailingDrive::Physical)),
    [](const auto& info) {
        std::string name = std::get<2>(info.param) == FailingDrive::Image ? "Image" : "Physical";
        name += (std::get<0>(info.param) ? "Correcting_" : "Plain_") +
                std::string(std::get<1>(info.param).name);
        std::replace(name.begin(), name.end(), ' ', '_');
        return name;
    });

} // namespace
} // namespace cdlib::testing
