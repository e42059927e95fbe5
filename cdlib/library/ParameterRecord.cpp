// SPDX-License-Identifier: GPL-3.0-or-later
#include "library/ParameterRecord.h"

#include <algorithm>
#include <cdio/paranoia/paranoia.h>
#include <cstddef>
#include <cstring>

namespace cdlib {

namespace {

constexpr char kMagic[4] = {'V', 'R', 'C', 'L'};
constexpr uint8_t kRecordVersion = 1;
constexpr size_t kChecksumOffset = offsetof(TCDROMParams, LibraryArea5);

uint32_t fnv1a(const uint8_t* bytes, size_t size, uint32_t hash = 2166136261u) {
    for (size_t i = 0; i < size; ++i) {
        hash = (hash ^ bytes[i]) * 16777619u;
    }
    return hash;
}

uint32_t hashText(const std::string& text) {
    return fnv1a(reinterpret_cast<const uint8_t*>(text.data()), text.size());
}

void putInt(uint8_t* at, uint32_t value) {
    std::memcpy(at, &value, sizeof value);
}

uint32_t getInt(const uint8_t* at) {
    uint32_t value = 0;
    std::memcpy(&value, at, sizeof value);
    return value;
}

// The bytes the checksum leaves out, in record order: the caller's fields
// and the checksum itself. A drive option added to the record is one more
// field here.
struct CallerField {
    size_t offset;
    size_t size;
};
constexpr CallerField kCallerFields[] = {
    {offsetof(TCDROMParams, ID), sizeof(TCDROMParams::ID)},
    {offsetof(TCDROMParams, Speed), sizeof(TCDROMParams::Speed)},
    {offsetof(TCDROMParams, JitterCorrection), sizeof(TCDROMParams::JitterCorrection)},
    {offsetof(TCDROMParams, DriveTable), sizeof(TCDROMParams::DriveTable)},
    {offsetof(TCDROMParams, OutputFormat), sizeof(TCDROMParams::OutputFormat)},
    {kChecksumOffset, sizeof(uint32_t)},
    {offsetof(TCDROMParams, SecureMode), sizeof(TCDROMParams::SecureMode)},
};

uint32_t checksumOf(const TCDROMParams& record) {
    const auto* bytes = reinterpret_cast<const uint8_t*>(&record);
    uint32_t hash = 2166136261u;
    size_t from = 0;
    for (const CallerField& field : kCallerFields) {
        hash = fnv1a(bytes + from, field.offset - from, hash);
        from = field.offset + field.size;
    }
    return fnv1a(bytes + from, sizeof(TCDROMParams) - from, hash);
}

} // namespace

int paranoiaCorrectionMode() {
    return PARANOIA_MODE_FULL & ~PARANOIA_MODE_NEVERSKIP;
}

void fillRecord(TCDROMParams& record, const RecordOwner& owner, const DriveParameters& parameters) {
    std::memset(&record, 0, sizeof record);
    const std::string& remark = owner.problem.empty() ? owner.notice : owner.problem;
    const std::string shown =
        remark.empty() ? owner.identification : owner.identification + ": " + remark;
    const size_t idLength = std::min(shown.size(), sizeof record.ID - 1);
    std::memcpy(record.ID, shown.data(), idLength);
    record.SectorsPerRead = parameters.sectorsPerRead;
    record.ReadRetries = parameters.readRetries;
    std::memcpy(record.LibraryArea1, kMagic, sizeof kMagic);
    putInt(record.LibraryArea1 + 4, static_cast<uint32_t>(owner.driveNumber));
    putInt(record.LibraryArea1 + 8, hashText(owner.identification));
    record.Speed = parameters.speed;
    putInt(record.LibraryArea2, static_cast<uint32_t>(paranoiaCorrectionMode()));
    record.JitterCorrection = parameters.jitterCorrection;
    putInt(record.LibraryArea3, static_cast<uint32_t>(owner.kind));
    std::memcpy(record.DriveTable, parameters.driveTable, sizeof record.DriveTable);
    const uint8_t physical = owner.kind == DriveKind::Physical ? 1 : 0;
    record.LibraryArea4[0] = 1;        // analogue play (simulated on images)
    record.LibraryArea4[1] = 1;        // tray lock
    record.LibraryArea4[2] = 1;        // eject
    record.LibraryArea4[3] = physical; // speed reaches the drive
    record.LibraryArea4[4] = kRecordVersion;
    record.OutputFormat = parameters.outputFormat;
    record.SecureMode = parameters.secureMode;
    putInt(record.LibraryArea5, checksumOf(record));
}

bool readRecord(const TCDROMParams& record, const RecordOwner& owner, DriveParameters& parameters) {
    if (std::memcmp(record.LibraryArea1, kMagic, sizeof kMagic) != 0 ||
        getInt(record.LibraryArea1 + 4) != static_cast<uint32_t>(owner.driveNumber) ||
        getInt(record.LibraryArea1 + 8) != hashText(owner.identification) ||
        getInt(record.LibraryArea5) != checksumOf(record)) {
        return false;
    }
    parameters.sectorsPerRead = record.SectorsPerRead;
    parameters.readRetries = record.ReadRetries;
    parameters.speed = record.Speed;
    parameters.jitterCorrection = record.JitterCorrection != 0 ? CR_TRUE : CR_FALSE;
    std::memcpy(parameters.driveTable, record.DriveTable, sizeof parameters.driveTable);
    parameters.outputFormat = record.OutputFormat;
    parameters.secureMode = record.SecureMode != 0 ? CR_TRUE : CR_FALSE;
    return true;
}

} // namespace cdlib
