// SPDX-License-Identifier: GPL-3.0-or-later
#include "VirtualDriveBackend.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <stdexcept>
#include <thread>

namespace cdlib {

VirtualDriveBackend::VirtualDriveBackend(std::shared_ptr<VirtualDrive> drive)
    : drive_(std::move(drive)) {}

bool VirtualDriveBackend::refuses(std::string_view operation) {
    const std::string name(operation);
    if (drive_->faults_.throwing.contains(name)) {
        throw std::runtime_error("virtual drive " + drive_->id() + ": " + name + " failed");
    }
    return drive_->faults_.failing.contains(name);
}

bool VirtualDriveBackend::readable() const {
    return drive_->disc_ && !drive_->trayOpen_;
}

std::vector<TTocEntry> VirtualDriveBackend::toc() const {
    std::vector<TTocEntry> entries;
    if (!drive_->disc_) {
        return entries;
    }
    uint32_t start = drive_->disc_->firstSector;
    uint8_t number = 1;
    for (const VirtualTrack& track : drive_->disc_->tracks) {
        TTocEntry entry{};
        entry.StartSector = start;
        entry.TrackNumber = number++;
        entry.Flags = track.data ? TOC_FLAG_DATA : 0;
        entries.push_back(entry);
        start += static_cast<uint32_t>(std::max(track.sectors, 0));
    }
    TTocEntry leadOut{};
    leadOut.StartSector = start;
    leadOut.TrackNumber = 0xAA;
    entries.push_back(leadOut);
    return entries;
}

std::optional<std::vector<TTocEntry>> VirtualDriveBackend::readToc() {
    if (!readable() || drive_->disc_->tracks.empty()) {
        return std::nullopt;
    }
    return toc();
}

CdText VirtualDriveBackend::cdText() {
    return readable() ? drive_->disc_->text : CdText{};
}

DiscInfo VirtualDriveBackend::discInfo() {
    return readable() ? drive_->disc_->info : DiscInfo{};
}

std::optional<int32_t> VirtualDriveBackend::reportedTrackCount() const {
    return drive_->faults_.tocEntriesOverride;
}

bool VirtualDriveBackend::applyParameters(const DriveParameters& parameters) {
    drive_->speed_ = parameters.speed;
    return true;
}

bool VirtualDriveBackend::openRange(int32_t firstSector, int32_t lastSector,
                                    const DriveParameters& parameters) {
    if (!readable()) {
        return false;
    }
    const auto entries = toc();
    if (firstSector < static_cast<int32_t>(entries.front().StartSector) ||
        lastSector >= static_cast<int32_t>(entries.back().StartSector)) {
        return false;
    }
    position_ = firstSector;
    lastSector_ = lastSector;
    chunkIndex_ = 0;
    rangeOpen_ = true;
    correcting_ = parameters.jitterCorrectionOn();
    diskAt_ = std::chrono::steady_clock::now();
    return true;
}

bool VirtualDriveBackend::pace(int32_t sectors, const StopRequest& stop) {
    const std::optional<double>& speed = drive_->faults_.simulatedSpeed;
    if (!speed || *speed <= 0) {
        return true;
    }
    using Clock = std::chrono::steady_clock;
    // A drive that was left idle spins on from now: it does not make up for
    // the pause. Short delays of the reader are made up, as a drive's own
    // buffer would.
    constexpr auto kBuffered = std::chrono::milliseconds(20);
    const auto now = Clock::now();
    if (now > diskAt_ + kBuffered) {
        diskAt_ = now;
    }
    diskAt_ += std::chrono::duration_cast<Clock::duration>(
        std::chrono::duration<double>(sectors / (75.0 * *speed)));
    // Short sleeps, so that a stop ends the wait at once.
    constexpr auto kSlice = std::chrono::milliseconds(2);
    for (auto time = now; time < diskAt_; time = Clock::now()) {
        if (stop.requested()) {
            return false;
        }
        std::this_thread::sleep_for(std::min<Clock::duration>(diskAt_ - time, kSlice));
    }
    return true;
}

void VirtualDriveBackend::chunkHandedOn() {
    ++drive_->chunksRead_;
}

ChunkRead VirtualDriveBackend::readChunk(int32_t sectors, std::span<uint8_t> buffer,
                                         const StopRequest& stop) {
    ChunkRead result;
    const int chunk = chunkIndex_++;
    ++drive_->readsMade_;
    const VirtualFaults& faults = drive_->faults_;
    const int32_t first = position_;
    const int32_t last = position_ + sectors - 1;

    if (!rangeOpen_) {
        result.usable = false;
        return result;
    }
    position_ += sectors;
    if (!readable()) {
        return ChunkRead::lost(sectors);
    }
    if (faults.mediumLostAtSector && *faults.mediumLostAtSector <= last) {
        // The sectors of a vanished medium are lost like unreadable ones on a
        // real drive, so the range still comes to its end.
        drive_->disc_.reset();
        drive_->clock_.stop();
        postDeviceChange(CR_DEVICE_REMOVE_COMPLETE);
        return ChunkRead::lost(sectors);
    }
    if (faults.stallingChunks.contains(chunk)) {
        constexpr auto kLongest = std::chrono::seconds(10);
        const auto start = std::chrono::steady_clock::now();
        while (!stop.requested()) {
            if (std::chrono::steady_clock::now() - start > kLongest) {
                return ChunkRead::lost(sectors);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        result.usable = false;
        return result;
    }
    if (!pace(sectors, stop)) {
        result.usable = false; // stopped before the disc came round
        return result;
    }
    result.sectorsConsumed = sectors;
    if (faults.emptyChunks.contains(chunk)) {
        result.usable = false;
        return result;
    }
    for (int32_t sector = first; sector <= last; ++sector) {
        fillSector(sector, buffer.subspan(static_cast<size_t>(sector - first) * CD_SECTOR_BYTES,
                                          CD_SECTOR_BYTES));
    }
    result.rawBytes = sectors * CD_SECTOR_BYTES;
    for (auto it = faults.unreadableSectors.lower_bound(first);
         it != faults.unreadableSectors.end() && *it <= last; ++it) {
        std::memset(buffer.data() + static_cast<size_t>(*it - first) * CD_SECTOR_BYTES, 0,
                    CD_SECTOR_BYTES);
        result.lostSectors.push_back(*it);
    }
    const auto repair = [&result](int32_t sector) {
        const SectorSpan at{sector, sector};
        if (result.repaired) {
            result.repaired->include(at);
        } else {
            result.repaired = at;
        }
    };
    for (auto it = faults.jitterSectors.lower_bound(first);
         it != faults.jitterSectors.end() && *it <= last; ++it) {
        repair(*it);
    }
    for (auto it = faults.unstableSectors.lower_bound(first);
         it != faults.unstableSectors.end() && *it <= last; ++it) {
        if (correcting_) {
            repair(*it);
        } else {
            // The sector's samples arrive seven places late.
            const auto sector =
                buffer.subspan(static_cast<size_t>(*it - first) * CD_SECTOR_BYTES, CD_SECTOR_BYTES);
            std::rotate(sector.begin(), sector.end() - 7 * 4, sector.end());
        }
    }
    if (const auto shortChunk = faults.shortChunks.find(chunk);
        shortChunk != faults.shortChunks.end()) {
        result.deliverAtMost = std::max(shortChunk->second, 0);
    }
    return result;
}

void VirtualDriveBackend::fillSector(int32_t sector, std::span<uint8_t> target) const {
    if (drive_->disc_->audio) {
        drive_->disc_->audio(sector, target);
    } else {
        const auto bytes = VirtualDrive::audioSector(sector);
        std::memcpy(target.data(), bytes.data(), bytes.size());
    }
}

bool VirtualDriveBackend::readsOutsideDisc() const {
    return drive_->disc_ && drive_->disc_->readsOutsideDisc;
}

bool VirtualDriveBackend::readOutsideDisc(int32_t firstSector, int32_t sectors,
                                          std::span<uint8_t> buffer) {
    if (!rangeOpen_ || !readsOutsideDisc()) {
        return false;
    }
    for (int32_t i = 0; i < sectors; ++i) {
        fillSector(firstSector + i,
                   buffer.subspan(static_cast<size_t>(i) * CD_SECTOR_BYTES, CD_SECTOR_BYTES));
    }
    return true;
}

void VirtualDriveBackend::closeRange() {
    rangeOpen_ = false;
}

bool VirtualDriveBackend::play(int32_t firstSector, int32_t lastSector) {
    if (!readable() || firstSector < 0 || lastSector < firstSector) {
        return false;
    }
    drive_->clock_.play(firstSector, lastSector);
    return true;
}

bool VirtualDriveBackend::pause(bool paused) {
    if (!drive_->clock_.playing()) {
        return false;
    }
    drive_->clock_.pause(paused);
    return true;
}

bool VirtualDriveBackend::stop() {
    drive_->clock_.stop();
    return true;
}

PlayPosition VirtualDriveBackend::playPosition() {
    return drive_->clock_.positionIn(toc());
}

void VirtualDriveBackend::setPlayPosition(uint32_t sector) {
    drive_->clock_.setPosition(static_cast<int32_t>(sector));
}

bool VirtualDriveBackend::lock(bool locked) {
    drive_->locked_ = locked;
    return true;
}

bool VirtualDriveBackend::eject(bool open) {
    if (open == drive_->trayOpen_) {
        return true;
    }
    if (open && drive_->locked_) {
        return false; // a locked tray stays shut, as on a real drive
    }
    drive_->trayOpen_ = open;
    if (open) {
        drive_->clock_.stop();
    }
    if (drive_->disc_) {
        postDeviceChange(open ? CR_DEVICE_REMOVE_COMPLETE : CR_DEVICE_ARRIVAL);
    }
    return true;
}

bool VirtualDriveBackend::acceptsTransportLayer() const {
    return !drive_->faults_.transportLayerFixed;
}

} // namespace cdlib
