// SPDX-License-Identifier: GPL-3.0-or-later
// Reading ahead on a thread of the library: a range hands out exactly what
// chunk-by-chunk reading on the caller's thread hands out, whatever the
// drive does, holds only a bounded queue of chunks, and stops its reader
// promptly on every way out of the range.
#include "LibraryFixture.h"
#include "TestHooks.h"
#include "TestImages.h"
#include "reading/FormatConverter.h"
#include "reading/Ripper.h"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <thread>

namespace cdlib::testing {
namespace {

double secondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

size_t threadCount() {
    const std::filesystem::directory_iterator tasks("/proc/self/task");
    return static_cast<size_t>(std::distance(begin(tasks), end(tasks)));
}

class ReadAhead : public LibraryTest {
protected:
    // A fresh drive with one 3000-sector track, scripted and selected.
    std::shared_ptr<VirtualDrive> selectDrive(const std::function<void(VirtualFaults&)>& script) {
        auto drive = std::make_shared<VirtualDrive>("AHEAD 1.0", discOf({{3000, false}}));
        script(drive->faults());
        const int number = addVirtualDrive(drive);
        EXPECT_EQ(CR_SetActiveCDROM(number), CR_OK);
        EXPECT_EQ(CR_ReadToc(), CR_OK);
        return drive;
    }
};

void expectSameRead(const RangeRead& ahead, const RangeRead& reference) {
    EXPECT_EQ(ahead.results, reference.results);
    EXPECT_EQ(ahead.chunkSizes, reference.chunkSizes);
    EXPECT_TRUE(ahead.audio == reference.audio) << "audio differs";
    EXPECT_EQ(ahead.jitterPositions, reference.jitterPositions);
    EXPECT_EQ(ahead.percents, reference.percents);
    EXPECT_EQ(ahead.jitterErrors, reference.jitterErrors);
    EXPECT_EQ(ahead.lostSectors, reference.lostSectors);
    EXPECT_EQ(ahead.lostRuns, reference.lostRuns);
}

TEST_F(ReadAhead, HandsOutWhatChunkByChunkReadingHandsOut) {
    struct Case {
        const char* name;
        int32_t format;
        std::function<void(VirtualFaults&)> script;
    };
    const std::vector<Case> cases = {
        {"clean", STEREO44100,
         [](VirtualFaults&) {
         }},
        {"repairs, one in the last chunk", STEREO44100,
         [](VirtualFaults& f) {
             f.jitterSectors = {30, 31, 500, 2999};
         }},
        {"empty and short chunks", STEREO44100,
         [](VirtualFaults& f) {
             f.emptyChunks = {2, 5};
             f.shortChunks = {{1, 1000}, {7, 0}, {9, 100000}};
         }},
        {"unreadable stretch long enough to give up", STEREO44100,
         [](VirtualFaults& f) {
             for (int32_t sector = 100; sector < 950; ++sector) {
                 f.unreadableSectors.insert(sector);
             }
         }},
        {"unreadable sectors here and there", STEREO44100,
         [](VirtualFaults& f) {
             f.unreadableSectors = {0, 1, 2, 700, 2998, 2999};
         }},
        {"medium lost mid-range", STEREO44100,
         [](VirtualFaults& f) {
             f.mediumLostAtSector = 400;
         }},
        {"resampled output with repairs and a short chunk", MONO22050,
         [](VirtualFaults& f) {
             f.jitterSectors = {77, 2990};
             f.shortChunks = {{4, 3001}};
             f.emptyChunks = {6};
         }},
        {"simulated speed", STEREO11025,
         [](VirtualFaults& f) {
             f.simulatedSpeed = 2000;
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RangeRead reads[2];
        int handedOn[2] = {};
        for (const bool ahead : {false, true}) {
            setReadAhead(ahead);
            const auto drive = selectDrive(c.script);
            setReading(c.format, true);
            // What the window may ask between chunks reaches the drive in
            // turn with the reader.
            reads[ahead] = readRange(0, 2999, 100000, [](int) {
                CR_ReadToc();
                uint32_t inTrack = 0;
                uint32_t absolute = 0;
                CR_GetPlayPosition(&inTrack, &absolute);
            });
            handedOn[ahead] = drive->chunksRead();
        }
        ASSERT_EQ(reads[false].results.back(), CR_CHUNK_LAST);
        expectSameRead(reads[true], reads[false]);
        EXPECT_EQ(handedOn[true], handedOn[false]);
    }
}

TEST_F(ReadAhead, ImageRangesReadOnTheCallersThreadInEveryFormat) {
    // An image's reads are copies from the page cache, which a reader thread
    // would only slow down; audio needing no conversion lands in the
    // caller's buffer directly, the rest is converted as before.
    const TestImage image = writeImage(tempDir(), "disc", {{300, false}});
    useImage(image);
    for (const int32_t format : {STEREO44100, MONO44100, STEREO22050}) {
        SCOPED_TRACE(format);
        for (const bool correction : {false, true}) {
            setReading(format, correction);
            const size_t before = threadCount();
            size_t most = before;
            const RangeRead read =
                readRange(0, 299, 100000, [&](int) { most = std::max(most, threadCount()); });
            ASSERT_EQ(read.results.back(), CR_CHUNK_LAST);
            EXPECT_EQ(most, before) << "no reader thread";
            OutputLayout layout;
            ASSERT_TRUE(outputLayoutOf(format, layout));
            EXPECT_EQ(read.audio.size(),
                      size_t{300} * static_cast<size_t>(layout.bytesPerSector()));
            if (format == STEREO44100) {
                EXPECT_TRUE(read.audio == imageAudio(0, 299)) << "audio differs";
            }
        }
    }
}

TEST_F(ReadAhead, HoldsABoundedQueue) {
    const auto drive = selectDrive([](VirtualFaults&) {});
    int32_t bytes = 0;
    ASSERT_EQ(CR_OpenRipper(&bytes, 0, 2999), CR_OK);
    const int limit = static_cast<int>(READ_AHEAD_BYTES / bytes);
    ASSERT_LT(limit + 2, 3000 / 26) << "the range must outlast the queue";
    const auto start = std::chrono::steady_clock::now();
    while (drive->readsMade() < limit && secondsSince(start) < 10) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    EXPECT_GE(drive->readsMade(), limit) << "the reader reads ahead without being asked";
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_LE(drive->readsMade(), limit + 1) << "a full queue stops the reader";
    CR_CloseRipper();
    EXPECT_EQ(drive->chunksRead(), 0);
}

TEST_F(ReadAhead, EveryWayOutStopsTheReaderPromptlyAlsoInAHangingRead) {
    struct Case {
        const char* name;
        std::function<void()> leave;
    };
    const std::vector<Case> cases = {
        {"close",
         [] {
             EXPECT_EQ(CR_CloseRipper(), CR_OK);
         }},
        {"abort indicator",
         [] {
             std::vector<uint8_t> buffer(26 * CD_SECTOR_BYTES);
             int32_t delivered = -1;
             int32_t abort = CR_TRUE;
             EXPECT_EQ(CR_RipChunk(buffer.data(), &delivered, &abort), CR_CHUNK_LAST);
             EXPECT_EQ(delivered, 0);
             EXPECT_EQ(CR_GetNumberOfLostSectors(), 0) << "an abort loses nothing";
             CR_CloseRipper();
         }},
        {"library closed",
         [] {
             CR_DeInit();
         }},
        {"tray opened",
         [] {
             EXPECT_EQ(CR_EjectCD(CR_TRUE), CR_OK);
         }},
        {"another range opened",
         [] {
             int32_t bytes = 0;
             EXPECT_EQ(CR_OpenRipper(&bytes, 2000, 2010), CR_OK);
             CR_CloseRipper();
         }},
    };
    // A first range, so that threads a runtime starts with the first
    // thread of the program (the thread sanitizer's) are there before
    // counting.
    selectDrive([](VirtualFaults&) {});
    readRange(0, 0);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        // The third read hangs for ten seconds unless stopped; the reader
        // gets there while the caller holds the first chunk.
        const auto drive = selectDrive([](VirtualFaults& f) { f.stallingChunks = {2}; });
        const size_t threadsBefore = threadCount();
        int32_t bytes = 0;
        ASSERT_EQ(CR_OpenRipper(&bytes, 0, 2999), CR_OK);
        std::vector<uint8_t> buffer(static_cast<size_t>(bytes));
        int32_t delivered = 0;
        int32_t abort = CR_FALSE;
        ASSERT_EQ(CR_RipChunk(buffer.data(), &delivered, &abort), CR_CHUNK_OK);
        const auto start = std::chrono::steady_clock::now();
        while (drive->readsMade() < 3 && secondsSince(start) < 5) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        c.leave();
        EXPECT_LT(secondsSince(start), 5.0);
        EXPECT_EQ(threadCount(), threadsBefore) << "the reader is joined";
        EXPECT_EQ(CR_RipChunk(buffer.data(), &delivered, &abort), CR_CHUNK_LAST);
        EXPECT_EQ(drive->chunksRead(), 1);
    }
}

TEST_F(ReadAhead, ASimulatedSpeedPacesTheRange) {
    static constexpr double kSpeed = 100; // 7500 sectors a second
    selectDrive([](VirtualFaults& f) { f.simulatedSpeed = kSpeed; });
    const auto start = std::chrono::steady_clock::now();
    const RangeRead read = readRange(0, 1499);
    EXPECT_GE(secondsSince(start), 1500 / (75 * kSpeed));
    EXPECT_EQ(read.audio, virtualAudio(0, 1499));
}

} // namespace
} // namespace cdlib::testing
