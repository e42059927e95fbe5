// SPDX-License-Identifier: GPL-3.0-or-later
// varrow-rip against a drive simulated outside the program: a preloaded
// library answers libcdio's system calls on a device node as the kernel
// would for a drive holding a disc image, so the real program, libcdio's
// Linux driver and paranoia run as they would on a user's machine.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

namespace fs = std::filesystem;

constexpr int32_t SECTOR_BYTES = 2352;
// Between an audio session and a data session.
constexpr int32_t SESSION_GAP = 11400;

std::vector<uint8_t> readBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

struct Outcome {
    int status = -1;
    std::string out;
    std::string err;
};

class PhysicalRip : public ::testing::Test {
protected:
    void SetUp() override {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        folder_ = fs::temp_directory_path() /
                  ("varrow-physical-" + std::to_string(::getpid()) + "-" + info->name());
        fs::remove_all(folder_);
        fs::create_directories(folder_);
    }

    void TearDown() override { fs::remove_all(folder_); }

    // Audio that never repeats (so that paranoia cannot match the wrong
    // place) in the first `audible` sectors, zeros after them.
    void writeDisc(int32_t sectors, int32_t audible) {
        std::ofstream bin(folder_ / "disc.bin", std::ios::binary);
        uint32_t state = 2463534242u;
        std::vector<char> sector(SECTOR_BYTES);
        for (int32_t i = 0; i < sectors; ++i) {
            for (char& byte : sector) {
                state ^= state << 13;
                state ^= state >> 17;
                state ^= state << 5;
                byte = i < audible ? static_cast<char>(state >> 24) : 0;
            }
            bin.write(sector.data(), SECTOR_BYTES);
        }
        leadOut_ = sectors;
    }

    std::vector<uint8_t> discBytes(int32_t first, int32_t last) const {
        std::ifstream in(folder_ / "disc.bin", std::ios::binary);
        in.seekg(static_cast<std::streamoff>(first) * SECTOR_BYTES);
        std::vector<uint8_t> bytes(static_cast<size_t>(last - first + 1) * SECTOR_BYTES);
        in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        return bytes;
    }

    Outcome run(const std::string& drive, const std::string& arguments) const {
        const fs::path out = folder_ / "stdout.txt";
        const fs::path err = folder_ / "stderr.txt";
        const std::string command =
            "ASAN_OPTIONS=\"${ASAN_OPTIONS}:verify_asan_link_order=0\" "
            "LD_PRELOAD='" VARROW_FAKE_CD_LIB "' VARROW_FAKE_CD='device=" +
            std::string(DEVICE) + ",bin=" + (folder_ / "disc.bin").string() +
            ",leadout=" + std::to_string(leadOut_) + "," + drive +
            "' VARROW_CD_IMAGES= VARROW_MUSICBRAINZ_URL=http://127.0.0.2:1 "
            "VARROW_ACCURATERIP_URL=http://127.0.0.1:1 XDG_CACHE_HOME='" +
            (folder_ / "cache").string() + "' VARROW_SETTINGS_FILE='" +
            (folder_ / "varrow.INI").string() + "' timeout -s KILL 120 '" VARROW_RIP "' " +
            arguments + " >'" + out.string() + "' 2>'" + err.string() + "' </dev/null";
        const int status = std::system(command.c_str());
        Outcome result;
        result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        const auto outBytes = readBytes(out);
        const auto errBytes = readBytes(err);
        result.out.assign(outBytes.begin(), outBytes.end());
        result.err.assign(errBytes.begin(), errBytes.end());
        return result;
    }

    // The drive number of the simulated drive.
    std::string driveNumber(const std::string& drive) const {
        const Outcome drives = run(drive, "drives");
        EXPECT_EQ(drives.status, 0) << drives.err;
        const auto at = drives.out.find("SIMULATED DRIVE");
        EXPECT_NE(at, std::string::npos) << drives.out;
        const auto open = drives.out.rfind('[', at);
        return drives.out.substr(open + 1, drives.out.find(']', open) - open - 1);
    }

    std::vector<uint8_t> wavAudio(const fs::path& wav) const {
        const auto bytes = readBytes(wav);
        EXPECT_GE(bytes.size(), 44u) << wav;
        return bytes.size() < 44 ? bytes : std::vector<uint8_t>(bytes.begin() + 44, bytes.end());
    }

    static constexpr const char* DEVICE = "/dev/sr9";
    fs::path folder_;
    int32_t leadOut_ = 0;
};

TEST_F(PhysicalRip, EnhancedCdLastAudioTrackComesOutExactly) {
    // Two audio tracks, the gap between the sessions, a data track.
    const int32_t data = 300 + 400 + SESSION_GAP;
    writeDisc(data + 300, 700);
    const std::string drive =
        "tracks=0a;300a;" + std::to_string(data) + "d,session=" + std::to_string(data);
    const std::string number = driveNumber(drive);
    const Outcome toc = run(drive, "toc --drive " + number);
    ASSERT_EQ(toc.status, 0) << toc.err;
    EXPECT_NE(toc.out.find("02  Audio      300      699"), std::string::npos) << toc.out;
    for (const std::string& correction : {std::string(), std::string(" --no-jitter-correction")}) {
        SCOPED_TRACE(correction.empty() ? "correction on" : "correction off");
        fs::remove_all(folder_ / "out");
        const Outcome rip = run(drive, "rip --drive " + number + " --tracks 2 --out '" +
                                           (folder_ / "out").string() + "'" + correction);
        ASSERT_EQ(rip.status, 0) << rip.err;
        EXPECT_EQ(wavAudio(folder_ / "out" / "02_Track02.wav"), discBytes(300, 699));
    }
}

TEST_F(PhysicalRip, RemovedDiscIsALossNotSilence) {
    // Past the middle of the track, which paranoia reads when it opens.
    writeDisc(3000, 3000);
    const std::string drive = "tracks=0a,remove=2000";
    const std::string number = driveNumber(drive);
    const Outcome rip = run(drive, "rip --drive " + number + " --no-jitter-correction --out '" +
                                       (folder_ / "out").string() + "'");
    const auto audio = wavAudio(folder_ / "out" / "01_Track01.wav");
    EXPECT_GT(audio.size(), 0u) << rip.out << rip.err;
    EXPECT_LE(audio.size(), 2000u * SECTOR_BYTES) << rip.out << rip.err;
    const auto disc = discBytes(0, 1999);
    EXPECT_TRUE(std::equal(audio.begin(), audio.end(), disc.begin()));
}

TEST_F(PhysicalRip, RefusedSpeedStillRips) {
    writeDisc(500, 500);
    const std::string drive = "tracks=0a,speed=refuse";
    const std::string number = driveNumber(drive);
    const Outcome rip = run(drive, "rip --drive " + number + " --speed 8 --out '" +
                                       (folder_ / "out").string() + "'");
    ASSERT_EQ(rip.status, 0) << rip.err;
    EXPECT_EQ(rip.err.find("Invalid CD-ROM parameters"), std::string::npos) << rip.err;
    EXPECT_EQ(wavAudio(folder_ / "out" / "01_Track01.wav"), discBytes(0, 499));
}

} // namespace
