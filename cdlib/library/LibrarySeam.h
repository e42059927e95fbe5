// SPDX-License-Identifier: GPL-3.0-or-later
// What the library takes from around it, in one place that a caller other
// than the program can stand in for: the machine's CD devices, paranoia's
// sector reads, and the answers of drives the caller adds to the list
// itself (Library::addDrive). This class is the library's own behaviour; a
// seam installed with Library::install overrides what it needs to, until
// Library::reset removes it.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string_view>

namespace cdlib {

class CdDeviceSystem;
class Drive;

// Reads `sectors` raw sectors from `firstSector` into `buffer`; returns the
// sectors read or a negative number on failure, like paranoia's drive read.
using SectorReader = std::function<long(void* buffer, int32_t firstSector, long sectors)>;

class LibrarySeam {
public:
    LibrarySeam() = default;
    LibrarySeam(const LibrarySeam&) = delete;
    LibrarySeam& operator=(const LibrarySeam&) = delete;
    virtual ~LibrarySeam() = default;

    // The machine's CD drives and the images of VARROW_CD_IMAGES are listed.
    virtual bool listsMachineDrives() const;
    // Devices listed as the machine's CD drives, also when
    // listsMachineDrives() is false; null for the machine's own.
    virtual CdDeviceSystem* devices();

    // Flags of paranoia's own simulation (its drive's i_test_flags) for every
    // range opened.
    virtual int paranoiaSimulation() const;
    // Every sector read paranoia makes passes through here; `read` is the
    // drive's own.
    virtual long readSectors(void* buffer, int32_t firstSector, long sectors,
                             const SectorReader& read);

    // True when `operation` (by its CR_ name) answers failure on `drive`; a
    // seam may also throw for it.
    virtual bool refuses(Drive& drive, std::string_view operation);
    // A track count `drive` reports instead of its table's.
    virtual std::optional<int32_t> reportedTrackCount(const Drive& drive) const;
    // False when `drive` keeps its transport layer whatever is asked.
    virtual bool acceptsTransportLayer(const Drive& drive, int32_t layer) const;
    // The chunk of one read of `drive` reached the library's caller, on the
    // caller's thread; reads ahead that a close or an abort dropped never do.
    virtual void chunkHandedOn(Drive& drive);
};

// The seam the library uses now: the installed one, or its own.
LibrarySeam& seam();

} // namespace cdlib
