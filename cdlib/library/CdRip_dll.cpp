// SPDX-License-Identifier: GPL-3.0-or-later
// The CR_* functions: each checks its arguments and whether the active drive
// accepts the call, then acts through the library's state (Library.h).
#include "CdRip_dll.h"

#include "library/Library.h"

#include <algorithm>
#include <cstring>
#include <vector>

using cdlib::library;

namespace {

constexpr int32_t kLibraryVersion = 100;

// A track of the table; its last entry is the lead-out.
bool listedTrack(const std::vector<TTocEntry>& toc, int32_t track) {
    return toc.size() > 1 &&
           std::any_of(toc.begin(), toc.end() - 1,
                       [track](const TTocEntry& entry) { return entry.TrackNumber == track; });
}

TTrackInfo trackInfoRecord(const cdlib::TrackInfo& track) {
    TTrackInfo record{};
    std::strncpy(record.Isrc, track.isrc.c_str(), sizeof record.Isrc - 1);
    record.PregapSector = track.pregapSector.value_or(-1);
    record.PreEmphasis = track.preEmphasis ? CR_TRUE : CR_FALSE;
    record.CopyPermitted = track.copyPermitted ? CR_TRUE : CR_FALSE;
    record.FourChannel = track.fourChannel ? CR_TRUE : CR_FALSE;
    return record;
}

} // namespace

int32_t CR_GetCDRipVersion() {
    return kLibraryVersion;
}

void CR_DeInit() {
    library().deInit();
}

CR_RESULT CR_Init(const char* iniPath) {
    return library().init(iniPath);
}

int32_t CR_GetNumCDROM() {
    return library().driveCount();
}

CR_RESULT CR_SetActiveCDROM(int32_t drive) {
    return library().setActive(drive);
}

int32_t CR_GetActiveCDROM() {
    return library().activeNumber();
}

CR_RESULT CR_GetCDROMParameters(TCDROMParams* params) {
    cdlib::Drive* drive = library().activeFor("CR_GetCDROMParameters");
    if (params == nullptr || drive == nullptr) {
        return CR_ERROR;
    }
    const auto driveLock = library().lockDrive();
    cdlib::fillRecord(*params, library().ownerOf(*drive), library().parametersOf(*drive));
    return CR_OK;
}

CR_RESULT CR_SetCDROMParameters(const TCDROMParams* params) {
    cdlib::Drive* drive = library().activeFor("CR_SetCDROMParameters");
    if (params == nullptr || drive == nullptr) {
        return CR_ERROR;
    }
    // The record carries no read offset: the drive keeps its own.
    cdlib::DriveParameters parameters = library().parametersOf(*drive);
    const auto driveLock = library().lockDrive();
    if (!cdlib::readRecord(*params, library().ownerOf(*drive), parameters) ||
        !cdlib::plausible(parameters) || !drive->applyParameters(parameters)) {
        return CR_ERROR;
    }
    library().apply(*drive, parameters);
    return CR_OK;
}

void CR_SaveSettings() {
    if (library().active() == nullptr || library().activeFor("CR_SaveSettings") != nullptr) {
        library().save();
    } else {
        library().refuseSave();
    }
}

std::string CR_GetSettingsReadError() {
    return library().readError();
}

std::string CR_GetSettingsSaveError() {
    return library().saveError();
}

void CR_ForgetSettings() {
    library().forgetDriveSettings();
}

std::string CR_GetDriveProblem() {
    const cdlib::Drive* drive = library().active();
    const auto driveLock = library().lockDrive();
    return drive != nullptr ? drive->problem() : std::string();
}

std::string CR_GetDriveNotice() {
    const cdlib::Drive* drive = library().active();
    const auto driveLock = library().lockDrive();
    return drive != nullptr ? drive->notice() : std::string();
}

int32_t CR_GetTransportLayer() {
    if (library().active() != nullptr && library().activeFor("CR_GetTransportLayer") == nullptr) {
        return CR_ERROR;
    }
    return library().transportLayer();
}

void CR_SetTransportLayer(int32_t layer) {
    library().setTransportLayer(layer);
}

CR_RESULT CR_ReadToc() {
    library().forgetDisc();
    auto& toc = library().toc();
    cdlib::Drive* drive = library().activeFor("CR_ReadToc");
    if (drive == nullptr) {
        return CR_ERROR;
    }
    const auto driveLock = library().lockDrive();
    auto disc = drive->readToc();
    if (!disc) {
        return CR_ERROR;
    }
    toc = std::move(*disc);
    library().cdText() = drive->cdText();
    library().discInfo() = cdlib::checkedAgainst(drive->discInfo(), toc);
    return CR_OK;
}

int32_t CR_GetNumTocEntries() {
    cdlib::Drive* drive = library().activeFor("CR_GetNumTocEntries");
    if (drive == nullptr) {
        return library().active() != nullptr ? CR_ERROR : 0;
    }
    if (const auto reported = library().seam().reportedTrackCount(*drive)) {
        return *reported;
    }
    const auto& toc = library().toc();
    return toc.empty() ? 0 : static_cast<int32_t>(toc.size()) - 1;
}

TTocEntry CR_GetTocEntry(int32_t index) {
    const auto& toc = library().toc();
    if (library().activeFor("CR_GetTocEntry") == nullptr || index < 0 ||
        static_cast<size_t>(index) >= toc.size()) {
        return TTocEntry{};
    }
    return toc[static_cast<size_t>(index)];
}

CR_RESULT CR_GetCDText(int32_t track, TCDTextField field, char* text, int32_t size) {
    if (text != nullptr && size > 0) {
        text[0] = '\0';
    }
    if (library().activeFor("CR_GetCDText") == nullptr || text == nullptr || size <= 0 ||
        field < 0 || field >= CDTEXT_FIELDS) {
        return CR_ERROR;
    }
    const auto found = library().cdText().get(track, field);
    if (!found) {
        return CR_ERROR;
    }
    size_t length = std::min(found->size(), static_cast<size_t>(size) - 1);
    // A cut never leaves half a character: continuation bytes go with it.
    while (length < found->size() && length > 0 &&
           (static_cast<unsigned char>((*found)[length]) & 0xC0u) == 0x80u) {
        --length;
    }
    std::memcpy(text, found->data(), length);
    text[length] = '\0';
    return CR_OK;
}

std::string CR_GetCatalogNumber() {
    if (library().activeFor("CR_GetCatalogNumber") == nullptr) {
        return {};
    }
    return library().discInfo().catalog;
}

CR_RESULT CR_GetTrackInfo(int32_t track, TTrackInfo* info) {
    if (info != nullptr) {
        *info = trackInfoRecord({});
    }
    if (info == nullptr || !listedTrack(library().toc(), track) ||
        library().activeFor("CR_GetTrackInfo") == nullptr) {
        return CR_ERROR;
    }
    const auto& tracks = library().discInfo().tracks;
    if (const auto found = tracks.find(track); found != tracks.end()) {
        *info = trackInfoRecord(found->second);
    }
    return CR_OK;
}

CR_RESULT CR_OpenRipper(int32_t* chunkBytes, int32_t firstSector, int32_t lastSector) {
    cdlib::Drive* drive = library().activeFor("CR_OpenRipper");
    if (chunkBytes == nullptr || drive == nullptr) {
        return CR_ERROR;
    }
    return library().openRange(*drive, firstSector, lastSector, *chunkBytes);
}

CR_RESULT CR_RipChunk(uint8_t* buffer, int32_t* bytesDelivered, int32_t* abort) {
    if (bytesDelivered != nullptr) {
        *bytesDelivered = 0;
    }
    cdlib::Ripper* ripper = library().ripper();
    if (ripper == nullptr) {
        // No range is open (or it was closed under the caller): nothing more
        // will come, and a caller that waits for the last chunk must not wait
        // for ever.
        return CR_CHUNK_LAST;
    }
    if (buffer == nullptr || bytesDelivered == nullptr ||
        library().activeFor("CR_RipChunk") == nullptr) {
        return CR_CHUNK_NONE;
    }
    return ripper->ripChunk(buffer, bytesDelivered, abort);
}

int32_t CR_GetPercentCompleted() {
    if (library().active() != nullptr && library().activeFor("CR_GetPercentCompleted") == nullptr) {
        return CR_ERROR;
    }
    const cdlib::Ripper* ripper = library().ripper();
    return ripper != nullptr ? ripper->percentCompleted() : 0;
}

void CR_GetLastJitterErrorPosition(uint32_t* firstSector, uint32_t* lastSector) {
    uint32_t first = 0;
    uint32_t last = 0;
    if (library().active() == nullptr ||
        library().activeFor("CR_GetLastJitterErrorPosition") != nullptr) {
        const cdlib::SectorSpan span = library().lastJitter();
        first = static_cast<uint32_t>(span.first);
        last = static_cast<uint32_t>(span.last);
    }
    if (firstSector != nullptr) {
        *firstSector = first;
    }
    if (lastSector != nullptr) {
        *lastSector = last;
    }
}

int32_t CR_GetNumberOfJitterErrors() {
    if (library().active() != nullptr &&
        library().activeFor("CR_GetNumberOfJitterErrors") == nullptr) {
        return CR_ERROR;
    }
    return library().jitterErrors();
}

namespace {

// Applies `change` to the active drive's parameters; 1 when there is no
// drive or it refuses `operation`.
template <typename Change> CR_RESULT changeParameters(std::string_view operation, Change change) {
    cdlib::Drive* drive = library().activeFor(operation);
    if (drive == nullptr) {
        return CR_ERROR;
    }
    cdlib::DriveParameters parameters = library().parametersOf(*drive);
    change(parameters);
    library().apply(*drive, parameters);
    return CR_OK;
}

} // namespace

int32_t CR_GetReadOffset() {
    const cdlib::Drive* drive = library().activeFor("CR_GetReadOffset");
    return drive == nullptr ? 0 : library().parametersOf(*drive).readOffset;
}

CR_RESULT CR_SetReadOffset(int32_t samples) {
    if (samples < -CR_MAX_READ_OFFSET || samples > CR_MAX_READ_OFFSET) {
        return CR_ERROR;
    }
    return changeParameters("CR_SetReadOffset", [&](cdlib::DriveParameters& parameters) {
        parameters.readOffset = samples;
    });
}

int32_t CR_GetOverread() {
    const cdlib::Drive* drive = library().activeFor("CR_GetOverread");
    return drive == nullptr ? CR_FALSE : library().parametersOf(*drive).overread;
}

CR_RESULT CR_SetOverread(int32_t overread) {
    return changeParameters("CR_SetOverread", [&](cdlib::DriveParameters& parameters) {
        parameters.overread = overread != CR_FALSE ? CR_TRUE : CR_FALSE;
    });
}

int32_t CR_CanOverread() {
    const cdlib::Drive* drive = library().activeFor("CR_CanOverread");
    return drive != nullptr && drive->readsOutsideDisc() ? CR_TRUE : CR_FALSE;
}

int64_t CR_GetNumberOfSilencedSamples() {
    return library().silencedSamples();
}

int32_t CR_GetNumberOfLostSectors() {
    if (library().active() != nullptr &&
        library().activeFor("CR_GetNumberOfLostSectors") == nullptr) {
        return CR_ERROR;
    }
    return library().lostSectors();
}

CR_RESULT CR_GetLostSectorRun(int32_t index, uint32_t* firstSector, uint32_t* lastSector) {
    if (library().active() != nullptr && library().activeFor("CR_GetLostSectorRun") == nullptr) {
        return CR_ERROR;
    }
    const auto& runs = library().lostRuns();
    if (index < 0 || static_cast<size_t>(index) >= runs.size()) {
        return CR_ERROR;
    }
    const cdlib::SectorSpan& run = runs[static_cast<size_t>(index)];
    if (firstSector != nullptr) {
        *firstSector = static_cast<uint32_t>(run.first);
    }
    if (lastSector != nullptr) {
        *lastSector = static_cast<uint32_t>(run.last);
    }
    return CR_OK;
}

CR_RESULT CR_CloseRipper() {
    if (library().active() != nullptr && library().activeFor("CR_CloseRipper") == nullptr) {
        return CR_ERROR;
    }
    return library().closeRange() ? CR_OK : CR_ERROR;
}

CR_RESULT CR_PlaySection(int32_t firstSector, int32_t lastSector) {
    cdlib::Drive* drive = library().activeFor("CR_PlaySection");
    const auto driveLock = library().lockDrive();
    return drive != nullptr && library().playback().play(*drive, firstSector, lastSector)
               ? CR_OK
               : CR_ERROR;
}

CR_RESULT CR_PauseCD(int32_t pause) {
    cdlib::Drive* drive = library().activeFor("CR_PauseCD");
    const auto driveLock = library().lockDrive();
    return drive != nullptr && library().playback().pause(*drive, pause != CR_FALSE) ? CR_OK
                                                                                     : CR_ERROR;
}

CR_RESULT CR_StopPlayTrack() {
    cdlib::Drive* drive = library().activeFor("CR_StopPlayTrack");
    const auto driveLock = library().lockDrive();
    return drive != nullptr && library().playback().stop(*drive) ? CR_OK : CR_ERROR;
}

void CR_GetPlayPosition(uint32_t* inTrack, uint32_t* absolute) {
    cdlib::PlayPosition position;
    if (cdlib::Drive* drive = library().activeFor("CR_GetPlayPosition")) {
        const auto driveLock = library().lockDrive();
        position = library().playback().position(*drive);
    }
    if (inTrack != nullptr) {
        *inTrack = position.inTrack;
    }
    if (absolute != nullptr) {
        *absolute = position.absolute;
    }
}

void CR_SetPlayPosition(uint32_t sector) {
    if (cdlib::Drive* drive = library().activeFor("CR_SetPlayPosition")) {
        const auto driveLock = library().lockDrive();
        library().playback().setPosition(*drive, sector);
    }
}

CR_RESULT CR_LockCD(int32_t lock) {
    cdlib::Drive* drive = library().activeFor("CR_LockCD");
    const auto driveLock = library().lockDrive();
    return drive != nullptr && drive->lock(lock != CR_FALSE) ? CR_OK : CR_ERROR;
}

CR_RESULT CR_EjectCD(int32_t open) {
    cdlib::Drive* drive = library().activeFor("CR_EjectCD");
    if (drive == nullptr) {
        return CR_ERROR;
    }
    // Neither playing nor reading can go on from an open tray.
    library().playback().forget();
    library().closeRange();
    library().forgetDisc();
    return drive->eject(open != CR_FALSE) ? CR_OK : CR_ERROR;
}

void CR_SetDeviceChangeHandler(std::function<void(uint32_t event)> handler) {
    library().setDeviceChangeHandler(std::move(handler));
}
