// SPDX-License-Identifier: GPL-3.0-or-later
// Looks discs and releases up in the MusicBrainz web service and keeps the
// answers, so that a disc looked up once is named offline too. Requests
// keep the service's rules: a User-Agent naming Varrow with a contact, at
// most one request a second to the host (for every client of the process),
// a growing back-off when it answers 503, and bounded timeouts.
//
// A lookup blocks until it ends, within its timeouts: the window runs it on
// a thread of its own and ends it early through the stop token (a disc
// change, a batch start); the command line calls it directly. The client
// keeps no state between calls, and any number of threads may use it.
#pragma once

#include "AnswerCache.h"
#include "Freshness.h"
#include "HttpClient.h"
#include "MusicBrainzDiscId.h"
#include "MusicBrainzRelease.h"

#include <functional>
#include <stop_token>
#include <string>
#include <string_view>
#include <vector>

namespace online {

struct MusicBrainzAnswer;

struct MusicBrainzLookup {
    enum class Outcome {
        Found,       // `releases` holds one or more
        NotFound,    // the service does not know the disc (or release)
        Unavailable, // no answer: offline, a timeout, an error, an answer that cannot be read
        Cancelled    // the stop token asked to stop
    };

    Outcome outcome = Outcome::Unavailable;
    std::vector<MusicBrainzRelease> releases;
    bool fromCache = false; // the answer is one the cache kept
    // One line for the user: why nothing was found, or that a kept answer
    // stands in for the service; empty when the service answered.
    std::string message;
};

class MusicBrainzClient final {
public:
    // `baseUrl` without the trailing slash; `request` gives the timeouts,
    // retries and limits of every request (its URL is not used).
    MusicBrainzClient(HttpClient http, AnswerCache cache, std::string baseUrl,
                      HttpRequest request = defaultRequest());

    // The releases the disc is on: by its disc ID, and when no release
    // carries that ID, by its table of contents (releases with a medium of
    // as many tracks of nearly the same lengths). `disc` is valid.
    MusicBrainzLookup lookUpDisc(const MusicBrainzDiscId& disc, Freshness freshness,
                                 std::stop_token stop = {}) const;
    // One release by its MusicBrainz ID, with the disc IDs of its media.
    // Raises std::invalid_argument for an ID not of that form
    // (isMusicBrainzId), which would not stay inside the request's path.
    MusicBrainzLookup lookUpRelease(std::string_view releaseId, Freshness freshness,
                                    std::stop_token stop = {}) const;

    // VARROW_MUSICBRAINZ_URL when set, else https://musicbrainz.org.
    static std::string baseUrlFromEnvironment();
    // The program's client: that base URL, the cache's "musicbrainz" folder.
    static MusicBrainzClient forProgram();
    static HttpRequest defaultRequest();

private:
    struct Query {
        std::string cacheKey;
        // Asked in turn while the service knows nothing: a 404, or an
        // answer without releases.
        std::vector<std::string> paths;
        std::function<MusicBrainzAnswer(std::string_view)> read;
        std::string notFound; // the message when none knows it
    };
    MusicBrainzLookup lookUp(const Query& query, Freshness freshness, std::stop_token stop) const;

    HttpClient http_;
    AnswerCache cache_;
    std::string baseUrl_;
    HttpRequest request_;
};

} // namespace online
