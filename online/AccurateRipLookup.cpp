// SPDX-License-Identifier: GPL-3.0-or-later
#include "AccurateRipLookup.h"

#include "AnswerCache.h"
#include "HttpClient.h"

#include <cstdlib>
#include <exception>

namespace online {

namespace {

constexpr long kFound = 200;
constexpr long kNotFound = 404;
// A disc's file holds 13 + 9 bytes a track for each submitted pressing: a
// few kilobytes; a megabyte is no database file.
constexpr std::size_t kLargestFile = 1u << 20;

const char* const kCannotLookUp = "Cannot look the disc up in the AccurateRip database: ";

AccurateRipAnswer answerOfKind(AccurateRipAnswer::Kind kind) {
    AccurateRipAnswer answer;
    answer.kind = kind;
    return answer;
}

} // namespace

AccurateRipLookupSettings AccurateRipLookupSettings::fromEnvironment() {
    AccurateRipLookupSettings settings;
    if (const char* url = std::getenv("VARROW_ACCURATERIP_URL"); url && url[0] != '\0') {
        settings.baseUrl = url;
    }
    while (settings.baseUrl.ends_with('/')) {
        settings.baseUrl.pop_back();
    }
    return settings;
}

AccurateRipLookup::AccurateRipLookup(const HttpClient& client, const AnswerCache& cache,
                                     AccurateRipLookupSettings settings)
    : client_(client)
    , cache_(cache)
    , settings_(std::move(settings)) {}

std::filesystem::path AccurateRipLookup::cacheFolder() {
    const std::filesystem::path folder = AnswerCache::programFolder();
    return folder.empty() ? folder : folder / "accuraterip";
}

std::optional<AccurateRipAnswer> AccurateRipLookup::cachedAnswer(const AccurateRipDisc& disc,
                                                                 bool fresh) const {
    const std::optional<CachedAnswer> cached = cache_.load(disc.fileName());
    if (!cached) {
        return std::nullopt;
    }
    AccurateRipAnswer answer;
    answer.fromCache = true;
    if (cached->status == kFound) {
        AccurateRipFile file = parseAccurateRipFile(cached->body, disc.audioTrackCount);
        if (!file.valid()) {
            return std::nullopt;
        }
        answer.kind = AccurateRipAnswer::Kind::Found;
        answer.entries = std::move(file.entries);
        return answer;
    }
    if (cached->status != kNotFound) {
        return std::nullopt;
    }
    // A clock set back makes the age negative: ask again rather than trust it.
    const auto age = settings_.now() - cached->storedAt;
    if (fresh && (age < decltype(age)::zero() || age >= settings_.notFoundKeptFor)) {
        return std::nullopt;
    }
    answer.kind = AccurateRipAnswer::Kind::NotInDatabase;
    return answer;
}

AccurateRipAnswer AccurateRipLookup::lookUp(const AccurateRipDisc& disc,
                                            std::stop_token stop) const {
    if (!settings_.refresh) {
        if (std::optional<AccurateRipAnswer> cached = cachedAnswer(disc, true)) {
            return std::move(*cached);
        }
    }

    HttpRequest request;
    request.url = settings_.baseUrl + "/" + disc.urlPath();
    request.connectTimeout = settings_.connectTimeout;
    request.totalTimeout = settings_.totalTimeout;
    request.firstBackOff = settings_.firstBackOff;
    request.retriesOn503 = 1;
    request.bodyLimit = kLargestFile;
    const HttpResponse response = client_.get(request, stop);
    if (response.outcome == HttpResponse::Outcome::Cancelled) {
        return answerOfKind(AccurateRipAnswer::Kind::Cancelled);
    }

    std::string problem = response.describe();
    AccurateRipAnswer answer;
    if (response.answered(kFound)) {
        AccurateRipFile file = parseAccurateRipFile(response.body, disc.audioTrackCount);
        if (file.valid()) {
            answer.kind = AccurateRipAnswer::Kind::Found;
            answer.entries = std::move(file.entries);
        } else {
            problem = "the database's file for the disc is damaged: " + file.problem;
        }
    } else if (response.answered(kNotFound)) {
        answer.kind = AccurateRipAnswer::Kind::NotInDatabase;
    }
    if (answer.kind == AccurateRipAnswer::Kind::Unavailable) {
        if (std::optional<AccurateRipAnswer> cached = cachedAnswer(disc, false)) {
            return std::move(*cached);
        }
        answer.message = kCannotLookUp + problem;
        return answer;
    }

    try {
        const std::string body = answer.kind == AccurateRipAnswer::Kind::Found ? response.body : "";
        cache_.store(disc.fileName(), {response.status, body, settings_.now()});
    } catch (const std::exception& error) {
        answer.cacheProblem = error.what();
    }
    return answer;
}

} // namespace online
