// SPDX-License-Identifier: GPL-3.0-or-later
// Answers of the online services kept on disk, so that a disc looked up
// once is known offline and a service is not asked the same thing again.
// One file per key in the cache's folder (for the program,
// $XDG_CACHE_HOME/varrow/<service>/); each file holds the answer's status,
// its body and when it was stored, so that the caller decides how long an
// answer stays good ("not in the database" for a day, a found one for
// ever). A file is written whole under its final name or not at all, so
// that two programs storing the same answer, or a crash, never leave half
// an answer behind.
#pragma once

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace online {

struct CachedAnswer {
    long status = 200; // the service's HTTP status: 200 with a body, 404 "unknown"
    std::string body;
    std::chrono::system_clock::time_point storedAt;
};

// The cache file's bytes for `answer` stored under `key`, and the answer
// read back from such bytes: nothing when they are not a whole cache file
// of that key (damaged, cut short, of another key or another version).
std::string cacheFileBytes(std::string_view key, const CachedAnswer& answer);
std::optional<CachedAnswer> parseCacheFile(std::string_view bytes, std::string_view key);

class AnswerCache final {
public:
    explicit AnswerCache(std::filesystem::path folder);

    // The answer stored under `key`; nothing when none is, or when its file
    // cannot be read whole.
    std::optional<CachedAnswer> load(std::string_view key) const;
    // Replaces what is stored under `key` (any text without a line break).
    // Raises std::system_error with the system's reason when the file
    // cannot be written; what was stored before then stays.
    void store(std::string_view key, const CachedAnswer& answer) const;

    const std::filesystem::path& folder() const { return folder_; }
    // The file that holds `key`'s answer: the key itself where it is made of
    // letters, digits, '.', '-' and '_', else an escaped form.
    std::filesystem::path fileOf(std::string_view key) const;

    // $XDG_CACHE_HOME/varrow (an absolute XDG_CACHE_HOME only), else
    // ~/.cache/varrow.
    static std::filesystem::path programFolder();

private:
    std::filesystem::path folder_;
};

} // namespace online
