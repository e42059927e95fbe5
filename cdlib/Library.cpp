// The CR_* functions: the list of drives, the active drive, the open range
// and the library's settings. Every call acts on the active drive through
// the Drive interface.
#include "CdRip_dll.h"
#include "Drive.h"
#include "DriveParameters.h"
#include "ImageDrive.h"
#include "PhysicalDrive.h"
#include "Playback.h"
#include "Ripper.h"
#include "Settings.h"
#include "TestHooks.h"
#include "VirtualDrive.h"
#include "VirtualDriveBackend.h"

#include <algorithm>
#include <cctype>
#include <cdio/logging.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

namespace cdlib {

namespace {

constexpr int32_t kLibraryVersion = 100;

class Library final {
public:
    Library() {
        playback_.setDigitalChoice([this](const Drive& drive) {
            return drive.kind() == DriveKind::Image ||
                   (drive.kind() == DriveKind::Physical && settings_.digitalPlayback());
        });
    }
    Library(const Library&) = delete;
    Library& operator=(const Library&) = delete;

    int32_t driveCount() const { return static_cast<int32_t>(host_.size() + virtual_.size()); }

    Drive* drive(int32_t number) const {
        if (number < 0 || number >= driveCount()) {
            return nullptr;
        }
        const auto index = static_cast<size_t>(number);
        if (index < host_.size()) {
            return host_[index].get();
        }
        return virtual_[index - host_.size()].get();
    }

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
        return {active_, drive.kind(), drive.identification(), drive.problem()};
    }

    // The active drive, or null when there is none or it refuses `operation`.
    Drive* activeFor(std::string_view operation) const {
        Drive* current = active();
        if (current == nullptr || current->refuses(operation)) {
            return nullptr;
        }
        return current;
    }

    CDEX_ERR init(const char* iniPath);
    CDEX_ERR setActive(int32_t number);

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
    // The disc is gone or another drive is active: its table and texts go.
    void forgetDisc() {
        toc_.clear();
        cdText_ = {};
    }

    Playback& playback() { return playback_; }
    void deInit();

    // Opening a range closes the one before it; the figures of a closed range
    // stay readable until the next opens.
    CDEX_ERR openRange(Drive& drive, int32_t firstSector, int32_t lastSector, int32_t& chunkBytes);
    Ripper* ripper() const { return ripper_.get(); }
    bool closeRange();
    int32_t jitterErrors() const { return ripper_ ? ripper_->jitterErrors() : closedJitterErrors_; }
    SectorSpan lastJitter() const {
        return ripper_ ? ripper_->lastJitterSpan() : closedLastJitter_;
    }
    int32_t lostSectors() const { return ripper_ ? ripper_->lostSectors() : closedLostSectors_; }
    const std::vector<SectorSpan>& lostRuns() const {
        return ripper_ ? ripper_->lostRuns() : closedLostRuns_;
    }

    int addVirtual(std::shared_ptr<VirtualDrive> drive) {
        virtual_.push_back(std::make_unique<VirtualDriveBackend>(std::move(drive)));
        return driveCount() - 1;
    }

    void setHostDrivesEnabled(bool enabled) { hostDrivesEnabled_ = enabled; }

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

    void reset();

private:
    std::vector<std::string> imagePaths() const;
    void enumerateHostDrives();
    void nameImages();
    void forgetClosedRange();

    std::vector<std::unique_ptr<Drive>> host_;
    std::vector<std::unique_ptr<VirtualDriveBackend>> virtual_;
    int32_t active_ = 0;
    bool initialised_ = false;
    bool hostDrivesEnabled_ = true;
    Settings settings_;
    std::string readError_;
    std::string saveError_;
    std::map<std::string, DriveParameters> applied_;
    int32_t transportLayer_ = CR_TRANSPORT_SCSI;
    std::vector<TTocEntry> toc_;
    CdText cdText_;
    std::mutex driveAccess_;
    bool readAhead_ = true;
    std::unique_ptr<Ripper> ripper_;
    int32_t closedJitterErrors_ = 0;
    SectorSpan closedLastJitter_;
    int32_t closedLostSectors_ = 0;
    std::vector<SectorSpan> closedLostRuns_;
    mutable std::mutex deviceChangeMutex_;
    std::function<void(uint32_t)> deviceChangeHandler_;
    Playback playback_;
};

// libcdio warns on stderr about things the library handles itself (a
// short pregap in an image, a missing file); only its errors go through.
void cdioLog(cdio_log_level_t level, const char message[]) {
    if (level >= CDIO_LOG_ERROR) {
        std::fprintf(stderr, "libcdio: %s\n", message);
    }
}

Library& library() {
    static Library instance = [] {
        cdio_log_set_handler(cdioLog);
        return Library{};
    }();
    return instance;
}

std::vector<std::string> splitPaths(const char* list) {
    std::vector<std::string> paths;
    if (list == nullptr) {
        return paths;
    }
    std::string current;
    for (const char* c = list;; ++c) {
        if (*c == ':' || *c == '\0') {
            if (!current.empty()) {
                paths.push_back(current);
            }
            current.clear();
            if (*c == '\0') {
                break;
            }
        } else {
            current += *c;
        }
    }
    return paths;
}

std::string canonicalPath(const std::string& path) {
    std::error_code error;
    const auto canonical = std::filesystem::weakly_canonical(path, error);
    return error ? path : canonical.string();
}

std::vector<std::string> Library::imagePaths() const {
    std::vector<std::string> paths;
    std::set<std::string> seen;
    auto add = [&](const std::string& path) {
        const std::string canonical = canonicalPath(path);
        if (seen.insert(canonical).second) {
            paths.push_back(canonical);
        }
    };
    for (const std::string& path : settings_.images()) {
        add(path);
    }
    if (hostDrivesEnabled_) {
        for (const std::string& path : splitPaths(std::getenv("VARROW_CD_IMAGES"))) {
            add(path);
        }
    }
    return paths;
}

void Library::enumerateHostDrives() {
    // Drives that are still there keep their object, and with it their
    // state (an ejected image, a locked tray).
    std::map<std::string, std::unique_ptr<Drive>> previous;
    for (auto& drive : host_) {
        previous[drive->location()] = std::move(drive);
    }
    host_.clear();
    auto reuse = [&](const std::string& location) -> std::unique_ptr<Drive> {
        const auto found = previous.find(location);
        if (found == previous.end()) {
            return nullptr;
        }
        auto drive = std::move(found->second);
        previous.erase(found);
        return drive;
    };
    // Devices a test installed stand in for the machine's drives.
    if (hostDrivesEnabled_ || deviceSystemReplaced()) {
        std::map<std::string, std::vector<PhysicalDrive*>> byIdentification;
        for (const DeviceCandidate& device : PhysicalDrive::devices(deviceSystem())) {
            auto drive = reuse(device.path);
            host_.push_back(drive ? std::move(drive)
                                  : std::make_unique<PhysicalDrive>(deviceSystem(), device));
            auto* physical = static_cast<PhysicalDrive*>(host_.back().get());
            byIdentification[physical->identification()].push_back(physical);
        }
        for (auto& [identification, drives] : byIdentification) {
            if (drives.size() > 1) {
                for (PhysicalDrive* drive : drives) {
                    drive->nameByDevice();
                }
            }
        }
    }
    for (const std::string& path : imagePaths()) {
        auto drive = reuse(path);
        host_.push_back(drive ? std::move(drive) : std::make_unique<ImageDrive>(path));
    }
    nameImages();
}

// Images are told apart by their file name, or, where names meet, by as
// many of the folders above as it takes: the identification also keys the
// drive's settings section, whose name the file compares without regard to
// case.
void Library::nameImages() {
    struct Named {
        ImageDrive* drive;
        std::vector<std::string> parts; // file name first, then the folders up
        size_t depth = 1;
        std::string shown;
    };
    std::vector<Named> images;
    for (auto& drive : host_) {
        if (drive->kind() != DriveKind::Image) {
            continue;
        }
        Named named{static_cast<ImageDrive*>(drive.get()), {}, 1, {}};
        for (const auto& part : std::filesystem::path(drive->location()).relative_path()) {
            named.parts.insert(named.parts.begin(), part.string());
        }
        if (named.parts.empty()) {
            named.parts.push_back(drive->location());
        }
        images.push_back(std::move(named));
    }
    auto key = [](const std::string& shown) {
        std::string section = Settings::driveSection("Image " + shown);
        for (char& c : section) {
            c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        }
        return section;
    };
    std::map<std::string, int> uses;
    for (bool deeper = true; deeper;) {
        uses.clear();
        for (Named& image : images) {
            image.shown.clear();
            for (size_t i = image.depth; i-- > 0;) {
                image.shown += image.parts[i] + (i > 0 ? "/" : "");
            }
            ++uses[key(image.shown)];
        }
        deeper = false;
        for (Named& image : images) {
            if (uses[key(image.shown)] > 1 && image.depth < image.parts.size()) {
                ++image.depth;
                deeper = true;
            }
        }
    }
    // Whole paths that differ only in case still need telling apart.
    std::map<std::string, int> seen;
    for (Named& image : images) {
        const int count = ++seen[key(image.shown)];
        image.drive->setShownPath(count > 1 ? image.shown + " #" + std::to_string(count)
                                            : image.shown);
    }
}

CDEX_ERR Library::init(const char* iniPath) {
    if (iniPath == nullptr) {
        return CR_ERROR;
    }
    for (const auto& drive : virtual_) {
        if (drive->refuses("CR_Init")) {
            return CR_ERROR; // a test's script
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
    enumerateHostDrives();
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

CDEX_ERR Library::setActive(int32_t number) {
    Drive* target = drive(number);
    if (target == nullptr || target->refuses("CR_SetActiveCDROM")) {
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
        current != nullptr &&
        (current->refuses("CR_SetTransportLayer") || !current->acceptsTransportLayer(layer))) {
        return;
    }
    if (layer == transportLayer_) {
        return;
    }
    closeRange();
    transportLayer_ = layer;
    for (auto& drive : host_) {
        drive->transportLayerChanged(layer);
    }
}

CDEX_ERR Library::openRange(Drive& drive, int32_t firstSector, int32_t lastSector,
                            int32_t& chunkBytes) {
    // The player reads the disc too; extraction has it to itself.
    playback_.end();
    closeRange();
    forgetClosedRange();
    const auto disc = drive.readToc();
    if (!disc || firstSector < 0 || lastSector < firstSector ||
        firstSector < static_cast<int32_t>(disc->front().StartSector) ||
        lastSector >= static_cast<int32_t>(disc->back().StartSector)) {
        return CR_ERROR;
    }
    const DriveParameters parameters = parametersOf(drive);
    if (!drive.openRange(firstSector, lastSector, parameters)) {
        return CR_ERROR;
    }
    ripper_ = std::make_unique<Ripper>(drive, firstSector, lastSector, parameters, driveAccess_,
                                       readAhead_ && drive.readsWaitOnDevice());
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
    ripper_.reset();
    return true;
}

void Library::forgetClosedRange() {
    closedJitterErrors_ = 0;
    closedLastJitter_ = {};
    closedLostSectors_ = 0;
    closedLostRuns_.clear();
}

void Library::deInit() {
    playback_.forget();
    closeRange();
}

void Library::reset() {
    deInit();
    playback_.setSinkFactory(nullptr);
    forgetClosedRange();
    host_.clear();
    virtual_.clear();
    setDeviceSystem(nullptr);
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
    setParanoiaTestFlags(0);
    setSectorReadFilter(nullptr);
}

} // namespace

void postDeviceChange(uint32_t event) {
    library().post(event);
}

int addVirtualDrive(std::shared_ptr<VirtualDrive> drive) {
    return library().addVirtual(std::move(drive));
}

void resetLibrary() {
    library().reset();
}

void setHostDrivesEnabled(bool enabled) {
    library().setHostDrivesEnabled(enabled);
}

void setReadAhead(bool enabled) {
    library().setReadAhead(enabled);
}

void setAudioSinkFactory(AudioSinkFactory factory) {
    library().playback().setSinkFactory(std::move(factory));
}

} // namespace cdlib

using cdlib::library;

int32_t CR_GetCDRipVersion() {
    return cdlib::kLibraryVersion;
}

void CR_DeInit() {
    library().deInit();
}

CDEX_ERR CR_Init(const char* iniPath) {
    return library().init(iniPath);
}

int32_t CR_GetNumCDROM() {
    return library().driveCount();
}

CDEX_ERR CR_SetActiveCDROM(int32_t drive) {
    return library().setActive(drive);
}

int32_t CR_GetActiveCDROM() {
    return library().activeNumber();
}

CDEX_ERR CR_GetCDROMParameters(TCDROMParams* params) {
    cdlib::Drive* drive = library().activeFor("CR_GetCDROMParameters");
    if (params == nullptr || drive == nullptr) {
        return CR_ERROR;
    }
    const auto driveLock = library().lockDrive();
    cdlib::fillRecord(*params, library().ownerOf(*drive), library().parametersOf(*drive));
    return CR_OK;
}

CDEX_ERR CR_SetCDROMParameters(const TCDROMParams* params) {
    cdlib::Drive* drive = library().activeFor("CR_SetCDROMParameters");
    if (params == nullptr || drive == nullptr) {
        return CR_ERROR;
    }
    cdlib::DriveParameters parameters;
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

int32_t CR_GetTransportLayer() {
    if (library().active() != nullptr && library().activeFor("CR_GetTransportLayer") == nullptr) {
        return CR_ERROR;
    }
    return library().transportLayer();
}

void CR_SetTransportLayer(int32_t layer) {
    library().setTransportLayer(layer);
}

CDEX_ERR CR_ReadToc() {
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
    return CR_OK;
}

int32_t CR_GetNumTocEntries() {
    cdlib::Drive* drive = library().activeFor("CR_GetNumTocEntries");
    if (drive == nullptr) {
        return library().active() != nullptr ? CR_ERROR : 0;
    }
    if (const auto reported = drive->reportedTrackCount()) {
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

CDEX_ERR CR_GetCDText(int32_t track, TCDTextField field, char* text, int32_t size) {
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

CDEX_ERR CR_OpenRipper(int32_t* chunkBytes, int32_t firstSector, int32_t lastSector) {
    cdlib::Drive* drive = library().activeFor("CR_OpenRipper");
    if (chunkBytes == nullptr || drive == nullptr) {
        return CR_ERROR;
    }
    return library().openRange(*drive, firstSector, lastSector, *chunkBytes);
}

CDEX_ERR CR_RipChunk(uint8_t* buffer, int32_t* bytesDelivered, int32_t* abort) {
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

int32_t CR_GetNumberOfLostSectors() {
    if (library().active() != nullptr &&
        library().activeFor("CR_GetNumberOfLostSectors") == nullptr) {
        return CR_ERROR;
    }
    return library().lostSectors();
}

CDEX_ERR CR_GetLostSectorRun(int32_t index, uint32_t* firstSector, uint32_t* lastSector) {
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

CDEX_ERR CR_CloseRipper() {
    if (library().active() != nullptr && library().activeFor("CR_CloseRipper") == nullptr) {
        return CR_ERROR;
    }
    return library().closeRange() ? CR_OK : CR_ERROR;
}

CDEX_ERR CR_PlaySection(int32_t firstSector, int32_t lastSector) {
    cdlib::Drive* drive = library().activeFor("CR_PlaySection");
    const auto driveLock = library().lockDrive();
    return drive != nullptr && library().playback().play(*drive, firstSector, lastSector)
               ? CR_OK
               : CR_ERROR;
}

CDEX_ERR CR_PauseCD(int32_t pause) {
    cdlib::Drive* drive = library().activeFor("CR_PauseCD");
    const auto driveLock = library().lockDrive();
    return drive != nullptr && library().playback().pause(*drive, pause != CR_FALSE) ? CR_OK
                                                                                     : CR_ERROR;
}

CDEX_ERR CR_StopPlayTrack() {
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

CDEX_ERR CR_LockCD(int32_t lock) {
    cdlib::Drive* drive = library().activeFor("CR_LockCD");
    const auto driveLock = library().lockDrive();
    return drive != nullptr && drive->lock(lock != CR_FALSE) ? CR_OK : CR_ERROR;
}

CDEX_ERR CR_EjectCD(int32_t open) {
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
