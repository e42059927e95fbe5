// SPDX-License-Identifier: GPL-3.0-or-later
#include "WavHeader.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace {

// The RIFF size counts the 36 header bytes after its own field.
constexpr uint32_t RIFF_SIZE_OVERHEAD = 36;
constexpr uint32_t MAX_DATA_SIZE = std::numeric_limits<uint32_t>::max() - RIFF_SIZE_OVERHEAD;

void putLittleEndian16(uint8_t* at, uint16_t value) {
    at[0] = static_cast<uint8_t>(value);
    at[1] = static_cast<uint8_t>(value >> 8);
}

void putLittleEndian32(uint8_t* at, uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        at[i] = static_cast<uint8_t>(value >> (8 * i));
    }
}

uint32_t clampedDataSize(uint32_t dataSize) {
    return std::min(dataSize, MAX_DATA_SIZE);
}

} // namespace

AudioFormat deliveredFormat(TOutputFormat format) {
    if (format > MONO11025) {
        return {};
    }
    const TOutputFormatLayout& layout = OUTPUT_FORMAT_LAYOUTS[format];
    return {static_cast<uint16_t>(layout.channels), static_cast<uint32_t>(layout.sampleRate)};
}

uint32_t wavDataSizeOfRange(int32_t startSector, int32_t endSector, const AudioFormat& format) {
    const int64_t sectors = int64_t{endSector} - int64_t{startSector};
    if (sectors <= 0) {
        return 0;
    }
    // Every byte rate of the six formats is a multiple of 75, so this is
    // exact; the rounding only matters for other rates.
    const int64_t bytes =
        (sectors * format.byteRate() + CD_SECTORS_PER_SECOND / 2) / CD_SECTORS_PER_SECOND;
    return static_cast<uint32_t>(std::min<int64_t>(bytes, MAX_DATA_SIZE));
}

std::array<uint8_t, WAV_HEADER_BYTES> wavHeader(const AudioFormat& format, uint32_t dataSize) {
    dataSize = clampedDataSize(dataSize);
    std::array<uint8_t, WAV_HEADER_BYTES> header{};
    uint8_t* at = header.data();
    std::memcpy(at + 0, "RIFF", 4);
    putLittleEndian32(at + WAV_RIFF_SIZE_OFFSET, dataSize + RIFF_SIZE_OVERHEAD);
    std::memcpy(at + 8, "WAVE", 4);
    std::memcpy(at + 12, "fmt ", 4);
    putLittleEndian32(at + 16, 16);
    putLittleEndian16(at + 20, 1);
    putLittleEndian16(at + 22, format.channels);
    putLittleEndian32(at + 24, format.sampleRate);
    putLittleEndian32(at + 28, format.byteRate());
    putLittleEndian16(at + 32, format.blockAlign());
    putLittleEndian16(at + 34, 16);
    std::memcpy(at + 36, "data", 4);
    putLittleEndian32(at + WAV_DATA_SIZE_OFFSET, dataSize);
    return header;
}

std::array<uint8_t, 4> wavRiffSizeField(uint32_t dataSize) {
    std::array<uint8_t, 4> field{};
    putLittleEndian32(field.data(), clampedDataSize(dataSize) + RIFF_SIZE_OVERHEAD);
    return field;
}

std::array<uint8_t, 4> wavDataSizeField(uint32_t dataSize) {
    std::array<uint8_t, 4> field{};
    putLittleEndian32(field.data(), clampedDataSize(dataSize));
    return field;
}
