// SPDX-License-Identifier: GPL-3.0-or-later
#include "EngineTestSupport.h"

#include <csignal>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace enginetest {

cdlib::VirtualDisc discOf(const std::vector<int32_t>& sectors, const std::vector<int>& dataTracks,
                          uint32_t firstSector) {
    cdlib::VirtualDisc disc;
    disc.firstSector = firstSector;
    for (std::size_t i = 0; i < sectors.size(); ++i) {
        const bool data = std::find(dataTracks.begin(), dataTracks.end(),
                                    static_cast<int>(i + 1)) != dataTracks.end();
        disc.tracks.push_back({sectors[i], data});
    }
    return disc;
}

std::string inChildWithFileSizeLimit(uint64_t limitBytes,
                                     const std::function<std::string()>& body) {
    int pipeFds[2];
    if (::pipe(pipeFds) != 0) {
        return "pipe failed";
    }
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(pipeFds[0]);
        ::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{limitBytes, limitBytes};
        std::string report = ::setrlimit(RLIMIT_FSIZE, &limit) == 0 ? body() : "setrlimit failed";
        const ssize_t written = ::write(pipeFds[1], report.data(), report.size());
        ::_exit(written == static_cast<ssize_t>(report.size()) ? 0 : 1);
    }
    ::close(pipeFds[1]);
    std::string report;
    char buffer[256];
    ssize_t got = 0;
    while ((got = ::read(pipeFds[0], buffer, sizeof buffer)) > 0) {
        report.append(buffer, static_cast<std::size_t>(got));
    }
    ::close(pipeFds[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        return "child ended abnormally: " + report;
    }
    return report;
}

void EngineTest::SetUp() {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    folder_ = std::filesystem::temp_directory_path() /
              ("varrow-engine-" + std::to_string(::getpid()) + "-" + info->test_suite_name() + "-" +
               info->name());
    std::filesystem::remove_all(folder_);
    std::filesystem::create_directories(folder_);
    ::setenv("VARROW_SETTINGS_FILE", (folder_ / "Varrow.INI").c_str(), 1);
    // The database's answers are cached in the folder too, never the user's.
    ::setenv("XDG_CACHE_HOME", (folder_ / "cache").c_str(), 1);

    cdlib::resetLibrary();
    cdlib::setHostDrivesEnabled(false);

    EngineHooks hooks;
    hooks.showMessage = [this](const std::string& text) {
        hooks_.messages.push_back(text);
    };
    hooks.processMessages = [this] {
        ++hooks_.processMessagesCalls;
        if (hooks_.onProcessMessages) {
            hooks_.onProcessMessages();
        }
    };
    hooks.now = [this] {
        return hooks_.clock;
    };
    setEngineHooks(std::move(hooks));
}

void EngineTest::TearDown() {
    setEngineHooks({});
    cdlib::resetLibrary();
    ::unsetenv("VARROW_SETTINGS_FILE");
    ::unsetenv("XDG_CACHE_HOME");
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
}

std::shared_ptr<cdlib::VirtualDrive> EngineTest::addDrive(const std::string& id,
                                                          std::optional<cdlib::VirtualDisc> disc,
                                                          int32_t* number) {
    auto drive = std::make_shared<cdlib::VirtualDrive>(id, std::move(disc));
    const int index = cdlib::addVirtualDrive(drive);
    if (number) {
        *number = index;
    }
    return drive;
}

std::vector<uint8_t> EngineTest::readFile(const std::filesystem::path& path) const {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::vector<uint8_t> EngineTest::expectedAudio(int32_t first, int32_t last) {
    std::vector<uint8_t> audio;
    for (int32_t sector = first; sector <= last; ++sector) {
        const auto bytes = cdlib::VirtualDrive::audioSector(sector);
        audio.insert(audio.end(), bytes.begin(), bytes.end());
    }
    return audio;
}

} // namespace enginetest
