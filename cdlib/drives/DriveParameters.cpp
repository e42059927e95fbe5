// SPDX-License-Identifier: GPL-3.0-or-later
#include "drives/DriveParameters.h"

#include <algorithm>
#include <iterator>

namespace cdlib {

DriveParameters sanitized(const DriveParameters& parameters) {
    DriveParameters result = parameters;
    result.sectorsPerRead = std::clamp(result.sectorsPerRead, 1, MAX_SECTORS_PER_READ);
    // Retries come in fives: paranoia counts them in rounds of five reads.
    result.readRetries = (std::clamp(result.readRetries, 1, MAX_READ_RETRIES - 4) + 4) / 5 * 5;
    result.speed = std::clamp(result.speed, 0, CR_MAX_SPEED);
    for (int slot = 0; slot < DRIVE_TABLE_SLOTS; ++slot) {
        const int32_t limit = DRIVE_TABLE_LIMITS[slot];
        if (limit >= 0 && (result.driveTable[slot] < 0 || result.driveTable[slot] > limit)) {
            result.driveTable[slot] = DriveParameters{}.driveTable[slot];
        }
    }
    result.readOffset = std::clamp(result.readOffset, -MAX_READ_OFFSET, MAX_READ_OFFSET);
    result.overread = result.overread != CR_FALSE ? CR_TRUE : CR_FALSE;
    if (result.outputFormat < STEREO44100 || result.outputFormat > MONO11025) {
        result.outputFormat = STEREO44100;
    }
    return result;
}

bool plausible(const DriveParameters& parameters) {
    const DriveParameters corrected = sanitized(parameters);
    return corrected.speed == parameters.speed &&
           corrected.outputFormat == parameters.outputFormat &&
           std::equal(std::begin(parameters.driveTable), std::end(parameters.driveTable),
                      std::begin(corrected.driveTable));
}

} // namespace cdlib
