// SPDX-License-Identifier: GPL-3.0-or-later
// The BladeEnc-style interface of the MP3 encoder library, implemented on
// libmp3lame's native API: one stream per output file, opened from a
// configuration record, fed chunk by chunk, flushed and closed.
#pragma once

#include <cstddef>
#include <cstdint>

using BE_ERR = uint32_t;
using HBE_STREAM = uintptr_t;

inline constexpr BE_ERR BE_ERR_SUCCESSFUL = 0x00000000;
inline constexpr BE_ERR BE_ERR_INVALID_FORMAT = 0x00000001;
inline constexpr BE_ERR BE_ERR_INVALID_FORMAT_PARAMETERS = 0x00000002;
inline constexpr BE_ERR BE_ERR_NO_MORE_HANDLES = 0x00000003;
inline constexpr BE_ERR BE_ERR_INVALID_HANDLE = 0x00000004;
inline constexpr BE_ERR BE_ERR_BUFFER_TOO_SMALL = 0x00000005;

inline constexpr uint32_t BE_CONFIG_MP3 = 0;
inline constexpr uint32_t BE_CONFIG_LAME = 256;

inline constexpr int32_t BE_MP3_MODE_STEREO = 0;
inline constexpr int32_t BE_MP3_MODE_JSTEREO = 1;
inline constexpr int32_t BE_MP3_MODE_DUALCHANNEL = 2;
inline constexpr int32_t BE_MP3_MODE_MONO = 3;

inline constexpr uint32_t MPEG1 = 1;
inline constexpr uint32_t MPEG2 = 0;

inline constexpr uint32_t CURRENT_STRUCT_VERSION = 1;

inline constexpr int BE_MAX_HOMEPAGE = 128;

#pragma pack(push, 1)
struct BE_CONFIG {
    uint32_t dwConfig; // BE_CONFIG_LAME
    union {
        struct {
            uint32_t dwSampleRate;
            uint8_t byMode;
            uint16_t wBitrate;
            int32_t bPrivate;
            int32_t bCRC;
            int32_t bCopyright;
            int32_t bOriginal;
        } mp3;
        struct {
            uint32_t dwStructVersion;
            uint32_t dwStructSize;
            uint32_t dwSampleRate;   // input sample rate, Hz
            uint32_t dwReSampleRate; // 0: the library decides
            int32_t nMode;           // BE_MP3_MODE_*
            uint32_t dwBitrate;      // kbit/s; minimum with VBR
            uint32_t dwMaxBitrate;   // kbit/s, VBR only
            int32_t nPreset;         // quality preset, MPEG_QUALITY
            uint32_t dwMpegVersion;  // MPEG1 or MPEG2
            uint32_t dwPsyModel;
            uint32_t dwEmphasis;
            int32_t bPrivate;
            int32_t bCRC;
            int32_t bCopyright;
            int32_t bOriginal;
            int32_t bWriteVBRHeader;
            int32_t bEnableVBR;
            int32_t nVBRQuality; // 0 best .. 9
            uint32_t dwVbrAbr_bps;
            int32_t nVbrMethod;
            int32_t bNoRes;
            int32_t bStrictIso;
            uint16_t nQuality;
            uint8_t btReserved[255 - 4 * sizeof(uint32_t) - sizeof(uint16_t)];
        } LHV1;
    } format;
};

struct BE_VERSION {
    uint8_t byDLLMajorVersion;
    uint8_t byDLLMinorVersion;
    uint8_t byMajorVersion;
    uint8_t byMinorVersion;
    uint8_t byDay;
    uint8_t byMonth;
    uint16_t wYear;
    char zHomepage[BE_MAX_HOMEPAGE + 1];
    uint8_t byAlphaLevel;
    uint8_t byBetaLevel;
    uint8_t byMMXEnabled;
    uint8_t btReserved[125];
};
#pragma pack(pop)

static_assert(sizeof(BE_CONFIG) == 331);
static_assert(offsetof(BE_CONFIG, format.LHV1.dwStructVersion) == 4);
static_assert(offsetof(BE_CONFIG, format.LHV1.nMode) == 20);
static_assert(offsetof(BE_CONFIG, format.LHV1.bCRC) == 52);
static_assert(offsetof(BE_CONFIG, format.LHV1.nVBRQuality) == 72);
static_assert(offsetof(BE_CONFIG, format.LHV1.nQuality) == 92);

// DLL version 1.0 (this interface), encoder version from libmp3lame.
void beVersion(BE_VERSION* version);
// Opens a stream. On success *samples is the number of 16-bit values one
// chunk must hold (1152 x channels) and *bufferSize the output buffer size
// that holds everything one beEncodeChunk or beDeinitStream can produce.
// Only the LHV1 layout is accepted (else BE_ERR_INVALID_FORMAT). Settings
// that LAME would silently bend are refused with
// BE_ERR_INVALID_FORMAT_PARAMETERS: a sample rate that is not an MPEG rate,
// a bitrate outside the MPEG table of the stream's version, a VBR maximum
// below the minimum, a VBR quality outside 0..9. MPEG-1 streams resample
// input below 32 kHz to 32 kHz; MPEG-2 streams halve an MPEG-1 input rate.
// The VBR method, ABR rate and quality word are not used: VBR is LAME's
// default method. On failure nothing stays open and *stream is 0.
BE_ERR beInitStream(const BE_CONFIG* config, uint32_t* samples, uint32_t* bufferSize,
                    HBE_STREAM* stream);
// `samples` counts 16-bit values, at most one chunk; unknown or closed
// handles give BE_ERR_INVALID_HANDLE, as does encoding after the flush.
BE_ERR beEncodeChunk(HBE_STREAM stream, uint32_t samples, const int16_t* pcm, uint8_t* output,
                     uint32_t* outputBytes);
// Flushes the stream; a second flush produces nothing.
BE_ERR beDeinitStream(HBE_STREAM stream, uint8_t* output, uint32_t* outputBytes);
// Harmless on a zero, unknown or already closed handle.
BE_ERR beCloseStream(HBE_STREAM stream);
// After beDeinitStream: the VBR/info tag frame for the start of the file, so
// that players show the right length and seek correctly. Returns its size in
// bytes, 0 when the stream writes no such frame or `size` is too small.
uint32_t beGetVBRTagFrame(HBE_STREAM stream, uint8_t* buffer, uint32_t size);
