// SPDX-License-Identifier: GPL-3.0-or-later
// Helpers shared by the engine's tests: a clean CD library with virtual
// drives only, engine hooks that record what the engine shows and run on a
// clock the test moves, and a scratch folder that holds the settings file
// and the cache.
#pragma once

#include "CDRIP.h"
#include "VirtualDrive.h"

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

namespace enginetest {

// A disc of audio tracks of the given lengths; the tracks listed in
// `dataTracks` (1-based) carry the data flag.
cdlib::VirtualDisc discOf(const std::vector<int32_t>& sectors,
                          const std::vector<int>& dataTracks = {}, uint32_t firstSector = 0);

// Runs `body` in a child process whose files may not grow beyond
// `limitBytes` (SIGXFSZ ignored, so writes come back short), and returns
// what the child reported: empty when all went as expected.
std::string inChildWithFileSizeLimit(uint64_t limitBytes, const std::function<std::string()>& body);

// What the engine's hooks saw. The clock starts at an arbitrary point and
// moves only when the test (or onProcessMessages) moves it.
struct HookRecord {
    std::vector<std::string> messages;
    int processMessagesCalls = 0;
    std::chrono::steady_clock::time_point clock{std::chrono::hours(1)};
    std::function<void()> onProcessMessages;
};

class EngineTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Adds a virtual drive and returns it with its drive number.
    std::shared_ptr<cdlib::VirtualDrive> addDrive(const std::string& id,
                                                  std::optional<cdlib::VirtualDisc> disc,
                                                  int32_t* number = nullptr);

    std::vector<uint8_t> readFile(const std::filesystem::path& path) const;
    // The audio the virtual drive delivers for sectors first..last.
    static std::vector<uint8_t> expectedAudio(int32_t first, int32_t last);

    HookRecord hooks_;
    std::filesystem::path folder_;
};

} // namespace enginetest
