// SPDX-License-Identifier: GPL-3.0-or-later
#include "drives/physical/PhysicalDrive.h"

#include "drives/images/ImageDrive.h"
#include "playback/CdioPlaySource.h"
#include "playback/PlayClock.h"

#include <cdio/mmc.h>
#include <cdio/read.h>
#include <chrono>
#include <set>
#include <thread>

namespace cdlib {

namespace {

// Between the sessions lie the first session's lead-out (6750 sectors), the
// next session's lead-in (4500) and its first pregap (150); paranoia and
// the drive's own reading stop the audio there.
constexpr int32_t kSessionGap = 11400;
// A drive spinning up answers "becoming ready" for some seconds.
constexpr auto kReadyPoll = std::chrono::milliseconds(100);
constexpr int kReadyPolls = 150;

msf_t msfOf(int32_t sector) {
    msf_t msf{};
    cdio_lsn_to_msf(sector, &msf);
    return msf;
}

bool succeeded(driver_return_code_t code) {
    return code == DRIVER_OP_SUCCESS;
}

} // namespace

std::optional<int32_t> endAudioSession(std::vector<TTocEntry>& toc, int32_t lastSessionStart) {
    if (lastSessionStart <= kSessionGap || toc.size() < 3) {
        return std::nullopt;
    }
    const auto audioEnd = static_cast<uint32_t>(lastSessionStart - kSessionGap);
    // The last audio track that a data track follows; the lead-out is no track.
    for (size_t i = toc.size() - 2; i >= 1; --i) {
        const bool data = (toc[i].Flags & TOC_FLAG_DATA) != 0;
        const bool audioBefore = (toc[i - 1].Flags & TOC_FLAG_DATA) == 0;
        if (data && audioBefore) {
            if (toc[i].StartSector <= audioEnd || toc[i - 1].StartSector >= audioEnd) {
                return std::nullopt;
            }
            toc[i].StartSector = audioEnd;
            return static_cast<int32_t>(audioEnd);
        }
    }
    return std::nullopt;
}

std::vector<DeviceCandidate> PhysicalDrive::devices(CdDeviceSystem& system) {
    std::vector<DeviceCandidate> result;
    std::set<std::string> seen;
    for (DeviceCandidate& candidate : system.candidates()) {
        if (seen.insert(candidate.identity).second) {
            result.push_back(std::move(candidate));
        }
    }
    return result;
}

PhysicalDrive::PhysicalDrive(CdDeviceSystem& system, const DeviceCandidate& candidate)
    : system_(system)
    , path_(candidate.path)
    , identification_(candidate.path)
    , problem_(candidate.problem) {
    if (!problem_.empty()) {
        identification_ = path_ + " (" + problem_ + ")";
    } else if (open()) {
        if (std::string info = device_->hardwareInfo(); !info.empty()) {
            identification_ = std::move(info);
        }
    }
}

PhysicalDrive::~PhysicalDrive() {
    close();
}

void PhysicalDrive::nameByDevice() {
    if (!namedByDevice_) {
        namedByDevice_ = true;
        identification_ += " (" + path_ + ")";
    }
}

bool PhysicalDrive::open() {
    if (device_) {
        return true;
    }
    if (!problem_.empty()) {
        return false;
    }
    device_ = system_.open(path_, AccessMode::ReadWrite);
    if (!device_) {
        // Readable but not writable: reading and playing still work.
        device_ = system_.open(path_, AccessMode::ReadOnly);
    }
    if (device_ && locked_) {
        device_->preventRemoval(true);
    }
    return device_ != nullptr;
}

void PhysicalDrive::close() {
    reader_.reset(); // it borrows the device handle
    device_.reset();
}

void PhysicalDrive::transportLayerChanged(int32_t /*layer*/) {
    close();
}

bool PhysicalDrive::waitForMedium() {
    for (int poll = 0; poll < kReadyPolls; ++poll) {
        switch (device_->medium()) {
        case MediumState::Ready:
        case MediumState::Unknown: // drives that give no reason are read anyway
            return true;
        case MediumState::NoMedium:
        case MediumState::TrayOpen:
            return false;
        case MediumState::BecomingReady:
            std::this_thread::sleep_for(kReadyPoll);
            break;
        }
    }
    return false;
}

std::optional<std::vector<TTocEntry>> PhysicalDrive::readToc() {
    // libcdio keeps the table it read first; a fresh handle sees a changed disc.
    if (!reader_) {
        close();
    }
    toc_.clear();
    audioSessionEnd_.reset();
    if (!open() || !waitForMedium() || device_->disc() == nullptr) {
        return std::nullopt;
    }
    auto toc = tocOf(device_->disc());
    if (!toc) {
        return std::nullopt;
    }
    if (lsn_t lastSession = 0; succeeded(device_->lastSessionStart(lastSession))) {
        audioSessionEnd_ = endAudioSession(*toc, lastSession);
    }
    toc_ = *toc;
    return toc;
}

CdText PhysicalDrive::cdText() {
    // The drive reads the disc's CD-Text from the lead-in through the same
    // handle as the table.
    if (toc_.empty() || !device_ || device_->disc() == nullptr) {
        return {};
    }
    return cdTextOf(device_->disc());
}

DiscInfo PhysicalDrive::discInfo() {
    // The table as this drive reports it: on an Enhanced CD the data track's
    // entry marks the audio session's end, and no pregap reaches past it.
    if (toc_.empty() || !device_ || device_->disc() == nullptr) {
        return {};
    }
    return discInfoOf(device_->disc(), toc_);
}

bool PhysicalDrive::applyParameters(const DriveParameters& parameters) {
    if (parameters.driveTable[SLOT_SETSPEED] == SPEEDNONE || !open()) {
        return true;
    }
    // Speed 0 asks the drive for its own speed. A drive that refuses a speed
    // (libcdio passes on the kernel's -1) still reads at its own pace.
    device_->setSpeed(parameters.speed);
    return true;
}

bool PhysicalDrive::openRange(int32_t firstSector, int32_t /*lastSector*/,
                              const DriveParameters& parameters) {
    reader_.reset();
    mediumLost_ = false;
    if (!open() || device_->disc() == nullptr) {
        return false;
    }
    reader_ = ParanoiaReader::open(device_->disc(), firstSector, parameters);
    readPosition_ = firstSector;
    return reader_ != nullptr;
}

ChunkRead PhysicalDrive::readChunk(int32_t sectors, std::span<uint8_t> buffer,
                                   const StopRequest& stop) {
    if (!reader_ || mediumLost_) {
        // The medium went away under the range: pass over what is left.
        readPosition_ += sectors;
        return ChunkRead::lost(sectors);
    }
    int32_t readable = sectors;
    if (audioSessionEnd_) {
        // Paranoia never reads into the gap between the sessions (with
        // correction off it would spin there for ever); nothing is there.
        readable = std::min(sectors, *audioSessionEnd_ - readPosition_);
        if (readable <= 0) {
            readPosition_ += sectors;
            return ChunkRead::lost(sectors);
        }
    }
    ChunkRead read = reader_->read(readable, buffer, stop);
    const bool complete = read.usable && read.rawBytes == read.sectorsConsumed * CD_SECTOR_BYTES;
    if (read.repaired || !read.lostSectors.empty() || !complete) {
        // The kernel reports a failed READ CD as EIO whatever the cause, and
        // paranoia then goes on with silence: only the drive can tell
        // whether the disc is still there.
        const MediumState medium = device_->medium();
        if (medium == MediumState::NoMedium || medium == MediumState::TrayOpen) {
            mediumLost_ = true;
            reader_.reset();
            readPosition_ += sectors;
            return ChunkRead::lost(sectors);
        }
    }
    readPosition_ += read.sectorsConsumed;
    return read;
}

bool PhysicalDrive::readOutsideDisc(int32_t firstSector, int32_t sectors,
                                    std::span<uint8_t> buffer) {
    if (!reader_ || mediumLost_ || device_ == nullptr || device_->disc() == nullptr ||
        buffer.size() < static_cast<size_t>(sectors) * CD_SECTOR_BYTES) {
        return false;
    }
    return cdio_read_audio_sectors(device_->disc(), buffer.data(), firstSector,
                                   static_cast<uint32_t>(sectors)) == DRIVER_OP_SUCCESS;
}

void PhysicalDrive::closeRange() {
    reader_.reset();
}

bool PhysicalDrive::play(int32_t firstSector, int32_t lastSector) {
    if (!open() || firstSector < 0 || lastSector < firstSector) {
        return false;
    }
    // PLAY AUDIO MSF ends before its end address.
    if (!succeeded(device_->playMsf(msfOf(firstSector), msfOf(lastSector + 1)))) {
        return false;
    }
    playing_ = true;
    playEnded_ = false;
    playLast_ = lastSector;
    return true;
}

bool PhysicalDrive::pause(bool paused) {
    if (!open()) {
        return false;
    }
    return succeeded(paused ? device_->pause() : device_->resume());
}

bool PhysicalDrive::stop() {
    playing_ = false;
    return open() && succeeded(device_->stopPlay());
}

PlayPosition PhysicalDrive::positionAt(uint32_t sector) const {
    // The in-track time comes from the table, as for images: in a pregap the
    // drive's relative address counts down as a positive number.
    PlayClock clock;
    clock.setPosition(static_cast<int32_t>(sector));
    return clock.positionIn(toc_);
}

PlayPosition PhysicalDrive::playPosition() {
    if (!playing_) {
        return positionAt(idlePosition_);
    }
    if (playEnded_) {
        return positionAt(static_cast<uint32_t>(playLast_));
    }
    cdio_subchannel_t subchannel{};
    if (!open() || !succeeded(device_->readSubchannel(subchannel)) ||
        subchannel.audio_status == CDIO_MMC_READ_SUB_ST_COMPLETED ||
        subchannel.audio_status == CDIO_MMC_READ_SUB_ST_ERROR) {
        // The section played to its end, or playing broke off: either way
        // the player has reached the end.
        playEnded_ = true;
        return positionAt(static_cast<uint32_t>(playLast_));
    }
    const lsn_t absolute = cdio_msf_to_lsn(&subchannel.abs_addr);
    return positionAt(absolute > 0 ? static_cast<uint32_t>(absolute) : 0);
}

std::unique_ptr<PlaySource> PhysicalDrive::playSource() {
    // The player reads on its own thread, through a read-only handle of its
    // own; the library's handle keeps the tray lock.
    return CdioPlaySource::open(CdioHandle(cdio_open(path_.c_str(), DRIVER_DEVICE)));
}

bool PhysicalDrive::lock(bool locked) {
    if (!locked) {
        // Whatever the drive answers, the library no longer holds the tray:
        // no new handle locks it again and eject is not refused.
        locked_ = false;
    }
    if (!open() || !succeeded(device_->preventRemoval(locked))) {
        return false;
    }
    locked_ = locked;
    return true;
}

bool PhysicalDrive::eject(bool openTray) {
    if (openTray && locked_) {
        return false; // a locked tray stays shut
    }
    playing_ = false;
    // The kernel ejects only through the one handle open on the drive.
    close();
    if (!openTray) {
        return succeeded(system_.closeTray(path_));
    }
    if (succeeded(system_.eject(path_))) {
        return true;
    }
    // Desktops mount the data session of mixed-mode and Enhanced CDs; their
    // disk service unmounts it and ejects with the user's rights.
    return system_.ejectThroughDiskService(path_);
}

} // namespace cdlib
