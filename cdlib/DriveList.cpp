// The library's list of drives: the machine's CD drives and the disc images
// of the settings and of VARROW_CD_IMAGES, each named so that its settings
// section is its own.
#include "ImageDrive.h"
#include "Library.h"
#include "PhysicalDrive.h"
#include "TestHooks.h"

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

std::vector<std::string> Library::imagePaths() const {
    std::vector<std::string> paths;
    std::set<std::string> seen;
    auto add = [&](const std::string& path) {
        const std::string canonical = canonicalPath(path);
        if (seen.insert(canonical).second) {
            paths.push_back(canonical);
        }
    };
    for (const std::string& path : settings_.images()) {
        add(path);
    }
    if (hostDrivesEnabled_) {
        for (const std::string& path : splitPaths(std::getenv("VARROW_CD_IMAGES"))) {
            add(path);
        }
    }
    return paths;
}

void Library::enumerateHostDrives() {
    // Drives that are still there keep their object, and with it their
    // state (an ejected image, a locked tray).
    std::map<std::string, std::unique_ptr<Drive>> previous;
    for (auto& drive : host_) {
        previous[drive->location()] = std::move(drive);
    }
    host_.clear();
    auto reuse = [&](const std::string& location) -> std::unique_ptr<Drive> {
        const auto found = previous.find(location);
        if (found == previous.end()) {
            return nullptr;
        }
        auto drive = std::move(found->second);
        previous.erase(found);
        return drive;
    };
    // Devices a test installed stand in for the machine's drives.
    if (hostDrivesEnabled_ || deviceSystemReplaced()) {
        std::map<std::string, std::vector<PhysicalDrive*>> byIdentification;
        for (const DeviceCandidate& device : PhysicalDrive::devices(deviceSystem())) {
            auto drive = reuse(device.path);
            host_.push_back(drive ? std::move(drive)
                                  : std::make_unique<PhysicalDrive>(deviceSystem(), device));
            auto* physical = static_cast<PhysicalDrive*>(host_.back().get());
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
    for (const std::string& path : imagePaths()) {
        auto drive = reuse(path);
        host_.push_back(drive ? std::move(drive) : std::make_unique<ImageDrive>(path));
    }
    nameImages();
}

// Images are told apart by their file name, or, where names meet, by as
// many of the folders above as it takes: the identification also keys the
// drive's settings section, whose name the file compares without regard to
// case.
void Library::nameImages() {
    struct Named {
        ImageDrive* drive;
        std::vector<std::string> parts; // file name first, then the folders up
        size_t depth = 1;
        std::string shown;
    };
    std::vector<Named> images;
    for (auto& drive : host_) {
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
