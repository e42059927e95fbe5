// SPDX-License-Identifier: GPL-3.0-or-later
#include "drives/DiscInfo.h"

#include "drives/CdioHandles.h"

#include <algorithm>
#include <cctype>
#include <string_view>

namespace cdlib {

namespace {

bool isDigit(char c) {
    return std::isdigit(static_cast<unsigned char>(c)) != 0;
}

bool isLetter(char c) {
    return std::isalpha(static_cast<unsigned char>(c)) != 0;
}

std::string validCatalog(const std::string& catalog) {
    const bool digits = catalog.size() == 13 && std::ranges::all_of(catalog, isDigit);
    // Drives report a disc without one as all zeros.
    return digits && catalog != std::string(13, '0') ? catalog : std::string();
}

std::string validIsrc(std::string isrc) {
    constexpr std::size_t kCountry = 2;
    constexpr std::size_t kRegistrant = 3;
    if (isrc.size() != 12) {
        return {};
    }
    std::ranges::transform(isrc, isrc.begin(),
                           [](char c) { return static_cast<char>(std::toupper(c)); });
    const std::string_view text(isrc);
    const bool valid = std::ranges::all_of(text.substr(0, kCountry), isLetter) &&
                       std::ranges::all_of(text.substr(kCountry, kRegistrant),
                                           [](char c) { return isLetter(c) || isDigit(c); }) &&
                       std::ranges::all_of(text.substr(kCountry + kRegistrant), isDigit);
    return valid ? isrc : std::string();
}

std::string textOf(const CdioText& text) {
    return text ? std::string(text.get()) : std::string();
}

bool flagSet(track_flag_t flag) {
    return flag == CDIO_TRACK_FLAG_TRUE;
}

} // namespace

DiscInfo discInfoOf(CdIo_t* cdio, const std::vector<TTocEntry>& toc) {
    DiscInfo info;
    info.catalog = textOf(CdioText(cdio_get_mcn(cdio)));
    for (std::size_t i = 0; i + 1 < toc.size(); ++i) {
        const auto number = static_cast<track_t>(toc[i].TrackNumber);
        TrackInfo track;
        if ((toc[i].Flags & TOC_FLAG_DATA) == 0) {
            track.isrc = textOf(CdioText(cdio_get_track_isrc(cdio, number)));
        }
        if (const lsn_t pregap = cdio_get_track_pregap_lsn(cdio, number);
            pregap != CDIO_INVALID_LSN) {
            track.pregapSector = pregap;
        }
        track.preEmphasis = flagSet(cdio_get_track_preemphasis(cdio, number));
        track.copyPermitted = flagSet(cdio_get_track_copy_permit(cdio, number));
        track.fourChannel = cdio_get_track_channels(cdio, number) == 4;
        info.tracks[number] = std::move(track);
    }
    return info;
}

DiscInfo checkedAgainst(DiscInfo info, const std::vector<TTocEntry>& toc) {
    DiscInfo checked;
    checked.catalog = validCatalog(info.catalog);
    for (std::size_t i = 0; i + 1 < toc.size(); ++i) {
        const auto found = info.tracks.find(toc[i].TrackNumber);
        if (found == info.tracks.end()) {
            continue;
        }
        TrackInfo track = std::move(found->second);
        track.isrc = validIsrc(std::move(track.isrc));
        // A pregap that is no part of the gap before this track's start
        // would cut into the previous track, or into nothing at all.
        const int64_t earliest = i == 0 ? 0 : int64_t{toc[i - 1].StartSector} + 1;
        if (track.pregapSector && (*track.pregapSector < earliest ||
                                   *track.pregapSector >= int64_t{toc[i].StartSector})) {
            track.pregapSector.reset();
        }
        checked.tracks[toc[i].TrackNumber] = std::move(track);
    }
    return checked;
}

} // namespace cdlib
