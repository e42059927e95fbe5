// SPDX-License-Identifier: GPL-3.0-or-later
#include "FakeDevices.h"

#include "TestHooks.h"
#include "drives/CdioHandles.h"

#include <algorithm>
#include <cerrno>

namespace cdlib::testing {

namespace {

std::string describe(const msf_t& msf) {
    return std::to_string(cdio_msf_to_lsn(&msf));
}

class FakeHandle final : public CdDevice {
public:
    FakeHandle(std::shared_ptr<FakeDrive> drive, bool writable)
        : drive_(std::move(drive))
        , writable_(writable) {
        ++drive_->openHandles;
        drive_->log.push_back(writable ? "open rw" : "open ro");
    }

    ~FakeHandle() override {
        cdio_.reset();
        drive_->log.push_back("close");
        // The kernel allows removal again when the last handle closes.
        if (--drive_->openHandles == 0) {
            drive_->doorLocked = false;
        }
    }

    CdIo_t* disc() override {
        if (!cdio_ && !drive_->cue.empty() && !drive_->trayOpen) {
            cdio_.reset(cdio_open(drive_->cue.c_str(), DRIVER_BINCUE));
        }
        return cdio_.get();
    }

    bool writable() const override { return writable_; }
    std::string hardwareInfo() override { return drive_->hardwareInfo; }

    driver_return_code_t setSpeed(int factor) override {
        drive_->log.push_back("speed " + std::to_string(factor));
        if (drive_->refusesSpeed) {
            errno = EINVAL;
            return static_cast<driver_return_code_t>(-1); // the raw ioctl result
        }
        return DRIVER_OP_SUCCESS;
    }

    driver_return_code_t playMsf(msf_t start, msf_t end) override {
        drive_->log.push_back("play " + describe(start) + "-" + describe(end));
        return DRIVER_OP_SUCCESS;
    }
    driver_return_code_t pause() override { return logged("pause"); }
    driver_return_code_t resume() override { return logged("resume"); }
    driver_return_code_t stopPlay() override { return logged("stop play"); }

    driver_return_code_t readSubchannel(cdio_subchannel_t& subchannel) override {
        subchannel = drive_->subchannel;
        return drive_->subchannelResult;
    }

    driver_return_code_t preventRemoval(bool prevent) override {
        drive_->log.push_back(std::string("prevent ") + (prevent ? "1" : "0"));
        if (!writable_) {
            return DRIVER_OP_NOT_PERMITTED; // the kernel's EPERM on a read-only handle
        }
        if (!prevent && drive_->refusesUnlock) {
            return DRIVER_OP_ERROR;
        }
        drive_->doorLocked = prevent;
        return DRIVER_OP_SUCCESS;
    }

    driver_return_code_t lastSessionStart(lsn_t& start) override {
        if (drive_->cue.empty() || drive_->trayOpen) {
            return DRIVER_OP_ERROR;
        }
        start = drive_->lastSession;
        return DRIVER_OP_SUCCESS;
    }

    MediumState medium() override {
        if (drive_->trayOpen) {
            return MediumState::TrayOpen;
        }
        if (drive_->cue.empty() || drive_->mediumGone) {
            return MediumState::NoMedium;
        }
        if (drive_->spinUpPolls > 0) {
            --drive_->spinUpPolls;
            return MediumState::BecomingReady;
        }
        return MediumState::Ready;
    }

private:
    driver_return_code_t logged(const char* entry) {
        drive_->log.emplace_back(entry);
        return DRIVER_OP_SUCCESS;
    }

    std::shared_ptr<FakeDrive> drive_;
    bool writable_;
    CdioHandle cdio_;
};

} // namespace

bool FakeDrive::logged(const std::string& entry) const {
    return std::find(log.begin(), log.end(), entry) != log.end();
}

FakeDeviceSystem::FakeDeviceSystem(std::vector<std::shared_ptr<FakeDrive>> drives)
    : drives_(std::move(drives)) {
    // A removed disc or a scratch fails a READ CD with EIO, as the kernel
    // reports it. Tests that count reads have one drive.
    setSectorReadFilter([drives = drives_](void* buffer, int32_t first, long sectors,
                                           const SectorReader& read) -> long {
        for (const auto& drive : drives) {
            ++drive->reads;
            if (drive->removedAtSector && first + sectors > *drive->removedAtSector) {
                drive->mediumGone = true;
            }
            const bool scratched = drive->unreadable && first <= drive->unreadable->second &&
                                   first + sectors > drive->unreadable->first;
            if (drive->mediumGone || scratched) {
                ++drive->failedReads;
                errno = EIO;
                return -1;
            }
        }
        return read(buffer, first, sectors);
    });
}

FakeDeviceSystem::~FakeDeviceSystem() = default;

std::shared_ptr<FakeDrive> FakeDeviceSystem::find(const std::string& path) const {
    for (const auto& drive : drives_) {
        if (drive->path == path ||
            std::find(drive->aliases.begin(), drive->aliases.end(), path) != drive->aliases.end()) {
            return drive;
        }
    }
    return nullptr;
}

std::vector<DeviceCandidate> FakeDeviceSystem::candidates() {
    std::vector<DeviceCandidate> result;
    for (const auto& drive : drives_) {
        // libcdio lists /dev/cdrom before the node it links to.
        for (const std::string& alias : drive->aliases) {
            result.push_back({alias, drive->path, drive->problem});
        }
        result.push_back({drive->path, drive->path, drive->problem});
    }
    return result;
}

std::unique_ptr<CdDevice> FakeDeviceSystem::open(const std::string& path, AccessMode mode) {
    const auto drive = find(path);
    if (!drive || !drive->problem.empty() || (mode == AccessMode::ReadWrite && !drive->mayWrite)) {
        return nullptr;
    }
    return std::make_unique<FakeHandle>(drive, mode == AccessMode::ReadWrite);
}

driver_return_code_t FakeDeviceSystem::eject(const std::string& path) {
    const auto drive = find(path);
    drive->log.push_back("eject handles=" + std::to_string(drive->openHandles));
    // The kernel ejects only through the one handle open on the drive.
    if (drive->openHandles > 0 || drive->directEjectFails || drive->doorLocked) {
        return DRIVER_OP_ERROR;
    }
    drive->trayOpen = true;
    return DRIVER_OP_SUCCESS;
}

driver_return_code_t FakeDeviceSystem::closeTray(const std::string& path) {
    const auto drive = find(path);
    drive->log.emplace_back("close tray");
    drive->trayOpen = false;
    return DRIVER_OP_SUCCESS;
}

bool FakeDeviceSystem::ejectThroughDiskService(const std::string& path) {
    const auto drive = find(path);
    drive->log.emplace_back("disk service eject");
    if (drive->diskServiceEjects) {
        drive->trayOpen = true;
    }
    return drive->diskServiceEjects;
}

void installFakeDrives(std::vector<std::shared_ptr<FakeDrive>> drives) {
    setDeviceSystem(std::make_unique<FakeDeviceSystem>(std::move(drives)));
}

msf_t bcdMsf(int32_t sector) {
    msf_t msf{};
    cdio_lsn_to_msf(sector, &msf);
    return msf;
}

} // namespace cdlib::testing
