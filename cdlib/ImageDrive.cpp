#include "ImageDrive.h"

#include "CdioPlaySource.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <unistd.h>

namespace cdlib {

namespace {

driver_id_t imageDriverFor(const std::string& path) {
    std::string extension = std::filesystem::path(path).extension().string();
    for (char& c : extension) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    if (extension == ".cue") {
        return DRIVER_BINCUE;
    }
    if (extension == ".toc") {
        return DRIVER_CDRDAO;
    }
    if (extension == ".nrg") {
        return DRIVER_NRG;
    }
    return DRIVER_UNKNOWN;
}

// libcdio opens the files a cdrdao TOC names relative to the working folder,
// not to the TOC. Such a TOC is read through a copy whose file names are
// made absolute; returns that copy's path, or nothing when none is needed.
std::optional<std::filesystem::path> resolvedCdrdaoCopy(const std::string& path) {
    std::ifstream in(path);
    if (!in) {
        return std::nullopt;
    }
    const std::filesystem::path folder = std::filesystem::path(path).parent_path();
    static const std::regex fileLine(R"(^(\s*(?:FILE|AUDIOFILE|DATAFILE)\s+")([^"]+)(".*)$)");
    std::ostringstream text;
    bool changed = false;
    for (std::string line; std::getline(in, line);) {
        std::smatch match;
        if (std::regex_match(line, match, fileLine) &&
            std::filesystem::path(match[2].str()).is_relative()) {
            line = match[1].str() + (folder / match[2].str()).string() + match[3].str();
            changed = true;
        }
        text << line << '\n';
    }
    if (!changed) {
        return std::nullopt;
    }
    std::string name = (std::filesystem::temp_directory_path() / "varrow-XXXXXX.toc").string();
    const int fd = mkstemps(name.data(), 4);
    if (fd < 0) {
        return std::nullopt;
    }
    const std::string content = text.str();
    const bool written =
        write(fd, content.data(), content.size()) == static_cast<ssize_t>(content.size());
    close(fd);
    if (!written) {
        std::error_code error;
        std::filesystem::remove(name, error);
        return std::nullopt;
    }
    return name;
}

CdIo_t* openImage(const std::string& path) {
    const driver_id_t driver = imageDriverFor(path);
    if (driver == DRIVER_CDRDAO) {
        if (const auto copy = resolvedCdrdaoCopy(path)) {
            // The TOC is parsed while opening; the copy is not needed after.
            CdIo_t* cdio = cdio_open(copy->c_str(), driver);
            std::error_code error;
            std::filesystem::remove(*copy, error);
            return cdio;
        }
    }
    return cdio_open(path.c_str(), driver);
}

} // namespace

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
    : path_(std::move(path)) {
    load();
}

ImageDrive::~ImageDrive() {
    // The reader borrows the image handle.
    reader_.reset();
}

std::string ImageDrive::identification() const {
    return "Image " + std::filesystem::path(path_).filename().string();
}

bool ImageDrive::load() {
    if (cdio_) {
        return true;
    }
    // Never cdio_eject_media on an image: it frees the image and leaves the
    // handle dangling. Closing and opening again is what "eject" means here.
    cdio_.reset(openImage(path_));
    if (!cdio_) {
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
    auto toc = tocOf(cdio_.get());
    toc_ = toc.value_or(std::vector<TTocEntry>{});
    return toc;
}

bool ImageDrive::openRange(int32_t firstSector, int32_t /*lastSector*/,
                           const DriveParameters& parameters) {
    reader_.reset();
    if (!load()) {
        return false;
    }
    reader_ = ParanoiaReader::open(cdio_.get(), firstSector, parameters);
    return reader_ != nullptr;
}

ChunkRead ImageDrive::readChunk(int32_t sectors, std::span<uint8_t> buffer, const int32_t* abort) {
    if (!reader_) {
        // The medium went away under the range: pass over what is left.
        return ChunkRead::lost(sectors);
    }
    return reader_->read(sectors, buffer, abort);
}

void ImageDrive::closeRange() {
    reader_.reset();
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
    return CdioPlaySource::open(CdioHandle(openImage(path_)));
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
    if (cdio_) {
        cdio_.reset();
        ejected_ = true;
        postDeviceChange(CR_DEVICE_REMOVE_COMPLETE);
    }
    return true;
}

} // namespace cdlib
