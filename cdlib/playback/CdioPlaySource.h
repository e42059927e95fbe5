// SPDX-License-Identifier: GPL-3.0-or-later
// The sectors of a disc image or a drive for digital playback, read through
// a libcdio handle of the player's own (libcdio handles are not shared
// between threads). Sectors of data tracks play as silence.
#pragma once

#include "drives/CdioHandles.h"
#include "drives/Drive.h"
#include "playback/DigitalPlayer.h"

#include <memory>
#include <vector>

namespace cdlib {

class CdioPlaySource final : public PlaySource {
public:
    // Null when `cdio` is null or holds no readable table of contents.
    // `keepAlive` is whatever the handle reads through (an image's private
    // folder); it goes after the handle.
    static std::unique_ptr<CdioPlaySource> open(CdioHandle cdio,
                                                std::shared_ptr<void> keepAlive = nullptr);

    bool read(int32_t firstSector, int32_t count, std::span<uint8_t> buffer) override;

private:
    CdioPlaySource(CdioHandle cdio, std::shared_ptr<void> keepAlive,
                   std::vector<SectorSpan> dataTracks);

    // Declared first, so that it goes after the handle that reads through it.
    std::shared_ptr<void> keepAlive_;
    CdioHandle cdio_;
    std::vector<SectorSpan> dataTracks_;
};

} // namespace cdlib
