// SPDX-License-Identifier: GPL-3.0-or-later
// TCDRIP, the extraction engine: it selects a drive, reads the disc's table
// of contents into a track table, carries the drive parameters to the CD
// library, and extracts a range of sectors into a PCM, WAV, MP3 or FLAC
// file.
//
// Single-threaded. While RipSectors runs it lets the application process
// pending input after every chunk (EngineHooks::processMessages); during that
// time only AbortRip and reads of the public state are allowed. An encoding
// handed off (setEncodingHandOff) runs on the caller's thread of choice.
#pragma once

#include "CdRip_dll.h"
#include "FlacEncoder.h"
#include "TrackChecksums.h"

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

class TAlbumLoudness;
class TLameCoder;
class TCDRIP;
class TTrackEncoding;

class ECDRIPError : public std::runtime_error {
public:
    // `errorNumber`: the operating system's reason (an errno value), 0 when
    // there is none; the message stays the fixed text either way.
    explicit ECDRIPError(const std::string& message, int errorNumber = 0)
        : std::runtime_error(message)
        , errorNumber_(errorNumber) {}
    // The reason in words, where no errno value names it.
    ECDRIPError(const std::string& message, std::string reason)
        : std::runtime_error(message)
        , errorNumber_(0)
        , reason_(std::move(reason)) {}
    int ErrorNumber() const { return errorNumber_; }
    // Why, as the user reads it: the reason given, or the system's text for
    // ErrorNumber; empty when there is neither.
    std::string Reason() const;

private:
    int errorNumber_;
    std::string reason_;
};

// Where the file of the last extraction ended up. Every track is written
// under a hidden temporary name in the target folder; only a track that
// read its whole range (no abort, no error, no lost sector) replaces what
// is under its name.
enum class TOutputOutcome {
    None,         // no file was made
    Written,      // complete, under its name (replacing what was there)
    Partial,      // ended early, and nothing was under its name: the
                  // valid, shorter file is there now
    ExistingKept, // ended early, and a file was under its name: left
                  // exactly as it was, the partial output removed
};

// A run of consecutive sectors, inclusive.
struct TSectorRange {
    int32_t First = 0;
    int32_t Last = 0;
    bool operator==(const TSectorRange&) const = default;
};

struct TTrack {
    int32_t Number = 0;      // 1-based position in the table
    int32_t StartSector = 0; // the TOC entry's start
    int32_t EndSector = 0;   // next entry's start - 1
    int32_t Sectors = 0;     // EndSector - StartSector
    int32_t Size = 0;        // Sectors x 2048 (data) or x 2352 (audio)
    std::string TrackType;   // "Data" or "Audio"
};

// One entry of Tracks: "Track01" ... "Track99", "Track100", and its track.
struct TTrackEntry {
    std::string Name;
    TTrack Track;
};

// What an MP3 or FLAC file of a track says about it, in UTF-8. A number or
// count of 0 is unknown.
struct TTrackTags {
    std::string Title;
    std::string Performer;
    std::string Album;
    int32_t TrackNumber = 0;
    int32_t TrackCount = 0;
    // What a looked-up release adds: the album's own performer, its date
    // ("2004", "2004-05-17"), which disc of a set this is, and the
    // MusicBrainz ids of the release, its group, the recording and the
    // artists. Empty or 0 where unknown.
    std::string AlbumPerformer;
    std::string Date;
    int32_t DiscNumber = 0;
    int32_t DiscCount = 0;
    std::string ReleaseId;
    std::string ReleaseGroupId;
    std::string RecordingId;
    std::vector<std::string> ArtistIds;
    std::vector<std::string> AlbumArtistIds;
    // The front cover to embed: the image's bytes and MIME type
    // ("image/jpeg", "image/png"); none when empty.
    std::vector<uint8_t> Cover;
    std::string CoverMimeType;
    bool operator==(const TTrackTags&) const = default;
};

// The CD-Text of one track; empty texts where the disc carries none.
struct TTrackText {
    std::string Title;
    std::string Performer;
};

// The disc's CD-Text, UTF-8: the album's title and performer, and one entry
// per entry of the track table, in its order.
struct TDiscText {
    std::string Title;
    std::string Performer;
    std::vector<TTrackText> Tracks;
};

// What one track carries beside its entry in the table of contents.
struct TTrackDiscInfo {
    std::string Isrc; // 12 characters; empty when none
    // Where the track's pregap (INDEX 00) starts, in the sectors of
    // StartSector and before it; none when the disc gives none
    // (CR_GetTrackInfo says what the numbers mean).
    std::optional<int32_t> PregapSector;
    bool PreEmphasis = false;
    bool CopyPermitted = false;
    bool FourChannel = false;
    bool operator==(const TTrackDiscInfo&) const = default;
};

// What the disc carries beside its table of contents: its catalogue number
// (MCN, 13 digits; empty when none) and one entry per entry of the track
// table, in its order.
struct TDiscInfo {
    std::string Catalog;
    std::vector<TTrackDiscInfo> Tracks;
    bool operator==(const TDiscInfo&) const = default;
};

// The seven drive-table slots of the parameter record, one to one.
class TDriveTableClass final {
public:
    TDriveType DriveType() const { return static_cast<TDriveType>(slots_[SLOT_DRIVETYPE] & 0xFF); }
    void setDriveType(TDriveType value) { slots_[SLOT_DRIVETYPE] = value; }
    TReadMethod ReadMethod() const {
        return static_cast<TReadMethod>(slots_[SLOT_READMETHOD] & 0xFF);
    }
    void setReadMethod(TReadMethod value) { slots_[SLOT_READMETHOD] = value; }
    TSetSpeed SetSpeed() const { return static_cast<TSetSpeed>(slots_[SLOT_SETSPEED] & 0xFF); }
    void setSetSpeed(TSetSpeed value) { slots_[SLOT_SETSPEED] = value; }
    TEndian Endian() const { return static_cast<TEndian>(slots_[SLOT_ENDIAN] & 0xFF); }
    void setEndian(TEndian value) { slots_[SLOT_ENDIAN] = value; }
    TEnableMode EnableMode() const {
        return static_cast<TEnableMode>(slots_[SLOT_ENABLEMODE] & 0xFF);
    }
    void setEnableMode(TEnableMode value) { slots_[SLOT_ENABLEMODE] = value; }
    int32_t Density() const { return slots_[SLOT_DENSITY]; }
    void setDensity(int32_t value) { slots_[SLOT_DENSITY] = value; }
    bool Atapi() const { return slots_[SLOT_ATAPI] != 0; }
    void setAtapi(bool value) { slots_[SLOT_ATAPI] = value ? CR_TRUE : CR_FALSE; }

    const std::array<int32_t, DRIVE_TABLE_SLOTS>& Slots() const { return slots_; }
    std::array<int32_t, DRIVE_TABLE_SLOTS>& Slots() { return slots_; }

private:
    std::array<int32_t, DRIVE_TABLE_SLOTS> slots_{};
};

using TProcessTrackEvent = std::function<void(TCDRIP& sender, uint16_t trackNum)>;
// Takes an MP3 or FLAC extraction's encoding to run it on another thread
// (TrackEncoding.h) while the engine reads on.
using TEncodingHandOff = std::function<void(std::shared_ptr<TTrackEncoding> encoding)>;
using ProgressTrackEvent = std::function<void(TCDRIP& sender, uint16_t percentComplete,
                                              int64_t jittErrCount, long double rippingSpeed)>;

// What the engine needs from the application around it. The application
// installs real ones; tests install their own. Unset hooks do nothing (the
// clock falls back to std::chrono::steady_clock).
struct EngineHooks {
    // A plain modal message box with an OK button.
    std::function<void(const std::string& text)> showMessage;
    // Lets the application handle all pending input and window messages.
    std::function<void()> processMessages;
    std::function<std::chrono::steady_clock::time_point()> now;
};

void setEngineHooks(EngineHooks hooks);
const EngineHooks& engineHooks();

// A track number as the track list and file names show it: at least two
// digits ("00" for the hidden track, "01" ... "09", "10", "100").
std::string TrackNumberText(int32_t number);

// The settings file of this process, chosen by chooseSettingsFile
// (ProgramFiles.h says where it is looked for, in what order); the user's
// configuration folder is made when the file goes there.
std::string settingsFilePath();

// The name an extraction writes `fileName` under: encoding replaces the
// extension of its last component with ".mp3" (a name that is only an
// extension, such as ".wav", becomes ".mp3", never ".mp3.mp3").
std::string OutputFileName(const std::string& fileName, bool encode);

class TCDRIP final {
public:
    TCDRIP();
    ~TCDRIP();
    TCDRIP(const TCDRIP&) = delete;
    TCDRIP& operator=(const TCDRIP&) = delete;

    // Non-owning; assigning runs UpdateCoderFormat.
    TLameCoder* Coder() const { return coder_; }
    void setCoder(TLameCoder* coder);

    int32_t CDRomNum() const { return cdRomNum_; }
    // Selects the drive and rebuilds the track table (SetActiveCD).
    void setCDRomNum(int32_t index) { SetActiveCD(index); }

    TDriveTableClass& DriveTable() { return driveTable_; }
    const TDriveTableClass& DriveTable() const { return driveTable_; }

    TOutputFormat OutputFormat() const { return outputFormat_; }
    void setOutputFormat(TOutputFormat value);

    bool Encode() const { return encode_; }
    void setEncode(bool value) { encode_ = value; }
    bool WriteWAV() const { return writeWAV_; }
    void setWriteWAV(bool value) { writeWAV_ = value; }
    // What is not encoded to MP3 is written as FLAC, at this compression
    // level (0 fastest ... 8 smallest; every level is lossless), not as WAV
    // or PCM. A level the encoder refuses fails the extraction.
    bool WriteFLAC() const { return writeFlac_; }
    void setWriteFLAC(bool value) { writeFlac_ = value; }
    uint32_t FlacCompressionLevel() const { return flacLevel_; }
    void setFlacCompressionLevel(uint32_t value) { flacLevel_ = value; }
    bool JitterCorrect() const { return jitterCorrect_; }
    void setJitterCorrect(bool value);
    // Secure mode: a rip reads each track once without jitter correction,
    // and again with it where AccurateRip does not confirm the first
    // reading (RipSession.h). Kept by the library with the drive's
    // parameters; the setter writes the record, as JitterCorrect's does.
    bool SecureMode() const { return secureMode_; }
    void setSecureMode(bool value);
    // The drive's read offset in samples (a positive one reads later), and
    // whether it reads into the lead-in and lead-out where the offset
    // reaches past the disc; both go to the library with the parameters.
    // CanOverread: the selected drive can read there (disc images cannot).
    int32_t ReadOffset() const { return readOffset_; }
    void setReadOffset(int32_t samples) { readOffset_ = samples; }
    bool Overread() const { return overread_; }
    void setOverread(bool value) { overread_ = value; }
    bool CanOverread() const { return canOverread_; }

    const std::string& Version() const { return version_; }
    int32_t Speed() const { return speed_; }
    void setSpeed(int32_t value) { speed_ = value; }
    uint8_t MonoDownMixType() const { return monoDownMixType_; }
    void setMonoDownMixType(uint8_t value) { monoDownMixType_ = value; }

    TProcessTrackEvent OnBeginTrack;
    TProcessTrackEvent OnEndTrack;
    ProgressTrackEvent OnProgress;

    const std::vector<TTrackEntry>& Tracks() const { return tracks_; }
    // Read with the track table; empty texts when the disc has no CD-Text.
    const TDiscText& DiscText() const { return discText_; }
    // Read with the track table; empty when the disc carries none of it.
    const TDiscInfo& DiscInfo() const { return discInfo_; }
    int32_t TrackCount() const { return trackCount_; }
    // The audio before track 1, read with the track table: the sectors from
    // the disc's first up to a track 1 that starts after it (its pregap,
    // INDEX 00 before INDEX 01), when they hold more than digital silence.
    // Some discs hide a track there; it is track 0, rippable like any other,
    // and in none of the track table, the disc's ids or its texts. None
    // when the disc has no such audio.
    const std::optional<TTrack>& HiddenTrack() const { return hiddenTrack_; }
    // The track of `number` on the disc, 0 the hidden track; null when there
    // is none.
    const TTrack* TrackByNumber(int32_t number) const;
    // The active drive's identification text (at most 255 characters).
    std::string CDRomName() const;
    int32_t JitterErrors() const { return jitterErrors_; }
    const std::vector<std::string>& JitterPositions() const { return jitterPositions_; }
    // Sectors of the last extraction that could not be read at all (their
    // audio is not the disc's), and their runs; unlike jitter errors they
    // are losses, and the track does not count as complete.
    int32_t LostSectors() const { return lostSectors_; }
    const std::vector<TSectorRange>& LostRanges() const { return lostRanges_; }
    // Samples of the last extraction that the read offset put before the
    // disc's first sector or past its end, and that are silence: the disc's
    // audio is whole, but the drive could not deliver these.
    int64_t SilencedSamples() const { return silencedSamples_; }
    // What became of the last extraction's file.
    TOutputOutcome LastOutcome() const { return lastOutcome_; }
    // The library opened the last extraction's range: false when the drive
    // parameters or the range were refused, and nothing was read.
    bool RangeOpened() const { return rangeOpened_; }
    // The plain message the last extraction showed; empty when it showed none.
    const std::string& LastMessage() const { return lastMessage_; }
    // The checksums of the audio the last extraction read, as the library
    // delivered it (for an MP3 file, the audio before encoding); a track of
    // the table is summed with its disc's edges left out as AccurateRip
    // does. None before the first extraction that opened its range.
    const std::optional<TrackChecksums>& LastChecksums() const { return lastChecksums_; }

    void SetActiveCD(int32_t index);
    bool ApplyParameters();
    void UpdateCoderFormat();
    std::string TrackPlayTime(const TTrack& track) const;

    // Raises OnBeginTrack, extracts track `trackNum` (1-based; 0 the hidden
    // track) with
    // RipSectors and raises OnEndTrack. A number outside the table raises
    // ECDRIPError before anything else happens.
    void RipTrack(int32_t trackNum, const std::string& fileName);
    // The same with the file `name` in `folder` (folder + name, folder
    // ending in '/' or empty). A name that would put the file outside the
    // folder (one holding a '/', or "." or "..") is refused like a name the
    // file system refuses: ECDRIPError "Cannot create file <path>" with the
    // reason, nothing written anywhere. Callers that build names from user
    // text use this.
    void RipTrack(int32_t trackNum, const std::string& folder, const std::string& name);
    // Extracts startSector..endSector (passed to the library unchanged) into
    // fileName; when encoding, its extension becomes ".mp3". Failures are
    // reported by the plain message hook or raised as ECDRIPError.
    void RipSectors(int32_t startSector, int32_t endSector, std::string fileName);
    void RipSectors(int32_t startSector, int32_t endSector, const std::string& folder,
                    std::string name);
    // The tags of the next extraction, which takes them: when it encodes,
    // its file opens with an ID3v2.3 tag (they and the program as encoder)
    // and ends with an ID3v1 tag; a FLAC file carries them as Vorbis
    // comments and a picture. An MP3 extracted with no tags set carries no
    // tag at all.
    void setTrackTags(TTrackTags tags) { trackTags_ = std::move(tags); }
    // Set: MP3 (tagged) and FLAC extractions measure the loudness of their
    // audio as it is read; a track read whole gets its ReplayGain in its
    // tags, and once its file is in place its measurement joins `album`,
    // which must outlive every extraction and encoding that may add to it.
    // Null: nothing is measured.
    void setReplayGainAlbum(TAlbumLoudness* album) { replayGainAlbum_ = album; }
    // Asks a running extraction to stop before its next chunk.
    void AbortRip() { aborted_ = true; }
    // An abort was asked for (AbortRip, or the application's indicator)
    // since the last extraction began: work that follows an extraction, such
    // as a second reading, is not to start.
    bool AbortRequested() const {
        return aborted_ || (abortIndicator_ != nullptr && *abortIndicator_ != CR_FALSE);
    }
    // An abort indicator the application owns and may set at any time, also
    // from a signal handler: it reaches the library's read in progress and
    // stops the extraction like AbortRip. Null: the engine's own, never set.
    void setAbortIndicator(int32_t* indicator) { abortIndicator_ = indicator; }
    // Set: an MP3 or FLAC extraction does not encode here. It opens a stream
    // (MP3: of a copy of the coder's settings), creates the file, and hands
    // both to `handOff` as a TTrackEncoding before the first chunk; the chunks then
    // go to it as they are read, and it is told at the end whether the range
    // was read whole. The file's fate is the encoding's: LastOutcome stays
    // None. Everything else (messages, errors, events, jitter and lost
    // sectors) is as without. Empty: the engine encodes itself.
    void setEncodingHandOff(TEncodingHandOff handOff) { encodingHandOff_ = std::move(handOff); }
    // The library's percentage of the range being extracted, after the last chunk.
    uint16_t PercentComplete() const { return percentComplete_; }

    // Reads first..last of the selected drive's disc without read offset
    // correction, as 16-bit stereo 44.1 kHz, into `audio` (finding the
    // drive's offset reads this way); the drive's parameters are as before
    // afterwards. False, with the reason in `error`, when a sector could not
    // be read or `abort` was set. It uses only the library, not this
    // engine's state, so that a thread of its own may run it.
    static bool ReadUncorrected(int32_t first, int32_t last, std::vector<uint8_t>& audio,
                                std::string& error, int32_t* abort);

    // The parameter record as the engine holds it.
    const TCDROMParams& Params() const { return params_; }

private:
    TLameCoder* coder_ = nullptr;
    int32_t cdRomNum_ = 0;
    TDriveTableClass driveTable_;
    TOutputFormat outputFormat_ = STEREO44100;
    bool encode_ = false;
    bool writeWAV_ = false;
    bool writeFlac_ = false;
    uint32_t flacLevel_ = FLAC_DEFAULT_COMPRESSION;
    bool jitterCorrect_ = false;
    bool secureMode_ = false;
    int32_t readOffset_ = 0;
    bool overread_ = false;
    bool canOverread_ = false;
    std::string version_;
    int32_t speed_ = 0;
    uint8_t monoDownMixType_ = 0;

    std::vector<TTrackEntry> tracks_;
    std::optional<TTrack> hiddenTrack_;
    TDiscText discText_;
    TDiscInfo discInfo_;
    int32_t trackCount_ = 0;
    std::array<char, 256> cdRomName_{};
    int32_t jitterErrors_ = 0;
    std::vector<std::string> jitterPositions_;

    int32_t lostSectors_ = 0;
    std::vector<TSectorRange> lostRanges_;
    int64_t silencedSamples_ = 0;
    TOutputOutcome lastOutcome_ = TOutputOutcome::None;
    bool rangeOpened_ = false;
    std::string lastMessage_;
    std::optional<TrackChecksums> lastChecksums_;

    TCDROMParams params_{};
    std::optional<TTrackTags> trackTags_;
    TAlbumLoudness* replayGainAlbum_ = nullptr;
    bool aborted_ = false;
    int32_t* abortIndicator_ = nullptr;
    uint16_t percentComplete_ = 0;
    TEncodingHandOff encodingHandOff_;

    // The working state of one extraction (buffers, file, encoder stream).
    struct RipState;
    // Whether a range is the first or the last audio track of its disc.
    struct DiscEdges {
        bool first = false;
        bool last = false;
    };
    void ripTrackTo(int32_t trackNum, const std::string& path, bool nameLeavesFolder);
    void ripToFile(int32_t startSector, int32_t endSector, std::string path, bool nameLeavesFolder,
                   DiscEdges edges);
    bool openCoderStream(RipState& state);
    void openFlacStream(RipState& state, int32_t startSector, int32_t endSector);
    void prepareOutput(RipState& state, int32_t startSector, int32_t endSector,
                       const std::string& path, bool nameLeavesFolder);
    void runChunkLoop(RipState& state);
    void writeChunk(RipState& state, std::size_t delivered);
    void cleanUp(RipState& state, std::exception_ptr& firstError);
    void collectLostSectors();
    // Some of the audio that reached the file came from the disc, not from
    // silence standing in for sectors that could not be read.
    bool readFromDisc(const RipState& state) const;
    void showPlainMessage(const std::string& text);
};
