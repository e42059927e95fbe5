// SPDX-License-Identifier: GPL-3.0-or-later
// A CD drive of the machine, reached through the device operations of
// CdDevice.h and read through paranoia. Every handle is opened read-write
// where the user may (the kernel passes the tray lock only then), read-only
// otherwise; the transport layer changes nothing else on Linux. Every call
// that the drive can fail reports that failure.
#pragma once

#include "drives/Drive.h"
#include "drives/physical/CdDevice.h"
#include "reading/ParanoiaReader.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace cdlib {

class PhysicalDrive final : public Drive {
public:
    PhysicalDrive(CdDeviceSystem& system, const DeviceCandidate& candidate);
    ~PhysicalDrive() override;

    // The CD drives of `system`, each device once under the first of its names.
    static std::vector<DeviceCandidate> devices(CdDeviceSystem& system);

    // Two drives of the same make and model would share one identification,
    // and with it one parameter set: the device name tells them apart.
    void nameByDevice();

    DriveKind kind() const override { return DriveKind::Physical; }
    std::string identification() const override { return identification_; }
    std::string location() const override { return path_; }

    std::optional<std::vector<TTocEntry>> readToc() override;
    CdText cdText() override;
    DiscInfo discInfo() override;
    bool applyParameters(const DriveParameters& parameters) override;
    bool openRange(int32_t firstSector, int32_t lastSector,
                   const DriveParameters& parameters) override;
    ChunkRead readChunk(int32_t sectors, std::span<uint8_t> buffer,
                        const StopRequest& stop) override;
    void closeRange() override;
    // Many drives read some of the lead-in and lead-out when asked; one
    // plain read each, so that a drive that refuses answers at once.
    bool readsOutsideDisc() const override { return true; }
    bool readOutsideDisc(int32_t firstSector, int32_t sectors, std::span<uint8_t> buffer) override;

    bool play(int32_t firstSector, int32_t lastSector) override;
    bool pause(bool paused) override;
    bool stop() override;
    PlayPosition playPosition() override;
    void setPlayPosition(uint32_t sector) override { idlePosition_ = sector; }
    std::unique_ptr<PlaySource> playSource() override;
    bool lock(bool locked) override;
    bool eject(bool open) override;

    void transportLayerChanged(int32_t layer) override;

private:
    // Opens the device unless it is open; false when it cannot be opened.
    bool open();
    void close();
    // Waits a bounded time for a drive that is spinning up; false when the
    // drive says it holds no disc.
    bool waitForMedium();
    PlayPosition positionAt(uint32_t sector) const;

    CdDeviceSystem& system_;
    std::string path_;
    std::string identification_;
    std::string problem_;
    bool namedByDevice_ = false;
    // The kernel allows medium removal again when the last handle on the
    // drive closes, so a lock is re-sent on every new handle.
    bool locked_ = false;
    std::unique_ptr<CdDevice> device_;
    std::unique_ptr<ParanoiaReader> reader_;
    std::vector<TTocEntry> toc_;
    // The first sector after the audio session of an Enhanced CD.
    std::optional<int32_t> audioSessionEnd_;

    int32_t readPosition_ = 0;
    bool mediumLost_ = false;

    bool playing_ = false;
    bool playEnded_ = false;
    int32_t playLast_ = 0;
    uint32_t idlePosition_ = 0;
};

// On a disc of an audio session followed by a data session (Enhanced CD),
// the audio ends before the gap between the sessions, not at the data
// track's start: the data track's entry is moved to the audio session's end
// so that the last audio track gets its true length. Returns that end.
std::optional<int32_t> endAudioSession(std::vector<TTocEntry>& toc, int32_t lastSessionStart);

} // namespace cdlib
