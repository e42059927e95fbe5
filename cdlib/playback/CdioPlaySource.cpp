// SPDX-License-Identifier: GPL-3.0-or-later
#include "playback/CdioPlaySource.h"

#include "drives/images/ImageDrive.h"

#include <algorithm>
#include <cdio/read.h>

namespace cdlib {

std::unique_ptr<CdioPlaySource> CdioPlaySource::open(CdioHandle cdio,
                                                     std::shared_ptr<void> keepAlive) {
    if (!cdio) {
        return nullptr;
    }
    const auto toc = tocOf(cdio.get());
    if (!toc) {
        return nullptr;
    }
    std::vector<SectorSpan> dataTracks;
    for (size_t i = 0; i + 1 < toc->size(); ++i) {
        if (((*toc)[i].Flags & TOC_FLAG_DATA) != 0) {
            dataTracks.push_back({static_cast<int32_t>((*toc)[i].StartSector),
                                  static_cast<int32_t>((*toc)[i + 1].StartSector) - 1});
        }
    }
    return std::unique_ptr<CdioPlaySource>(
        new CdioPlaySource(std::move(cdio), std::move(keepAlive), std::move(dataTracks)));
}

CdioPlaySource::CdioPlaySource(CdioHandle cdio, std::shared_ptr<void> keepAlive,
                               std::vector<SectorSpan> dataTracks)
    : keepAlive_(std::move(keepAlive))
    , cdio_(std::move(cdio))
    , dataTracks_(std::move(dataTracks)) {}

bool CdioPlaySource::read(int32_t firstSector, int32_t count, std::span<uint8_t> buffer) {
    if (count <= 0 || buffer.size() < static_cast<size_t>(count) * CD_SECTOR_BYTES ||
        cdio_read_audio_sectors(cdio_.get(), buffer.data(), firstSector,
                                static_cast<uint32_t>(count)) != DRIVER_OP_SUCCESS) {
        return false;
    }
    // Data played as sound is loud noise.
    const int32_t lastSector = firstSector + count - 1;
    for (const SectorSpan& data : dataTracks_) {
        const int32_t from = std::max(data.first, firstSector);
        const int32_t to = std::min(data.last, lastSector);
        if (from <= to) {
            const auto offset = static_cast<size_t>(from - firstSector) * CD_SECTOR_BYTES;
            const auto bytes = static_cast<size_t>(to - from + 1) * CD_SECTOR_BYTES;
            std::fill_n(buffer.begin() + static_cast<std::ptrdiff_t>(offset), bytes, uint8_t{0});
        }
    }
    return true;
}

} // namespace cdlib
