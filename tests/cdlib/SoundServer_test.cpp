// SPDX-License-Identifier: GPL-3.0-or-later
// Digital playback heard for real: a private PulseAudio server with a null
// sink, the demo disc played through the library, the sink's monitor
// recorded with parec, and the track's audio found in the recording.
#include "LibraryFixture.h"
#include "RecordingSink.h"
#include "TestHooks.h"

#include <algorithm>
#include <cmath>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace cdlib::testing {
namespace {

using namespace std::chrono_literals;

// A program started for the test, ended (and waited for) when it goes.
class Child final {
public:
    Child() = default;
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;
    ~Child() { stop(); }

    // Starts `argv` with `extraEnvironment` added, its output to `output`.
    bool start(const std::vector<std::string>& argv,
               const std::vector<std::string>& extraEnvironment,
               const std::filesystem::path& output) {
        std::vector<std::string> environment = extraEnvironment;
        for (char** variable = environ; *variable != nullptr; ++variable) {
            environment.emplace_back(*variable);
        }
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, output.c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0644);
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
        const auto pointers = [](std::vector<std::string>& texts) {
            std::vector<char*> result;
            for (std::string& text : texts) {
                result.push_back(text.data());
            }
            result.push_back(nullptr);
            return result;
        };
        std::vector<std::string> arguments = argv;
        const auto args = pointers(arguments);
        const auto env = pointers(environment);
        const int error = posix_spawnp(&pid_, args[0], &actions, nullptr, args.data(), env.data());
        posix_spawn_file_actions_destroy(&actions);
        if (error != 0) {
            pid_ = -1;
        }
        return pid_ > 0;
    }

    bool running() { return pid_ > 0 && waitpid(pid_, nullptr, WNOHANG) == 0; }

    // Asks the program to end, and makes it end after two seconds.
    void stop() {
        if (pid_ <= 0) {
            return;
        }
        kill(pid_, SIGTERM);
        for (int i = 0; i < 200; ++i) {
            if (waitpid(pid_, nullptr, WNOHANG) == pid_) {
                pid_ = -1;
                return;
            }
            std::this_thread::sleep_for(10ms);
        }
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
        pid_ = -1;
    }

private:
    pid_t pid_ = -1;
};

// Runs a shell command; true when it ends with status 0.
bool succeeds(const std::string& command) {
    return std::system((command + " >/dev/null 2>&1").c_str()) == 0;
}

std::vector<int32_t> monoOf(const std::vector<uint8_t>& pcm) {
    std::vector<int32_t> mono(pcm.size() / 4);
    for (size_t i = 0; i < mono.size(); ++i) {
        const auto left = static_cast<int16_t>(pcm[4 * i] | (pcm[4 * i + 1] << 8));
        const auto right = static_cast<int16_t>(pcm[4 * i + 2] | (pcm[4 * i + 3] << 8));
        mono[i] = left + right;
    }
    return mono;
}

// Normalised correlation of `pattern` with `signal` from `offset` on.
double correlationAt(const std::vector<int32_t>& signal, const std::vector<int32_t>& pattern,
                     size_t offset, size_t patternFrom, size_t length) {
    double product = 0;
    double signalEnergy = 0;
    double patternEnergy = 0;
    for (size_t i = 0; i < length; ++i) {
        const double s = signal[offset + i];
        const double p = pattern[patternFrom + i];
        product += s * p;
        signalEnergy += s * s;
        patternEnergy += p * p;
    }
    return signalEnergy > 0 && patternEnergy > 0 ? product / std::sqrt(signalEnergy * patternEnergy)
                                                 : 0.0;
}

// Whether track[from, from + length) lies whole somewhere in `heard`. The
// demo's beats repeat, so its first samples alone are found in several
// places.
bool heardWhole(const std::vector<int32_t>& heard, const std::vector<int32_t>& track, size_t from,
                size_t length) {
    const size_t piece = std::min<size_t>(length, 2048);
    for (size_t offset = 0; offset + length <= heard.size(); ++offset) {
        // A few hundred samples rule out nearly every place at little cost.
        if (correlationAt(heard, track, offset, from, piece / 8) > 0.9 &&
            correlationAt(heard, track, offset, from, piece) > 0.95 &&
            correlationAt(heard, track, offset, from, length) > 0.95) {
            return true;
        }
    }
    return false;
}

class SoundServerTest : public LibraryTest {
protected:
    void TearDown() override {
        CR_DeInit();
        recorder_.stop();
        server_.stop();
        unsetenv("PULSE_SERVER");
        LibraryTest::TearDown();
    }

    // Starts a server of the test's own, so that nothing else is heard in
    // the recording and no desktop's server is disturbed.
    bool startServer() {
        const auto runtime = tempDir() / "pulse";
        std::filesystem::create_directories(runtime);
        socket_ = "unix:" + (runtime / "native").string();
        const std::vector<std::string> environment = {"HOME=" + runtime.string(),
                                                      "XDG_RUNTIME_DIR=" + runtime.string()};
        if (!server_.start({"pulseaudio", "-n", "--daemonize=no", "--exit-idle-time=-1",
                            "--use-pid-file=no", "--system=no", "-L",
                            "module-null-sink sink_name=varrow_test rate=44100 channels=2", "-L",
                            "module-native-protocol-unix socket=" + (runtime / "native").string() +
                                " auth-anonymous=1"},
                           environment, runtime / "server.log")) {
            return false;
        }
        return eventually(
            [&] { return server_.running() && succeeds("pactl -s " + socket_ + " info"); });
    }

    Child server_;
    Child recorder_;
    std::string socket_;
};

TEST_F(SoundServerTest, PlayingADemoTrackIsHeardOnTheSoundServer) {
    if (!succeeds("command -v pulseaudio") || !succeeds("command -v parec")) {
        GTEST_SKIP() << "pulseaudio and parec are not installed (scripts/setup installs them)";
    }
    if (!startServer()) {
        GTEST_SKIP() << "no PulseAudio server could be started here";
    }
    // The script writes the disc once and keeps it while it is up to date.
    const std::filesystem::path demo = VARROW_DEMO_DIR;
    ASSERT_TRUE(
        succeeds("python3 '" VARROW_SOURCE_DIR "/scripts/make-demo-disc' '" + demo.string() + "'"));
    const auto ini = tempDir() / "Varrow.INI";
    std::ofstream(ini) << "[CDLIB]\nIMAGE1=" << (demo / "varrow-demo.cue").string() << "\n";
    ASSERT_EQ(CR_Init(ini.c_str()), CR_OK);
    ASSERT_EQ(CR_SetActiveCDROM(0), CR_OK);
    ASSERT_EQ(CR_ReadToc(), CR_OK);
    // Two seconds of the second track, a second into it.
    const auto first = static_cast<int32_t>(CR_GetTocEntry(1).StartSector) + 75;
    const int32_t last = first + 2 * 75 - 1;
    const std::vector<int32_t> track = monoOf(readRange(first, last).audio);
    ASSERT_EQ(track.size(), 2u * 44100u);

    const auto recording = tempDir() / "recording.raw";
    // Recorded as it plays, every 10 ms.
    ASSERT_TRUE(
        recorder_.start({"parec", "-s", socket_, "-d", "varrow_test.monitor", "--raw",
                         "--format=s16le", "--rate=44100", "--channels=2", "--latency-msec=10"},
                        {}, recording));
    ASSERT_TRUE(eventually([&] {
        return std::filesystem::exists(recording) && std::filesystem::file_size(recording) > 0;
    })) << "parec records";

    setenv("PULSE_SERVER", socket_.c_str(), 1);
    setAudioSinkFactory(nullptr); // the sound server, as in the program
    ASSERT_EQ(CR_PlaySection(first, last), CR_OK);
    uint32_t inTrack = 0;
    uint32_t absolute = 0;
    // The position, and how much of the recording there is, side by side.
    std::vector<std::pair<uint32_t, uintmax_t>> samples;
    ASSERT_TRUE(eventually([&] {
        CR_GetPlayPosition(&inTrack, &absolute);
        samples.emplace_back(absolute, std::filesystem::file_size(recording));
        return absolute >= static_cast<uint32_t>(first) + 38;
    })) << "the position follows the sound";
    EXPECT_LT(absolute, static_cast<uint32_t>(first) + 60);

    // A pause holds the position where the sound stops.
    ASSERT_EQ(CR_PauseCD(CR_TRUE), CR_OK);
    std::this_thread::sleep_for(100ms);
    uint32_t pausedAt = 0;
    CR_GetPlayPosition(&inTrack, &pausedAt);
    std::this_thread::sleep_for(400ms);
    CR_GetPlayPosition(&inTrack, &absolute);
    EXPECT_EQ(absolute, pausedAt);
    EXPECT_EQ(inTrack, pausedAt - CR_GetTocEntry(1).StartSector);
    ASSERT_EQ(CR_PauseCD(CR_FALSE), CR_OK);

    ASSERT_TRUE(eventually([&] {
        CR_GetPlayPosition(&inTrack, &absolute);
        return absolute == static_cast<uint32_t>(last);
    })) << "played to the end";
    std::this_thread::sleep_for(300ms);
    recorder_.stop();

    std::ifstream file(recording, std::ios::binary);
    const std::vector<uint8_t> raw((std::istreambuf_iterator<char>(file)),
                                   std::istreambuf_iterator<char>());
    const std::vector<int32_t> heard = monoOf(raw);
    // Until the pause, the position is what has been heard, to a quarter
    // of a second.
    const auto sound = std::find_if(raw.begin(), raw.end(), [](uint8_t byte) { return byte != 0; });
    const auto soundStart = static_cast<uintmax_t>(sound - raw.begin()) / 4 * 4;
    for (const auto& [position, recorded] : samples) {
        if (recorded > soundStart) {
            EXPECT_NEAR((position - first) / 75.0, (recorded - soundStart) / (44100.0 * 4), 0.25);
        }
    }
    // The pause came after half a second and lasted half a second: what
    // came well before it and what came well after it are each heard whole.
    // (A null sink reports its latency a little short, so the pause is
    // heard somewhat before the position said. A recording that follows
    // this closely misses the first milliseconds: the server rewinds the
    // sink to start the section, and what it recorded meanwhile stays.)
    EXPECT_TRUE(heardWhole(heard, track, 441, 44100 / 5)) << "before the pause";
    EXPECT_TRUE(heardWhole(heard, track, 44100, 44100)) << "after the pause";
    EXPECT_FALSE(heardWhole(heard, track, 0, track.size())) << "the pause is heard too";
}

} // namespace
} // namespace cdlib::testing
