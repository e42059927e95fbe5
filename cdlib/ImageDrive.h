// A disc image (BIN/CUE, cdrdao TOC, NRG) as a drive, through libcdio's
// image drivers and read through paranoia like a physical drive. It has no
// analogue output: playback follows a wall clock. Lock and eject keep state
// only; ejecting empties the drive until the next disc read loads the image
// again, as closing a tray would.
#pragma once

#include "CdioHandles.h"
#include "Drive.h"
#include "ParanoiaReader.h"
#include "PlayClock.h"

#include <memory>
#include <string>

namespace cdlib {

class ImageDrive final : public Drive {
public:
    explicit ImageDrive(std::string path);
    ~ImageDrive() override;

    DriveKind kind() const override { return DriveKind::Image; }
    std::string identification() const override;
    std::string location() const override { return path_; }

    std::optional<std::vector<TTocEntry>> readToc() override;
    bool openRange(int32_t firstSector, int32_t lastSector,
                   const DriveParameters& parameters) override;
    ChunkRead readChunk(int32_t sectors, std::span<uint8_t> buffer, const int32_t* abort) override;
    void closeRange() override;

    bool play(int32_t firstSector, int32_t lastSector) override;
    bool pause(bool paused) override;
    bool stop() override;
    PlayPosition playPosition() override;
    void setPlayPosition(uint32_t sector) override;
    std::unique_ptr<PlaySource> playSource() override;
    bool lock(bool locked) override;
    bool eject(bool open) override;

private:
    // Opens the image unless it is open; false when it cannot be read.
    bool load();

    std::string path_;
    CdioHandle cdio_;
    std::unique_ptr<ParanoiaReader> reader_;
    std::vector<TTocEntry> toc_;
    PlayClock clock_;
    WallClockFeed feed_;
    bool ejected_ = false;
    bool locked_ = false;
};

// The table of contents of an open libcdio disc: tracks and lead-out, the
// data flag set for tracks libcdio reports as data.
std::optional<std::vector<TTocEntry>> tocOf(CdIo_t* cdio);

} // namespace cdlib
