// SPDX-License-Identifier: GPL-3.0-or-later
#include "VirtualDrive.h"

#include "drives/Drive.h"

#include <cmath>
#include <cstring>
#include <numbers>

namespace cdlib {

VirtualDrive::VirtualDrive(std::string id, std::optional<VirtualDisc> disc)
    : id_(std::move(id))
    , disc_(std::move(disc)) {}

void VirtualDrive::insertDisc(VirtualDisc disc) {
    disc_ = std::move(disc);
    trayOpen_ = false;
    postDeviceChange(CR_DEVICE_ARRIVAL);
}

void VirtualDrive::ejectDisc() {
    disc_.reset();
    clock_.stop();
    postDeviceChange(CR_DEVICE_REMOVE_COMPLETE);
}

void VirtualDrive::advancePlayClock(int32_t sectors) {
    clock_.advance(sectors);
}

std::vector<uint8_t> VirtualDrive::audioSector(int32_t sector) {
    constexpr int kFrames = CD_SECTOR_BYTES / 4;
    std::vector<uint8_t> bytes(CD_SECTOR_BYTES);
    auto put = [&bytes](int index, int value) {
        const auto sample = static_cast<uint16_t>(static_cast<int16_t>(value));
        bytes[2 * index] = static_cast<uint8_t>(sample & 0xff);
        bytes[2 * index + 1] = static_cast<uint8_t>(sample >> 8);
    };
    for (int frame = 0; frame < kFrames; ++frame) {
        const double t = (static_cast<double>(sector) * kFrames + frame) / 44100.0;
        // A 441 Hz tone on the left, 882 Hz on the right.
        put(2 * frame,
            static_cast<int>(std::lround(12000 * std::sin(2 * std::numbers::pi * 441 * t))));
        put(2 * frame + 1,
            static_cast<int>(std::lround(9000 * std::sin(2 * std::numbers::pi * 882 * t))));
    }
    // The first frame carries the sector number, so no two sectors are alike.
    put(0, sector & 0x7fff);
    put(1, (sector >> 15) & 0x7fff);
    return bytes;
}

} // namespace cdlib
