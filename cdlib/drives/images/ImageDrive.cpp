// SPDX-License-Identifier: GPL-3.0-or-later
#include "drives/images/ImageDrive.h"

#include "playback/CdioPlaySource.h"

#include <cstdlib>
#include <filesystem>

namespace cdlib {

std::optional<std::vector<TTocEntry>> tocOf(CdIo_t* cdio) {
    const track_t first = cdio_get_first_track_num(cdio);
    const track_t count = cdio_get_num_tracks(cdio);
    if (first == CDIO_INVALID_TRACK || count == CDIO_INVALID_TRACK || count == 0) {
        return std::nullopt;
    }
    std::vector<TTocEntry> toc;
    for (track_t i = 0; i < count; ++i) {
        const auto track = static_cast<track_t>(first + i);
        const lsn_t start = cdio_get_track_lsn(cdio, track);
        if (start == CDIO_INVALID_LSN || start < 0) {
            return std::nullopt;
        }
        TTocEntry entry{};
        entry.StartSector = static_cast<uint32_t>(start);
        entry.TrackNumber = track;
        // libcdio has no call for an image track's control bits, only its
        // format, which says whether the track holds data.
        if (cdio_get_track_format(cdio, track) != TRACK_FORMAT_AUDIO) {
            entry.Flags |= TOC_FLAG_DATA;
        }
        toc.push_back(entry);
    }
    const lsn_t leadOut = cdio_get_track_lsn(cdio, CDIO_CDROM_LEADOUT_TRACK);
    if (leadOut == CDIO_INVALID_LSN || leadOut < static_cast<lsn_t>(toc.back().StartSector)) {
        return std::nullopt;
    }
    TTocEntry last{};
    last.StartSector = static_cast<uint32_t>(leadOut);
    last.TrackNumber = CDIO_CDROM_LEADOUT_TRACK;
    toc.push_back(last);
    return toc;
}

ImageDrive::ImageDrive(std::string path)
    : path_(std::move(path))
    , identification_("Image " + std::filesystem::path(path_).filename().string()) {}

ImageDrive::~ImageDrive() {
    closeImage();
}

void ImageDrive::select() {
    if (!ejected_) {
        load();
    }
}

void ImageDrive::release() {
    closeImage();
}

void ImageDrive::closeImage() {
    // The readers borrow the handle, which reads through the folder.
    reader_.reset();
    idleReader_.reset();
    image_.cdio.reset();
    image_.folder.reset();
}

bool ImageDrive::load() {
    if (image_.cdio) {
        return true;
    }
    // Never cdio_eject_media on an image: it frees the image and leaves the
    // handle dangling. Closing and opening again is what "eject" means here.
    image_ = openImageFiles(path_, problem_);
    if (!image_.cdio) {
        return false;
    }
    if (ejected_) {
        ejected_ = false;
        postDeviceChange(CR_DEVICE_ARRIVAL);
    }
    return true;
}

std::optional<std::vector<TTocEntry>> ImageDrive::readToc() {
    if (!load()) {
        return std::nullopt;
    }
    auto toc = tocOf(image_.cdio.get());
    toc_ = toc.value_or(std::vector<TTocEntry>{});
    if (!toc) {
        problem_ = "libcdio reads no usable table of contents from it";
    }
    return toc;
}

CdText ImageDrive::cdText() {
    return image_.cdio ? cdTextOf(image_.cdio.get()) : CdText{};
}

DiscInfo ImageDrive::discInfo() {
    return image_.cdio ? discInfoOf(image_.cdio.get(), toc_) : DiscInfo{};
}

bool ImageDrive::openRange(int32_t firstSector, int32_t /*lastSector*/,
                           const DriveParameters& parameters) {
    closeRange();
    if (!load()) {
        return false;
    }
    reader_ =
        ParanoiaReader::reopen(std::move(idleReader_), image_.cdio.get(), firstSector, parameters);
    return reader_ != nullptr;
}

ChunkRead ImageDrive::readChunk(int32_t sectors, std::span<uint8_t> buffer,
                                const StopRequest& stop) {
    if (!reader_) {
        // The medium went away under the range: pass over what is left.
        return ChunkRead::lost(sectors);
    }
    return reader_->read(sectors, buffer, stop);
}

void ImageDrive::closeRange() {
    if (reader_) {
        idleReader_ = std::move(reader_);
    }
}

bool ImageDrive::play(int32_t firstSector, int32_t lastSector) {
    if (!load() || firstSector < 0 || lastSector < firstSector) {
        return false;
    }
    clock_.play(firstSector, lastSector);
    feed_.restart();
    return true;
}

bool ImageDrive::pause(bool paused) {
    feed_.update(clock_);
    if (!clock_.playing()) {
        return false;
    }
    clock_.pause(paused);
    return true;
}

bool ImageDrive::stop() {
    feed_.update(clock_);
    clock_.stop();
    return true;
}

PlayPosition ImageDrive::playPosition() {
    feed_.update(clock_);
    return clock_.positionIn(toc_);
}

void ImageDrive::setPlayPosition(uint32_t sector) {
    clock_.setPosition(static_cast<int32_t>(sector));
}

std::unique_ptr<PlaySource> ImageDrive::playSource() {
    // The player reads on its own thread, through a handle of its own.
    std::string problem;
    OpenedImage image = openImageFiles(path_, problem);
    std::shared_ptr<TemporaryFolder> folder = std::move(image.folder);
    return CdioPlaySource::open(std::move(image.cdio), std::move(folder));
}

bool ImageDrive::lock(bool locked) {
    locked_ = locked;
    return true;
}

bool ImageDrive::eject(bool open) {
    if (!open) {
        return load();
    }
    if (locked_) {
        return false; // a locked tray stays shut, as on a real drive
    }
    clock_.stop();
    reader_.reset();
    if (image_.cdio) {
        closeImage();
        ejected_ = true;
        postDeviceChange(CR_DEVICE_REMOVE_COMPLETE);
    }
    return true;
}

} // namespace cdlib
