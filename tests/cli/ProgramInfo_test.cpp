// SPDX-License-Identifier: GPL-3.0-or-later
// What varrow-rip says about itself: its version, and what to do when it
// finds no drive at all.
#include "Commands.h"
#include "VirtualDrive.h"

#include <array>
#include <cstdio>
#include <cstdlib>
#include <gtest/gtest.h>
#include <memory>
#include <sstream>
#include <string>
#include <sys/wait.h>

namespace {

struct Outcome {
    int status = -1;
    std::string out;
};

// Runs varrow-rip through the shell with `environment` in front; stderr
// joins stdout when `withErrors`.
Outcome runRip(const std::string& environment, const std::string& arguments, bool withErrors) {
    const std::string command = environment + " '" VARROW_RIP "' " + arguments +
                                (withErrors ? " 2>&1" : " 2>/dev/null") + " </dev/null";
    Outcome outcome;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe) {
        ADD_FAILURE() << "cannot run " << command;
        return outcome;
    }
    std::array<char, 4096> buffer{};
    size_t got = 0;
    while ((got = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0) {
        outcome.out.append(buffer.data(), got);
    }
    const int status = ::pclose(pipe);
    outcome.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return outcome;
}

TEST(ProgramInfo, VersionIsTheOnlyWordAndPrintsTheProgramsVersion) {
    EXPECT_EQ(varrowrip::parseCommandLine({"--version"}).action, varrowrip::Action::Version);
    EXPECT_THROW(varrowrip::parseCommandLine({"version"}), varrowrip::UsageError);
    // Only the first word is a command; as an option of a command it is unknown.
    EXPECT_THROW(varrowrip::parseCommandLine({"toc", "--version"}), varrowrip::UsageError);

    const Outcome version = runRip("", "--version", true);
    EXPECT_EQ(version.status, varrowrip::EXIT_WRITTEN);
    EXPECT_EQ(version.out, "varrow-rip " VARROW_VERSION "\n");
}

TEST(ProgramInfo, NoDriveAtAllTellsHowToReachDrivesAndImages) {
    // Neither the machine's drives nor any image: nothing to list.
    const std::string settings = ::testing::TempDir() + "varrow-info-test.INI";
    ::setenv("VARROW_SETTINGS_FILE", settings.c_str(), 1);
    ::unsetenv("VARROW_CD_IMAGES");
    cdlib::resetLibrary();
    cdlib::setHostDrivesEnabled(false);

    std::ostringstream out;
    std::ostringstream err;
    EXPECT_EQ(varrowrip::listDrives(out, err), varrowrip::EXIT_FAILED);
    EXPECT_EQ(out.str(), "") << "nothing but the complaint and the hint, and those on stderr";
    const std::string said = err.str();
    EXPECT_EQ(said.rfind("varrow-rip: no CD drive or disc image found\n", 0), 0u) << said;
    for (const char* needed :
         {"/dev/sr0", "'cdrom' group", "VARROW_CD_IMAGES", "BIN/CUE", "separated by ':'"}) {
        EXPECT_NE(said.find(needed), std::string::npos) << needed << " in\n" << said;
    }

    cdlib::resetLibrary();
    cdlib::setHostDrivesEnabled(true);
    ::unsetenv("VARROW_SETTINGS_FILE");
    std::remove(settings.c_str());
}

} // namespace
