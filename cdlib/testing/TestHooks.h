// SPDX-License-Identifier: GPL-3.0-or-later
// Fault simulation for the drives that are read through paranoia (disc
// images and physical drives), and the sound of digital playback, for tests.
// Every setting stays until changed or until resetLibrary().
#pragma once

#include "library/LibrarySeam.h"
#include "playback/AudioSink.h"

#include <cstdint>
#include <functional>
#include <memory>

namespace cdlib {

class CdDeviceSystem;

// Devices that stand in for the machine's CD drives, enumerated as physical
// drives from the next CR_Init even with the host's drives disabled; null
// returns to the machine's. resetLibrary() returns to the machine's.
void setDeviceSystem(std::unique_ptr<CdDeviceSystem> system);

// Paranoia's own simulation flags (the drive struct's i_test_flags, such as
// CDDA_TEST_JITTER_SMALL | CDDA_TEST_ALWAYS_JITTER), set on every range
// opened from now on.
void setParanoiaTestFlags(int flags);

// Stands between paranoia and the drive's own sector read: it may change
// what `read` delivers or fail instead of calling it. An empty filter
// removes it.
using SectorReadFilter =
    std::function<long(void* buffer, int32_t firstSector, long sectors, const SectorReader& read)>;
void setSectorReadFilter(SectorReadFilter filter);

// Ranges opened from now on read ahead on a thread of their own (true, the
// default, for drives whose reads wait on a device) or chunk by chunk on the
// caller's thread as each is asked for, so that tests can compare the two.
void setReadAhead(bool enabled);

// Digital playback sends its sound to the sinks `factory` makes instead of
// the sound server; a factory that makes none stands for a machine without
// one. An empty factory restores the sound server.
void setAudioSinkFactory(AudioSinkFactory factory);

} // namespace cdlib
