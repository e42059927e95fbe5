// SPDX-License-Identifier: GPL-3.0-or-later
// Fetches a release's front cover from the Cover Art Archive, which answers
// with a redirect to the image wherever it is stored, and keeps it per
// release so that a rip offline still embeds it. Only JPEG and PNG images
// are taken (told by their first bytes, not by what the server says), and
// none larger than a limit. "No cover" is an answer like any other.
//
// Like the MusicBrainz client: blocking, bounded by its timeouts, stopped
// through the stop token, usable from any thread.
#pragma once

#include "AnswerCache.h"
#include "Freshness.h"
#include "HttpClient.h"

#include <cstddef>
#include <stop_token>
#include <string>
#include <string_view>

namespace online {

struct CoverArt {
    enum class Outcome {
        Found,       // `bytes` hold the image, of `mimeType`
        NoCover,     // the release has no front cover that can be used
        Unavailable, // no answer: offline, a timeout, an error
        Cancelled    // the stop token asked to stop
    };

    Outcome outcome = Outcome::Unavailable;
    std::string bytes;
    std::string mimeType; // "image/jpeg" or "image/png"
    bool fromCache = false;
    // One line for the user where it helps: why there is no cover, or that
    // a kept one stands in for the archive; empty otherwise.
    std::string message;
};

// "image/jpeg" or "image/png" from the image's first bytes; empty for
// anything else.
std::string imageTypeOf(std::string_view bytes);

class CoverArtClient final {
public:
    // Larger covers (scans at print resolution) are not embedded.
    static constexpr std::size_t kLargestCover = 16u << 20;

    // `baseUrl` without the trailing slash; `request` as for MusicBrainz.
    CoverArtClient(HttpClient http, AnswerCache cache, std::string baseUrl,
                   HttpRequest request = defaultRequest());

    // `releaseId` is a MusicBrainz ID (see isMusicBrainzId).
    CoverArt fetchFront(std::string_view releaseId, Freshness freshness,
                        std::stop_token stop = {}) const;

    // VARROW_COVERART_URL when set, else https://coverartarchive.org.
    static std::string baseUrlFromEnvironment();
    // The program's client: that base URL, the cache's "coverart" folder.
    static CoverArtClient forProgram();
    static HttpRequest defaultRequest();

private:
    HttpClient http_;
    AnswerCache cache_;
    std::string baseUrl_;
    HttpRequest request_;
};

} // namespace online
