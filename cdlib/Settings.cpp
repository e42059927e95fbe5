#include "Settings.h"

#include <SimpleIni.h>
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <system_error>

namespace cdlib {

namespace {

constexpr const char* kMainSection = "CDLIB";
constexpr const char* kDriveSectionPrefix = "CDLIB DRIVE ";
constexpr const char* kTransportKey = "TRANSPORTLAYER";
constexpr const char* kImageKeyPrefix = "IMAGE";
constexpr const char* kDigitalPlaybackKey = "DIGITALPLAYBACK";

constexpr int32_t kMaxSectorsPerRead = 64;
constexpr int32_t kMaxReadRetries = 100;

constexpr const char* kDriveTableKeys[DRIVE_TABLE_SLOTS] = {
    "DRIVETYPE", "READMETHOD", "SETSPEED", "ENDIAN", "ENABLEMODE", "DENSITY", "ATAPI"};
constexpr int32_t kDriveTableLimits[DRIVE_TABLE_SLOTS] = {
    CUSTOMDRIVE, READMMC4, SPEEDNEC, LITTLEENDIAN, ENABLESTD, -1, -1};

std::string imageKey(size_t index) {
    return kImageKeyPrefix + std::to_string(index + 1);
}

bool readFile(CSimpleIniA& ini, const std::string& path, bool& exists) {
    ini.SetSpaces(false);
    std::error_code error;
    exists = std::filesystem::exists(path, error);
    if (!exists) {
        return true;
    }
    // A folder or device is no settings file (and SimpleIni would take its
    // size for the size of the text).
    if (!std::filesystem::is_regular_file(path, error)) {
        return false;
    }
    return ini.LoadFile(path.c_str()) >= 0;
}

} // namespace

std::string Settings::driveSection(const std::string& identification) {
    std::string name = kDriveSectionPrefix;
    for (const char c : identification) {
        // Brackets and line ends would end the section header early.
        const bool breaksHeader = c == '[' || c == ']' || c == '\r' || c == '\n' || c == '\0';
        name += breaksHeader ? '_' : c;
    }
    return name;
}

DriveParameters sanitized(const DriveParameters& parameters) {
    DriveParameters result = parameters;
    result.sectorsPerRead = std::clamp(result.sectorsPerRead, 1, kMaxSectorsPerRead);
    // Retries come in fives: paranoia counts them in rounds of five reads.
    result.readRetries = std::clamp((result.readRetries + 4) / 5 * 5, 5, kMaxReadRetries);
    result.speed = std::clamp(result.speed, 0, CR_MAX_SPEED);
    for (int slot = 0; slot < DRIVE_TABLE_SLOTS; ++slot) {
        const int32_t limit = kDriveTableLimits[slot];
        if (limit >= 0 && (result.driveTable[slot] < 0 || result.driveTable[slot] > limit)) {
            result.driveTable[slot] = DriveParameters{}.driveTable[slot];
        }
    }
    if (result.outputFormat < STEREO44100 || result.outputFormat > MONO11025) {
        result.outputFormat = STEREO44100;
    }
    return result;
}

bool plausible(const DriveParameters& parameters) {
    const DriveParameters corrected = sanitized(parameters);
    return corrected.speed == parameters.speed &&
           corrected.outputFormat == parameters.outputFormat &&
           std::equal(std::begin(parameters.driveTable), std::end(parameters.driveTable),
                      std::begin(corrected.driveTable));
}

bool Settings::CaselessLess::operator()(const std::string& a, const std::string& b) const {
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return std::toupper(static_cast<unsigned char>(x)) <
               std::toupper(static_cast<unsigned char>(y));
    });
}

bool Settings::load(const std::string& path) {
    path_ = path;
    transportLayer_.reset();
    images_.clear();
    digitalPlayback_ = false;
    drives_.clear();

    CSimpleIniA ini;
    bool exists = false;
    if (!readFile(ini, path, exists)) {
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
            CaselessLess{}(section.substr(0, prefix.size()), prefix) ||
            CaselessLess{}(prefix, section.substr(0, prefix.size()))) {
            continue;
        }
        const char* name = section.c_str();
        DriveParameters drive;
        auto number = [&](const char* key, int32_t fallback) {
            return static_cast<int32_t>(ini.GetLongValue(name, key, fallback));
        };
        drive.sectorsPerRead = number("SECTORSPERREAD", drive.sectorsPerRead);
        drive.readRetries = number("READRETRIES", drive.readRetries);
        drive.speed = number("SPEED", drive.speed);
        drive.jitterCorrection = number("JITTERCORRECTION", 0) != 0 ? CR_TRUE : CR_FALSE;
        for (int slot = 0; slot < DRIVE_TABLE_SLOTS; ++slot) {
            drive.driveTable[slot] = number(kDriveTableKeys[slot], drive.driveTable[slot]);
        }
        drive.driveTable[SLOT_ATAPI] = drive.driveTable[SLOT_ATAPI] != 0 ? CR_TRUE : CR_FALSE;
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
    drives_[driveSection(identification)] = parameters;
}

bool Settings::save() const {
    if (path_.empty()) {
        return false;
    }
    CSimpleIniA ini;
    bool exists = false;
    if (!readFile(ini, path_, exists)) {
        return false;
    }
    if (transportLayer_) {
        ini.SetLongValue(kMainSection, kTransportKey, *transportLayer_);
    }
    for (size_t i = 0; i < images_.size(); ++i) {
        ini.SetValue(kMainSection, imageKey(i).c_str(), images_[i].c_str());
    }
    for (size_t i = images_.size(); ini.GetValue(kMainSection, imageKey(i).c_str()); ++i) {
        ini.Delete(kMainSection, imageKey(i).c_str());
    }
    for (const auto& [name, drive] : drives_) {
        const char* s = name.c_str();
        ini.SetLongValue(s, "SECTORSPERREAD", drive.sectorsPerRead);
        ini.SetLongValue(s, "READRETRIES", drive.readRetries);
        ini.SetLongValue(s, "SPEED", drive.speed);
        ini.SetLongValue(s, "JITTERCORRECTION", drive.jitterCorrection);
        for (int slot = 0; slot < DRIVE_TABLE_SLOTS; ++slot) {
            ini.SetLongValue(s, kDriveTableKeys[slot], drive.driveTable[slot]);
        }
    }

    const std::string temporary = path_ + ".saving";
    if (ini.SaveFile(temporary.c_str()) < 0) {
        std::remove(temporary.c_str());
        return false;
    }
    std::error_code error;
    std::filesystem::rename(temporary, path_, error);
    if (error) {
        std::remove(temporary.c_str());
        return false;
    }
    return true;
}

} // namespace cdlib
