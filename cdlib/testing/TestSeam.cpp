// SPDX-License-Identifier: GPL-3.0-or-later
#include "TestSeam.h"

#include "VirtualDriveBackend.h"
#include "library/Library.h"

namespace cdlib {

namespace {

// Lasts across resets: tests switch the machine's drives off once.
bool g_machineDrives = true;

} // namespace

long TestSeam::readSectors(void* buffer, int32_t firstSector, long sectors,
                           const SectorReader& read) {
    return readFilter ? readFilter(buffer, firstSector, sectors, read)
                      : read(buffer, firstSector, sectors);
}

bool TestSeam::refuses(Drive& drive, std::string_view operation) {
    auto* backend = dynamic_cast<VirtualDriveBackend*>(&drive);
    return backend != nullptr && backend->refuses(operation);
}

std::optional<int32_t> TestSeam::reportedTrackCount(const Drive& drive) const {
    const auto* backend = dynamic_cast<const VirtualDriveBackend*>(&drive);
    return backend != nullptr ? backend->reportedTrackCount() : std::nullopt;
}

bool TestSeam::acceptsTransportLayer(const Drive& drive, int32_t /*layer*/) const {
    const auto* backend = dynamic_cast<const VirtualDriveBackend*>(&drive);
    return backend == nullptr || backend->acceptsTransportLayer();
}

void TestSeam::chunkHandedOn(Drive& drive) {
    if (auto* backend = dynamic_cast<VirtualDriveBackend*>(&drive)) {
        backend->chunkHandedOn();
    }
}

TestSeam& testSeam() {
    if (auto* installed = dynamic_cast<TestSeam*>(&library().seam())) {
        return *installed;
    }
    auto seam = std::make_unique<TestSeam>();
    seam->machineDrives = g_machineDrives;
    TestSeam& installed = *seam;
    library().install(std::move(seam));
    return installed;
}

void resetLibrary() {
    library().reset();
    if (!g_machineDrives) {
        testSeam();
    }
}

void setHostDrivesEnabled(bool enabled) {
    g_machineDrives = enabled;
    testSeam().machineDrives = enabled;
}

int addVirtualDrive(std::shared_ptr<VirtualDrive> drive) {
    // The drive's script reaches the library through the test seam.
    testSeam();
    return library().addDrive(std::make_unique<VirtualDriveBackend>(std::move(drive)));
}

void setDeviceSystem(std::unique_ptr<CdDeviceSystem> system) {
    testSeam().deviceSystem = std::move(system);
}

void setParanoiaTestFlags(int flags) {
    testSeam().paranoiaFlags = flags;
}

void setSectorReadFilter(SectorReadFilter filter) {
    testSeam().readFilter = std::move(filter);
}

void setReadAhead(bool enabled) {
    library().setReadAhead(enabled);
}

void setAudioSinkFactory(AudioSinkFactory factory) {
    library().playback().setSinkFactory(std::move(factory));
}

} // namespace cdlib
