// SPDX-License-Identifier: GPL-3.0-or-later
// Arbitrary bytes as an answer of the MusicBrainz web service: reading it
// as a disc lookup's and as a release lookup's answer never throws, an
// error comes with no releases, and whatever releases it yields, choosing
// one and taking a rip's names from it keep their promises.
#include "FuzzCheck.h"
#include "MusicBrainzAnswer.h"
#include "ReleaseChoice.h"

#include <cstdint>
#include <string_view>

namespace {

// The disc of the seed answers: three audio tracks and a data session.
const online::DiscToc kToc{
    {{1, 0, true}, {2, 75258, true}, {3, 130073, true}, {4, 347353, false, 2}}, 400000};

void checkChoices(const online::MusicBrainzAnswer& answer) {
    static const online::MusicBrainzDiscId disc = online::MusicBrainzDiscId::of(kToc);
    check(answer.readable() || answer.releases.empty());
    if (answer.releases.empty()) {
        return;
    }
    check(online::preselectedRelease(answer.releases, disc, "0885150331238") <
          answer.releases.size());
    for (const online::MusicBrainzRelease& release : answer.releases) {
        release.formatSummary();
        release.labelNames();
        release.catalogNumbers();
        const online::ReleaseMedium* medium = online::mediumOfDisc(release, disc);
        if (!medium) {
            continue;
        }
        check(medium >= release.media.data() &&
              medium < release.media.data() + release.media.size());
        const online::DiscMetadata metadata = online::metadataOf(release, *medium, kToc);
        check(metadata.tracks.size() == 3 && metadata.tracks.back().number == 3);
        check(metadata.discNumber >= 1 && metadata.discNumber <= metadata.discCount);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view json(reinterpret_cast<const char*>(data), size);
    checkChoices(online::readDiscAnswer(json));
    checkChoices(online::readReleaseAnswer(json));
    return 0;
}
