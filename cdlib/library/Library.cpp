// SPDX-License-Identifier: GPL-3.0-or-later
// The library's own state: starting up, choosing the active drive,
// settings and the open range.
#include "library/Library.h"

#include "drives/images/ImageDrive.h"

#include <cdio/logging.h>
#include <cstdio>

namespace cdlib {

namespace {

// libcdio warns on stderr about things the library handles itself (a
// short pregap in an image, a missing file); only its errors go through.
void cdioLog(cdio_log_level_t level, const char message[]) {
    if (level >= CDIO_LOG_ERROR) {
        std::fprintf(stderr, "libcdio: %s\n", message);
    }
}

} // namespace

Library::Library() {
    playback_.setDigitalChoice([this](const Drive& drive) {
        return drive.kind() == DriveKind::Image ||
               (drive.kind() == DriveKind::Physical && settings_.digitalPlayback());
    });
}

Library& library() {
    static Library instance = [] {
        cdio_log_set_handler(cdioLog);
        return Library{};
    }();
    return instance;
}

CR_RESULT Library::init(const char* iniPath) {
    if (iniPath == nullptr) {
        return CR_ERROR;
    }
    for (int32_t number = 0; number < driveCount(); ++number) {
        if (seam().refuses(*drive(number), "CR_Init")) {
            return CR_ERROR;
        }
    }
    closeRange();
    const bool samePath = initialised_ && settings_.path() == iniPath;
    // A file that cannot be read leaves the library on its defaults; it is
    // not written until a save can read it whole again.
    settings_.load(iniPath);
    readError_ = settings_.loadError();
    if (!samePath) {
        applied_.clear();
        transportLayer_ = settings_.transportLayer().value_or(CR_TRANSPORT_SCSI);
    }
    initialised_ = true;
    drives_.enumerate(settings_, seam());
    if (active_ >= driveCount()) {
        active_ = 0;
    }
    // A section keeps playing only while its drive stays the active one.
    if (const Drive* current = active()) {
        playback_.keepOnly(current->location());
    } else {
        playback_.forget();
    }
    return CR_OK;
}

CR_RESULT Library::setActive(int32_t number) {
    Drive* target = drive(number);
    if (target == nullptr || seam().refuses(*target, "CR_SetActiveCDROM")) {
        return CR_ERROR;
    }
    if (number != active_) {
        playback_.forget();
        closeRange();
        forgetDisc();
        if (Drive* previous = active()) {
            previous->release();
        }
    }
    active_ = number;
    if (target->kind() == DriveKind::Image) {
        const auto lock = lockDrive();
        static_cast<ImageDrive*>(target)->select();
    }
    return CR_OK;
}

void Library::save() {
    if (!initialised_) {
        saveError_ = "no settings file was given";
        return;
    }
    for (const auto& [identification, parameters] : applied_) {
        settings_.setDrive(identification, parameters);
    }
    settings_.setTransportLayer(transportLayer_);
    settings_.save(saveError_);
}

void Library::setTransportLayer(int32_t layer) {
    if (layer != CR_TRANSPORT_IOCTL && layer != CR_TRANSPORT_SCSI) {
        return;
    }
    if (Drive* current = active();
        current != nullptr && (seam().refuses(*current, "CR_SetTransportLayer") ||
                               !seam().acceptsTransportLayer(*current, layer))) {
        return;
    }
    if (layer == transportLayer_) {
        return;
    }
    closeRange();
    transportLayer_ = layer;
    for (const auto& drive : drives_.machineDrives()) {
        drive->transportLayerChanged(layer);
    }
}

ReadShift Library::shiftFor(const std::vector<TTocEntry>& disc, int32_t firstSector,
                            const DriveParameters& parameters) {
    ReadShift shift;
    shift.samples = parameters.readOffset;
    shift.overread = parameters.overreadOn();
    // The audio ends at the lead-out, or where a data track follows the
    // range's audio: the samples of a data track are no audio to shift in.
    shift.discLast = static_cast<int32_t>(disc.back().StartSector) - 1;
    for (size_t i = 0; i + 1 < disc.size(); ++i) {
        const auto start = static_cast<int32_t>(disc[i].StartSector);
        if ((disc[i].Flags & TOC_FLAG_DATA) != 0 && start > firstSector) {
            shift.discLast = start - 1;
            break;
        }
    }
    return shift;
}

CR_RESULT Library::openRange(Drive& drive, int32_t firstSector, int32_t lastSector,
                             int32_t& chunkBytes) {
    // The player reads the disc too; extraction has it to itself.
    playback_.end();
    closeRange();
    forgetClosedRange();
    const auto disc = drive.readToc();
    if (!disc || firstSector < 0 || lastSector < firstSector ||
        lastSector >= static_cast<int32_t>(disc->back().StartSector)) {
        return CR_ERROR;
    }
    const DriveParameters parameters = parametersOf(drive);
    const ReadShift shift = shiftFor(*disc, firstSector, parameters);
    // A range shifted wholly off the disc reads nothing; the drive still
    // opens the range asked for, to say whether the disc can be read.
    const SectorSpan onDisc =
        driveSpan(firstSector, lastSector, shift).value_or(SectorSpan{firstSector, lastSector});
    if (!drive.openRange(onDisc.first, onDisc.last, parameters)) {
        return CR_ERROR;
    }
    ripper_ = std::make_unique<Ripper>(drive, firstSector, lastSector, parameters, shift,
                                       driveAccess_, readAhead_ && drive.readsWaitOnDevice(),
                                       [this, &drive] { seam().chunkHandedOn(drive); });
    chunkBytes = ripper_->chunkBytes();
    return CR_OK;
}

bool Library::closeRange() {
    if (!ripper_) {
        return false;
    }
    closedJitterErrors_ = ripper_->jitterErrors();
    closedLastJitter_ = ripper_->lastJitterSpan();
    closedLostSectors_ = ripper_->lostSectors();
    closedLostRuns_ = ripper_->lostRuns();
    closedSilencedSamples_ = ripper_->silencedSamples();
    ripper_.reset();
    return true;
}

void Library::forgetClosedRange() {
    closedJitterErrors_ = 0;
    closedLastJitter_ = {};
    closedLostSectors_ = 0;
    closedLostRuns_.clear();
    closedSilencedSamples_ = 0;
}

void Library::deInit() {
    playback_.forget();
    closeRange();
}

void Library::reset() {
    deInit();
    playback_.setSinkFactory(nullptr);
    forgetClosedRange();
    // The drives go before the seam whose devices they may use.
    drives_.clear();
    installedSeam_.reset();
    active_ = 0;
    initialised_ = false;
    settings_ = Settings{};
    readError_.clear();
    saveError_.clear();
    applied_.clear();
    transportLayer_ = CR_TRANSPORT_SCSI;
    forgetDisc();
    readAhead_ = true;
    setDeviceChangeHandler(nullptr);
}

LibrarySeam& seam() {
    return library().seam();
}

void postDeviceChange(uint32_t event) {
    library().post(event);
}

} // namespace cdlib
