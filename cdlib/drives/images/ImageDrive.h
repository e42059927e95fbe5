// SPDX-License-Identifier: GPL-3.0-or-later
// A disc image (BIN/CUE, cdrdao TOC, NRG) as a drive, through libcdio's
// image drivers and read through paranoia like a physical drive. It has no
// analogue output: playback follows a wall clock. Lock and eject keep state
// only; ejecting empties the drive until the next disc read loads the image
// again, as closing a tray would. The image's files are open only while the
// drive is in use (selected or read), so that any number of images can be
// listed.
#pragma once

#include "drives/Drive.h"
#include "drives/images/ImageFiles.h"
#include "playback/PlayClock.h"
#include "reading/ParanoiaReader.h"

#include <memory>
#include <string>

namespace cdlib {

class ImageDrive final : public Drive {
public:
    explicit ImageDrive(std::string path);
    ~ImageDrive() override;

    DriveKind kind() const override { return DriveKind::Image; }
    // "Image " + the file name, or as much of the path as the library's
    // list of images needs to tell this one from the others.
    std::string identification() const override { return identification_; }
    void setShownPath(const std::string& shownPath) { identification_ = "Image " + shownPath; }
    std::string location() const override { return path_; }
    std::string problem() const override { return problem_; }
    std::string notice() const override { return image_.notice; }
    // Opens the image's files now, so that a selected drive can say why it
    // has no readable disc before the disc is read.
    void select();
    void release() override;

    std::optional<std::vector<TTocEntry>> readToc() override;
    CdText cdText() override;
    DiscInfo discInfo() override;
    bool openRange(int32_t firstSector, int32_t lastSector,
                   const DriveParameters& parameters) override;
    ChunkRead readChunk(int32_t sectors, std::span<uint8_t> buffer,
                        const StopRequest& stop) override;
    void closeRange() override;
    // Reading an image copies from the page cache: a reader thread would
    // overlap nothing, only add a hand-off and move the audio between cores.
    bool readsWaitOnDevice() const override { return false; }

    bool play(int32_t firstSector, int32_t lastSector) override;
    bool pause(bool paused) override;
    bool stop() override;
    PlayPosition playPosition() override;
    void setPlayPosition(uint32_t sector) override;
    std::unique_ptr<PlaySource> playSource() override;
    bool lock(bool locked) override;
    bool eject(bool open) override;

private:
    // Opens the image unless it is open; false, with the reason in
    // problem_, when it cannot be read.
    bool load();
    void closeImage();

    std::string path_;
    std::string identification_;
    std::string problem_;
    OpenedImage image_;
    // The open range's reader, and the last range's, kept for the next.
    std::unique_ptr<ParanoiaReader> reader_;
    std::unique_ptr<ParanoiaReader> idleReader_;
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
