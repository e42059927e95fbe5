// SPDX-License-Identifier: GPL-3.0-or-later
// An encoding beside the reader: the file it leaves for each way the reading
// and the encoding end, and that the pieces the audio arrives in change no
// byte.
#include "EngineTestSupport.h"
#include "LameCoder.h"
#include "Mp3Writer.h"
#include "TrackEncoding.h"

#include <atomic>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// Two seconds of a stereo tone, not a whole number of encoder chunks.
std::vector<uint8_t> toneAudio() {
    std::vector<uint8_t> audio(2 * 44100 * 4 + 1000);
    for (std::size_t i = 0; i < audio.size() / 2; ++i) {
        const auto sample = static_cast<int16_t>(8000 * std::sin(static_cast<double>(i) / 20.0));
        audio[2 * i] = static_cast<uint8_t>(sample & 0xFF);
        audio[2 * i + 1] = static_cast<uint8_t>((sample >> 8) & 0xFF);
    }
    return audio;
}

std::string readText(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class TrackEncodingTest : public ::testing::Test {
protected:
    void SetUp() override {
        folder_ = fs::temp_directory_path() / ("varrow-encoding-" + std::to_string(::getpid()));
        fs::remove_all(folder_);
        fs::create_directories(folder_);
    }
    void TearDown() override { fs::remove_all(folder_); }

    std::shared_ptr<TTrackEncoding> encodingTo(const fs::path& path) const {
        TLameCoder coder;
        coder.setEnableVBR(true);
        auto writer = Mp3Writer::openCopy(coder, AudioFormat{}, 0, std::nullopt);
        EXPECT_NE(writer, nullptr);
        return std::make_shared<TTrackEncoding>(std::move(writer), path.string());
    }

    std::vector<std::string> folderEntries() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(folder_)) {
            names.push_back(entry.path().filename().string());
        }
        return names;
    }

    fs::path folder_;
    const std::vector<uint8_t> audio_ = toneAudio();
};

TEST_F(TrackEncodingTest, TheFileLeftFollowsHowReadingAndEncodingEnded) {
    enum class End { Complete, Early, AllLost, StopWaiting, StopFirst };
    struct Case {
        const char* name;
        std::size_t appended; // bytes of the audio the reader hands on
        End end;
        bool fileBefore;
        TOutputOutcome outcome;
    };
    const std::size_t half = audio_.size() / 2;
    const Case cases[] = {
        {"complete", audio_.size(), End::Complete, true, TOutputOutcome::Written},
        {"reading ended early", half, End::Early, false, TOutputOutcome::Partial},
        {"reading ended early, a file there", half, End::Early, true, TOutputOutcome::ExistingKept},
        {"stopped while the reader still reads", half, End::StopWaiting, false,
         TOutputOutcome::Partial},
        {"stopped before any audio", audio_.size(), End::StopFirst, true,
         TOutputOutcome::ExistingKept},
        {"no audio at all", 0, End::Early, false, TOutputOutcome::None},
        {"only silence for sectors lost", half, End::AllLost, false, TOutputOutcome::None},
        {"only silence, a file there", half, End::AllLost, true, TOutputOutcome::ExistingKept},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove_all(folder_);
        fs::create_directories(folder_);
        const fs::path path = folder_ / "track.mp3";
        if (c.fileBefore) {
            std::ofstream(path) << "before";
        }
        auto encoding = encodingTo(path);
        std::atomic<bool> stop = c.end == End::StopFirst;
        encoding->append(audio_.data(), c.appended);
        if (c.end != End::StopWaiting) {
            encoding->endOfAudio(c.end == End::Complete  ? TAudioEnd::Whole
                                 : c.end == End::AllLost ? TAudioEnd::NoneFromDisc
                                                         : TAudioEnd::Short);
        }
        std::thread stopper;
        if (c.end == End::StopWaiting) {
            // The reader neither appends nor ends: only `stop` ends the wait.
            stopper = std::thread([&stop] {
                std::this_thread::sleep_for(300ms);
                stop = true;
            });
        }
        const auto started = std::chrono::steady_clock::now();
        const TEncodingResult result = encoding->run(stop);
        if (stopper.joinable()) {
            stopper.join();
        }
        EXPECT_LT(std::chrono::steady_clock::now() - started, 5s);
        EXPECT_FALSE(result.error);
        EXPECT_EQ(result.stopped, c.end == End::StopWaiting || c.end == End::StopFirst);
        EXPECT_EQ(result.outcome, c.outcome);
        if (c.outcome == TOutputOutcome::ExistingKept) {
            EXPECT_EQ(readText(path), "before");
        }
        const std::size_t files = c.outcome == TOutputOutcome::None ? 0 : 1;
        EXPECT_EQ(folderEntries().size(), files) << "no temporary file is left";
    }
}

TEST_F(TrackEncodingTest, AudioInAnyPiecesWhileEncodingGivesTheSameBytes) {
    std::string files[2];
    for (const bool pieces : {false, true}) {
        const fs::path path = folder_ / (pieces ? "pieces.mp3" : "whole.mp3");
        auto encoding = encodingTo(path);
        std::atomic<bool> stop = false;
        TEncodingResult result;
        std::thread encoder([&] { result = encoding->run(stop); });
        if (pieces) {
            // Odd sizes, some shorter than an encoder chunk, some empty.
            std::size_t at = 0;
            for (std::size_t size = 0; at < audio_.size(); size = (size * 7 + 1001) % 30011) {
                const std::size_t piece = std::min(size, audio_.size() - at);
                encoding->append(audio_.data() + at, piece);
                at += piece;
            }
        } else {
            encoding->append(audio_.data(), audio_.size());
        }
        encoding->endOfAudio(TAudioEnd::Whole);
        encoder.join();
        EXPECT_EQ(result.outcome, TOutputOutcome::Written);
        files[pieces ? 1 : 0] = readText(path);
    }
    EXPECT_GT(files[0].size(), 10000u);
    EXPECT_TRUE(files[0] == files[1]);
}

TEST_F(TrackEncodingTest, AudioWithoutRoomSaysItIsTheTemporaryAudio) {
    auto encoding = encodingTo(folder_ / "full.mp3");
    const std::string report = enginetest::inChildWithFileSizeLimit(100000, [&]() -> std::string {
        try {
            encoding->append(audio_.data(), audio_.size());
            return "no error raised";
        } catch (const ECDRIPError& error) {
            const std::string expected = "Cannot write the temporary audio in " + folder_.string();
            return error.what() == expected && error.ErrorNumber() == EFBIG ? "" : error.what();
        }
    });
    EXPECT_EQ(report, "");
}

} // namespace
