// SPDX-License-Identifier: GPL-3.0-or-later
// The parameter record as the library fills and takes it back. The bytes
// that belong to the library say which drive the record was filled for and
// carry a checksum over everything the caller must hand back unchanged, so a
// record of another drive, or one whose library bytes were lost, is refused
// instead of being applied to the wrong drive.
//
// Library bytes of TCDROMParams:
//   SectorsPerRead, ReadRetries   the drive's reading parameters
//   LibraryArea1   "VRCL", drive number (int32), hash of the identification
//   LibraryArea2   paranoia mode used with jitter correction on
//   LibraryArea3   drive kind: 0 physical, 1 image, 2 virtual
//   LibraryArea4   capabilities (play, lock, eject, speed), record version 1
//   LibraryArea5   checksum of the library bytes
//   LibraryArea6   zeros
#pragma once

#include "drives/Drive.h"

#include <cstdint>
#include <string>

namespace cdlib {

struct RecordOwner {
    int32_t driveNumber = 0;
    DriveKind kind = DriveKind::Virtual;
    std::string identification;
    // Why the drive has no readable disc, if it knows: shown after the
    // identification in the record's ID, outside what the record is
    // checked against.
    std::string problem;
    // What the drive read other than its disc said, shown the same way when
    // there is no problem.
    std::string notice;
};

void fillRecord(TCDROMParams& record, const RecordOwner& owner, const DriveParameters& parameters);

// Reads a record handed back; false when it was not filled for `owner` or
// its library bytes changed.
bool readRecord(const TCDROMParams& record, const RecordOwner& owner, DriveParameters& parameters);

// The paranoia mode of jitter correction on: full paranoia except
// never-skip, so that a sector that stays unreadable after the retries is
// skipped instead of read for ever.
int paranoiaCorrectionMode();

} // namespace cdlib
