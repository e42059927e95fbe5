// SPDX-License-Identifier: GPL-3.0-or-later
#include "MusicBrainzClient.h"

#include "KeptAnswer.h"
#include "MusicBrainzAnswer.h"
#include "ReleaseChoice.h"
#include "ServiceUrl.h"

#include <optional>
#include <stdexcept>
#include <utility>

namespace online {

namespace {

using Outcome = MusicBrainzLookup::Outcome;

const std::string kDiscIncludes = "inc=recordings+artist-credits+labels+release-groups&fmt=json";
// A release chosen by hand may not carry the disc's ID: its media's disc
// IDs tell which medium the disc is.
const std::string kReleaseIncludes =
    "inc=recordings+artist-credits+labels+release-groups+discids&fmt=json";

MusicBrainzLookup ended(Outcome outcome, std::string message) {
    MusicBrainzLookup lookup;
    lookup.outcome = outcome;
    lookup.message = std::move(message);
    return lookup;
}

// What a kept answer says; nothing when it cannot be read (a file damaged
// since, or kept by another version).
std::optional<MusicBrainzLookup>
keptLookup(const CachedAnswer& kept, const std::function<MusicBrainzAnswer(std::string_view)>& read,
           const std::string& notFound) {
    MusicBrainzLookup lookup;
    lookup.fromCache = true;
    if (kept.status == 404) {
        lookup.outcome = Outcome::NotFound;
        lookup.message = notFound;
        return lookup;
    }
    MusicBrainzAnswer answer = read(kept.body);
    if (kept.status != 200 || !answer.readable() || answer.releases.empty()) {
        return std::nullopt;
    }
    lookup.outcome = Outcome::Found;
    lookup.releases = std::move(answer.releases);
    return lookup;
}

} // namespace

MusicBrainzClient::MusicBrainzClient(HttpClient http, AnswerCache cache, std::string baseUrl,
                                     HttpRequest request)
    : http_(std::move(http))
    , cache_(std::move(cache))
    , baseUrl_(std::move(baseUrl))
    , request_(std::move(request)) {}

MusicBrainzLookup MusicBrainzClient::lookUpDisc(const MusicBrainzDiscId& disc, Freshness freshness,
                                                std::stop_token stop) const {
    if (!disc.valid()) {
        throw std::invalid_argument("no disc ID: " + disc.problem);
    }
    const Query query{"discid-" + disc.id,
                      {"/ws/2/discid/" + disc.id + "?" + kDiscIncludes,
                       "/ws/2/discid/-?toc=" + disc.tocParameter() + "&" + kDiscIncludes},
                      readDiscAnswer,
                      "MusicBrainz does not know this disc"};
    return lookUp(query, freshness, std::move(stop));
}

MusicBrainzLookup MusicBrainzClient::lookUpRelease(std::string_view releaseId, Freshness freshness,
                                                   std::stop_token stop) const {
    if (!isMusicBrainzId(releaseId)) {
        throw std::invalid_argument("not a MusicBrainz ID: " + std::string(releaseId));
    }
    const std::string id(releaseId);
    // An answer about any other release (or none) is not the one asked for.
    const auto read = [id](std::string_view json) {
        MusicBrainzAnswer answer = readReleaseAnswer(json);
        if (answer.readable() && answer.releases.front().id != id) {
            answer.releases.clear();
            answer.error = "the answer is not about release " + id;
        }
        return answer;
    };
    const Query query{"release-" + id,
                      {"/ws/2/release/" + id + "?" + kReleaseIncludes},
                      read,
                      "MusicBrainz has no release " + id};
    return lookUp(query, freshness, std::move(stop));
}

MusicBrainzLookup MusicBrainzClient::lookUp(const Query& query, Freshness freshness,
                                            std::stop_token stop) const {
    const std::optional<CachedAnswer> kept = cache_.load(query.cacheKey);
    const std::optional<MusicBrainzLookup> keptAnswer =
        kept ? keptLookup(*kept, query.read, query.notFound) : std::nullopt;
    if (keptAnswer && freshness == Freshness::PreferCache && isFresh(*kept)) {
        return *keptAnswer;
    }
    const auto unavailable = [&](const std::string& why) {
        if (!keptAnswer) {
            return ended(Outcome::Unavailable, "MusicBrainz is not available: " + why);
        }
        MusicBrainzLookup lookup = *keptAnswer;
        lookup.message = "MusicBrainz is not available (" + why +
                         "); the answer kept from an earlier lookup stands";
        return lookup;
    };

    for (const std::string& path : query.paths) {
        HttpRequest request = request_;
        request.url = baseUrl_ + path;
        const HttpResponse response = http_.get(request, stop);
        if (response.outcome == HttpResponse::Outcome::Cancelled) {
            return ended(Outcome::Cancelled, "The lookup was cancelled");
        }
        if (response.answered(404)) {
            continue;
        }
        if (!response.answered(200)) {
            return unavailable(response.describe());
        }
        MusicBrainzAnswer answer = query.read(response.body);
        if (!answer.readable()) {
            return unavailable(answer.error);
        }
        if (!answer.releases.empty()) {
            MusicBrainzLookup lookup;
            lookup.outcome = Outcome::Found;
            lookup.releases = std::move(answer.releases);
            addSentence(lookup.message, keepAnswer(cache_, query.cacheKey, 200, response.body));
            return lookup;
        }
    }
    MusicBrainzLookup lookup = ended(Outcome::NotFound, query.notFound);
    addSentence(lookup.message, keepAnswer(cache_, query.cacheKey, 404, {}));
    return lookup;
}

std::string MusicBrainzClient::baseUrlFromEnvironment() {
    return serviceBaseUrl("VARROW_MUSICBRAINZ_URL", "https://musicbrainz.org");
}

MusicBrainzClient MusicBrainzClient::forProgram() {
    return MusicBrainzClient(HttpClient(),
                             AnswerCache(AnswerCache::programFolder() / "musicbrainz"),
                             baseUrlFromEnvironment());
}

HttpRequest MusicBrainzClient::defaultRequest() {
    HttpRequest request;
    request.headers = {"Accept: application/json"};
    // A few seconds: a user without a network waits no longer for the
    // disc's own names, and the answer is a few kilobytes.
    request.connectTimeout = std::chrono::seconds(5);
    request.totalTimeout = std::chrono::seconds(10);
    request.bodyLimit = kLargestMusicBrainzAnswer;
    request.paceHost = true;
    return request;
}

} // namespace online
