// SPDX-License-Identifier: GPL-3.0-or-later
// The sample format the CD library delivers for each output format, and the
// 44-byte header of a WAV file that holds such audio.
#pragma once

#include "CdRip_dll.h"

#include <array>
#include <cstdint>

struct AudioFormat {
    uint16_t channels = 2;
    uint32_t sampleRate = 44100;

    uint32_t byteRate() const { return channels * sampleRate * 2u; }
    uint16_t blockAlign() const { return static_cast<uint16_t>(channels * 2u); }
};

// A value outside the six formats is taken as 16-bit stereo at 44100 Hz.
AudioFormat deliveredFormat(TOutputFormat format);

inline constexpr std::size_t WAV_HEADER_BYTES = 44;
inline constexpr uint32_t WAV_RIFF_SIZE_OFFSET = 4;
inline constexpr uint32_t WAV_DATA_SIZE_OFFSET = 40;

// The audio bytes of the range startSector..endSector as the header first
// announces them: (endSector - startSector) sectors' worth of audio in
// `format`, 0 for a reversed range, at most what the 32-bit fields hold.
uint32_t wavDataSizeOfRange(int32_t startSector, int32_t endSector, const AudioFormat& format);

std::array<uint8_t, WAV_HEADER_BYTES> wavHeader(const AudioFormat& format, uint32_t dataSize);

// The two size fields (RIFF size, data size) for `dataSize` audio bytes,
// little-endian, as they sit at WAV_RIFF_SIZE_OFFSET and WAV_DATA_SIZE_OFFSET.
std::array<uint8_t, 4> wavRiffSizeField(uint32_t dataSize);
std::array<uint8_t, 4> wavDataSizeField(uint32_t dataSize);
