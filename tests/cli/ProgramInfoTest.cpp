// What varrow-rip says about itself: its version, and what to do when it
// finds no drive at all.
#include "Commands.h"
#include "VirtualDrive.h"

#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
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

TEST(ProgramInfo, OutputThatCannotBeWrittenFailsTheCommand) {
    // Each command that prints, into a full disk and into a closed output,
    // with an image to list.
    const std::string folder = ::testing::TempDir() + "varrow-output-test";
    std::filesystem::create_directories(folder);
    std::ofstream(folder + "/disc.bin", std::ios::binary) << std::string(10 * 2352, '\0');
    std::ofstream(folder + "/disc.cue")
        << "FILE \"disc.bin\" BINARY\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n";
    const std::string environment = "VARROW_SETTINGS_FILE='" + folder + "/Varrow.INI' " +
                                    "VARROW_CD_IMAGES='" + folder + "/disc.cue'";
    const std::pair<std::string, std::string> outputs[] = {
        {">/dev/full", "No space left on device"}, {">&-", "Bad file descriptor"}};
    for (const std::string command : {"--help", "--version", "drives", "toc --drive 0"}) {
        for (const auto& [redirection, reason] : outputs) {
            SCOPED_TRACE(command + " " + redirection);
            const std::string line = environment + " '" VARROW_RIP "' " + command + " " +
                                     redirection + " 2>'" + folder + "/err.txt' </dev/null";
            const int status = std::system(line.c_str());
            EXPECT_EQ(WIFEXITED(status) ? WEXITSTATUS(status) : -1, varrowrip::EXIT_FAILED);
            std::ifstream said(folder + "/err.txt");
            const std::string err{std::istreambuf_iterator<char>(said),
                                  std::istreambuf_iterator<char>()};
            EXPECT_EQ(err, "varrow-rip: cannot write the output: " + reason + "\n");
        }
    }
    std::filesystem::remove_all(folder);
}

} // namespace
