// SPDX-License-Identifier: GPL-3.0-or-later
// Which of the releases that hold a disc a rip takes, and what it takes from
// it. A disc ID belongs to every pressing made from the same master, so one
// disc may be on several releases (countries, reissues), and on any medium
// of a set of several discs.
#pragma once

#include "DiscMetadata.h"
#include "DiscToc.h"
#include "MusicBrainzDiscId.h"
#include "MusicBrainzRelease.h"

#include <cstddef>
#include <string_view>
#include <vector>

namespace online {

// The medium of `release` that is the disc: the one its disc ID is attached
// to, else (a release found by its table of contents, or chosen by hand)
// the one with as many tracks as the disc ID counts whose lengths come
// nearest the disc's. Null when no medium has as many tracks.
const ReleaseMedium* mediumOfDisc(const MusicBrainzRelease& release, const MusicBrainzDiscId& disc);

// The release to offer first: the one whose barcode is the disc's media
// catalogue number (an all-zero number is none), else the first whose
// medium carries the disc's ID, else the first. `releases` is not empty.
std::size_t preselectedRelease(const std::vector<MusicBrainzRelease>& releases,
                               const MusicBrainzDiscId& disc, std::string_view mediaCatalogNumber);

// Whether a barcode and a media catalogue number name the same product:
// the same digits once leading zeros are dropped (a 12-digit UPC is the
// 13-digit EAN with a leading 0). Never for an empty or all-zero number.
bool sameProductCode(std::string_view barcode, std::string_view mediaCatalogNumber);

// Whether `text` has the form of a MusicBrainz ID: a UUID in lower- or
// upper-case hexadecimal digits.
bool isMusicBrainzId(std::string_view text);

// The names and IDs a rip of the disc with table `toc` takes from `medium`
// of `release`: the medium's tracks go to the disc's audio tracks in order.
DiscMetadata metadataOf(const MusicBrainzRelease& release, const ReleaseMedium& medium,
                        const DiscToc& toc);

} // namespace online
