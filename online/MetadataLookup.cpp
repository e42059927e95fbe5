// SPDX-License-Identifier: GPL-3.0-or-later
#include "MetadataLookup.h"

#include "KeptAnswer.h"
#include "ReleaseChoice.h"

#include <algorithm>
#include <cctype>
#include <utility>

namespace online {

namespace {

using Outcome = MusicBrainzLookup::Outcome;

MetadataResult cancelled(MetadataResult result) {
    result.outcome = Outcome::Cancelled;
    result.message = "The lookup was cancelled";
    return result;
}

} // namespace

MetadataLookup::MetadataLookup(MusicBrainzClient musicBrainz, CoverArtClient coverArt)
    : musicBrainz_(std::move(musicBrainz))
    , coverArt_(std::move(coverArt)) {}

MetadataResult MetadataLookup::lookUp(const MetadataRequest& request, std::stop_token stop) const {
    MetadataResult result;
    result.disc = MusicBrainzDiscId::of(request.toc);
    if (!result.disc.valid()) {
        result.message = "The disc cannot be looked up: " + result.disc.problem;
        return result;
    }
    // The service writes its IDs in lower case; a user may not.
    std::string wanted = request.releaseId;
    std::ranges::transform(wanted, wanted.begin(), [](unsigned char c) { return std::tolower(c); });
    if (!wanted.empty() && !isMusicBrainzId(wanted)) {
        result.message = "\"" + wanted + "\" is not a MusicBrainz release ID";
        return result;
    }

    MusicBrainzLookup lookup = musicBrainz_.lookUpDisc(result.disc, request.freshness, stop);
    if (lookup.outcome == Outcome::Cancelled) {
        return cancelled(std::move(result));
    }
    result.outcome = lookup.outcome;
    result.releases = std::move(lookup.releases);
    result.fromCache = lookup.fromCache;
    result.message = std::move(lookup.message);

    if (wanted.empty()) {
        if (result.releases.empty()) {
            return result;
        }
        const std::size_t index =
            preselectedRelease(result.releases, result.disc, request.mediaCatalogNumber);
        return choose(result, request, index, stop);
    }
    const auto listed = std::ranges::find(result.releases, wanted, &MusicBrainzRelease::id);
    if (listed != result.releases.end()) {
        return choose(result, request, static_cast<std::size_t>(listed - result.releases.begin()),
                      stop);
    }
    // A release the disc's ID is not attached to: the user knows better.
    MusicBrainzLookup release = musicBrainz_.lookUpRelease(wanted, request.freshness, stop);
    if (release.outcome == Outcome::Cancelled) {
        return cancelled(std::move(result));
    }
    result.message = std::move(release.message);
    if (release.outcome != Outcome::Found) {
        result.outcome = release.outcome;
        return result;
    }
    result.outcome = Outcome::Found;
    result.fromCache = release.fromCache;
    result.releases.push_back(std::move(release.releases.front()));
    return choose(result, request, result.releases.size() - 1, stop);
}

MetadataResult MetadataLookup::choose(const MetadataResult& earlier, const MetadataRequest& request,
                                      std::size_t index, std::stop_token stop) const {
    MetadataResult result = earlier;
    result.chosen = index;
    result.metadata.reset();
    result.cover = CoverArt();
    const MusicBrainzRelease& release = result.releases.at(index);
    const ReleaseMedium* medium = mediumOfDisc(release, result.disc);
    if (!medium) {
        addSentence(result.message, "The release \"" + release.title + "\" has no medium of " +
                                        std::to_string(result.disc.offsets.size()) + " tracks");
        return result;
    }
    result.metadata = metadataOf(release, *medium, request.toc);
    if (!request.withCover) {
        return result;
    }
    result.cover = coverArt_.fetchFront(release.id, request.freshness, stop);
    if (result.cover.outcome == CoverArt::Outcome::Cancelled) {
        return cancelled(std::move(result));
    }
    addSentence(result.message, result.cover.message);
    return result;
}

MetadataLookup MetadataLookup::forProgram() {
    return MetadataLookup(MusicBrainzClient::forProgram(), CoverArtClient::forProgram());
}

} // namespace online
