// SPDX-License-Identifier: GPL-3.0-or-later
// What the physical-drive back end asks of the machine's CD devices, so that
// it can be tested without a drive. The production implementation calls
// libcdio's device driver; its answers are libcdio's return codes exactly as
// its Linux driver gives them (raw ioctl results of -1 included), and a test
// implementation answers the same way while it serves a disc image. The
// machine's are LibcdioSystem's; the library's seam may stand others in.
#pragma once

// libcdio's audio declarations need its main header first.
#include <cdio/cdio.h>
// clang-format off
#include <cdio/audio.h>
// clang-format on
#include <memory>
#include <string>
#include <vector>

namespace cdlib {

// What TEST UNIT READY says about the medium.
enum class MediumState { Ready, BecomingReady, NoMedium, TrayOpen, Unknown };

// One open handle on a device. Closing the last handle on a drive makes the
// kernel allow medium removal again.
class CdDevice {
public:
    CdDevice() = default;
    CdDevice(const CdDevice&) = delete;
    CdDevice& operator=(const CdDevice&) = delete;
    virtual ~CdDevice() = default;

    // The libcdio handle the disc is read through: table of contents and
    // audio sectors (paranoia reads with it).
    virtual CdIo_t* disc() = 0;
    // True when the handle was opened for writing (the kernel passes
    // PREVENT ALLOW MEDIUM REMOVAL only then).
    virtual bool writable() const = 0;
    // Vendor, model and revision, blank-trimmed and joined; empty if unknown.
    virtual std::string hardwareInfo() = 0;

    virtual driver_return_code_t setSpeed(int factor) = 0;
    // PLAY AUDIO MSF: `end` is exclusive.
    virtual driver_return_code_t playMsf(msf_t start, msf_t end) = 0;
    virtual driver_return_code_t pause() = 0;
    virtual driver_return_code_t resume() = 0;
    // STOP PLAY/SCAN: ends playing and leaves the disc spinning.
    virtual driver_return_code_t stopPlay() = 0;
    // Addresses in libcdio's BCD MSF form.
    virtual driver_return_code_t readSubchannel(cdio_subchannel_t& subchannel) = 0;
    virtual driver_return_code_t preventRemoval(bool prevent) = 0;
    // The first sector of the disc's last session (0 on a one-session disc).
    virtual driver_return_code_t lastSessionStart(lsn_t& start) = 0;
    virtual MediumState medium() = 0;
};

// A device node that may be a CD drive.
struct DeviceCandidate {
    std::string path;
    // Equal for two names of one device (a link and its target).
    std::string identity;
    // Why the device cannot be used, or empty.
    std::string problem;
};

enum class AccessMode { ReadWrite, ReadOnly };

class CdDeviceSystem {
public:
    CdDeviceSystem() = default;
    CdDeviceSystem(const CdDeviceSystem&) = delete;
    CdDeviceSystem& operator=(const CdDeviceSystem&) = delete;
    virtual ~CdDeviceSystem() = default;

    // Every CD drive of the machine, also those this user may not open; the
    // same device may come under more than one name.
    virtual std::vector<DeviceCandidate> candidates() = 0;
    // Null when the device cannot be opened in `mode`.
    virtual std::unique_ptr<CdDevice> open(const std::string& path, AccessMode mode) = 0;
    // Eject and close by device name; no handle of ours may be open, or the
    // kernel refuses.
    virtual driver_return_code_t eject(const std::string& path) = 0;
    virtual driver_return_code_t closeTray(const std::string& path) = 0;
    // Asks the desktop's disk service to unmount what it mounted from the
    // disc and eject it, as the user; false when it could not.
    virtual bool ejectThroughDiskService(const std::string& path) = 0;
};

} // namespace cdlib
