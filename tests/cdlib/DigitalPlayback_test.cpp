// SPDX-License-Identifier: GPL-3.0-or-later
// Digital playback of disc images through the sink seam: what reaches the
// sink, in which order, and the position the library reports from it.
#include "LibraryFixture.h"
#include "RecordingSink.h"
#include "SilentSoundServer.h"
#include "TestHooks.h"
#include "TestImages.h"
#include "playback/DigitalPlayer.h"
#include "settings/Settings.h"

#include <array>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <thread>
#include <utility>

namespace cdlib::testing {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// Tracks at 0, 120 and 210; lead-out at 285.
const std::vector<ImageTrack> kAudioOnly = {{120, false}, {90, false}, {75, false}};

class DigitalPlaybackTest : public LibraryTest {
protected:
    void SetUp() override {
        LibraryTest::SetUp();
        setAudioSinkFactory(recordingSinks(log_));
    }

    // Lists `images` in the settings file and selects the first.
    void useImages(const std::vector<TestImage>& images) {
        const std::string ini = (tempDir() / "Varrow.INI").string();
        std::ofstream file(ini);
        file << "[CDLIB]\n";
        for (size_t i = 0; i < images.size(); ++i) {
            file << "IMAGE" << i + 1 << "=" << images[i].descriptor.string() << "\n";
        }
        file.close();
        ASSERT_EQ(CR_Init(ini.c_str()), CR_OK);
        ASSERT_EQ(CR_SetActiveCDROM(0), CR_OK);
        ASSERT_EQ(CR_ReadToc(), CR_OK);
    }

    void useDisc(const std::vector<ImageTrack>& tracks = kAudioOnly) {
        useImages({writeImage(tempDir(), "disc", tracks)});
    }

    static PlayPosition position() {
        PlayPosition position;
        CR_GetPlayPosition(&position.inTrack, &position.absolute);
        return position;
    }

    // Plays first..last and waits until `sectors` of it have arrived.
    void playUntil(int32_t first, int32_t last, int32_t sectors) {
        ASSERT_EQ(CR_PlaySection(first, last), CR_OK);
        log_->allow(sectors);
        ASSERT_TRUE(eventually([&] { return log_->sectorsSinceDrop() >= size_t(sectors); }));
    }

    // Waits until the player has no sink any more: its thread has ended.
    bool playerEnded() {
        return eventually([&] { return log_->count("closed") == log_->sinksMade(); });
    }

    std::shared_ptr<SinkLog> log_ = std::make_shared<SinkLog>();
};

TEST_F(DigitalPlaybackTest, TheSectionReachesTheSinkWholeAndInOrder) {
    useDisc();
    // Across a track boundary, to the last sector before the lead-out.
    ASSERT_EQ(CR_PlaySection(100, 284), CR_OK);
    log_->allow(1000);
    ASSERT_TRUE(eventually([&] { return log_->sectorsSinceDrop() == 185u; }))
        << log_->sectorsSinceDrop();
    EXPECT_EQ(log_->sinceDrop(), imageAudio(100, 284));
    // Played out: the position rests on the last sector and nothing plays.
    ASSERT_TRUE(eventually([] { return CR_PauseCD(CR_TRUE) == CR_ERROR; }));
    EXPECT_EQ(position().absolute, 284u);
    EXPECT_EQ(position().inTrack, 284u - 210u);
    EXPECT_EQ(log_->count("finish"), 1);
    EXPECT_EQ(log_->sectorsSinceDrop(), 185u) << "nothing beyond the section";
}

TEST_F(DigitalPlaybackTest, PauseHoldsDeliveryAndResumeGoesOnWhereItStopped) {
    useDisc();
    playUntil(10, 200, 20);
    ASSERT_EQ(CR_PauseCD(CR_TRUE), CR_OK);
    ASSERT_TRUE(eventually([&] { return log_->count("cork") == 1; }));
    log_->allow(100);
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    EXPECT_EQ(log_->sectorsSinceDrop(), 20u) << "a paused player writes nothing";

    ASSERT_EQ(CR_PauseCD(CR_FALSE), CR_OK);
    ASSERT_TRUE(eventually([&] { return log_->sectorsSinceDrop() == 120u; }));
    EXPECT_EQ(log_->count("uncork"), 1);
    EXPECT_EQ(log_->sinceDrop(), imageAudio(10, 129));
}

TEST_F(DigitalPlaybackTest, ANewSectionDropsWhatIsQueuedAndJumps) {
    useDisc();
    playUntil(0, 284, 12);
    ASSERT_EQ(CR_PlaySection(215, 284), CR_OK);
    // Room given before the drop could go to the old section's last write.
    ASSERT_TRUE(eventually([&] { return log_->count("drop") == 1; }));
    log_->allow(8);
    ASSERT_TRUE(eventually([&] { return log_->sectorsSinceDrop() == 8u; }));
    EXPECT_EQ(log_->sinceDrop(), imageAudio(215, 222));
    EXPECT_EQ(log_->everything().size(), 20u * CD_SECTOR_BYTES);
    EXPECT_EQ(log_->sinksMade(), 1) << "the player of the drive takes the new section";

    // Play while paused starts the new section unpaused.
    ASSERT_EQ(CR_PauseCD(CR_TRUE), CR_OK);
    ASSERT_TRUE(eventually([&] { return log_->count("cork") == 1; }));
    ASSERT_EQ(CR_PlaySection(120, 130), CR_OK);
    ASSERT_TRUE(eventually([&] { return log_->count("drop") == 2; }));
    log_->allow(4);
    ASSERT_TRUE(eventually([&] { return log_->sectorsSinceDrop() == 4u; }));
    EXPECT_EQ(log_->sinceDrop(), imageAudio(120, 123));
    EXPECT_EQ(log_->count("uncork"), 1);
}

TEST_F(DigitalPlaybackTest, StopEndsThePlayerAndKeepsTheLastPosition) {
    useDisc();
    playUntil(30, 284, 16);
    ASSERT_TRUE(eventually([] { return position().absolute == 46u; }));
    ASSERT_EQ(CR_StopPlayTrack(), CR_OK);
    EXPECT_TRUE(playerEnded());
    EXPECT_GE(log_->count("drop"), 1);
    log_->allow(100);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(log_->sectorsSinceDrop(), 0u);
    EXPECT_EQ(CR_PauseCD(CR_FALSE), CR_ERROR) << "nothing plays after stop";
    EXPECT_EQ(position().absolute, 46u);
    CR_SetPlayPosition(0);
    EXPECT_EQ(position().absolute, 0u);
}

TEST_F(DigitalPlaybackTest, ThePositionIsTheSectorBeingHeard) {
    useDisc();
    log_->setLatency(std::chrono::seconds(1)); // 75 sectors
    ASSERT_EQ(CR_PlaySection(30, 284), CR_OK);
    EXPECT_EQ(position().absolute, 30u) << "nothing heard yet";
    log_->allow(150);
    ASSERT_TRUE(eventually([&] { return log_->sectorsSinceDrop() == 150u; }));
    EXPECT_EQ(position().absolute, 30u + 150u - 75u);
    EXPECT_EQ(position().inTrack, 105u);
    log_->setLatency(std::chrono::microseconds(0));
    EXPECT_EQ(position().absolute, 180u);
    EXPECT_EQ(position().inTrack, 60u) << "in the second track, which starts at 120";
    ASSERT_EQ(CR_PauseCD(CR_TRUE), CR_OK);
    EXPECT_EQ(position().absolute, 180u);
}

TEST_F(DigitalPlaybackTest, TheLibraryEndsThePlayerWhenItLetsGoOfTheDisc) {
    const std::vector<std::pair<const char*, std::function<void()>>> ways = {
        {"opening a range",
         [] {
             int32_t chunk = 0;
             EXPECT_EQ(CR_OpenRipper(&chunk, 0, 100), CR_OK);
             EXPECT_EQ(CR_CloseRipper(), CR_OK);
         }},
        {"eject",
         [] {
             EXPECT_EQ(CR_EjectCD(CR_TRUE), CR_OK);
         }},
        {"another drive",
         [] {
             EXPECT_EQ(CR_SetActiveCDROM(1), CR_OK);
         }},
        {"CR_DeInit",
         [] {
             CR_DeInit();
         }},
    };
    const TestImage first = writeImage(tempDir(), "first", kAudioOnly);
    const TestImage second = writeImage(tempDir(), "second", kAudioOnly);
    for (const auto& [name, leave] : ways) {
        SCOPED_TRACE(name);
        useImages({first, second});
        playUntil(0, 284, 4);
        leave();
        EXPECT_TRUE(playerEnded());
        EXPECT_EQ(CR_PauseCD(CR_TRUE), CR_ERROR);
    }
}

TEST_F(DigitalPlaybackTest, SectionsOutsideTheDiscAreRefused) {
    useDisc();
    for (const auto& [first, last] :
         std::vector<std::pair<int32_t, int32_t>>{{0, 285}, {-1, 100}, {100, 99}, {285, 285}}) {
        EXPECT_EQ(CR_PlaySection(first, last), CR_ERROR) << first << ".." << last;
    }
    EXPECT_EQ(log_->sinksMade(), 0);
}

TEST_F(DigitalPlaybackTest, DataTracksPlayAsSilence) {
    // Audio 0..199, data 200..299.
    useDisc({{120, false}, {80, false}, {100, true}});
    ASSERT_EQ(CR_PlaySection(190, 209), CR_OK);
    log_->allow(20);
    ASSERT_TRUE(eventually([&] { return log_->sectorsSinceDrop() == 20u; }));
    std::vector<uint8_t> expected = imageAudio(190, 199);
    expected.resize(20u * CD_SECTOR_BYTES, 0);
    EXPECT_EQ(log_->sinceDrop(), expected);
}

TEST_F(DigitalPlaybackTest, WithoutASoundServerTheClockPlays) {
    setAudioSinkFactory([] { return std::unique_ptr<AudioSink>(); });
    useDisc();
    ASSERT_EQ(CR_PlaySection(120, 284), CR_OK);
    ASSERT_TRUE(eventually([] { return position().absolute > 121u; }))
        << "the position moves with the wall clock";
    EXPECT_EQ(CR_PauseCD(CR_TRUE), CR_OK);
    EXPECT_EQ(CR_StopPlayTrack(), CR_OK);
}

TEST_F(DigitalPlaybackTest, ASoundServerLostWhilePlayingLeavesTheClockRunning) {
    useDisc();
    playUntil(0, 284, 10);
    ASSERT_TRUE(eventually([] { return position().absolute == 10u; }));
    log_->breakSink();
    log_->allow(1);
    ASSERT_TRUE(eventually([] { return position().absolute > 20u; }))
        << "silent, at the pace it would have played";
    ASSERT_EQ(CR_PauseCD(CR_TRUE), CR_OK);
    const uint32_t pausedAt = position().absolute;
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_LE(position().absolute, pausedAt + 1) << "paused, it stands";
    EXPECT_EQ(CR_StopPlayTrack(), CR_OK);
}

// Where the sound should go: no server, a server that takes the connection
// and never answers, or a sink that is ready only after a while.
enum class Server { Missing, Silent, Late };

class SlowSoundServer : public DigitalPlaybackTest, public ::testing::WithParamInterface<Server> {
protected:
    void SetUp() override {
        DigitalPlaybackTest::SetUp();
        log_->setState(AudioSink::State::Connecting);
        if (GetParam() != Server::Late) {
            const std::string address = GetParam() == Server::Silent
                                            ? server_.address()
                                            : "unix:" + (tempDir() / "none").string();
            setenv("PULSE_SERVER", address.c_str(), 1);
            setAudioSinkFactory(nullptr); // the sound server, as in the program
        }
    }
    void TearDown() override {
        CR_DeInit();
        unsetenv("PULSE_SERVER");
        DigitalPlaybackTest::TearDown();
    }

    varrow::testing::SilentSoundServer server_{tempDir()};
};

TEST_P(SlowSoundServer, NoCallWaitsAndThePositionFollowsTheClockUntilTheSoundFlows) {
    useDisc();
    const auto promptly = [](const char* name, const std::function<CR_RESULT()>& call) {
        const auto start = Clock::now();
        EXPECT_EQ(call(), CR_OK) << name;
        // A wait on the server would last its two-second connect timeout;
        // one second leaves room for a busy machine.
        EXPECT_LT(Clock::now() - start, 1s) << name << " waited";
    };
    promptly("play", [] { return CR_PlaySection(30, 284); });
    std::this_thread::sleep_for(DigitalPlayer::kConnectGrace + 50ms);
    const uint32_t clockFrom = position().absolute;
    const auto clockStart = Clock::now();
    std::this_thread::sleep_for(400ms);
    const uint32_t reached = position().absolute;
    // Measured against the time that passed, which a busy machine stretches.
    const auto passed =
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - clockStart);
    EXPECT_NEAR(reached - clockFrom, passed.count() * 75 / 1000, 8) << "75 sectors a second";
    if (GetParam() == Server::Late) {
        // The sound comes in where the clock has got to; the position waits.
        log_->allow(20);
        log_->setState(AudioSink::State::Ready);
        ASSERT_TRUE(eventually([&] { return log_->sectorsSinceDrop() > 0; }));
        std::vector<uint8_t> first = log_->sinceDrop();
        first.resize(CD_SECTOR_BYTES);
        int32_t sector = static_cast<int32_t>(reached);
        while (sector < static_cast<int32_t>(reached) + 8 && first != imageSector(sector)) {
            ++sector;
        }
        EXPECT_EQ(first, imageSector(sector)) << "the sound starts at the clock's sector";
        EXPECT_GE(position().absolute, reached);
    }
    promptly("pause", [] { return CR_PauseCD(CR_TRUE); });
    // The player stops its sink in its own time; from then the position
    // stands.
    uint32_t pausedAt = position().absolute;
    ASSERT_TRUE(eventually([&] {
        std::this_thread::sleep_for(50ms);
        const uint32_t now = position().absolute;
        return std::exchange(pausedAt, now) == now;
    }));
    std::this_thread::sleep_for(200ms);
    EXPECT_LE(position().absolute, pausedAt + 1) << "paused, it stands";
    promptly("resume", [] { return CR_PauseCD(CR_FALSE); });
    promptly("another section", [] { return CR_PlaySection(0, 284); });
    promptly("stop", [] { return CR_StopPlayTrack(); });
    promptly("play again", [] { return CR_PlaySection(210, 284); });
    promptly("eject", [] { return CR_EjectCD(CR_TRUE); });
}

INSTANTIATE_TEST_SUITE_P(DigitalPlayback, SlowSoundServer,
                         ::testing::Values(Server::Missing, Server::Silent, Server::Late),
                         [](const auto& info) {
                             return std::string(std::array{
                                 "Missing", "Silent", "Late"}[static_cast<size_t>(info.param)]);
                         });

TEST(DigitalPlaybackSetting, PhysicalDrivesPlayDigitallyOnlyWhenAsked) {
    const auto ini = std::filesystem::temp_directory_path() / "varrow-digital-setting.INI";
    for (const auto& [text, expected] :
         std::vector<std::pair<std::string, bool>>{{"", false},
                                                   {"DIGITALPLAYBACK=1\n", true},
                                                   {"digitalplayback=1\n", true},
                                                   {"DIGITALPLAYBACK=0\n", false},
                                                   {"DIGITALPLAYBACK=yes\n", false}}) {
        std::ofstream(ini) << "[CDLIB]\n" << text;
        Settings settings;
        ASSERT_TRUE(settings.load(ini.string()));
        EXPECT_EQ(settings.digitalPlayback(), expected) << text;
    }
    std::filesystem::remove(ini);
}

} // namespace
} // namespace cdlib::testing
