// SPDX-License-Identifier: GPL-3.0-or-later
// Names for a disc, in one call that both front ends make: the disc's
// MusicBrainz ID from its table of contents, the releases it is on, the
// release a rip takes (the user's, else the one whose barcode is the disc's
// catalogue number, else the first), what the rip takes from it, and its
// front cover.
//
// How the front ends call it:
// - The window, when a disc is read: on a std::jthread of its own,
//   `lookUp(request, thread.get_stop_token())`, and hands the result to the
//   window's thread (a queued call). A disc change or a batch start calls
//   `request_stop()`; the lookup then ends at once as Cancelled. With
//   several releases the window lists `result.releases` (title, artist,
//   date, country, labels, catalogue numbers, barcode, formatSummary())
//   with `result.chosen` selected; a different choice goes through
//   `choose(result, index, stop)` on the lookup's thread again, for its
//   metadata and cover.
// - varrow-rip: `lookUp(request)` on its own thread, with `releaseId` from
//   --release; it prints `result.message` when not empty and lists the
//   releases other than the chosen one.
// A result whose outcome is not Found leaves the names to CD-Text and
// TrackNN; its message says why in one line, and `disc.submissionUrl` is
// where the user adds an unknown disc.
#pragma once

#include "CoverArtClient.h"
#include "DiscMetadata.h"
#include "DiscToc.h"
#include "Freshness.h"
#include "MusicBrainzClient.h"
#include "MusicBrainzDiscId.h"
#include "MusicBrainzRelease.h"

#include <cstddef>
#include <optional>
#include <stop_token>
#include <string>
#include <vector>

namespace online {

struct MetadataRequest {
    DiscToc toc;
    std::string mediaCatalogNumber; // the disc's MCN; empty when it has none
    std::string releaseId;          // a release the user chose; empty to preselect
    Freshness freshness = Freshness::PreferCache;
    bool withCover = true;
};

struct MetadataResult {
    MusicBrainzLookup::Outcome outcome = MusicBrainzLookup::Outcome::Unavailable;
    MusicBrainzDiscId disc;
    std::vector<MusicBrainzRelease> releases; // every release the disc is on
    std::optional<std::size_t> chosen;        // into `releases`
    std::optional<DiscMetadata> metadata;     // of the chosen release
    CoverArt cover;                           // of the chosen release, when asked for
    bool fromCache = false;                   // the releases are a kept answer
    // One line for the user, empty when all went well: why there are no
    // names, or what stands in for the service.
    std::string message;
};

class MetadataLookup final {
public:
    MetadataLookup(MusicBrainzClient musicBrainz, CoverArtClient coverArt);

    MetadataResult lookUp(const MetadataRequest& request, std::stop_token stop = {}) const;
    // `earlier` with release `index` of its releases chosen instead.
    MetadataResult choose(const MetadataResult& earlier, const MetadataRequest& request,
                          std::size_t index, std::stop_token stop = {}) const;

    // Both services as the environment and the user's cache folder give them.
    static MetadataLookup forProgram();

private:
    MusicBrainzClient musicBrainz_;
    CoverArtClient coverArt_;
};

} // namespace online
