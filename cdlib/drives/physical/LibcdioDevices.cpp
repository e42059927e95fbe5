// SPDX-License-Identifier: GPL-3.0-or-later
#include "drives/physical/LibcdioDevices.h"

#include "drives/CdioHandles.h"
#include "drives/physical/DiskService.h"

#include <cdio/mmc.h>
#include <cdio/mmc_ll_cmds.h>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <grp.h>
#include <set>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

namespace cdlib {

namespace {

constexpr unsigned kCommandTimeoutMs = 10000;
// SCSI sense: NOT READY, with the additional sense codes that tell why.
constexpr uint8_t kSenseNotReady = 2;
constexpr uint8_t kAscBecomingReady = 0x04;
constexpr uint8_t kAscqBecomingReady = 0x01;
constexpr uint8_t kAscMediumNotPresent = 0x3a;
constexpr uint8_t kAscqTrayOpen = 0x02;
constexpr uint8_t kStopPlayScan = 0x4e;
// Device nodes libcdio passes over when it cannot open them.
constexpr int kScannedNodes = 32;

std::string trimmed(std::string_view text) {
    const auto first = text.find_first_not_of(' ');
    if (first == std::string_view::npos) {
        return {};
    }
    return std::string(text.substr(first, text.find_last_not_of(' ') - first + 1));
}

class LibcdioDevice final : public CdDevice {
public:
    LibcdioDevice(CdioHandle cdio, bool writable)
        : cdio_(std::move(cdio))
        , writable_(writable) {}

    CdIo_t* disc() override { return cdio_.get(); }
    bool writable() const override { return writable_; }

    std::string hardwareInfo() override {
        cdio_hwinfo_t info{};
        if (!cdio_get_hwinfo(cdio_.get(), &info)) {
            return {};
        }
        return trimmed(trimmed(info.psz_vendor) + " " + trimmed(info.psz_model) + " " +
                       trimmed(info.psz_revision));
    }

    driver_return_code_t setSpeed(int factor) override {
        return cdio_set_speed(cdio_.get(), factor);
    }
    driver_return_code_t playMsf(msf_t start, msf_t end) override {
        return cdio_audio_play_msf(cdio_.get(), &start, &end);
    }
    driver_return_code_t pause() override { return cdio_audio_pause(cdio_.get()); }
    driver_return_code_t resume() override { return cdio_audio_resume(cdio_.get()); }

    driver_return_code_t stopPlay() override {
        // libcdio's audio stop is the kernel's CDROMSTOP, a START STOP UNIT
        // that spins the disc down.
        mmc_cdb_t cdb{};
        cdb.field[0] = kStopPlayScan;
        const driver_return_code_t code =
            mmc_run_cmd(cdio_.get(), kCommandTimeoutMs, &cdb, SCSI_MMC_DATA_NONE, 0, nullptr);
        // A kernel that filters the command on a read-only handle still
        // takes its own stop: playing must end, spun down or not.
        return code == DRIVER_OP_SUCCESS ? code : cdio_audio_stop(cdio_.get());
    }

    driver_return_code_t readSubchannel(cdio_subchannel_t& subchannel) override {
        return cdio_audio_read_subchannel(cdio_.get(), &subchannel);
    }
    driver_return_code_t preventRemoval(bool prevent) override {
        return mmc_prevent_allow_medium_removal(cdio_.get(), false, prevent, kCommandTimeoutMs);
    }
    driver_return_code_t lastSessionStart(lsn_t& start) override {
        return cdio_get_last_session(cdio_.get(), &start);
    }

    MediumState medium() override {
        if (mmc_test_unit_ready(cdio_.get(), kCommandTimeoutMs) == DRIVER_OP_SUCCESS) {
            return MediumState::Ready;
        }
        cdio_mmc_request_sense_t* sense = nullptr;
        const int bytes = mmc_last_cmd_sense(cdio_.get(), &sense);
        MediumState state = MediumState::Unknown;
        if (bytes >= 14 && sense != nullptr && sense->sense_key == kSenseNotReady) {
            if (sense->asc == kAscMediumNotPresent) {
                state =
                    sense->ascq == kAscqTrayOpen ? MediumState::TrayOpen : MediumState::NoMedium;
            } else if (sense->asc == kAscBecomingReady && sense->ascq == kAscqBecomingReady) {
                state = MediumState::BecomingReady;
            }
        }
        cdio_free(sense);
        return state;
    }

private:
    CdioHandle cdio_;
    bool writable_;
};

bool inGroup(gid_t group) {
    if (getegid() == group) {
        return true;
    }
    const int count = getgroups(0, nullptr);
    if (count <= 0) {
        return false;
    }
    std::vector<gid_t> groups(static_cast<size_t>(count));
    const int got = getgroups(count, groups.data());
    for (int i = 0; i < got; ++i) {
        if (groups[static_cast<size_t>(i)] == group) {
            return true;
        }
    }
    return false;
}

// Why this user cannot read the device node, or empty when it can.
std::string permissionProblem(const std::string& path) {
    if (access(path.c_str(), R_OK) == 0) {
        return {};
    }
    struct stat status {};
    if (errno != EACCES || stat(path.c_str(), &status) != 0) {
        return "cannot be opened";
    }
    if (!inGroup(status.st_gid)) {
        if (const struct group* group = getgrgid(status.st_gid); group != nullptr) {
            return std::string("no permission: not in group ") + group->gr_name;
        }
    }
    return "no permission";
}

std::string identityOf(const std::string& path) {
    std::error_code error;
    const auto canonical = std::filesystem::canonical(path, error);
    return error ? path : canonical.string();
}

} // namespace

std::vector<DeviceCandidate> LibcdioSystem::candidates() {
    std::vector<DeviceCandidate> result;
    std::set<std::string> listed;
    if (char** list = cdio_get_devices(DRIVER_DEVICE); list != nullptr) {
        for (char** device = list; *device != nullptr; ++device) {
            result.push_back({*device, identityOf(*device), {}});
            listed.insert(result.back().identity);
        }
        cdio_free_device_list(list);
    }
    // libcdio lists only devices it can open; the others are named with
    // the reason, so that the user learns what to do.
    for (int i = 0; i < kScannedNodes; ++i) {
        const std::string path = "/dev/sr" + std::to_string(i);
        struct stat status {};
        if (stat(path.c_str(), &status) != 0 || !S_ISBLK(status.st_mode) ||
            listed.count(identityOf(path)) != 0) {
            continue;
        }
        if (std::string problem = permissionProblem(path); !problem.empty()) {
            result.push_back({path, identityOf(path), std::move(problem)});
        }
    }
    return result;
}

std::unique_ptr<CdDevice> LibcdioSystem::open(const std::string& path, AccessMode mode) {
    const bool writable = mode == AccessMode::ReadWrite;
    CdioHandle cdio(cdio_open_am(path.c_str(), DRIVER_DEVICE, writable ? "MMC_RDWR" : "IOCTL"));
    if (!cdio) {
        return nullptr;
    }
    return std::make_unique<LibcdioDevice>(std::move(cdio), writable);
}

driver_return_code_t LibcdioSystem::eject(const std::string& path) {
    return cdio_eject_media_drive(path.c_str());
}

driver_return_code_t LibcdioSystem::closeTray(const std::string& path) {
    driver_id_t driver = DRIVER_DEVICE;
    return cdio_close_tray(path.c_str(), &driver);
}

bool LibcdioSystem::ejectThroughDiskService(const std::string& path) {
    return ejectWithUdisks(identityOf(path));
}

} // namespace cdlib
