// SPDX-License-Identifier: GPL-3.0-or-later
// CD devices for the physical-drive tests: each serves a BIN/CUE image
// through real libcdio and paranoia, while the calls that need hardware
// answer as libcdio 2.1's Linux driver does (the kernel's -1 for a refused
// ioctl, "not permitted" for EPERM, an error for a READ CD that failed with
// EIO, the last session's start from CDROMMULTISESSION).
#pragma once

#include "drives/physical/CdDevice.h"

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace cdlib::testing {

// One drive: what the test sets up and what the drive saw.
struct FakeDrive {
    std::string path = "/dev/sr0";
    std::vector<std::string> aliases; // other names of the same device
    std::string problem;
    std::string hardwareInfo = "VARROW FAKE DRIVE 1.00";
    // The disc in the drive; empty: no disc.
    std::filesystem::path cue;
    bool trayOpen = false;
    // TEST UNIT READY answers "becoming ready" this many times first.
    int spinUpPolls = 0;
    lsn_t lastSession = 0;
    bool mayWrite = true;
    bool refusesSpeed = false;
    bool refusesUnlock = false;
    bool directEjectFails = false;
    bool diskServiceEjects = true;
    // From this sector on every READ CD fails and the drive has no medium.
    std::optional<int32_t> removedAtSector;
    // A scratch: every READ CD that touches these sectors (first, last) fails
    // with EIO as a whole, while the disc stays in the drive.
    std::optional<std::pair<int32_t, int32_t>> unreadable;
    cdio_subchannel_t subchannel{};
    driver_return_code_t subchannelResult = DRIVER_OP_SUCCESS;

    // What happened, in order: "open rw", "open ro", "close", "speed 8",
    // "play 0-1001" (sectors, end exclusive), "pause", "resume", "stop play",
    // "prevent 1", "eject handles=0", "close tray", "disk service eject".
    std::vector<std::string> log;
    int openHandles = 0;
    // READ CD commands given to the drive, and those that failed.
    int reads = 0;
    int failedReads = 0;
    bool doorLocked = false;
    bool mediumGone = false;

    bool logged(const std::string& entry) const;
};

class FakeDeviceSystem final : public CdDeviceSystem {
public:
    explicit FakeDeviceSystem(std::vector<std::shared_ptr<FakeDrive>> drives);
    ~FakeDeviceSystem() override;

    std::vector<DeviceCandidate> candidates() override;
    std::unique_ptr<CdDevice> open(const std::string& path, AccessMode mode) override;
    driver_return_code_t eject(const std::string& path) override;
    driver_return_code_t closeTray(const std::string& path) override;
    bool ejectThroughDiskService(const std::string& path) override;

private:
    std::shared_ptr<FakeDrive> find(const std::string& path) const;

    std::vector<std::shared_ptr<FakeDrive>> drives_;
};

// Installs `drives` as the machine's drives (from the next CR_Init).
void installFakeDrives(std::vector<std::shared_ptr<FakeDrive>> drives);

// BCD MSF of a sector, as libcdio's subchannel read delivers it.
msf_t bcdMsf(int32_t sector);

} // namespace cdlib::testing
