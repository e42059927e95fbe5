// SPDX-License-Identifier: GPL-3.0-or-later
// Where the program's own files are: the settings file and the help file.
//
// Both belong "beside the executable". A program run from its own folder (a
// build tree, an unpacked archive) keeps them there. An installed program,
// one whose executable lies in the bin folder of an installation prefix
// (/usr/bin, /usr/local/bin, ~/.local/bin), shares that folder with other
// programs: its help file is in the prefix's data folder (share/varrow), and
// its settings go to the user's configuration folder.
#pragma once

#include <filesystem>
#include <string>

// What the choice depends on, read once from the process so that tests can
// give their own.
struct ProgramEnvironment {
    std::filesystem::path executable; // absolute; empty when it cannot be told
    std::string settingsOverride;     // VARROW_SETTINGS_FILE
    std::string configHome;           // XDG_CONFIG_HOME
    std::string home;                 // HOME, else the user's home from the password database

    static ProgramEnvironment current();
};

// True for an executable inside the bin folder of an installation prefix.
bool isInstalledExecutable(const std::filesystem::path& executable);

// The installed program's data folder, <prefix>/share/varrow; empty for an
// executable that is not installed.
std::filesystem::path installedDataFolder(const std::filesystem::path& executable);

// $XDG_CONFIG_HOME/varrow/Varrow.INI, or ~/.config/varrow/Varrow.INI when
// XDG_CONFIG_HOME is unset or not absolute; empty without a home folder.
std::filesystem::path userSettingsFile(const ProgramEnvironment& environment);

// The settings file, the first of:
//  1. VARROW_SETTINGS_FILE, when set and not empty (tests and scripts keep a
//     file of their own with it);
//  2. the executable's path with its extension replaced by ".INI", when
//     that file exists;
//  3. the same path, when the program is not installed and its folder can
//     be written;
//  4. Varrow.INI in the user's configuration folder (userSettingsFile);
//  5. the path of 2, when there is no home folder at all (saving then fails
//     visibly instead of writing somewhere unexpected), or Varrow.INI in the
//     current folder when even the executable is unknown.
std::filesystem::path chooseSettingsFile(const ProgramEnvironment& environment);

// The help file Varrow.chm: beside the executable, else in the installed
// data folder; the first that exists. When neither does, the place where
// the program's own kind of installation keeps it (the data folder of an
// installed program, beside the executable otherwise), so that a message
// about the missing file names where it belongs.
std::filesystem::path helpFilePath(const std::filesystem::path& executable);
