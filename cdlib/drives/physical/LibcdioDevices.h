// SPDX-License-Identifier: GPL-3.0-or-later
// The machine's CD devices through libcdio's device driver.
#pragma once

#include "drives/physical/CdDevice.h"

#include <memory>
#include <string>
#include <vector>

namespace cdlib {

class LibcdioSystem final : public CdDeviceSystem {
public:
    // libcdio's list of drives, and the device nodes it passes over because
    // this user cannot open them, named with the reason.
    std::vector<DeviceCandidate> candidates() override;
    std::unique_ptr<CdDevice> open(const std::string& path, AccessMode mode) override;
    driver_return_code_t eject(const std::string& path) override;
    driver_return_code_t closeTray(const std::string& path) override;
    bool ejectThroughDiskService(const std::string& path) override;
};

} // namespace cdlib
