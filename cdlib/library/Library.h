// SPDX-License-Identifier: GPL-3.0-or-later
// The library's state behind the CR_* functions: the list of drives, the
// active drive, the open range, the settings and playback. One instance
// serves the process; every CR_* call acts on its active drive through the
// Drive interface.
#pragma once

#include "CdRip_dll.h"
#include "drives/CdText.h"
#include "drives/DiscInfo.h"
#include "drives/Drive.h"
#include "library/DriveList.h"
#include "library/LibrarySeam.h"
#include "library/ParameterRecord.h"
#include "playback/Playback.h"
#include "reading/Ripper.h"
#include "settings/Settings.h"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace cdlib {

class Library final {
public:
    Library();
    Library(const Library&) = delete;
    Library& operator=(const Library&) = delete;

    int32_t driveCount() const { return drives_.count(); }
    Drive* drive(int32_t number) const { return drives_.at(number); }

    Drive* active() const { return drive(active_); }

    // Held by an open range's reader for each of its reads, and by every
    // other operation that reaches into a drive (its table of contents,
    // play, lock, parameters, problem): so libcdio and paranoia see one
    // thread at a time for a drive, while the queries of an open range's
    // figures never wait for the drive. Operations that close the range
    // first (opening another, eject, init, changing the active drive or the
    // transport layer) need no lock: the reader is joined by then.
    std::unique_lock<std::mutex> lockDrive() { return std::unique_lock(driveAccess_); }
    void setReadAhead(bool enabled) { readAhead_ = enabled; }
    int32_t activeNumber() const { return active_; }

    RecordOwner ownerOf(const Drive& drive) const {
        return {active_, drive.kind(), drive.identification(), drive.problem(), drive.notice()};
    }

    // The active drive, or null when there is none or it refuses `operation`.
    Drive* activeFor(std::string_view operation) const {
        Drive* current = active();
        if (current == nullptr || seam().refuses(*current, operation)) {
            return nullptr;
        }
        return current;
    }

    CR_RESULT init(const char* iniPath);
    CR_RESULT setActive(int32_t number);

    DriveParameters parametersOf(const Drive& drive) const {
        if (const auto applied = applied_.find(drive.identification()); applied != applied_.end()) {
            return applied->second;
        }
        return settings_.drive(drive.identification()).value_or(DriveParameters{});
    }
    void apply(const Drive& drive, const DriveParameters& parameters) {
        applied_[drive.identification()] = parameters;
    }

    void save();
    // Drops every drive's stored and applied parameters, as a settings file
    // that was deleted would; the transport layer stays.
    void forgetDriveSettings() {
        settings_.forgetDrives();
        applied_.clear();
    }
    const std::string& readError() const { return readError_; }
    const std::string& saveError() const { return saveError_; }
    void refuseSave() { saveError_ = "the drive refused to save its settings"; }

    int32_t transportLayer() const { return transportLayer_; }
    void setTransportLayer(int32_t layer);

    std::vector<TTocEntry>& toc() { return toc_; }
    CdText& cdText() { return cdText_; }
    DiscInfo& discInfo() { return discInfo_; }
    // The disc is gone or another drive is active: its table, texts and
    // codes go.
    void forgetDisc() {
        toc_.clear();
        cdText_ = {};
        discInfo_ = {};
    }

    Playback& playback() { return playback_; }
    void deInit();

    // Opening a range closes the one before it; the figures of a closed range
    // stay readable until the next opens.
    CR_RESULT openRange(Drive& drive, int32_t firstSector, int32_t lastSector, int32_t& chunkBytes);
    Ripper* ripper() const { return ripper_.get(); }
    bool closeRange();
    int32_t jitterErrors() const { return ripper_ ? ripper_->jitterErrors() : closedJitterErrors_; }
    SectorSpan lastJitter() const {
        return ripper_ ? ripper_->lastJitterSpan() : closedLastJitter_;
    }
    int32_t lostSectors() const { return ripper_ ? ripper_->lostSectors() : closedLostSectors_; }
    int64_t silencedSamples() const {
        return ripper_ ? ripper_->silencedSamples() : closedSilencedSamples_;
    }
    const std::vector<SectorSpan>& lostRuns() const {
        return ripper_ ? ripper_->lostRuns() : closedLostRuns_;
    }

    // Adds a drive of the caller's after every drive listed; returns its
    // number.
    int32_t addDrive(std::unique_ptr<Drive> drive) { return drives_.add(std::move(drive)); }

    // The seam in use, and the one a caller hands the library in place of
    // its own; reset() takes it back.
    LibrarySeam& seam() const { return installedSeam_ ? *installedSeam_ : *ownSeam_; }
    void install(std::unique_ptr<LibrarySeam> seam) { installedSeam_ = std::move(seam); }

    void setDeviceChangeHandler(std::function<void(uint32_t)> handler) {
        // The old handler is destroyed outside the lock: it may hold
        // anything.
        const std::lock_guard lock(deviceChangeMutex_);
        std::swap(deviceChangeHandler_, handler);
    }
    // Drives post from any thread, while the program may replace the
    // handler: it is copied under the lock and called outside it, so that a
    // handler may replace itself.
    void post(uint32_t event) const {
        std::function<void(uint32_t)> handler;
        {
            const std::lock_guard lock(deviceChangeMutex_);
            handler = deviceChangeHandler_;
        }
        if (handler)
            handler(event);
    }

    // Returns the library to its state before the first CR_Init: no drives
    // added, no open range, the default transport layer and read-ahead, no
    // device-change handler and its own seam; the machine's drives are
    // listed afresh at the next CR_Init.
    void reset();

private:
    void forgetClosedRange();
    // How a range from `firstSector` on `disc` is shifted by the drive's
    // read offset.
    static ReadShift shiftFor(const std::vector<TTocEntry>& disc, int32_t firstSector,
                              const DriveParameters& parameters);

    std::unique_ptr<LibrarySeam> ownSeam_ = std::make_unique<LibrarySeam>();
    std::unique_ptr<LibrarySeam> installedSeam_;
    DriveList drives_;
    int32_t active_ = 0;
    bool initialised_ = false;
    Settings settings_;
    std::string readError_;
    std::string saveError_;
    std::map<std::string, DriveParameters> applied_;
    int32_t transportLayer_ = CR_TRANSPORT_SCSI;
    std::vector<TTocEntry> toc_;
    CdText cdText_;
    DiscInfo discInfo_;
    std::mutex driveAccess_;
    bool readAhead_ = true;
    std::unique_ptr<Ripper> ripper_;
    int32_t closedJitterErrors_ = 0;
    SectorSpan closedLastJitter_;
    int32_t closedLostSectors_ = 0;
    std::vector<SectorSpan> closedLostRuns_;
    int64_t closedSilencedSamples_ = 0;
    mutable std::mutex deviceChangeMutex_;
    std::function<void(uint32_t)> deviceChangeHandler_;
    Playback playback_;
};

Library& library();

} // namespace cdlib
