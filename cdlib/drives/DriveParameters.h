// SPDX-License-Identifier: GPL-3.0-or-later
// What the library keeps for one drive: the fields of the parameter record,
// as stored in the settings file and applied by CR_SetCDROMParameters.
#pragma once

#include "CdRip_dll.h"

#include <cstdint>

namespace cdlib {

// Reading parameters the library accepts.
inline constexpr int32_t MAX_SECTORS_PER_READ = 64;
inline constexpr int32_t MAX_READ_RETRIES = 100;
inline constexpr int32_t MAX_READ_OFFSET = CR_MAX_READ_OFFSET;
// The largest value of each drive-table slot; -1 where any value goes.
inline constexpr int32_t DRIVE_TABLE_LIMITS[DRIVE_TABLE_SLOTS] = {
    CUSTOMDRIVE, READMMC4, SPEEDNEC, LITTLEENDIAN, ENABLESTD, -1, -1};

// A drive without stored settings reads with jitter correction on: secure
// reading unless the user turns it off.
struct DriveParameters {
    int32_t sectorsPerRead = 26;
    int32_t readRetries = 20;
    int32_t speed = 0;
    int32_t jitterCorrection = CR_TRUE;
    int32_t driveTable[DRIVE_TABLE_SLOTS] = {GENERIC,    READMMC, SPEEDMMC, BIGENDIAN,
                                             ENABLENONE, 0,       CR_TRUE};
    int32_t outputFormat = STEREO44100;
    // Kept for the engine, which reads secure (CdRip_dll.h); the library
    // itself reads as jitterCorrection says.
    int32_t secureMode = CR_FALSE;
    // The drive's read offset in samples, and whether it reads into the
    // lead-in and lead-out where the offset reaches them.
    int32_t readOffset = 0;
    int32_t overread = CR_FALSE;

    bool jitterCorrectionOn() const { return jitterCorrection != CR_FALSE; }
    bool overreadOn() const { return overread != CR_FALSE; }
    bool operator==(const DriveParameters&) const = default;
};

// Brings stored or applied values into the ranges the library works with.
DriveParameters sanitized(const DriveParameters& parameters);
// True when every caller-owned value of `parameters` is one the library knows.
bool plausible(const DriveParameters& parameters);

} // namespace cdlib
