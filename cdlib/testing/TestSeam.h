// SPDX-License-Identifier: GPL-3.0-or-later
// The library's seam as the tests set it: stand-in devices, paranoia's
// simulation and a filter on its reads, whether the machine's drives are
// listed, and the scripts of the virtual drives.
#pragma once

#include "TestHooks.h"
#include "drives/physical/CdDevice.h"
#include "library/LibrarySeam.h"

#include <memory>

namespace cdlib {

class TestSeam final : public LibrarySeam {
public:
    bool listsMachineDrives() const override { return machineDrives; }
    CdDeviceSystem* devices() override { return deviceSystem.get(); }
    int paranoiaSimulation() const override { return paranoiaFlags; }
    long readSectors(void* buffer, int32_t firstSector, long sectors,
                     const SectorReader& read) override;
    bool refuses(Drive& drive, std::string_view operation) override;
    std::optional<int32_t> reportedTrackCount(const Drive& drive) const override;
    bool acceptsTransportLayer(const Drive& drive, int32_t layer) const override;
    void chunkHandedOn(Drive& drive) override;

    bool machineDrives = true;
    std::unique_ptr<CdDeviceSystem> deviceSystem;
    int paranoiaFlags = 0;
    SectorReadFilter readFilter;
};

// The test seam installed in the library; installed now when the library
// has none since its last reset.
TestSeam& testSeam();

} // namespace cdlib
