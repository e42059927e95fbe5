// A CD drive of the machine through libcdio's device driver, read through
// paranoia. Transport layer 1 opens the device in libcdio's MMC access mode
// (SCSI pass-through), 0 in the kernel's CD-ROM ioctl mode. Every call that
// the drive can fail reports that failure.
#pragma once

#include "CdioHandles.h"
#include "Drive.h"
#include "ParanoiaReader.h"

#include <memory>
#include <string>
#include <vector>

namespace cdlib {

class PhysicalDrive final : public Drive {
public:
    PhysicalDrive(std::string device, int32_t transportLayer);
    ~PhysicalDrive() override;

    // The CD drives libcdio finds on this machine.
    static std::vector<std::string> devices();

    DriveKind kind() const override { return DriveKind::Physical; }
    std::string identification() const override { return identification_; }
    std::string location() const override { return device_; }

    std::optional<std::vector<TTocEntry>> readToc() override;
    bool applyParameters(const DriveParameters& parameters) override;
    bool openRange(int32_t firstSector, int32_t lastSector,
                   const DriveParameters& parameters) override;
    ChunkRead readChunk(int32_t sectors, std::span<uint8_t> buffer, const int32_t* abort) override;
    void closeRange() override;

    bool play(int32_t firstSector, int32_t lastSector) override;
    bool pause(bool paused) override;
    bool stop() override;
    PlayPosition playPosition() override;
    void setPlayPosition(uint32_t /*sector*/) override {}
    std::unique_ptr<PlaySource> playSource() override;
    bool lock(bool locked) override;
    bool eject(bool open) override;

    void transportLayerChanged(int32_t layer) override;

private:
    // Opens the device unless it is open; false when it cannot be opened.
    bool open();
    void close();

    std::string device_;
    std::string identification_;
    int32_t transportLayer_;
    // The kernel allows medium removal again when the last handle on the
    // drive closes, so a lock is re-sent on every new handle.
    bool locked_ = false;
    CdioHandle cdio_;
    std::unique_ptr<ParanoiaReader> reader_;
};

} // namespace cdlib
