// SPDX-License-Identifier: GPL-3.0-or-later
#include "ProgramFiles.h"

#include <algorithm>
#include <cstdlib>
#include <pwd.h>
#include <system_error>
#include <unistd.h>
#include <vector>

// The installation layout comes from the build's install directories:
// VARROW_INSTALL_BINDIR, the bin folder below the prefix ("bin"), and
// VARROW_DATADIR_FROM_BINDIR, the data folder as seen from it ("../share").

namespace fs = std::filesystem;

namespace {

constexpr const char* HELP_FILE_NAME = "Varrow.chm";

std::string environmentText(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

std::string homeFolder() {
    if (std::string home = environmentText("HOME"); !home.empty()) {
        return home;
    }
    // A fixed-size buffer is enough for any sane entry; a bigger one only
    // means no home folder.
    std::vector<char> buffer(16384);
    passwd entry{};
    passwd* found = nullptr;
    if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found &&
        found->pw_dir) {
        return found->pw_dir;
    }
    return {};
}

fs::path besideExecutable(const fs::path& executable) {
    fs::path beside = executable;
    beside.replace_extension(".INI");
    return beside;
}

} // namespace

ProgramEnvironment ProgramEnvironment::current() {
    ProgramEnvironment environment;
    std::error_code error;
    environment.executable = fs::read_symlink("/proc/self/exe", error);
    if (error) {
        environment.executable.clear();
    }
    environment.settingsOverride = environmentText("VARROW_SETTINGS_FILE");
    environment.configHome = environmentText("XDG_CONFIG_HOME");
    environment.home = homeFolder();
    return environment;
}

bool isInstalledExecutable(const fs::path& executable) {
    if (!executable.is_absolute()) {
        return false;
    }
    // The folder's last components must be the bin folder's, and something
    // (the prefix, / at least) must lie above them.
    const fs::path folder = executable.lexically_normal().parent_path();
    const fs::path bin = fs::path(VARROW_INSTALL_BINDIR).lexically_normal();
    std::vector<fs::path> folderParts(folder.begin(), folder.end());
    std::vector<fs::path> binParts(bin.begin(), bin.end());
    if (binParts.empty() || folderParts.size() <= binParts.size()) {
        return false;
    }
    return std::equal(binParts.rbegin(), binParts.rend(), folderParts.rbegin());
}

fs::path installedDataFolder(const fs::path& executable) {
    if (!isInstalledExecutable(executable)) {
        return {};
    }
    return (executable.lexically_normal().parent_path() / VARROW_DATADIR_FROM_BINDIR / "varrow")
        .lexically_normal();
}

fs::path userSettingsFile(const ProgramEnvironment& environment) {
    // The XDG rule: a relative XDG_CONFIG_HOME is ignored.
    fs::path config = environment.configHome;
    if (!config.is_absolute()) {
        if (!fs::path(environment.home).is_absolute()) {
            return {};
        }
        config = fs::path(environment.home) / ".config";
    }
    return config / "varrow" / "Varrow.INI";
}

fs::path chooseSettingsFile(const ProgramEnvironment& environment) {
    if (!environment.settingsOverride.empty()) {
        return environment.settingsOverride;
    }
    fs::path beside;
    if (!environment.executable.empty()) {
        beside = besideExecutable(environment.executable);
        std::error_code error;
        if (fs::exists(beside, error)) {
            return beside;
        }
        if (!isInstalledExecutable(environment.executable) &&
            ::access(beside.parent_path().c_str(), W_OK) == 0) {
            return beside;
        }
    }
    if (fs::path user = userSettingsFile(environment); !user.empty()) {
        return user;
    }
    return beside.empty() ? fs::path("Varrow.INI") : beside;
}

fs::path helpFilePath(const fs::path& executable) {
    const fs::path beside = executable.parent_path() / HELP_FILE_NAME;
    const fs::path data = installedDataFolder(executable);
    const fs::path installed = data.empty() ? fs::path() : data / HELP_FILE_NAME;
    std::error_code error;
    if (fs::is_regular_file(beside, error)) {
        return beside;
    }
    if (!installed.empty() && fs::is_regular_file(installed, error)) {
        return installed;
    }
    return installed.empty() ? beside : installed;
}
