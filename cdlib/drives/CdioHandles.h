// SPDX-License-Identifier: GPL-3.0-or-later
// Owning handles for libcdio's C objects, released in the right way on
// every path.
#pragma once

#include <cdio/cdio.h>
#include <cdio/paranoia/cdda.h>
#include <cdio/paranoia/paranoia.h>
#include <memory>

namespace cdlib {

struct CdioDeleter {
    void operator()(CdIo_t* cdio) const { cdio_destroy(cdio); }
};
using CdioHandle = std::unique_ptr<CdIo_t, CdioDeleter>;

// A text libcdio allocated for its caller (an MCN, an ISRC).
struct CdioFreeDeleter {
    void operator()(char* text) const { cdio_free(text); }
};
using CdioText = std::unique_ptr<char, CdioFreeDeleter>;

// The paranoia drive borrows its CdIo_t; closing it leaves that open.
struct CddaDeleter {
    void operator()(cdrom_drive_t* drive) const { cdio_cddap_close_no_free_cdio(drive); }
};
using CddaHandle = std::unique_ptr<cdrom_drive_t, CddaDeleter>;

struct ParanoiaDeleter {
    void operator()(cdrom_paranoia_t* paranoia) const { cdio_paranoia_free(paranoia); }
};
using ParanoiaHandle = std::unique_ptr<cdrom_paranoia_t, ParanoiaDeleter>;

} // namespace cdlib
