#include "PhysicalDrive.h"

#include "CdioPlaySource.h"
#include "ImageDrive.h"

#include <cdio/audio.h>
#include <cdio/mmc_ll_cmds.h>
#include <string_view>

namespace cdlib {

namespace {

const char* accessModeFor(int32_t transportLayer) {
    return transportLayer == CR_TRANSPORT_SCSI ? "MMC_RDWR" : "IOCTL";
}

std::string trimmed(std::string_view text) {
    const auto first = text.find_first_not_of(' ');
    if (first == std::string_view::npos) {
        return {};
    }
    return std::string(text.substr(first, text.find_last_not_of(' ') - first + 1));
}

msf_t msfOf(int32_t sector) {
    msf_t msf{};
    cdio_lsn_to_msf(sector, &msf);
    return msf;
}

bool succeeded(driver_return_code_t code) {
    return code == DRIVER_OP_SUCCESS;
}

} // namespace

std::vector<std::string> PhysicalDrive::devices() {
    std::vector<std::string> result;
    char** list = cdio_get_devices(DRIVER_DEVICE);
    if (list == nullptr) {
        return result;
    }
    for (char** device = list; *device != nullptr; ++device) {
        result.emplace_back(*device);
    }
    cdio_free_device_list(list);
    return result;
}

PhysicalDrive::PhysicalDrive(std::string device, int32_t transportLayer)
    : device_(std::move(device))
    , identification_(device_)
    , transportLayer_(transportLayer) {
    if (open()) {
        cdio_hwinfo_t info{};
        if (cdio_get_hwinfo(cdio_.get(), &info)) {
            const std::string text =
                trimmed(trimmed(info.psz_vendor) + " " + trimmed(info.psz_model) + " " +
                        trimmed(info.psz_revision));
            if (!text.empty()) {
                identification_ = text;
            }
        }
    }
}

PhysicalDrive::~PhysicalDrive() {
    close();
}

bool PhysicalDrive::open() {
    if (!cdio_) {
        cdio_.reset(cdio_open_am(device_.c_str(), DRIVER_DEVICE, accessModeFor(transportLayer_)));
        if (cdio_ && locked_) {
            mmc_prevent_allow_medium_removal(cdio_.get(), false, true, 0);
        }
    }
    return cdio_ != nullptr;
}

void PhysicalDrive::close() {
    reader_.reset(); // it borrows the device handle
    cdio_.reset();
}

void PhysicalDrive::transportLayerChanged(int32_t layer) {
    if (layer != transportLayer_) {
        transportLayer_ = layer;
        close();
    }
}

std::optional<std::vector<TTocEntry>> PhysicalDrive::readToc() {
    // libcdio keeps the table it read first; a fresh handle sees a changed disc.
    if (!reader_) {
        cdio_.reset();
    }
    if (!open()) {
        return std::nullopt;
    }
    return tocOf(cdio_.get());
}

bool PhysicalDrive::applyParameters(const DriveParameters& parameters) {
    if (parameters.driveTable[SLOT_SETSPEED] == SPEEDNONE || parameters.speed <= 0) {
        return true;
    }
    if (!open()) {
        return false;
    }
    const driver_return_code_t code = cdio_set_speed(cdio_.get(), parameters.speed);
    // A drive without speed control still reads at its own pace.
    return succeeded(code) || code == DRIVER_OP_UNSUPPORTED;
}

bool PhysicalDrive::openRange(int32_t firstSector, int32_t /*lastSector*/,
                              const DriveParameters& parameters) {
    reader_.reset();
    if (!open()) {
        return false;
    }
    reader_ = ParanoiaReader::open(cdio_.get(), firstSector, parameters);
    return reader_ != nullptr;
}

ChunkRead PhysicalDrive::readChunk(int32_t sectors, std::span<uint8_t> buffer,
                                   const int32_t* abort) {
    if (!reader_) {
        // The medium went away under the range: pass over what is left.
        return ChunkRead::lost(sectors);
    }
    return reader_->read(sectors, buffer, abort);
}

void PhysicalDrive::closeRange() {
    reader_.reset();
}

bool PhysicalDrive::play(int32_t firstSector, int32_t lastSector) {
    if (!open() || firstSector < 0 || lastSector < firstSector) {
        return false;
    }
    msf_t start = msfOf(firstSector);
    msf_t end = msfOf(lastSector);
    return succeeded(cdio_audio_play_msf(cdio_.get(), &start, &end));
}

bool PhysicalDrive::pause(bool paused) {
    if (!open()) {
        return false;
    }
    return succeeded(paused ? cdio_audio_pause(cdio_.get()) : cdio_audio_resume(cdio_.get()));
}

bool PhysicalDrive::stop() {
    return open() && succeeded(cdio_audio_stop(cdio_.get()));
}

PlayPosition PhysicalDrive::playPosition() {
    PlayPosition position;
    cdio_subchannel_t subchannel{};
    if (!open() || !succeeded(cdio_audio_read_subchannel(cdio_.get(), &subchannel))) {
        return position;
    }
    const lsn_t absolute = cdio_msf_to_lsn(&subchannel.abs_addr);
    const lba_t inTrack = cdio_msf_to_lba(&subchannel.rel_addr);
    position.absolute = absolute > 0 ? static_cast<uint32_t>(absolute) : 0;
    position.inTrack = inTrack > 0 ? static_cast<uint32_t>(inTrack) : 0;
    return position;
}

std::unique_ptr<PlaySource> PhysicalDrive::playSource() {
    return CdioPlaySource::open(
        CdioHandle(cdio_open_am(device_.c_str(), DRIVER_DEVICE, accessModeFor(transportLayer_))));
}

bool PhysicalDrive::lock(bool locked) {
    if (!open() || !succeeded(mmc_prevent_allow_medium_removal(cdio_.get(), false, locked, 0))) {
        return false;
    }
    locked_ = locked;
    return true;
}

bool PhysicalDrive::eject(bool openTray) {
    if (openTray && locked_) {
        return false; // a locked tray stays shut
    }
    // libcdio's eject frees the handle it is given; eject by device name
    // instead, with no handle of ours open on the drive.
    close();
    if (openTray) {
        return succeeded(cdio_eject_media_drive(device_.c_str()));
    }
    driver_id_t driver = DRIVER_DEVICE;
    return succeeded(cdio_close_tray(device_.c_str(), &driver));
}

} // namespace cdlib
