// SPDX-License-Identifier: GPL-3.0-or-later
#include "library/DriveList.h"

#include "drives/images/ImageDrive.h"
#include "drives/physical/PhysicalDrive.h"
#include "library/LibrarySeam.h"
#include "settings/Settings.h"

#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace cdlib {

namespace {

std::vector<std::string> splitPaths(const char* list) {
    std::vector<std::string> paths;
    if (list == nullptr) {
        return paths;
    }
    std::string current;
    for (const char* c = list;; ++c) {
        if (*c == ':' || *c == '\0') {
            if (!current.empty()) {
                paths.push_back(current);
            }
            current.clear();
            if (*c == '\0') {
                break;
            }
        } else {
            current += *c;
        }
    }
    return paths;
}

std::string canonicalPath(const std::string& path) {
    std::error_code error;
    const auto canonical = std::filesystem::weakly_canonical(path, error);
    return error ? path : canonical.string();
}

} // namespace

Drive* DriveList::at(int32_t number) const {
    if (number < 0 || number >= count()) {
        return nullptr;
    }
    const auto index = static_cast<size_t>(number);
    if (index < machine_.size()) {
        return machine_[index].get();
    }
    return added_[index - machine_.size()].get();
}

int32_t DriveList::add(std::unique_ptr<Drive> drive) {
    added_.push_back(std::move(drive));
    return count() - 1;
}

void DriveList::clear() {
    machine_.clear();
    added_.clear();
}

std::vector<std::string> DriveList::imagePaths(const Settings& settings, bool listsMachine) const {
    std::vector<std::string> paths;
    std::set<std::string> seen;
    auto add = [&](const std::string& path) {
        const std::string canonical = canonicalPath(path);
        if (seen.insert(canonical).second) {
            paths.push_back(canonical);
        }
    };
    for (const std::string& path : settings.images()) {
        add(path);
    }
    if (listsMachine) {
        for (const std::string& path : splitPaths(std::getenv("VARROW_CD_IMAGES"))) {
            add(path);
        }
    }
    return paths;
}

void DriveList::enumerate(const Settings& settings, LibrarySeam& seam) {
    std::map<std::string, std::unique_ptr<Drive>> previous;
    for (auto& drive : machine_) {
        previous[drive->location()] = std::move(drive);
    }
    machine_.clear();
    auto reuse = [&](const std::string& location) -> std::unique_ptr<Drive> {
        const auto found = previous.find(location);
        if (found == previous.end()) {
            return nullptr;
        }
        auto drive = std::move(found->second);
        previous.erase(found);
        return drive;
    };
    // Devices of the seam stand in for the machine's drives.
    CdDeviceSystem* const standIns = seam.devices();
    if (seam.listsMachineDrives() || standIns != nullptr) {
        CdDeviceSystem& devices = standIns != nullptr ? *standIns : machineDevices_;
        std::map<std::string, std::vector<PhysicalDrive*>> byIdentification;
        for (const DeviceCandidate& device : PhysicalDrive::devices(devices)) {
            auto drive = reuse(device.path);
            machine_.push_back(drive ? std::move(drive)
                                     : std::make_unique<PhysicalDrive>(devices, device));
            auto* physical = static_cast<PhysicalDrive*>(machine_.back().get());
            byIdentification[physical->identification()].push_back(physical);
        }
        for (auto& [identification, drives] : byIdentification) {
            if (drives.size() > 1) {
                for (PhysicalDrive* drive : drives) {
                    drive->nameByDevice();
                }
            }
        }
    }
    for (const std::string& path : imagePaths(settings, seam.listsMachineDrives())) {
        auto drive = reuse(path);
        machine_.push_back(drive ? std::move(drive) : std::make_unique<ImageDrive>(path));
    }
    nameImages();
}

// The identification also keys the drive's settings section, whose name the
// file compares without regard to case.
void DriveList::nameImages() {
    struct Named {
        ImageDrive* drive;
        std::vector<std::string> parts; // file name first, then the folders up
        size_t depth = 1;
        std::string shown;
    };
    std::vector<Named> images;
    for (auto& drive : machine_) {
        if (drive->kind() != DriveKind::Image) {
            continue;
        }
        Named named{static_cast<ImageDrive*>(drive.get()), {}, 1, {}};
        for (const auto& part : std::filesystem::path(drive->location()).relative_path()) {
            named.parts.insert(named.parts.begin(), part.string());
        }
        if (named.parts.empty()) {
            named.parts.push_back(drive->location());
        }
        images.push_back(std::move(named));
    }
    auto key = [](const std::string& shown) {
        std::string section = Settings::driveSection("Image " + shown);
        for (char& c : section) {
            c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        }
        return section;
    };
    std::map<std::string, int> uses;
    for (bool deeper = true; deeper;) {
        uses.clear();
        for (Named& image : images) {
            image.shown.clear();
            for (size_t i = image.depth; i-- > 0;) {
                image.shown += image.parts[i] + (i > 0 ? "/" : "");
            }
            ++uses[key(image.shown)];
        }
        deeper = false;
        for (Named& image : images) {
            if (uses[key(image.shown)] > 1 && image.depth < image.parts.size()) {
                ++image.depth;
                deeper = true;
            }
        }
    }
    // Whole paths that differ only in case still need telling apart.
    std::map<std::string, int> seen;
    for (Named& image : images) {
        const int count = ++seen[key(image.shown)];
        image.drive->setShownPath(count > 1 ? image.shown + " #" + std::to_string(count)
                                            : image.shown);
    }
}

} // namespace cdlib
