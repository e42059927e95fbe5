// SPDX-License-Identifier: GPL-3.0-or-later
// TCDRIP's data model: creation, drive selection and the track table, the
// parameter record, the coder link and play times. Extraction is in
// CDRIPExtraction.cpp.
#include "CDRIP.h"

#include "LameCoder.h"
#include "ProgramFiles.h"
#include "WavHeader.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <utility>

namespace {

EngineHooks& installedHooks() {
    static EngineHooks hooks;
    return hooks;
}

// "Track01" ... "Track99", "Track100".
std::string trackName(int32_t number) {
    return "Track" + TrackNumberText(number);
}

// Cut texts stay whole characters; a disc's whole CD-Text in one language
// is smaller than this.
constexpr std::size_t kCdTextBytes = 8192;

std::string cdText(int32_t track, TCDTextField field) {
    std::array<char, kCdTextBytes> text{};
    if (CR_GetCDText(track, field, text.data(), static_cast<int32_t>(text.size())) == CR_ERROR) {
        return {};
    }
    return text.data();
}

TTrackDiscInfo trackDiscInfo(int32_t track) {
    TTrackInfo record{};
    if (CR_GetTrackInfo(track, &record) == CR_ERROR) {
        return {};
    }
    TTrackDiscInfo info;
    info.Isrc.assign(record.Isrc, strnlen(record.Isrc, sizeof record.Isrc));
    if (record.PregapSector >= 0) {
        info.PregapSector = record.PregapSector;
    }
    info.PreEmphasis = record.PreEmphasis != CR_FALSE;
    info.CopyPermitted = record.CopyPermitted != CR_FALSE;
    info.FourChannel = record.FourChannel != CR_FALSE;
    return info;
}

std::string twoDigits(int64_t value) {
    return (value < 10 ? "0" : "") + std::to_string(value);
}

// Track 0: the sectors before a first track that starts after sector 0,
// when any of them holds a sample that is not digital silence. Reading stops
// at the first such sample; a range the drive cannot read holds none.
std::optional<TTrack> audioBeforeTrackOne(const std::vector<TTrackEntry>& tracks) {
    if (tracks.empty() || tracks.front().Track.TrackType != "Audio" ||
        tracks.front().Track.StartSector <= 0) {
        return std::nullopt;
    }
    TTrack hidden;
    hidden.Number = 0;
    hidden.StartSector = 0;
    hidden.EndSector = tracks.front().Track.StartSector - 1;
    hidden.Sectors = hidden.EndSector - hidden.StartSector;
    hidden.Size = static_cast<int32_t>(int64_t{hidden.Sectors} * CD_SECTOR_BYTES);
    hidden.TrackType = "Audio";
    int32_t chunkBytes = 0;
    if (CR_OpenRipper(&chunkBytes, hidden.StartSector, hidden.EndSector) == CR_ERROR) {
        return std::nullopt;
    }
    std::vector<uint8_t> buffer(static_cast<std::size_t>(std::max(chunkBytes, 0)));
    bool audio = false;
    // A chunk holds at least a sector: no more calls than sectors.
    for (int32_t call = 0; call <= hidden.EndSector + 1 && !audio; ++call) {
        int32_t delivered = 0;
        const CR_RESULT result = CR_RipChunk(buffer.data(), &delivered, nullptr);
        audio = std::any_of(buffer.begin(), buffer.begin() + std::clamp(delivered, 0, chunkBytes),
                            [](uint8_t byte) { return byte != 0; });
        if (result == CR_CHUNK_LAST) {
            break;
        }
    }
    CR_CloseRipper();
    return audio ? std::optional<TTrack>(hidden) : std::nullopt;
}

} // namespace

const TTrack* TCDRIP::TrackByNumber(int32_t number) const {
    if (number == 0) {
        return hiddenTrack_ ? &*hiddenTrack_ : nullptr;
    }
    if (number < 1 || number > static_cast<int32_t>(tracks_.size())) {
        return nullptr;
    }
    return &tracks_[static_cast<std::size_t>(number - 1)].Track;
}

std::string ECDRIPError::Reason() const {
    if (!reason_.empty() || errorNumber_ == 0) {
        return reason_;
    }
    return std::strerror(errorNumber_);
}

void setEngineHooks(EngineHooks hooks) {
    installedHooks() = std::move(hooks);
}

const EngineHooks& engineHooks() {
    return installedHooks();
}

std::string TrackNumberText(int32_t number) {
    return (number >= 0 && number <= 9 ? "0" : "") + std::to_string(number);
}

std::string settingsFilePath() {
    const ProgramEnvironment environment = ProgramEnvironment::current();
    const std::filesystem::path path = chooseSettingsFile(environment);
    // The CD library and the window write the file later; the user's folder
    // must exist by then. A failure here shows up as settings not saved.
    if (path == userSettingsFile(environment)) {
        std::error_code error;
        std::filesystem::create_directories(path.parent_path(), error);
    }
    return path.string();
}

TCDRIP::TCDRIP() {
    try {
        version_ = std::to_string(CR_GetCDRipVersion());
        jitterErrors_ = 0;
        monoDownMixType_ = 0;
    } catch (...) {
        throw ECDRIPError("TCDRip.Create Initialization failure");
    }
}

// The coder belongs to whoever assigned it; the table and lists go with
// their owners.
TCDRIP::~TCDRIP() {
    coder_ = nullptr;
}

void TCDRIP::setCoder(TLameCoder* coder) {
    coder_ = coder;
    UpdateCoderFormat();
}

void TCDRIP::setOutputFormat(TOutputFormat value) {
    if (value != outputFormat_) {
        params_.OutputFormat = static_cast<int32_t>(static_cast<uint8_t>(value));
    }
    outputFormat_ = value;
    UpdateCoderFormat();
}

void TCDRIP::setJitterCorrect(bool value) {
    jitterCorrect_ = value;
    params_.JitterCorrection = value ? CR_TRUE : CR_FALSE;
}

void TCDRIP::setSecureMode(bool value) {
    secureMode_ = value;
    params_.SecureMode = value ? CR_TRUE : CR_FALSE;
}

std::string TCDRIP::CDRomName() const {
    return std::string(cdRomName_.data(), strnlen(cdRomName_.data(), cdRomName_.size()));
}

void TCDRIP::SetActiveCD(int32_t index) {
    const std::string path = settingsFilePath();
    // The table goes first, so that a selection that fails leaves none.
    tracks_.clear();
    hiddenTrack_.reset();
    discText_ = {};
    discInfo_ = {};
    jitterPositions_.clear();
    try {
        if (CR_Init(path.c_str()) == CR_ERROR) {
            return;
        }
        if (CR_SetActiveCDROM(index) == CR_ERROR) {
            return;
        }
        // Read into a copy: a failed read keeps the record of the previous
        // selection along with the values taken from it.
        TCDROMParams record = params_;
        if (CR_GetCDROMParameters(&record) == CR_ERROR) {
            return;
        }
        params_ = record;
        std::memcpy(cdRomName_.data(), params_.ID, sizeof params_.ID);
        cdRomName_.back() = '\0';
        std::copy(std::begin(params_.DriveTable), std::end(params_.DriveTable),
                  driveTable_.Slots().begin());
        outputFormat_ = static_cast<TOutputFormat>(params_.OutputFormat & 0xFF);
        speed_ = params_.Speed;
        cdRomNum_ = index;
        jitterCorrect_ = params_.JitterCorrection != 0;
        secureMode_ = params_.SecureMode != 0;
        readOffset_ = CR_GetReadOffset();
        overread_ = CR_GetOverread() != CR_FALSE;
        canOverread_ = CR_CanOverread() != CR_FALSE;

        if (CR_ReadToc() == CR_ERROR) {
            return;
        }
        const int32_t entries = CR_GetNumTocEntries();
        trackCount_ = entries;
        if (entries <= 0) {
            return;
        }
        // Built aside and moved in whole, so that an error half-way leaves
        // an empty table, not a truncated one.
        std::vector<TTrackEntry> table;
        table.reserve(static_cast<std::size_t>(entries));
        TDiscText text;
        TDiscInfo info;
        TTocEntry entry = CR_GetTocEntry(0);
        for (int32_t j = 0; j < entries; ++j) {
            const TTocEntry next = CR_GetTocEntry(j + 1);
            TTrack track;
            track.Number = j + 1;
            track.StartSector = static_cast<int32_t>(entry.StartSector);
            track.EndSector = static_cast<int32_t>(next.StartSector - 1);
            track.Sectors = static_cast<int32_t>(int64_t{track.EndSector} - track.StartSector);
            const bool data = (entry.Flags & TOC_FLAG_DATA) != 0;
            track.TrackType = data ? "Data" : "Audio";
            track.Size = static_cast<int32_t>(int64_t{track.Sectors} *
                                              (data ? CD_DATA_SECTOR_BYTES : CD_SECTOR_BYTES));
            table.push_back({trackName(track.Number), track});
            text.Tracks.push_back({cdText(entry.TrackNumber, CDTEXT_TITLE),
                                   cdText(entry.TrackNumber, CDTEXT_PERFORMER)});
            info.Tracks.push_back(trackDiscInfo(entry.TrackNumber));
            entry = next;
        }
        text.Title = cdText(0, CDTEXT_TITLE);
        text.Performer = cdText(0, CDTEXT_PERFORMER);
        info.Catalog = CR_GetCatalogNumber();
        tracks_ = std::move(table);
        hiddenTrack_ = audioBeforeTrackOne(tracks_);
        discText_ = std::move(text);
        discInfo_ = std::move(info);
    } catch (...) {
        throw ECDRIPError("TCDRip.SetActiveCD Initialization failure");
    }
}

bool TCDRIP::ApplyParameters() {
    std::copy(driveTable_.Slots().begin(), driveTable_.Slots().end(),
              std::begin(params_.DriveTable));
    params_.Speed = speed_;
    try {
        return CR_SetCDROMParameters(&params_) != CR_ERROR &&
               CR_SetReadOffset(readOffset_) != CR_ERROR &&
               CR_SetOverread(overread_ ? CR_TRUE : CR_FALSE) != CR_ERROR;
    } catch (...) {
        throw ECDRIPError("Error setting parameters");
    }
}

void TCDRIP::UpdateCoderFormat() {
    if (!coder_ || outputFormat_ > MONO11025) {
        return;
    }
    const AudioFormat format = deliveredFormat(outputFormat_);
    coder_->setMode(format.channels == 1 ? MONO : STEREO);
    coder_->setSampleRate(format.sampleRate);
}

std::string TCDRIP::TrackPlayTime(const TTrack& track) const {
    int64_t sectors = track.Sectors;
    const bool negative = sectors < 0;
    if (negative) {
        sectors = -sectors;
    }
    const int64_t ms = sectors * 1000 / CD_SECTORS_PER_SECOND;
    int64_t seconds = (ms / 1000) % 60;
    const int64_t minutes = (ms / 60000) % 60;
    const int64_t hours = (ms / 3600000) % 24;
    if (negative) {
        // A negative count is shown one second longer, without carrying
        // into the minutes: 59 seconds has no valid time left.
        ++seconds;
        if (seconds > 59) {
            return "0000";
        }
    }
    return (negative ? "-" : "") + std::to_string(hours) + ":" + twoDigits(minutes) + ":" +
           twoDigits(seconds);
}
