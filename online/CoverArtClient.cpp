// SPDX-License-Identifier: GPL-3.0-or-later
#include "CoverArtClient.h"

#include "KeptAnswer.h"
#include "ReleaseChoice.h"
#include "ServiceUrl.h"

#include <optional>
#include <utility>

namespace online {

namespace {

using Outcome = CoverArt::Outcome;

CoverArt ended(Outcome outcome, std::string message = {}) {
    CoverArt cover;
    cover.outcome = outcome;
    cover.message = std::move(message);
    return cover;
}

CoverArt found(std::string bytes, std::string mimeType) {
    CoverArt cover = ended(Outcome::Found);
    cover.bytes = std::move(bytes);
    cover.mimeType = std::move(mimeType);
    return cover;
}

// What a kept answer says; nothing when it is not one this client keeps.
std::optional<CoverArt> keptCover(const CachedAnswer& kept) {
    std::optional<CoverArt> cover;
    if (kept.status == 404) {
        cover = ended(Outcome::NoCover);
    } else if (std::string type = imageTypeOf(kept.body); kept.status == 200 && !type.empty()) {
        cover = found(kept.body, std::move(type));
    }
    if (cover) {
        cover->fromCache = true;
    }
    return cover;
}

} // namespace

std::string imageTypeOf(std::string_view bytes) {
    if (bytes.starts_with("\xFF\xD8\xFF")) {
        return "image/jpeg";
    }
    if (bytes.starts_with("\x89PNG\r\n\x1A\n")) {
        return "image/png";
    }
    return {};
}

CoverArtClient::CoverArtClient(HttpClient http, AnswerCache cache, std::string baseUrl,
                               HttpRequest request)
    : http_(std::move(http))
    , cache_(std::move(cache))
    , baseUrl_(std::move(baseUrl))
    , request_(std::move(request)) {}

CoverArt CoverArtClient::fetchFront(std::string_view releaseId, Freshness freshness,
                                    std::stop_token stop) const {
    if (!isMusicBrainzId(releaseId)) {
        return ended(Outcome::NoCover,
                     "\"" + std::string(releaseId) + "\" is not a MusicBrainz release ID");
    }
    const std::string key = "front-" + std::string(releaseId);
    const std::optional<CachedAnswer> kept = cache_.load(key);
    const std::optional<CoverArt> keptAnswer = kept ? keptCover(*kept) : std::nullopt;
    if (keptAnswer && freshness == Freshness::PreferCache && isFresh(*kept)) {
        return *keptAnswer;
    }

    HttpRequest request = request_;
    request.url = baseUrl_ + "/release/" + std::string(releaseId) + "/front";
    const HttpResponse response = http_.get(request, std::move(stop));
    // A cover that cannot be used is remembered as none, for as long as
    // "not known" is.
    const auto noCover = [&](std::string why) {
        CoverArt cover = ended(Outcome::NoCover, std::move(why));
        addSentence(cover.message, keepAnswer(cache_, key, 404, {}));
        return cover;
    };
    switch (response.outcome) {
    case HttpResponse::Outcome::Cancelled:
        return ended(Outcome::Cancelled, "The lookup was cancelled");
    case HttpResponse::Outcome::TooLarge:
        return noCover("The front cover is larger than " + std::to_string(kLargestCover >> 20) +
                       " MiB");
    case HttpResponse::Outcome::Answered:
        if (response.status == 404) {
            return noCover({});
        }
        if (response.status == 200) {
            std::string type = imageTypeOf(response.body);
            if (type.empty()) {
                return noCover("The front cover is neither a JPEG nor a PNG image");
            }
            CoverArt cover = found(response.body, std::move(type));
            addSentence(cover.message, keepAnswer(cache_, key, 200, response.body));
            return cover;
        }
        break;
    case HttpResponse::Outcome::Unreachable:
        break;
    }
    if (!keptAnswer) {
        return ended(Outcome::Unavailable,
                     "The Cover Art Archive is not available: " + response.describe());
    }
    CoverArt cover = *keptAnswer;
    cover.message = "The Cover Art Archive is not available (" + response.describe() +
                    "); the cover kept from an earlier lookup stands";
    return cover;
}

std::string CoverArtClient::baseUrlFromEnvironment() {
    return serviceBaseUrl("VARROW_COVERART_URL", "https://coverartarchive.org");
}

CoverArtClient CoverArtClient::forProgram() {
    return CoverArtClient(HttpClient(), AnswerCache(AnswerCache::programFolder() / "coverart"),
                          baseUrlFromEnvironment());
}

HttpRequest CoverArtClient::defaultRequest() {
    HttpRequest request;
    // The names are there already; a scan of some megabytes needs longer.
    request.connectTimeout = std::chrono::seconds(5);
    request.totalTimeout = std::chrono::seconds(20);
    request.bodyLimit = kLargestCover;
    return request;
}

} // namespace online
