// SPDX-License-Identifier: GPL-3.0-or-later
// The library's own part of the settings file: the transport layer, the
// list of disc images, and one section of parameters per drive, keyed by the
// drive's identification text. Every other section and key of the file, and
// every byte outside the keys the library writes, stays exactly as it is
// when the library saves.
#pragma once

#include "drives/DriveParameters.h"

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace cdlib {

class Settings final {
public:
    // Reads the library's sections of `path`; a file that does not exist yet
    // reads as empty. False when the file exists but cannot be read whole:
    // the settings are then empty (the library's defaults) and loadError()
    // says why.
    bool load(const std::string& path);
    const std::string& loadError() const { return loadError_; }

    // Writes the transport layer and the parameters of every drive set since
    // the load into the file of the last load, and nothing else. The file is
    // replaced in one step (a new file renamed over it); a file that cannot
    // be read whole is not rewritten. False, with the reason in `error`, on
    // failure; the file then stays as it was.
    bool save(std::string& error) const;

    const std::string& path() const { return path_; }

    std::optional<DriveParameters> drive(const std::string& identification) const;
    void setDrive(const std::string& identification, const DriveParameters& parameters);
    // Forgets the parameters of every drive, as a file without any would.
    void forgetDrives();

    std::optional<int32_t> transportLayer() const { return transportLayer_; }
    void setTransportLayer(int32_t layer) { transportLayer_ = layer; }

    const std::vector<std::string>& images() const { return images_; }

    // Physical drives play through the sound server instead of their
    // analogue output (key DIGITALPLAYBACK, off unless set to 1).
    bool digitalPlayback() const { return digitalPlayback_; }

    // The section that holds a drive's parameters.
    static std::string driveSection(const std::string& identification);

private:
    // Section names compare without regard to case, as the file's do.
    struct CaselessLess {
        bool operator()(const std::string& a, const std::string& b) const;
    };

    std::string path_;
    std::string loadError_;
    std::optional<int32_t> transportLayer_;
    std::vector<std::string> images_;
    bool digitalPlayback_ = false;
    std::map<std::string, DriveParameters, CaselessLess> drives_;
    std::set<std::string, CaselessLess> changed_;
};

} // namespace cdlib
