// SPDX-License-Identifier: GPL-3.0-or-later
#include "ReleaseNames.h"

#include "DiscIdentity.h"

#include <utility>

online::MetadataRequest MetadataRequestOf(const TCDRIP& engine, std::string releaseId) {
    online::MetadataRequest request;
    request.toc = OnlineToc(engine);
    request.mediaCatalogNumber = engine.DiscInfo().Catalog;
    request.releaseId = std::move(releaseId);
    return request;
}

void TakeRelease(TRipChoices& choices, const online::MetadataResult& result) {
    if (!result.metadata) {
        return;
    }
    choices.Release = result.metadata;
    if (result.cover.outcome == online::CoverArt::Outcome::Found) {
        choices.Cover.assign(result.cover.bytes.begin(), result.cover.bytes.end());
        choices.CoverMimeType = result.cover.mimeType;
    }
}
