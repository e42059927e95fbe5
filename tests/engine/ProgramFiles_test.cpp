// SPDX-License-Identifier: GPL-3.0-or-later
// Where the settings and help files are looked for, for a program run from
// its build folder and for an installed one, on a scratch tree laid out like
// both.
#include "ProgramFiles.h"

#include <fstream>
#include <gtest/gtest.h>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

namespace fs = std::filesystem;

TEST(ProgramFiles, InstalledExecutablesAreThoseInABinFolderBelowAPrefix) {
    const struct {
        const char* executable;
        bool installed;
        const char* dataFolder;
    } cases[] = {
        {"/usr/bin/Varrow", true, "/usr/share/varrow"},
        {"/usr/local/bin/varrow-rip", true, "/usr/local/share/varrow"},
        {"/home/ann/.local/bin/Varrow", true, "/home/ann/.local/share/varrow"},
        {"/bin/Varrow", true, "/share/varrow"},
        {"/tmp/stage/usr/./bin/Varrow", true, "/tmp/stage/usr/share/varrow"},
        {"/work/build/default/app/Varrow", false, ""},
        {"/usr/binaries/Varrow", false, ""},
        {"/usr/bin/../lib/Varrow", false, ""},
        {"/Varrow", false, ""},
        {"bin/Varrow", false, ""},
        {"", false, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.executable);
        EXPECT_EQ(isInstalledExecutable(c.executable), c.installed);
        EXPECT_EQ(installedDataFolder(c.executable), fs::path(c.dataFolder));
    }
}

TEST(ProgramFiles, UserSettingsFileFollowsTheXdgRules) {
    const struct {
        const char* configHome;
        const char* home;
        const char* expected;
    } cases[] = {
        {"/home/ann/conf", "/home/ann", "/home/ann/conf/varrow/Varrow.INI"},
        {"", "/home/ann", "/home/ann/.config/varrow/Varrow.INI"},
        // A relative XDG_CONFIG_HOME is not to be used.
        {"conf", "/home/ann", "/home/ann/.config/varrow/Varrow.INI"},
        {"/etc/xdg-ann", "", "/etc/xdg-ann/varrow/Varrow.INI"},
        {"", "", ""},
        {"", "relative-home", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.configHome) + " | " + c.home);
        ProgramEnvironment environment;
        environment.configHome = c.configHome;
        environment.home = c.home;
        EXPECT_EQ(userSettingsFile(environment), fs::path(c.expected));
    }
}

// A scratch tree holding a build folder (build/app) and an installation
// prefix (usr/bin, usr/share/varrow), with the user's home beside them.
class ProgramFilesTree : public ::testing::Test {
protected:
    void SetUp() override {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        root_ = fs::temp_directory_path() /
                ("varrow-files-" + std::to_string(::getpid()) + "-" + info->name());
        fs::remove_all(root_);
        for (const char* folder : {"build/app", "usr/bin", "usr/share/varrow", "home"}) {
            fs::create_directories(root_ / folder);
        }
    }
    void TearDown() override { fs::remove_all(root_); }

    fs::path at(const std::string& relative) const {
        return relative.empty() ? fs::path() : root_ / relative;
    }
    void touch(const std::string& relative) const { std::ofstream(at(relative)) << "[OPTIONS]\n"; }

    fs::path root_;
};

TEST_F(ProgramFilesTree, SettingsFileIsTheFirstPlaceThatApplies) {
    const struct {
        const char* name;
        const char* executable; // below the tree; empty: unknown
        const char* override;
        const char* configHome; // below the tree
        bool hasHome;
        std::vector<const char*> existing;
        const char* expected; // below the tree, or absolute
    } cases[] = {
        {"override wins over everything",
         "usr/bin/Varrow",
         "/elsewhere/Mine.INI",
         "conf",
         true,
         {"usr/bin/Varrow.INI"},
         "/elsewhere/Mine.INI"},
        {"build folder, writable",
         "build/app/Varrow",
         "",
         "conf",
         true,
         {},
         "build/app/Varrow.INI"},
        {"build folder, file there",
         "build/app/Varrow",
         "",
         "conf",
         true,
         {"build/app/Varrow.INI"},
         "build/app/Varrow.INI"},
        {"the command line has its own name",
         "build/app/varrow-rip",
         "",
         "conf",
         true,
         {},
         "build/app/varrow-rip.INI"},
        {"build folder that cannot be written",
         "build/gone/Varrow",
         "",
         "conf",
         true,
         {},
         "conf/varrow/Varrow.INI"},
        {"installed, bin folder writable but not ours",
         "usr/bin/Varrow",
         "",
         "conf",
         true,
         {},
         "conf/varrow/Varrow.INI"},
        {"installed, file kept beside it",
         "usr/bin/Varrow",
         "",
         "conf",
         true,
         {"usr/bin/Varrow.INI"},
         "usr/bin/Varrow.INI"},
        {"installed, no XDG_CONFIG_HOME",
         "usr/bin/Varrow",
         "",
         "",
         true,
         {},
         "home/.config/varrow/Varrow.INI"},
        {"installed, no home at all", "usr/bin/Varrow", "", "", false, {}, "usr/bin/Varrow.INI"},
        {"the installed data folder is no place for settings",
         "usr/bin/Varrow",
         "",
         "conf",
         true,
         {"usr/share/varrow/Varrow.INI"},
         "conf/varrow/Varrow.INI"},
        {"executable unknown", "", "", "conf", true, {}, "conf/varrow/Varrow.INI"},
        {"executable and home unknown", "", "", "", false, {}, "Varrow.INI"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        for (const char* file : c.existing) {
            touch(file);
        }
        ProgramEnvironment environment;
        environment.executable = at(c.executable);
        environment.settingsOverride = c.override;
        environment.configHome = *c.configHome ? at(c.configHome).string() : "";
        environment.home = c.hasHome ? at("home").string() : "";
        // Only the last resort is relative: the current folder.
        const fs::path expected =
            fs::path(c.expected).is_absolute() || fs::path(c.expected) == "Varrow.INI"
                ? fs::path(c.expected)
                : at(c.expected);
        EXPECT_EQ(chooseSettingsFile(environment), expected);
        for (const char* file : c.existing) {
            fs::remove(at(file));
        }
    }
}

TEST_F(ProgramFilesTree, HelpFileBesideTheExecutableComesBeforeTheDataFolder) {
    const struct {
        const char* name;
        const char* executable;
        std::vector<const char*> existing;
        const char* expected;
    } cases[] = {
        {"build folder", "build/app/Varrow", {"build/app/Varrow.chm"}, "build/app/Varrow.chm"},
        {"build folder, missing", "build/app/Varrow", {}, "build/app/Varrow.chm"},
        {"installed",
         "usr/bin/Varrow",
         {"usr/share/varrow/Varrow.chm"},
         "usr/share/varrow/Varrow.chm"},
        {"installed, a copy beside it wins",
         "usr/bin/Varrow",
         {"usr/bin/Varrow.chm", "usr/share/varrow/Varrow.chm"},
         "usr/bin/Varrow.chm"},
        {"installed, missing: named where it belongs",
         "usr/bin/Varrow",
         {},
         "usr/share/varrow/Varrow.chm"},
        {"the viewer finds the same file",
         "usr/bin/varrow-help",
         {"usr/share/varrow/Varrow.chm"},
         "usr/share/varrow/Varrow.chm"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        for (const char* file : c.existing) {
            touch(file);
        }
        EXPECT_EQ(helpFilePath(at(c.executable)), at(c.expected));
        for (const char* file : c.existing) {
            fs::remove(at(file));
        }
    }
    // A folder of that name beside the executable is no help file.
    fs::create_directories(at("usr/bin/Varrow.chm"));
    touch("usr/share/varrow/Varrow.chm");
    EXPECT_EQ(helpFilePath(at("usr/bin/Varrow")), at("usr/share/varrow/Varrow.chm"));
}

} // namespace
