// SPDX-License-Identifier: GPL-3.0-or-later
// Extraction of sector ranges into PCM, WAV and MP3 files, through virtual
// drives, with recorded plain messages and a clock the test moves.
#include "EngineTestSupport.h"
#include "FlacFiles.h"
#include "LameCoder.h"

#include <chrono>
#include <csignal>
#include <cstring>
#include <fstream>
#include <optional>
#include <sys/time.h>
#include <sys/wait.h>
#include <tuple>
#include <unistd.h>

namespace enginetest {
namespace {

struct WavFields {
    std::string riff, wave, fmt, data;
    uint32_t riffSize = 0, formatSize = 0, sampleRate = 0, byteRate = 0, dataSize = 0;
    uint16_t formatTag = 0, channels = 0, blockAlign = 0, bitsPerSample = 0;
};

uint32_t le32(const std::vector<uint8_t>& bytes, std::size_t at) {
    return uint32_t{bytes[at]} | uint32_t{bytes[at + 1]} << 8 | uint32_t{bytes[at + 2]} << 16 |
           uint32_t{bytes[at + 3]} << 24;
}

uint16_t le16(const std::vector<uint8_t>& bytes, std::size_t at) {
    return static_cast<uint16_t>(bytes[at] | bytes[at + 1] << 8);
}

WavFields parseWav(const std::vector<uint8_t>& bytes) {
    WavFields wav;
    if (bytes.size() < 44) {
        ADD_FAILURE() << "no WAV header in " << bytes.size() << " bytes";
        return wav;
    }
    const auto text = [&](std::size_t at) {
        return std::string(bytes.begin() + at, bytes.begin() + at + 4);
    };
    wav.riff = text(0);
    wav.riffSize = le32(bytes, 4);
    wav.wave = text(8);
    wav.fmt = text(12);
    wav.formatSize = le32(bytes, 16);
    wav.formatTag = le16(bytes, 20);
    wav.channels = le16(bytes, 22);
    wav.sampleRate = le32(bytes, 24);
    wav.byteRate = le32(bytes, 28);
    wav.blockAlign = le16(bytes, 32);
    wav.bitsPerSample = le16(bytes, 34);
    wav.data = text(36);
    wav.dataSize = le32(bytes, 40);
    return wav;
}

// The MP3 stream a coder makes of exactly `pcm`, cut in encoder chunks as
// the engine cuts it: the reference the engine's files are held to.
std::vector<uint8_t> referenceMp3(TLameCoder& coder, const std::vector<uint8_t>& pcm,
                                  uint8_t monoMix) {
    std::vector<uint8_t> mp3;
    EXPECT_EQ(coder.InitStream(), 0u);
    const std::size_t chunkBytes = 2 * std::size_t{coder.ChunkSamples()};
    std::vector<int16_t> chunk(coder.ChunkSamples());
    std::vector<uint8_t> output(coder.OutputBufferSize());
    std::size_t at = 0;
    for (; at + chunkBytes <= pcm.size(); at += chunkBytes) {
        std::memcpy(chunk.data(), pcm.data() + at, chunkBytes);
        uint32_t bytes = 0;
        coder.EncodeChunk(chunk.data(), output.data(), monoMix, bytes);
        mp3.insert(mp3.end(), output.begin(), output.begin() + bytes);
    }
    if (at < pcm.size()) {
        const std::size_t values = (pcm.size() - at) / 2;
        std::memcpy(chunk.data(), pcm.data() + at, values * 2);
        uint32_t bytes = 0;
        coder.EncodeSamples(chunk.data(), static_cast<uint32_t>(values), output.data(), monoMix,
                            bytes);
        mp3.insert(mp3.end(), output.begin(), output.begin() + bytes);
    }
    uint32_t bytes = 0;
    coder.DeinitStream(output.data(), bytes);
    mp3.insert(mp3.end(), output.begin(), output.begin() + bytes);
    const std::vector<uint8_t> tag = coder.VBRTagFrame();
    std::copy(tag.begin(), tag.end(), mp3.begin());
    coder.CloseStream();
    return mp3;
}

class Extraction : public EngineTest {
protected:
    // A drive with one disc, selected; the library reads `sectorsPerRead`
    // sectors per chunk.
    void insert(const cdlib::VirtualDisc& disc, int32_t sectorsPerRead = 10) {
        // The library takes its chunk size from its section of the settings.
        std::ofstream(settingsFilePath())
            << "[CDLIB DRIVE EXTRACT 1.0]\nSECTORSPERREAD=" << sectorsPerRead << "\n";
        drive_ = addDrive("EXTRACT 1.0", disc, &driveNumber_);
        engine_.setCoder(&coder_);
        engine_.setCDRomNum(driveNumber_);
        ASSERT_FALSE(engine_.Tracks().empty());
        engine_.OnProgress = [this](TCDRIP&, uint16_t percent, int64_t jitter, long double speed) {
            events_.push_back({percent, jitter, speed});
            if (onProgress_) {
                onProgress_();
            }
        };
        engine_.OnBeginTrack = [this](TCDRIP&, uint16_t track) {
            begun_.push_back(track);
        };
        engine_.OnEndTrack = [this](TCDRIP&, uint16_t track) {
            ended_.push_back(track);
        };
    }

    const TTrack& track(int number) const {
        return engine_.Tracks()[static_cast<std::size_t>(number - 1)].Track;
    }

    std::string path(const std::string& name) const { return (folder_ / name).string(); }
    // Where the file of `name` is written until its track ends.
    std::string partPath(const std::string& name) const {
        return (folder_ / ("." + name + ".varrow-" + std::to_string(::getpid()) + ".part"))
            .string();
    }

    // Rips track 1 to `file` with files limited to `limitBytes`: empty when
    // the rip raised a plain write error for the full disk, ended no track
    // and left the file `outcome` says.
    std::string writeErrorWithin(uint64_t limitBytes, const std::string& file,
                                 std::optional<TOutputOutcome> outcome = std::nullopt) {
        return inChildWithFileSizeLimit(limitBytes, [&]() -> std::string {
            try {
                engine_.RipTrack(1, file);
                return "no error raised";
            } catch (const ECDRIPError& error) {
                if (std::string(error.what()) != "Write error" || error.ErrorNumber() != EFBIG) {
                    return std::string("wrong error: ") + error.what();
                }
            }
            if (outcome && engine_.LastOutcome() != *outcome) {
                return "outcome";
            }
            return ended_.empty() ? "" : "OnEndTrack raised after an error";
        });
    }

    struct Event {
        uint16_t percent;
        int64_t jitter;
        long double speed;
    };

    TLameCoder coder_;
    TCDRIP engine_;
    std::shared_ptr<cdlib::VirtualDrive> drive_;
    int32_t driveNumber_ = 0;
    std::vector<Event> events_;
    std::vector<uint16_t> begun_;
    std::vector<uint16_t> ended_;
    std::function<void()> onProgress_;
};

TEST_F(Extraction, PcmHoldsExactlyTheDeliveredBytes) {
    insert(discOf({100, 237}, {}, 150));
    engine_.setWriteWAV(false);
    engine_.RipTrack(2, path("two.pcm"));

    EXPECT_EQ(readFile(path("two.pcm")), expectedAudio(track(2).StartSector, track(2).EndSector));
    EXPECT_EQ(begun_, std::vector<uint16_t>{2});
    EXPECT_EQ(ended_, std::vector<uint16_t>{2});
    EXPECT_EQ(static_cast<int>(events_.size()), drive_->chunksRead());
    EXPECT_EQ(hooks_.processMessagesCalls, drive_->chunksRead());
    EXPECT_EQ(events_.back().percent, 100);
    EXPECT_TRUE(hooks_.messages.empty());
}

TEST_F(Extraction, WavHeaderAnnouncesTheRangeAndIsPatchedToTheAudioWritten) {
    insert(discOf({1200}));
    engine_.setWriteWAV(true);
    std::vector<uint8_t> headerDuringExtraction;
    onProgress_ = [&] {
        if (headerDuringExtraction.empty()) {
            headerDuringExtraction = readFile(partPath("range.wav"));
        }
    };
    engine_.RipSectors(0, 1000, path("range.wav"));

    const WavFields before = parseWav(headerDuringExtraction);
    EXPECT_EQ(before.riff, "RIFF");
    EXPECT_EQ(before.wave, "WAVE");
    EXPECT_EQ(before.fmt, "fmt ");
    EXPECT_EQ(before.data, "data");
    EXPECT_EQ(before.formatSize, 16u);
    EXPECT_EQ(before.formatTag, 1);
    EXPECT_EQ(before.bitsPerSample, 16);
    EXPECT_EQ(before.channels, 2);
    EXPECT_EQ(before.sampleRate, 44100u);
    EXPECT_EQ(before.byteRate, 176400u);
    EXPECT_EQ(before.blockAlign, 4);
    EXPECT_EQ(before.dataSize, 2352000u);
    EXPECT_EQ(before.riffSize, 2352036u);

    // The range is inclusive: 1001 sectors were written.
    const std::vector<uint8_t> file = readFile(path("range.wav"));
    const WavFields after = parseWav(file);
    EXPECT_EQ(after.dataSize, 1001u * 2352);
    EXPECT_EQ(after.riffSize, 1001u * 2352 + 36);
    EXPECT_EQ(after.byteRate, 176400u);
    EXPECT_EQ(std::vector<uint8_t>(file.begin() + 44, file.end()), expectedAudio(0, 1000));
}

TEST_F(Extraction, MonoWavHeaderAtHalfRate) {
    insert(discOf({1200}));
    engine_.setWriteWAV(true);
    engine_.setOutputFormat(MONO22050);
    std::vector<uint8_t> headerDuringExtraction;
    onProgress_ = [&] {
        if (headerDuringExtraction.empty()) {
            headerDuringExtraction = readFile(partPath("mono.wav"));
        }
    };
    engine_.RipSectors(0, 1000, path("mono.wav"));

    const WavFields before = parseWav(headerDuringExtraction);
    EXPECT_EQ(before.channels, 1);
    EXPECT_EQ(before.sampleRate, 22050u);
    EXPECT_EQ(before.byteRate, 44100u);
    EXPECT_EQ(before.blockAlign, 2);
    EXPECT_EQ(before.dataSize, 588000u);
    EXPECT_EQ(before.riffSize, 588036u);

    const std::vector<uint8_t> file = readFile(path("mono.wav"));
    const WavFields after = parseWav(file);
    EXPECT_EQ(after.dataSize, file.size() - 44);
    EXPECT_EQ(after.riffSize, file.size() - 8);
    EXPECT_GT(after.dataSize, 0u);
}

TEST_F(Extraction, Mp3FileNameEndsInMp3AndHoldsNoWavHeader) {
    insert(discOf({150}));
    engine_.setEncode(true);
    engine_.setWriteWAV(true);
    engine_.RipTrack(1, path("song.wav"));
    engine_.RipTrack(1, path("noextension"));

    EXPECT_FALSE(std::filesystem::exists(path("song.wav")));
    const std::vector<uint8_t> mp3 = readFile(path("song.mp3"));
    ASSERT_GT(mp3.size(), 4u);
    EXPECT_NE(std::string(mp3.begin(), mp3.begin() + 4), "RIFF");
    EXPECT_EQ(mp3, readFile(path("noextension.mp3")));
    TLameCoder reference;
    reference.Assign(coder_);
    EXPECT_EQ(mp3, referenceMp3(reference, expectedAudio(0, 149), MONOMIX_NONE));
}

TEST_F(Extraction, JitterChunksAreWrittenCountedAndReported) {
    insert(discOf({300}));
    drive_->faults().jitterSectors = {5, 123};
    engine_.setJitterCorrect(true);
    engine_.RipSectors(0, 299, path("jitter.pcm"));

    EXPECT_EQ(readFile(path("jitter.pcm")), expectedAudio(0, 299));
    EXPECT_EQ(engine_.JitterPositions(), (std::vector<std::string>{"5 5", "123 123"}));
    EXPECT_EQ(engine_.JitterErrors(), 2);
    ASSERT_FALSE(events_.empty());
    EXPECT_EQ(events_.front().jitter, 1); // the first chunk holds sector 5
    EXPECT_EQ(events_[11].jitter, 1);
    EXPECT_EQ(events_[12].jitter, 2); // sectors 120..129
    EXPECT_EQ(events_.back().jitter, 2);

    // The next extraction starts its own list.
    drive_->faults().jitterSectors.clear();
    engine_.RipSectors(0, 9, path("clean.pcm"));
    EXPECT_TRUE(engine_.JitterPositions().empty());
    EXPECT_EQ(engine_.JitterErrors(), 0);
}

TEST_F(Extraction, SelectingTheDriveAgainForgetsTheJitterPositions) {
    insert(discOf({300}));
    drive_->faults().jitterSectors = {5};
    engine_.setJitterCorrect(true);
    engine_.RipSectors(0, 49, path("jitter.pcm"));
    ASSERT_EQ(engine_.JitterPositions(), (std::vector<std::string>{"5 5"}));
    engine_.setCDRomNum(driveNumber_);
    EXPECT_TRUE(engine_.JitterPositions().empty());
}

TEST_F(Extraction, SpeedWaitsForMoreThanAWholeSecond) {
    insert(discOf({300}), 10);
    const auto start = hooks_.clock;
    // Chunk k (from 0) is read at k x 500 ms: the third comes exactly one
    // second after the start, which is not yet more than one.
    hooks_.onProcessMessages = [&] {
        hooks_.clock = start + std::chrono::milliseconds(500 * static_cast<int>(events_.size()));
    };
    engine_.RipSectors(0, 49, path("speed.pcm"));

    ASSERT_EQ(events_.size(), 5u);
    EXPECT_EQ(events_[2].speed, 0.0L);
    EXPECT_NEAR(static_cast<double>(events_[3].speed), 40 * 2352 / 1500.0 / 176.4, 1e-9);
}

TEST_F(Extraction, ChunksThatDeliverNothingAreSkippedAndTheLoopGoesOn) {
    insert(discOf({100}));
    drive_->faults().emptyChunks = {1, 2};
    engine_.RipSectors(0, 99, path("gaps.pcm"));

    // Ten chunks of ten sectors; the two empty ones lose their sectors.
    EXPECT_EQ(drive_->chunksRead(), 10);
    EXPECT_EQ(events_.size(), 10u);
    EXPECT_EQ(events_.back().percent, 100);
    std::vector<uint8_t> expected = expectedAudio(0, 9);
    const std::vector<uint8_t> rest = expectedAudio(30, 99);
    expected.insert(expected.end(), rest.begin(), rest.end());
    EXPECT_EQ(readFile(path("gaps.pcm")), expected);
}

TEST_F(Extraction, MediumLostMidTrackEndsTheTrackWithWhatWasRead) {
    insert(discOf({100}));
    drive_->faults().mediumLostAtSector = 45;
    engine_.RipTrack(1, path("lost.pcm"));

    // Chunks 0-9 .. 30-39 arrive; from 40 on the medium is gone, and the
    // range still ends instead of waiting for a disc that will not come.
    EXPECT_EQ(ended_, std::vector<uint16_t>{1});
    EXPECT_EQ(readFile(path("lost.pcm")), expectedAudio(0, 39));
    EXPECT_LE(drive_->chunksRead(), 11);
}

TEST_F(Extraction, AbortBeforeTheTrackDoesNotStopIt) {
    insert(discOf({100}));
    engine_.AbortRip();
    engine_.RipTrack(1, path("whole.pcm"));
    EXPECT_EQ(readFile(path("whole.pcm")), expectedAudio(0, 99));
}

TEST_F(Extraction, AbortMidTrackLeavesAValidShorterWavAndEndsTheTrack) {
    insert(discOf({500}));
    engine_.setWriteWAV(true);
    onProgress_ = [&] {
        if (events_.size() == 3) {
            engine_.AbortRip();
        }
    };
    engine_.RipTrack(1, path("aborted.wav"));

    EXPECT_EQ(drive_->chunksRead(), 3);
    EXPECT_EQ(events_.size(), 3u);
    EXPECT_EQ(ended_, std::vector<uint16_t>{1});
    const std::vector<uint8_t> file = readFile(path("aborted.wav"));
    const WavFields wav = parseWav(file);
    EXPECT_EQ(wav.dataSize, 30u * 2352);
    EXPECT_EQ(wav.riffSize, 30u * 2352 + 36);
    EXPECT_EQ(std::vector<uint8_t>(file.begin() + 44, file.end()), expectedAudio(0, 29));
}

TEST_F(Extraction, AbortMidTrackFlushesTheMp3) {
    insert(discOf({500}));
    engine_.setEncode(true);
    onProgress_ = [&] {
        if (events_.size() == 2) {
            engine_.AbortRip();
        }
    };
    engine_.RipTrack(1, path("aborted.mp3"));

    EXPECT_EQ(ended_, std::vector<uint16_t>{1});
    TLameCoder reference;
    reference.Assign(coder_);
    EXPECT_EQ(readFile(path("aborted.mp3")), referenceMp3(reference, expectedAudio(0, 19), 0));
}

TEST_F(Extraction, EncoderChunksCarryOverLibraryChunksAndTheRemainderIsEncoded) {
    // 26 sectors: 61 152 bytes a chunk, 13 encoder chunks of 4608 bytes and
    // 1248 bytes carried into the next.
    insert(discOf({100}), 26);
    engine_.setEncode(true);
    std::size_t bytesAfterFirstChunk = 0;
    onProgress_ = [&] {
        if (events_.size() == 1) {
            bytesAfterFirstChunk = std::filesystem::file_size(partPath("carry.mp3"));
        }
    };
    engine_.RipTrack(1, path("carry.mp3"));

    TLameCoder reference;
    reference.Assign(coder_);
    ASSERT_EQ(reference.InitStream(), 0u);
    ASSERT_EQ(reference.ChunkSamples() * 2, 4608u);
    const std::vector<uint8_t> firstChunk = expectedAudio(0, 25);
    std::vector<int16_t> chunk(reference.ChunkSamples());
    std::vector<uint8_t> output(reference.OutputBufferSize());
    std::size_t encodedBytes = 0;
    for (int piece = 0; piece < 13; ++piece) {
        std::memcpy(chunk.data(), firstChunk.data() + piece * 4608, 4608);
        uint32_t bytes = 0;
        reference.EncodeChunk(chunk.data(), output.data(), 0, bytes);
        encodedBytes += bytes;
    }
    reference.CloseStream();
    EXPECT_EQ(bytesAfterFirstChunk, encodedBytes);

    // 100 sectors are 235 200 bytes: 51 encoder chunks and a remainder of
    // 192 bytes, which is encoded too.
    EXPECT_EQ(readFile(path("carry.mp3")), referenceMp3(reference, expectedAudio(0, 99), 0));
}

TEST_F(Extraction, MonoCoderTakesTheChosenChannelOfStereoAudio) {
    insert(discOf({80}));
    engine_.setEncode(true);
    engine_.setMonoDownMixType(1);
    coder_.setMode(MONO);
    engine_.RipTrack(1, path("left.mp3"));

    TLameCoder reference;
    reference.Assign(coder_);
    const std::vector<uint8_t> audio = expectedAudio(0, 79);
    const std::vector<uint8_t> left = referenceMp3(reference, audio, MONOMIX_LEFT);
    EXPECT_EQ(readFile(path("left.mp3")), left);
    EXPECT_NE(left, referenceMp3(reference, audio, MONOMIX_RIGHT));

    // With a stereo coder the same setting changes nothing.
    coder_.setMode(STEREO);
    engine_.RipTrack(1, path("stereo.mp3"));
    reference.setMode(STEREO);
    EXPECT_EQ(readFile(path("stereo.mp3")), referenceMp3(reference, audio, MONOMIX_NONE));
}

TEST_F(Extraction, SpeedIsDeliveryRateOverRealTimeUpdatedAfterASecond) {
    // 225 sectors are 529 200 bytes; all but the last chunk come at once,
    // the last one 1500 ms after the start.
    insert(discOf({300}), 10);
    const auto start = hooks_.clock;
    hooks_.onProcessMessages = [&] {
        if (events_.size() == 22) {
            hooks_.clock = start + std::chrono::milliseconds(1500);
        }
    };
    engine_.RipSectors(0, 224, path("speed.pcm"));

    ASSERT_EQ(events_.size(), 23u);
    for (std::size_t i = 0; i < 22; ++i) {
        EXPECT_EQ(events_[i].speed, 0.0L) << i;
    }
    EXPECT_NEAR(static_cast<double>(events_[22].speed), 2.0, 1e-9);
}

TEST_F(Extraction, SpeedKeepsItsValueUntilTheNextUpdate) {
    insert(discOf({300}), 10);
    const auto start = hooks_.clock;
    // Chunk k (from 0) is read at k x 600 ms: updates at the 3rd and 5th.
    hooks_.onProcessMessages = [&] {
        hooks_.clock = start + std::chrono::milliseconds(600 * static_cast<int>(events_.size()));
    };
    engine_.RipSectors(0, 49, path("speed.pcm"));

    ASSERT_EQ(events_.size(), 5u);
    EXPECT_EQ(events_[0].speed, 0.0L);
    EXPECT_EQ(events_[1].speed, 0.0L);
    // 30 sectors in the first 1200 ms, then 20 in the next 1200 ms.
    const double first = 30 * 2352 / 1200.0 / 176.4;
    EXPECT_NEAR(static_cast<double>(events_[2].speed), first, 1e-9);
    EXPECT_NEAR(static_cast<double>(events_[3].speed), first, 1e-9);
    EXPECT_NEAR(static_cast<double>(events_[4].speed), 20 * 2352 / 1200.0 / 176.4, 1e-9);
}

using ExtractionFailure = Extraction;

TEST_F(ExtractionFailure, RefusedParametersShowAPlainMessageAndCreateNothing) {
    insert(discOf({100}));
    drive_->faults().failing.insert("CR_SetCDROMParameters");
    engine_.RipTrack(1, path("refused.wav"));

    EXPECT_EQ(hooks_.messages,
              std::vector<std::string>{"TCDRIP.RipSectors: Invalid CD-ROM parameters"});
    EXPECT_FALSE(std::filesystem::exists(path("refused.wav")));
    EXPECT_EQ(drive_->chunksRead(), 0);
    EXPECT_EQ(ended_, std::vector<uint16_t>{1});
}

TEST_F(ExtractionFailure, RefusedRangeReturnsQuietly) {
    insert(discOf({100}));
    drive_->faults().failing.insert("CR_OpenRipper");
    engine_.RipTrack(1, path("refused.wav"));

    EXPECT_TRUE(hooks_.messages.empty());
    EXPECT_FALSE(std::filesystem::exists(path("refused.wav")));
    EXPECT_EQ(ended_, std::vector<uint16_t>{1});
}

TEST_F(ExtractionFailure, RefusedCoderClosesTheRangeAndCreatesNothing) {
    insert(discOf({100}));
    engine_.setEncode(true);
    coder_.setBitrate(7);
    engine_.RipTrack(1, path("refused.mp3"));

    EXPECT_EQ(hooks_.messages,
              std::vector<std::string>{"TCDRIP.RipSectors: Lame coder prepare error"});
    EXPECT_FALSE(std::filesystem::exists(path("refused.mp3")));
    EXPECT_EQ(ended_, std::vector<uint16_t>{1});

    // The range was closed: the next extraction opens its own.
    coder_.setBitrate(128);
    engine_.RipTrack(1, path("fine.mp3"));
    EXPECT_GT(std::filesystem::file_size(path("fine.mp3")), 0u);
}

TEST_F(ExtractionFailure, EncodingWithoutACoderIsRefusedLikeARefusedCoder) {
    insert(discOf({100}));
    engine_.setCoder(nullptr);
    engine_.setEncode(true);
    engine_.RipTrack(1, path("nocoder.mp3"));
    EXPECT_EQ(hooks_.messages,
              std::vector<std::string>{"TCDRIP.RipSectors: Lame coder prepare error"});
    EXPECT_FALSE(std::filesystem::exists(path("nocoder.mp3")));
}

void expectError(const std::function<void()>& action, const std::string& text,
                 const std::optional<std::string>& reason = std::nullopt) {
    try {
        action();
        ADD_FAILURE() << "no error raised, expected " << text;
    } catch (const ECDRIPError& error) {
        EXPECT_EQ(error.what(), text);
        if (reason) {
            EXPECT_EQ(error.Reason(), *reason);
        }
    } catch (const std::exception& error) {
        EXPECT_EQ(error.what(), text);
    }
}

TEST_F(ExtractionFailure, FileThatCannotBeCreatedRaisesAndReleasesEverything) {
    insert(discOf({100}));
    const std::string missing = path("no-such-folder/track.wav");
    expectError([&] { engine_.RipTrack(1, missing); }, "Cannot create file " + missing);
    EXPECT_TRUE(ended_.empty());

    engine_.setEncode(true);
    const std::string missingMp3 = path("no-such-folder/track.mp3");
    expectError([&] { engine_.RipTrack(1, missing); }, "Cannot create file " + missingMp3);

    // Range and stream were released: the next extraction works.
    engine_.RipTrack(1, path("fine.mp3"));
    EXPECT_GT(std::filesystem::file_size(path("fine.mp3")), 0u);
}

TEST_F(ExtractionFailure, NameThatWouldLeaveItsFolderIsRefused) {
    insert(discOf({100}));
    std::filesystem::create_directories(folder_ / "01_AC");
    const std::string folder = folder_.string() + "/";
    expectError([&] { engine_.RipTrack(1, folder, "01_AC/DC.wav"); },
                "Cannot create file " + folder + "01_AC/DC.wav", "a file name cannot hold '/'");
    expectError([&] { engine_.RipTrack(1, folder, ".."); }, "Cannot create file " + folder + "..",
                "\".\" and \"..\" name folders, not files");
    EXPECT_TRUE(std::filesystem::is_empty(folder_ / "01_AC"));
    EXPECT_TRUE(ended_.empty());

    engine_.RipTrack(1, folder, "01_AC-DC.wav");
    EXPECT_TRUE(std::filesystem::exists(folder_ / "01_AC-DC.wav"));
}

TEST_F(ExtractionFailure, ShortWriteRaisesWriteErrorAndKeepsAValidWav) {
    insert(discOf({1000}));
    engine_.setWriteWAV(true);
    const std::string file = path("limited.wav");
    EXPECT_EQ(writeErrorWithin(100000, file), "");
    const std::vector<uint8_t> bytes = readFile(file);
    ASSERT_LE(bytes.size(), 100000u);
    const WavFields wav = parseWav(bytes);
    // The file is cut back to the last whole write, so the header matches it.
    EXPECT_EQ(wav.dataSize % (10 * 2352), 0u);
    EXPECT_EQ(wav.dataSize, bytes.size() - 44);
    EXPECT_EQ(wav.riffSize, wav.dataSize + 36);
    EXPECT_EQ(std::vector<uint8_t>(bytes.begin() + 44, bytes.begin() + 44 + wav.dataSize),
              expectedAudio(0, static_cast<int32_t>(wav.dataSize / 2352) - 1));
}

TEST_F(ExtractionFailure, ADiskFullBeforeTheFirstChunkLeavesNoHeaderOnlyWav) {
    insert(discOf({1000}));
    engine_.setWriteWAV(true);
    EXPECT_EQ(writeErrorWithin(1000, path("header.wav")), "");
    EXPECT_FALSE(std::filesystem::exists(path("header.wav")));
}

TEST_F(ExtractionFailure, ShortMp3WriteRaisesWriteError) {
    insert(discOf({1000}));
    engine_.setEncode(true);
    EXPECT_EQ(writeErrorWithin(5000, path("limited.mp3")), "");
    EXPECT_LE(std::filesystem::file_size(path("limited.mp3")), 5000u);
}

TEST_F(ExtractionFailure, LibraryErrorMidTrackPassesOnAfterTheCleanUp) {
    insert(discOf({200}));
    engine_.setWriteWAV(true);
    onProgress_ = [&] {
        if (events_.size() == 2) {
            drive_->faults().throwing.insert("CR_RipChunk");
        }
    };
    EXPECT_THROW(engine_.RipTrack(1, path("broken.wav")), std::runtime_error);
    EXPECT_TRUE(ended_.empty());
    const std::vector<uint8_t> file = readFile(path("broken.wav"));
    EXPECT_EQ(parseWav(file).dataSize, 20u * 2352);

    drive_->faults().throwing.clear();
    onProgress_ = nullptr;
    engine_.RipTrack(1, path("fine.wav"));
    EXPECT_EQ(parseWav(readFile(path("fine.wav"))).dataSize, 200u * 2352);
}

TEST_F(ExtractionFailure, ErrorWhileClosingTheRangeStillClosesTheFile) {
    insert(discOf({50}));
    engine_.setWriteWAV(true);
    drive_->faults().throwing.insert("CR_CloseRipper");
    EXPECT_THROW(engine_.RipTrack(1, path("closing.wav")), std::runtime_error);
    const std::vector<uint8_t> file = readFile(path("closing.wav"));
    EXPECT_EQ(parseWav(file).dataSize, 50u * 2352);
    EXPECT_EQ(file.size(), 44u + 50 * 2352);
}

// Where each track's file ends up, whatever ends the track.
using TrackFile = Extraction;

std::vector<std::string> leftovers(const std::filesystem::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        const std::string name = entry.path().filename().string();
        if (name.ends_with(".part")) {
            names.push_back(name);
        }
    }
    return names;
}

TEST_F(TrackFile, OnlyACompleteTrackReplacesAnExistingFile) {
    const auto everySectorUnreadable = [&](int32_t sectors) {
        for (int32_t sector = 0; sector < sectors; ++sector) {
            drive_->faults().unreadableSectors.insert(sector);
        }
    };
    struct Case {
        const char* name;
        bool existing;
        std::function<void()> script; // sets the fault up
        TOutputOutcome outcome;
        bool raises;
    };
    const std::vector<Case> cases = {
        {"complete over a file", true, [] {}, TOutputOutcome::Written, false},
        {"complete, new", false, [] {}, TOutputOutcome::Written, false},
        {"aborted over a file", true,
         [&] {
             onProgress_ = [&] {
                 if (events_.size() == 3) {
                     engine_.AbortRip();
                 }
             };
         },
         TOutputOutcome::ExistingKept, false},
        {"aborted, new", false,
         [&] {
             onProgress_ = [&] {
                 if (events_.size() == 3) {
                     engine_.AbortRip();
                 }
             };
         },
         TOutputOutcome::Partial, false},
        {"lost sectors over a file", true, [&] { drive_->faults().unreadableSectors = {50}; },
         TOutputOutcome::ExistingKept, false},
        {"lost sectors, new", false, [&] { drive_->faults().unreadableSectors = {50}; },
         TOutputOutcome::Partial, false},
        {"every sector lost, new", false, [&] { everySectorUnreadable(200); }, TOutputOutcome::None,
         false},
        {"every sector lost over a file", true, [&] { everySectorUnreadable(200); },
         TOutputOutcome::ExistingKept, false},
        {"library error over a file", true,
         [&] {
             onProgress_ = [&] {
                 if (events_.size() == 2) {
                     drive_->faults().throwing.insert("CR_RipChunk");
                 }
             };
         },
         TOutputOutcome::ExistingKept, true},
        {"library error, new", false,
         [&] {
             onProgress_ = [&] {
                 if (events_.size() == 2) {
                     drive_->faults().throwing.insert("CR_RipChunk");
                 }
             };
         },
         TOutputOutcome::Partial, true},
        // Last: the drive has no disc after it; each format has its own.
        {"medium gone before the first sector", false,
         [&] { drive_->faults().mediumLostAtSector = 0; }, TOutputOutcome::None, false},
    };
    // Every case for each format the engine writes.
    const struct {
        const char* extension;
        bool encode;
        bool flac;
    } formats[] = {{"wav", false, false}, {"mp3", true, false}, {"flac", false, true}};
    const std::vector<uint8_t> before = {'k', 'e', 'p', 't'};
    for (const auto& [extension, encode, flac] : formats) {
        insert(discOf({200}));
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(extension) + ": " + c.name);
            engine_.setWriteWAV(true);
            engine_.setEncode(encode);
            engine_.setWriteFLAC(flac);
            const std::string file = path(std::string("track.") + extension);
            std::filesystem::remove(file);
            if (c.existing) {
                std::ofstream(file, std::ios::binary).write("kept", 4);
            }
            events_.clear();
            onProgress_ = nullptr;
            drive_->faults() = {};
            c.script();
            bool raised = false;
            try {
                engine_.RipTrack(1, file);
            } catch (const std::exception&) {
                raised = true;
            }
            EXPECT_EQ(raised, c.raises);
            EXPECT_EQ(engine_.LastOutcome(), c.outcome);
            EXPECT_TRUE(leftovers(folder_).empty());
            const std::vector<uint8_t> after = readFile(file);
            if (c.outcome == TOutputOutcome::ExistingKept) {
                EXPECT_EQ(after, before);
                continue;
            }
            if (c.outcome == TOutputOutcome::None) {
                EXPECT_FALSE(std::filesystem::exists(file)) << "no file of silence alone";
                continue;
            }
            if (encode) {
                EXPECT_GT(after.size(), 1000u);
                continue;
            }
            if (flac) {
                // A shorter file is a valid one, its MD5 that of what it holds.
                const varrow::testing::DecodedFlac decoded = varrow::testing::decodeFlac(file);
                EXPECT_TRUE(decoded.ok);
                EXPECT_LE(decoded.pcm.size(), 200u * 2352);
                if (c.outcome == TOutputOutcome::Written) {
                    EXPECT_EQ(decoded.pcm, expectedAudio(0, 199));
                }
                continue;
            }
            const WavFields wav = parseWav(after);
            EXPECT_EQ(wav.dataSize, after.size() - 44) << "the header matches the audio";
            if (c.outcome == TOutputOutcome::Written) {
                EXPECT_EQ(wav.dataSize, 200u * 2352);
            } else {
                EXPECT_LE(wav.dataSize, 200u * 2352);
            }
        }
    }
}

TEST_F(TrackFile, AFullDiskLeavesTheExistingFileAsItWas) {
    insert(discOf({1000}));
    engine_.setWriteWAV(true);
    const std::string file = path("full.wav");
    std::ofstream(file, std::ios::binary) << std::string(50000, 'x');
    EXPECT_EQ(writeErrorWithin(100000, file, TOutputOutcome::ExistingKept), "");
    EXPECT_EQ(readFile(file), std::vector<uint8_t>(50000, 'x'));
    EXPECT_TRUE(leftovers(folder_).empty());
}

TEST_F(TrackFile, ASymbolicLinkUnderTheNameIsReplacedNotFollowed) {
    insert(discOf({50}));
    engine_.setWriteWAV(false);
    const std::filesystem::path target = folder_ / "elsewhere.txt";
    std::ofstream(target) << "target";
    std::filesystem::create_symlink(target, path("linked.pcm"));
    engine_.RipTrack(1, path("linked.pcm"));
    EXPECT_FALSE(std::filesystem::is_symlink(path("linked.pcm")));
    EXPECT_EQ(readFile(path("linked.pcm")), expectedAudio(0, 49));
    EXPECT_EQ(readFile(target), (std::vector<uint8_t>{'t', 'a', 'r', 'g', 'e', 't'}));

    // An aborted track keeps the link, and what it points to, as they were.
    std::filesystem::remove(path("linked.pcm"));
    std::filesystem::create_symlink(target, path("linked.pcm"));
    onProgress_ = [&] {
        engine_.AbortRip();
    };
    engine_.RipTrack(1, path("linked.pcm"));
    EXPECT_TRUE(std::filesystem::is_symlink(path("linked.pcm")));
    EXPECT_EQ(readFile(target), (std::vector<uint8_t>{'t', 'a', 'r', 'g', 'e', 't'}));
}

TEST_F(TrackFile, TwoProgramsWritingOneNameLeaveOneWholeFile) {
    insert(discOf({400, 400}));
    engine_.setEncode(true);
    const std::string file = path("same.mp3");
    std::vector<pid_t> children;
    for (const int track : {1, 2}) {
        const pid_t child = ::fork();
        if (child == 0) {
            try {
                engine_.RipTrack(track, file);
                ::_exit(engine_.LastOutcome() == TOutputOutcome::Written ? 0 : 1);
            } catch (...) {
                ::_exit(2);
            }
        }
        children.push_back(child);
    }
    for (const pid_t child : children) {
        int status = 0;
        ::waitpid(child, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    TLameCoder reference;
    reference.Assign(coder_);
    const std::vector<uint8_t> written = readFile(file);
    const bool first = written == referenceMp3(reference, expectedAudio(0, 399), 0);
    const bool second = written == referenceMp3(reference, expectedAudio(400, 799), 0);
    EXPECT_TRUE(first || second) << "the file is one program's, whole";
    EXPECT_TRUE(leftovers(folder_).empty());
}

TEST_F(TrackFile, EncodingReplacesTheExtensionNeverDoublesIt) {
    const std::vector<std::tuple<std::string, bool, std::string>> names = {
        {"a.wav", true, "a.mp3"},
        {".mp3", true, ".mp3"},
        {".wav", true, ".mp3"},
        {"noextension", true, "noextension.mp3"},
        {"dir.x/name", true, "dir.x/name.mp3"},
        {"a.b.wav", true, "a.b.mp3"},
        {".wav", false, ".wav"},
        {"a.wav", false, "a.wav"},
    };
    for (const auto& [name, encode, expected] : names) {
        EXPECT_EQ(OutputFileName(name, encode), expected) << name;
    }
    insert(discOf({50}));
    engine_.setEncode(true);
    engine_.RipTrack(1, folder_.string() + "/", ".mp3");
    EXPECT_TRUE(std::filesystem::exists(path(".mp3")));
    EXPECT_FALSE(std::filesystem::exists(path(".mp3.mp3")));
}

using LostSectors = Extraction;

TEST_F(LostSectors, AreReportedApartFromJitterAndEndTheTrackIncomplete) {
    insert(discOf({300}));
    drive_->faults().unreadableSectors = {15, 16, 17, 200};
    drive_->faults().jitterSectors = {100};
    engine_.setJitterCorrect(true);
    engine_.RipTrack(1, path("lossy.pcm"));

    EXPECT_EQ(engine_.LostSectors(), 4);
    EXPECT_EQ(engine_.LostRanges(), (std::vector<TSectorRange>{{15, 17}, {200, 200}}));
    EXPECT_EQ(engine_.JitterErrors(), 1);
    EXPECT_EQ(engine_.LastOutcome(), TOutputOutcome::Partial);
    EXPECT_EQ(ended_, std::vector<uint16_t>{1});

    // The next extraction starts afresh.
    drive_->faults() = {};
    engine_.RipTrack(1, path("clean.pcm"));
    EXPECT_EQ(engine_.LostSectors(), 0);
    EXPECT_TRUE(engine_.LostRanges().empty());
    EXPECT_EQ(engine_.LastOutcome(), TOutputOutcome::Written);
}

TEST_F(LostSectors, AVanishedMediumEndsTheTrackEarlyWithTheRestLost) {
    insert(discOf({3000}));
    drive_->faults().mediumLostAtSector = 500;
    engine_.RipTrack(1, path("vanished.pcm"));
    ASSERT_EQ(engine_.LostRanges().size(), 1u);
    EXPECT_EQ(engine_.LostRanges().front(), (TSectorRange{500, 2999}));
    EXPECT_LT(drive_->chunksRead(), 150);
    EXPECT_EQ(readFile(path("vanished.pcm")), expectedAudio(0, 499));
}

int32_t g_indicator = CR_FALSE;

TEST_F(LostSectors, TheApplicationsAbortIndicatorReachesAHangingRead) {
    insert(discOf({300}));
    drive_->faults().stallingChunks = {2};
    g_indicator = CR_FALSE;
    engine_.setAbortIndicator(&g_indicator);
    std::signal(SIGALRM, [](int) { g_indicator = CR_TRUE; });
    const itimerval timer{{0, 0}, {0, 100000}};
    ::setitimer(ITIMER_REAL, &timer, nullptr);
    const auto start = std::chrono::steady_clock::now();
    engine_.RipTrack(1, path("stopped.pcm"));
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::signal(SIGALRM, SIG_DFL);
    engine_.setAbortIndicator(nullptr);

    EXPECT_LT(seconds, 5.0);
    EXPECT_EQ(engine_.LastOutcome(), TOutputOutcome::Partial);
    EXPECT_EQ(engine_.LostSectors(), 0);
    EXPECT_EQ(readFile(path("stopped.pcm")), expectedAudio(0, 19));

    // A set indicator stops the next track before its first chunk: no file
    // is made, and one that is there stays.
    g_indicator = CR_TRUE;
    engine_.setAbortIndicator(&g_indicator);
    engine_.RipTrack(1, path("never.pcm"));
    EXPECT_EQ(engine_.LastOutcome(), TOutputOutcome::None);
    EXPECT_FALSE(std::filesystem::exists(path("never.pcm")));
    engine_.setAbortIndicator(&g_indicator);
    std::ofstream(path("stopped.pcm")) << "kept";
    engine_.RipTrack(1, path("stopped.pcm"));
    engine_.setAbortIndicator(nullptr);
    EXPECT_EQ(engine_.LastOutcome(), TOutputOutcome::ExistingKept);
    EXPECT_EQ(readFile(path("stopped.pcm")), (std::vector<uint8_t>{'k', 'e', 'p', 't'}));
}

// One extraction per bitrate item of the MP3 options dialog, at the CD's
// rate: each makes a file that decodes to the track's length.
class DialogBitrate : public Extraction, public ::testing::WithParamInterface<uint32_t> {};

TEST_P(DialogBitrate, MakesAnMp3OfTheTracksLength) {
    if (std::system("ffmpeg -version >/dev/null 2>&1") != 0) {
        GTEST_SKIP() << "ffmpeg is not installed";
    }
    constexpr int32_t kSectors = 150; // two seconds
    insert(discOf({kSectors}));
    engine_.setEncode(true);
    coder_.setBitrate(GetParam());
    engine_.RipTrack(1, path("rate.mp3"));
    ASSERT_TRUE(hooks_.messages.empty()) << hooks_.messages.front();
    ASSERT_EQ(engine_.LastOutcome(), TOutputOutcome::Written);

    const std::string raw = path("decoded.raw");
    const std::string command =
        "ffmpeg -v error -y -i '" + path("rate.mp3") + "' -f s16le -ac 2 -ar 44100 '" + raw + "'";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
    const double seconds = static_cast<double>(readFile(raw).size()) / (44100.0 * 4);
    // Without a tag frame the decoder keeps the encoder's delay and the last
    // frame's padding: up to a few frames more, longer frames at low rates.
    EXPECT_GE(seconds, kSectors / 75.0 - 0.01);
    EXPECT_LE(seconds, kSectors / 75.0 + 0.25);
}

INSTANTIATE_TEST_SUITE_P(Items, DialogBitrate,
                         ::testing::Values(320u, 256u, 224u, 192u, 160u, 144u, 128u, 112u, 96u, 80u,
                                           64u, 56u, 48u, 40u, 32u, 24u, 16u, 8u));

} // namespace
} // namespace enginetest
