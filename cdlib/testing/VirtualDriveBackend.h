// SPDX-License-Identifier: GPL-3.0-or-later
// A VirtualDrive as one of the library's drives: plays out the drive's disc
// and its script of faults. What the script says of the CR_* calls
// themselves reaches the library through the test seam (TestSeam.h).
#pragma once

#include "VirtualDrive.h"
#include "drives/Drive.h"

#include <chrono>
#include <memory>

namespace cdlib {

class VirtualDriveBackend final : public Drive {
public:
    explicit VirtualDriveBackend(std::shared_ptr<VirtualDrive> drive);

    DriveKind kind() const override { return DriveKind::Virtual; }
    std::string identification() const override { return drive_->id(); }
    std::string location() const override { return "virtual:" + drive_->id(); }

    std::optional<std::vector<TTocEntry>> readToc() override;
    CdText cdText() override;
    DiscInfo discInfo() override;
    bool applyParameters(const DriveParameters& parameters) override;
    bool openRange(int32_t firstSector, int32_t lastSector,
                   const DriveParameters& parameters) override;
    ChunkRead readChunk(int32_t sectors, std::span<uint8_t> buffer,
                        const StopRequest& stop) override;
    void closeRange() override;
    bool readsOutsideDisc() const override;
    bool readOutsideDisc(int32_t firstSector, int32_t sectors, std::span<uint8_t> buffer) override;

    bool play(int32_t firstSector, int32_t lastSector) override;
    bool pause(bool paused) override;
    bool stop() override;
    PlayPosition playPosition() override;
    void setPlayPosition(uint32_t sector) override;
    bool lock(bool locked) override;
    bool eject(bool open) override;

    // Answers from the drive's script; throws for the operations scripted so.
    bool refuses(std::string_view operation);
    bool acceptsTransportLayer() const;
    std::optional<int32_t> reportedTrackCount() const;
    void chunkHandedOn();

private:
    bool readable() const;
    // The disc's audio of `sector`, into `target`.
    void fillSector(int32_t sector, std::span<uint8_t> target) const;
    // Waits until a drive of the simulated speed would have read `sectors`
    // more sectors; false when stopped first.
    bool pace(int32_t sectors, const StopRequest& stop);
    std::vector<TTocEntry> toc() const;

    std::shared_ptr<VirtualDrive> drive_;
    int32_t position_ = 0;
    int32_t lastSector_ = -1;
    int chunkIndex_ = 0;
    bool rangeOpen_ = false;
    bool correcting_ = false;
    // Where the simulated disc is: when the sectors read so far have passed
    // under the head.
    std::chrono::steady_clock::time_point diskAt_;
};

} // namespace cdlib
