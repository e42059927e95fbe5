// SPDX-License-Identifier: GPL-3.0-or-later
#include "library/LibrarySeam.h"

namespace cdlib {

bool LibrarySeam::listsMachineDrives() const {
    return true;
}

CdDeviceSystem* LibrarySeam::devices() {
    return nullptr;
}

int LibrarySeam::paranoiaSimulation() const {
    return 0;
}

long LibrarySeam::readSectors(void* buffer, int32_t firstSector, long sectors,
                              const SectorReader& read) {
    return read(buffer, firstSector, sectors);
}

bool LibrarySeam::refuses(Drive& /*drive*/, std::string_view /*operation*/) {
    return false;
}

std::optional<int32_t> LibrarySeam::reportedTrackCount(const Drive& /*drive*/) const {
    return std::nullopt;
}

bool LibrarySeam::acceptsTransportLayer(const Drive& /*drive*/, int32_t /*layer*/) const {
    return true;
}

void LibrarySeam::chunkHandedOn(Drive& /*drive*/) {}

} // namespace cdlib
