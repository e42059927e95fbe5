// SPDX-License-Identifier: GPL-3.0-or-later
// Looking a disc up in the AccurateRip database: the disc's file is fetched
// over HTTP from the database (VARROW_ACCURATERIP_URL when set, so that a
// mirror or a test's server can stand in) and kept in the cache. A found
// file is used from the cache from then on; "not in the database" (404) is
// believed for a day, then asked again; when the database cannot be
// reached, whatever the cache holds for the disc is used.
//
// A lookup blocks until it has an answer, at most the request's timeouts
// (and one retry after a 503); the window runs it on a thread of its own
// and stops it through the stop token when the disc changes.
#pragma once

#include "AccurateRipDisc.h"
#include "AccurateRipFile.h"

#include <chrono>
#include <filesystem>
#include <functional>
#include <optional>
#include <stop_token>
#include <string>
#include <vector>

namespace online {

class AnswerCache;
class HttpClient;

struct AccurateRipAnswer {
    enum class Kind {
        Found,         // `entries` holds the database's entries for the disc
        NotInDatabase, // the database does not know the disc
        Unavailable,   // no answer and none in the cache: `message` says why
        Cancelled      // the stop token asked to stop
    };

    Kind kind = Kind::Unavailable;
    std::vector<AccurateRipEntry> entries;
    // For Unavailable, one line for the user: "Cannot look the disc up in
    // the AccurateRip database: could not reach the server: ...".
    std::string message;
    bool fromCache = false;
    // Set when the answer could not be kept in the cache: the reason.
    std::string cacheProblem;
};

struct AccurateRipLookupSettings {
    // Without a slash at the end.
    std::string baseUrl = "http://www.accuraterip.com/accuraterip";
    std::chrono::milliseconds connectTimeout{10'000};
    std::chrono::milliseconds totalTimeout{30'000};
    std::chrono::milliseconds firstBackOff{1'000};
    // How long "not in the database" is believed before the database is
    // asked again.
    std::chrono::hours notFoundKeptFor{24};
    // Asks the database even when the cache holds an answer (still used
    // when the database cannot be reached).
    bool refresh = false;
    std::function<std::chrono::system_clock::time_point()> now = std::chrono::system_clock::now;

    // The defaults, with the base URL from VARROW_ACCURATERIP_URL when set.
    static AccurateRipLookupSettings fromEnvironment();
};

// The client and the cache are borrowed: they outlive the lookup. lookUp()
// may run on several threads at once.
class AccurateRipLookup final {
public:
    AccurateRipLookup(
        const HttpClient& client, const AnswerCache& cache,
        AccurateRipLookupSettings settings = AccurateRipLookupSettings::fromEnvironment());

    AccurateRipAnswer lookUp(const AccurateRipDisc& disc, std::stop_token stop = {}) const;

    // The program's cache folder for the database's files (empty without a
    // home folder).
    static std::filesystem::path cacheFolder();

private:
    // A usable answer from the cache for the disc, if there is one: `fresh`
    // asks for one that may be used without asking the database.
    std::optional<AccurateRipAnswer> cachedAnswer(const AccurateRipDisc& disc, bool fresh) const;

    const HttpClient& client_;
    const AnswerCache& cache_;
    AccurateRipLookupSettings settings_;
};

} // namespace online
