// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/Settings.h"

#include "FileReplacement.h"
#include "IniText.h"

#include <SimpleIni.h>
#include <algorithm>
#include <cctype>
#include <climits>

namespace cdlib {

namespace {

constexpr const char* kMainSection = "CDLIB";
constexpr const char* kDriveSectionPrefix = "CDLIB DRIVE ";
constexpr const char* kTransportKey = "TRANSPORTLAYER";
constexpr const char* kImageKeyPrefix = "IMAGE";
constexpr const char* kDigitalPlaybackKey = "DIGITALPLAYBACK";
constexpr const char* kJitterCorrectionKey = "JITTERCORRECTION";
constexpr const char* kSecureModeKey = "SECUREMODE";
constexpr const char* kReadOffsetKey = "READOFFSET";
constexpr const char* kOverreadKey = "OVERREAD";

// Far beyond any settings file the library or the window writes; a larger
// file is not read (nor rewritten).
constexpr size_t kMaxFileBytes = 16 * 1024 * 1024;

constexpr const char* kDriveTableKeys[DRIVE_TABLE_SLOTS] = {
    "DRIVETYPE", "READMETHOD", "SETSPEED", "ENDIAN", "ENABLEMODE", "DENSITY", "ATAPI"};

std::string imageKey(size_t index) {
    return kImageKeyPrefix + std::to_string(index + 1);
}

std::string quoted(const std::string& path) {
    return "\"" + path + "\"";
}

// A number of the file within [min, max]; anything else is the fallback.
int32_t numberIn(const CSimpleIniA& ini, const char* section, const char* key, int32_t fallback,
                 long min = INT32_MIN, long max = INT32_MAX) {
    const long value = ini.GetLongValue(section, key, fallback);
    return value < min || value > max ? fallback : static_cast<int32_t>(value);
}

} // namespace

std::string Settings::driveSection(const std::string& identification) {
    std::string name = kDriveSectionPrefix;
    for (const char c : identification) {
        // Brackets and line ends would end the section header early.
        const bool breaksHeader = c == '[' || c == ']' || c == '\r' || c == '\n' || c == '\0';
        name += breaksHeader ? '_' : c;
    }
    // The file's reader drops the blanks that end a section name.
    while (name.back() == ' ' || name.back() == '\t') {
        name.pop_back();
    }
    return name;
}

bool Settings::CaselessLess::operator()(const std::string& a, const std::string& b) const {
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return std::toupper(static_cast<unsigned char>(x)) <
               std::toupper(static_cast<unsigned char>(y));
    });
}

bool Settings::load(const std::string& path) {
    path_ = path;
    loadError_.clear();
    transportLayer_.reset();
    images_.clear();
    digitalPlayback_ = false;
    drives_.clear();
    changed_.clear();

    std::string text;
    std::error_code error;
    switch (base::readFileText(path, kMaxFileBytes, text, error)) {
    case base::FileRead::Missing:
        return true;
    case base::FileRead::Failed:
        loadError_ = quoted(path) + ": " + error.message();
        return false;
    case base::FileRead::Read:
        break;
    }
    if (!base::IniText::parse(text)) {
        loadError_ = quoted(path) + " holds a NUL byte and cannot be read whole";
        return false;
    }
    CSimpleIniA ini;
    ini.SetSpaces(false);
    if (ini.LoadData(text) < 0) {
        loadError_ = quoted(path) + " cannot be read";
        return false;
    }

    const long layer = ini.GetLongValue(kMainSection, kTransportKey, -1);
    if (layer == CR_TRANSPORT_IOCTL || layer == CR_TRANSPORT_SCSI) {
        transportLayer_ = static_cast<int32_t>(layer);
    }
    digitalPlayback_ = ini.GetLongValue(kMainSection, kDigitalPlaybackKey, 0) == 1;
    for (size_t i = 0;; ++i) {
        const char* image = ini.GetValue(kMainSection, imageKey(i).c_str(), nullptr);
        if (image == nullptr) {
            break;
        }
        if (*image != '\0') {
            images_.emplace_back(image);
        }
    }

    CSimpleIniA::TNamesDepend sections;
    ini.GetAllSections(sections);
    const std::string prefix = kDriveSectionPrefix;
    for (const auto& entry : sections) {
        const std::string section = entry.pItem;
        if (section.size() <= prefix.size() ||
            !base::sameName(std::string_view(section).substr(0, prefix.size()), prefix)) {
            continue;
        }
        const char* name = section.c_str();
        const DriveParameters defaults;
        DriveParameters drive;
        drive.sectorsPerRead =
            numberIn(ini, name, "SECTORSPERREAD", defaults.sectorsPerRead, 1, MAX_SECTORS_PER_READ);
        drive.readRetries =
            numberIn(ini, name, "READRETRIES", defaults.readRetries, 1, MAX_READ_RETRIES);
        drive.speed = numberIn(ini, name, "SPEED", defaults.speed, 0, CR_MAX_SPEED);
        // Switches: any number but 0 is on.
        const auto switchOf = [&](const char* key, int32_t fallback) {
            return numberIn(ini, name, key, fallback) != 0 ? CR_TRUE : CR_FALSE;
        };
        drive.jitterCorrection = switchOf(kJitterCorrectionKey, defaults.jitterCorrection);
        drive.secureMode = switchOf(kSecureModeKey, defaults.secureMode);
        for (int slot = 0; slot < DRIVE_TABLE_SLOTS; ++slot) {
            const int32_t limit = DRIVE_TABLE_LIMITS[slot];
            drive.driveTable[slot] =
                limit >= 0 ? numberIn(ini, name, kDriveTableKeys[slot], defaults.driveTable[slot],
                                      0, limit)
                           : numberIn(ini, name, kDriveTableKeys[slot], defaults.driveTable[slot]);
        }
        drive.driveTable[SLOT_ATAPI] = drive.driveTable[SLOT_ATAPI] != 0 ? CR_TRUE : CR_FALSE;
        drive.readOffset = numberIn(ini, name, kReadOffsetKey, defaults.readOffset,
                                    -MAX_READ_OFFSET, MAX_READ_OFFSET);
        drive.overread =
            numberIn(ini, name, kOverreadKey, defaults.overread) != 0 ? CR_TRUE : CR_FALSE;
        drives_[section] = sanitized(drive);
    }
    return true;
}

std::optional<DriveParameters> Settings::drive(const std::string& identification) const {
    const auto found = drives_.find(driveSection(identification));
    if (found == drives_.end()) {
        return std::nullopt;
    }
    return found->second;
}

void Settings::setDrive(const std::string& identification, const DriveParameters& parameters) {
    const std::string section = driveSection(identification);
    drives_[section] = parameters;
    changed_.insert(section);
}

void Settings::forgetDrives() {
    drives_.clear();
    changed_.clear();
}

bool Settings::save(std::string& error) const {
    error.clear();
    if (path_.empty()) {
        error = "no settings file was given";
        return false;
    }
    std::string text;
    std::error_code failure;
    if (base::readFileText(path_, kMaxFileBytes, text, failure) == base::FileRead::Failed) {
        error = quoted(path_) + ": " + failure.message() + "; it is left as it is";
        return false;
    }
    auto file = base::IniText::parse(text);
    if (!file) {
        error = quoted(path_) + " holds a NUL byte and cannot be read whole; it is left as it is";
        return false;
    }

    std::vector<base::SectionEdit> edits;
    if (transportLayer_) {
        edits.push_back({kMainSection, {{kTransportKey, std::to_string(*transportLayer_)}}});
    }
    for (const std::string& section : changed_) {
        const DriveParameters& drive = drives_.at(section);
        base::SectionEdit edit{section, {}};
        edit.keys = {{"SECTORSPERREAD", std::to_string(drive.sectorsPerRead)},
                     {"READRETRIES", std::to_string(drive.readRetries)},
                     {"SPEED", std::to_string(drive.speed)},
                     {kJitterCorrectionKey, std::to_string(drive.jitterCorrection)},
                     {kSecureModeKey, std::to_string(drive.secureMode)}};
        for (int slot = 0; slot < DRIVE_TABLE_SLOTS; ++slot) {
            edit.keys.emplace_back(kDriveTableKeys[slot], std::to_string(drive.driveTable[slot]));
        }
        edit.keys.emplace_back(kReadOffsetKey, std::to_string(drive.readOffset));
        edit.keys.emplace_back(kOverreadKey, std::to_string(drive.overread));
        edits.push_back(std::move(edit));
    }
    if (!file->apply(edits)) {
        error = quoted(path_) + " cannot be changed without changing what else it holds; it is "
                                "left as it is";
        return false;
    }
    if (file->text() == text) {
        return true;
    }
    // A file the user made read-only keeps what it says, the library's
    // sections too.
    if (const std::error_code failure = base::replaceFileContents(path_, file->text())) {
        error = quoted(path_) + (failure == base::FileError::ReadOnly
                                     ? " is read-only; the CD library's settings are not saved"
                                     : " cannot be written: " + failure.message());
        return false;
    }
    return true;
}

} // namespace cdlib
