// SPDX-License-Identifier: GPL-3.0-or-later
// The library's list of drives, numbered as the CR_* calls number them: the
// machine's CD drives, then the disc images of the settings and of
// VARROW_CD_IMAGES (each named so that its settings section is its own),
// then the drives a caller added itself.
#pragma once

#include "drives/Drive.h"
#include "drives/physical/LibcdioDevices.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace cdlib {

class LibrarySeam;
class Settings;

class DriveList final {
public:
    DriveList() = default;
    DriveList(const DriveList&) = delete;
    DriveList& operator=(const DriveList&) = delete;

    int32_t count() const { return static_cast<int32_t>(machine_.size() + added_.size()); }
    // Null when there is no drive `number`.
    Drive* at(int32_t number) const;

    // Lists the machine's drives and the images anew. Drives that are still
    // there keep their object, and with it their state (an ejected image, a
    // locked tray); added drives stay.
    void enumerate(const Settings& settings, LibrarySeam& seam);
    // Adds a drive after every drive listed; returns its number.
    int32_t add(std::unique_ptr<Drive> drive);
    // The machine's drives and the images: those that follow the library's
    // transport layer.
    const std::vector<std::unique_ptr<Drive>>& machineDrives() const { return machine_; }
    void clear();

private:
    std::vector<std::string> imagePaths(const Settings& settings, bool listsMachine) const;
    // Images are told apart by their file name, or, where names meet, by as
    // many of the folders above as it takes.
    void nameImages();

    LibcdioSystem machineDevices_;
    std::vector<std::unique_ptr<Drive>> machine_;
    std::vector<std::unique_ptr<Drive>> added_;
};

} // namespace cdlib
