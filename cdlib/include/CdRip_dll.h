// SPDX-License-Identifier: GPL-3.0-or-later
// The CD drive library: drive enumeration, drive parameters, table of
// contents, chunked sector extraction with jitter correction, analogue play
// control, tray lock and eject, and persistence of the library's own settings.
//
// Contract every caller relies on:
//  - a status of 1 is failure (CR_ERROR); callers test only for that value;
//  - booleans crossing this interface are 32-bit values, 0 false, -1 true;
//  - drives are numbered 0 .. CR_GetNumCDROM() - 1: physical drives first,
//    then disc images, then the in-process virtual drives built by tests;
//  - TOC entries are 0 .. N, N = CR_GetNumTocEntries(), entry N the lead-out;
//  - CR_OpenRipper(first, last) opens the inclusive sector range first..last;
//  - audio from CR_RipChunk is 16-bit little-endian PCM in the output format
//    of the parameter record, never more bytes than CR_OpenRipper reported.
//
// Everything runs on the caller's thread. Operations may throw
// std::exception when the library itself fails unexpectedly (a virtual drive
// can be scripted to do so); callers that must survive that catch it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <iterator>
#include <string>

using CR_RESULT = int32_t;
inline constexpr CR_RESULT CR_OK = 0;
inline constexpr CR_RESULT CR_ERROR = 1;

inline constexpr int32_t CR_TRUE = -1;
inline constexpr int32_t CR_FALSE = 0;

// Results of CR_RipChunk.
inline constexpr CR_RESULT CR_CHUNK_OK = 0;
inline constexpr CR_RESULT CR_CHUNK_NONE = 1;
inline constexpr CR_RESULT CR_CHUNK_JITTER = 3;
inline constexpr CR_RESULT CR_CHUNK_LAST = 4;

// Transport layers: 1 is direct SCSI pass-through (libcdio's MMC access
// mode), 0 the kernel's CD-ROM ioctl interface.
inline constexpr int32_t CR_TRANSPORT_IOCTL = 0;
inline constexpr int32_t CR_TRANSPORT_SCSI = 1;

// Device-change events posted to the handler of CR_SetDeviceChangeHandler.
inline constexpr uint32_t CR_DEVICE_ARRIVAL = 0x8000;
inline constexpr uint32_t CR_DEVICE_REMOVE_COMPLETE = 0x8004;

// The largest speed factor the library accepts in the parameter record.
inline constexpr int32_t CR_MAX_SPEED = 256;
// The largest read offset, in samples, either way.
inline constexpr int32_t CR_MAX_READ_OFFSET = 5000;

inline constexpr int32_t CD_SECTOR_BYTES = 2352;
inline constexpr int32_t CD_DATA_SECTOR_BYTES = 2048;
inline constexpr int32_t CD_SECTORS_PER_SECOND = 75;

enum TDriveType : uint8_t {
    GENERIC,
    TOSHIBA,
    TOSHIBANEW,
    IBM,
    NEC,
    DEC,
    IMS,
    KODAK,
    RICOH,
    HP,
    PHILIPS,
    PLASMON,
    GRUNDIGCDR100IPW,
    MITSUMICDR,
    PLEXTOR,
    SONY,
    YAMAHA,
    NRC,
    IMSCDD5,
    CUSTOMDRIVE
};

enum TReadMethod : uint8_t {
    READMMC,
    READ10,
    READNEC,
    READSONY,
    READMMC2,
    READMMC3,
    READC1,
    READC2,
    READC3,
    READMMC4
};

enum TSetSpeed : uint8_t {
    SPEEDNONE,
    SPEEDMMC,
    SPEEDSONY,
    SPEEDYAMAHA,
    SPEEDTOSHIBA,
    SPEEDPHILIPS,
    SPEEDNEC
};

enum TEndian : uint8_t { BIGENDIAN, LITTLEENDIAN };

enum TEnableMode : uint8_t { ENABLENONE, ENABLESTD };

enum TOutputFormat : uint8_t {
    STEREO44100,
    MONO44100,
    STEREO22050,
    MONO22050,
    STEREO11025,
    MONO11025
};

// Channels and sample rate of the 16-bit PCM each output format delivers,
// indexed by TOutputFormat.
struct TOutputFormatLayout {
    int32_t channels;
    int32_t sampleRate;
};
inline constexpr TOutputFormatLayout OUTPUT_FORMAT_LAYOUTS[] = {{2, 44100}, {1, 44100}, {2, 22050},
                                                                {1, 22050}, {2, 11025}, {1, 11025}};
static_assert(std::size(OUTPUT_FORMAT_LAYOUTS) == MONO11025 + 1);

// Drive-table slots of the parameter record, in record order.
enum TDriveTableSlot : int {
    SLOT_DRIVETYPE,
    SLOT_READMETHOD,
    SLOT_SETSPEED,
    SLOT_ENDIAN,
    SLOT_ENABLEMODE,
    SLOT_DENSITY,
    SLOT_ATAPI,
    DRIVE_TABLE_SLOTS
};

#pragma pack(push, 1)
// The CD-ROM parameter record. The library fills it (CR_GetCDROMParameters)
// and takes it back (CR_SetCDROMParameters). Callers own only the named
// fields at offsets 0, 276, 284, 292, 327 and 335; every other byte belongs
// to the library and must be handed back exactly as it was filled. The
// drive options that came after the record's first layout (secure mode)
// take their place in what was the library's last area, so that the record
// keeps its size and its older fields their offsets.
struct TCDROMParams {
    char ID[256];             // identification text, NUL-terminated
    int32_t SectorsPerRead;   // library: sectors read per chunk
    int32_t ReadRetries;      // library: paranoia retries per sector (multiple of 5)
    uint8_t LibraryArea1[12]; // library
    int32_t Speed;            // extraction speed factor, 0 = drive default
    uint8_t LibraryArea2[4];  // library
    int32_t JitterCorrection; // -1 on, 0 off
    uint8_t LibraryArea3[4];  // library
    int32_t DriveTable[DRIVE_TABLE_SLOTS];
    uint8_t LibraryArea4[7];  // library
    int32_t OutputFormat;     // TOutputFormat ordinal, zero-extended
    uint8_t LibraryArea5[4];  // library
    int32_t SecureMode;       // -1 on, 0 off: the library only keeps it
    uint8_t LibraryArea6[25]; // library
};

// One table-of-contents entry, returned by value.
struct TTocEntry {
    uint32_t StartSector;
    uint8_t Flags; // bit value 4: data track (CD control field)
    uint8_t TrackNumber;
    uint8_t Reserved[2];
};
#pragma pack(pop)

static_assert(sizeof(TCDROMParams) == 364);
static_assert(offsetof(TCDROMParams, ID) == 0);
static_assert(offsetof(TCDROMParams, Speed) == 276);
static_assert(offsetof(TCDROMParams, JitterCorrection) == 284);
static_assert(offsetof(TCDROMParams, DriveTable) == 292);
static_assert(offsetof(TCDROMParams, OutputFormat) == 327);
static_assert(offsetof(TCDROMParams, SecureMode) == 335);
static_assert(sizeof(TTocEntry) == 8);

inline constexpr uint8_t TOC_FLAG_DATA = 4;

// The texts a disc may carry for itself and for each of its tracks (CD-Text).
enum TCDTextField : int32_t {
    CDTEXT_TITLE, // the album's title, or a track's
    CDTEXT_PERFORMER,
    CDTEXT_SONGWRITER,
    CDTEXT_COMPOSER,
    CDTEXT_ARRANGER,
    CDTEXT_MESSAGE,
    CDTEXT_GENRE,   // the disc's only
    CDTEXT_ISRC,    // a track's only
    CDTEXT_UPC_EAN, // the disc's only
    CDTEXT_FIELDS
};

int32_t CR_GetCDRipVersion();
// Ends playback and reading and lets go of the disc; CR_Init starts again.
void CR_DeInit();
// Reads the library's settings from the INI file at `iniPath` and enumerates
// the drives. Called before every drive selection. A file that exists but
// cannot be read whole leaves the library on its defaults (see
// CR_GetSettingsReadError); it is not written until a save can read it.
CR_RESULT CR_Init(const char* iniPath);
int32_t CR_GetNumCDROM();
CR_RESULT CR_SetActiveCDROM(int32_t drive);
int32_t CR_GetActiveCDROM();
CR_RESULT CR_GetCDROMParameters(TCDROMParams* params);
CR_RESULT CR_SetCDROMParameters(const TCDROMParams* params);
// Writes the library's own keys into the INI file given to CR_Init; every
// other byte of that file stays as it was. The file is replaced in one step;
// one that cannot be read whole is not written (see CR_GetSettingsSaveError).
void CR_SaveSettings();
// Why the last CR_Init could not read its settings file, naming the file;
// empty when it read it or there was none.
std::string CR_GetSettingsReadError();
// Why the last CR_SaveSettings wrote nothing, naming the file; empty when it
// saved.
std::string CR_GetSettingsSaveError();
// Forgets every drive's stored and applied parameters, as if the settings
// file had never held any: for a caller that deletes the file. The transport
// layer stays. The next CR_SaveSettings writes only what is applied after.
void CR_ForgetSettings();
int32_t CR_GetTransportLayer();
void CR_SetTransportLayer(int32_t layer);

CR_RESULT CR_ReadToc();
// Why the active drive has no readable disc, when the library knows (a disc
// image that cannot be read, with libcdio's reason, or whose data file is
// missing); empty otherwise. The drive's identification in the parameter
// record carries the same text after its name.
std::string CR_GetDriveProblem();
// What the library did on its own to read the active drive's disc that its
// user should know: a cue sheet's data file that is missing, read from the
// file beside it that differs only in case or is named after the cue sheet.
// Empty otherwise. Without a problem, the drive's identification in the
// parameter record carries the same text after its name.
std::string CR_GetDriveNotice();
int32_t CR_GetNumTocEntries();
TTocEntry CR_GetTocEntry(int32_t index);

// The CD-Text `field` of track `track` (its number on the disc, 0 for the
// disc itself) as the last CR_ReadToc found it, written into `text` as UTF-8
// and NUL-terminated. A text longer than `size` - 1 bytes is cut at the last
// whole character that fits. 1, with `text` empty when `size` allows, when
// the disc carries no such text (or no CD-Text at all).
CR_RESULT CR_GetCDText(int32_t track, TCDTextField field, char* text, int32_t size);

// What one track of the last CR_ReadToc carries beside its table entry.
//
// PregapSector counts sectors as StartSector does. The pregap (INDEX 00)
// runs from it to StartSector - 1 and is part of the gap before the track,
// not of the track; it is only ever after the previous track's start (from
// sector 0 for the first track). A cue sheet's INDEX 00 gives it where the
// image holds the pregap's audio: track 1 with INDEX 00 at 00:00:00 and
// INDEX 01 at 00:30:00 starts at 2250 with its pregap at 0 (audio before
// track 1, where a hidden track may be); a later track with INDEX 00 two
// seconds before its INDEX 01 has its pregap 150 sectors before its start.
// A cdrdao TOC's START gives the same. A track without INDEX 00, with INDEX
// 00 at its INDEX 01, or with a PREGAP of silence the image does not hold,
// has none (-1); so has every track of a physical drive, whose driver in
// libcdio reports no pregaps.
struct TTrackInfo {
    char Isrc[13];         // NUL-terminated; "" when none
    int32_t PregapSector;  // INDEX 00's sector, -1 when the track has none
    int32_t PreEmphasis;   // CR_TRUE / CR_FALSE
    int32_t CopyPermitted; // CR_TRUE / CR_FALSE
    int32_t FourChannel;   // CR_TRUE / CR_FALSE
};

// The disc's catalogue number (MCN) as the last CR_ReadToc found it; "" when
// none. Always 13 digits: one that is all zeros (as drives report a disc
// without one) or of another form counts as none.
std::string CR_GetCatalogNumber();
// Track `track` (its number on the disc) as the last CR_ReadToc found it.
// ISRCs are given only in their form (12 characters: two letters, three
// letters or digits, seven digits), upper case. A track of the table whose
// drive reports none of this gets it empty: no ISRC, no pregap, every flag
// CR_FALSE. 1 when there is no such track.
CR_RESULT CR_GetTrackInfo(int32_t track, TTrackInfo* info);

CR_RESULT CR_OpenRipper(int32_t* chunkBytes, int32_t firstSector, int32_t lastSector);
// `abort` (may be null) is read while the call runs and, by the range's
// reader thread, between calls: it must stay valid until CR_CloseRipper.
CR_RESULT CR_RipChunk(uint8_t* buffer, int32_t* bytesDelivered, int32_t* abort);
int32_t CR_GetPercentCompleted();
void CR_GetLastJitterErrorPosition(uint32_t* firstSector, uint32_t* lastSector);
int32_t CR_GetNumberOfJitterErrors();
// Sectors of the open range (or of the last one closed) that could not be
// read at all: read errors, sectors jitter correction had to skip, a medium
// that went away. Unlike the jitter errors, which jitter correction
// repaired, their audio is not the disc's. A range stops after a long
// stretch of such sectors; the sectors it did not read count as lost.
int32_t CR_GetNumberOfLostSectors();
// The lost sectors in runs of consecutive sectors, ascending, numbered from
// 0: first and last sector of run `index`. 1 when there is no such run.
CR_RESULT CR_GetLostSectorRun(int32_t index, uint32_t* firstSector, uint32_t* lastSector);
CR_RESULT CR_CloseRipper();

// The active drive's read offset, in samples, kept and saved with its
// parameters (0 until set). With a correction of o, sample i of a range that
// starts at sector S is the drive's sample S * 588 + i + o: a positive
// correction reads later. Ranges opened after the call are read with it.
// Set refuses values beyond CR_MAX_READ_OFFSET either way.
int32_t CR_GetReadOffset();
CR_RESULT CR_SetReadOffset(int32_t samples);
// Whether the active drive reads into the lead-in and lead-out where the
// read offset reaches past the disc (CR_TRUE or CR_FALSE, kept and saved
// like the offset); CR_CanOverread says whether the drive can at all (disc
// images cannot). Samples the drive does not read there are silence.
int32_t CR_GetOverread();
CR_RESULT CR_SetOverread(int32_t overread);
int32_t CR_CanOverread();
// Samples of the open range (or of the last one closed) that the read
// offset put outside what the drive read, and that are silence.
int64_t CR_GetNumberOfSilencedSamples();

CR_RESULT CR_PlaySection(int32_t firstSector, int32_t lastSector);
CR_RESULT CR_PauseCD(int32_t pause);
CR_RESULT CR_StopPlayTrack();
void CR_GetPlayPosition(uint32_t* inTrack, uint32_t* absolute);
void CR_SetPlayPosition(uint32_t sector);
CR_RESULT CR_LockCD(int32_t lock);
CR_RESULT CR_EjectCD(int32_t open);

// Image and virtual drives report their medium changes through this handler
// (CR_DEVICE_ARRIVAL / CR_DEVICE_REMOVE_COMPLETE), on the thread that made the
// change. An empty function removes the handler.
void CR_SetDeviceChangeHandler(std::function<void(uint32_t event)> handler);
