// SPDX-License-Identifier: GPL-3.0-or-later
#include "AnswerCache.h"

#include "FileReplacement.h"

#include <atomic>
#include <cerrno>
#include <charconv>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <pwd.h>
#include <stdexcept>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>
#include <vector>

namespace online {

namespace {

namespace fs = std::filesystem;

const std::string_view kMagic = "VarrowCache 1\n";
// No answer the program keeps comes near this; a bigger file is not ours.
constexpr std::uintmax_t kLargestFile = 64u << 20;
// Names this long are shortened and made unique with a hash of the key.
constexpr std::size_t kLongestPlainName = 120;

[[noreturn]] void raiseSystemError(const std::string& what, int error) {
    throw std::system_error(error, std::generic_category(), what);
}

// Replaces the cache file at `path` whole: whoever opens it sees the old
// answer or the whole new one. Raises std::system_error.
void writeFileAtomically(const fs::path& path, std::string_view bytes) {
    static std::atomic<unsigned> counter{0};
    base::FileReplacement file(path.string(),
                               (path.parent_path() / ("." + path.filename().string() + ".varrow-" +
                                                      std::to_string(::getpid()) + "-" +
                                                      std::to_string(counter++) + ".tmp"))
                                   .string(),
                               0644);
    file.write(bytes.data(), bytes.size());
    file.commit(base::FileReplacement::Sync::ToDisk);
}

// Creates `folder` and the folders above it that are missing, private to
// the user as cache folders should be.
void createFolders(const fs::path& folder) {
    std::vector<fs::path> missing;
    for (fs::path at = folder; !at.empty() && !fs::exists(at); at = at.parent_path()) {
        missing.push_back(at);
        if (at == at.parent_path()) {
            break;
        }
    }
    for (auto it = missing.rbegin(); it != missing.rend(); ++it) {
        if (::mkdir(it->c_str(), 0700) != 0 && errno != EEXIST) {
            raiseSystemError("Cannot create folder " + it->string(), errno);
        }
    }
}

bool plainNameCharacter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
           c == '-' || c == '_';
}

std::string hex(uint64_t value, int digits) {
    static const char* const kDigits = "0123456789abcdef";
    std::string text(static_cast<std::size_t>(digits), '0');
    for (int i = digits - 1; i >= 0; --i, value >>= 4) {
        text[static_cast<std::size_t>(i)] = kDigits[value & 0xf];
    }
    return text;
}

uint64_t fnv1a(std::string_view text) {
    uint64_t hash = 0xcbf29ce484222325ull;
    for (const char c : text) {
        hash = (hash ^ static_cast<unsigned char>(c)) * 0x100000001b3ull;
    }
    return hash;
}

// Reads the next "<label><digits>\n" line of `bytes` into `value`.
template <typename Number>
bool readNumberLine(std::string_view& bytes, std::string_view label, Number& value) {
    if (!bytes.starts_with(label)) {
        return false;
    }
    bytes.remove_prefix(label.size());
    const auto [end, error] = std::from_chars(bytes.data(), bytes.data() + bytes.size(), value);
    if (error != std::errc() || end == bytes.data() + bytes.size() || *end != '\n') {
        return false;
    }
    bytes.remove_prefix(static_cast<std::size_t>(end - bytes.data()) + 1);
    return true;
}

} // namespace

std::string cacheFileBytes(std::string_view key, const CachedAnswer& answer) {
    const auto seconds =
        std::chrono::duration_cast<std::chrono::seconds>(answer.storedAt.time_since_epoch());
    std::string bytes(kMagic);
    bytes.append("key: ").append(key).append("\n");
    bytes.append("status: ").append(std::to_string(answer.status)).append("\n");
    bytes.append("stored: ").append(std::to_string(seconds.count())).append("\n\n");
    bytes.append(answer.body);
    return bytes;
}

std::optional<CachedAnswer> parseCacheFile(std::string_view bytes, std::string_view key) {
    if (!bytes.starts_with(kMagic)) {
        return std::nullopt;
    }
    bytes.remove_prefix(kMagic.size());
    const std::string keyLine = "key: " + std::string(key) + "\n";
    if (!bytes.starts_with(keyLine)) {
        return std::nullopt;
    }
    bytes.remove_prefix(keyLine.size());
    CachedAnswer answer;
    int64_t seconds = 0;
    if (!readNumberLine(bytes, "status: ", answer.status) || answer.status < 100 ||
        answer.status > 599 || !readNumberLine(bytes, "stored: ", seconds) ||
        !bytes.starts_with('\n')) {
        return std::nullopt;
    }
    // A time beyond what the clock holds is not one this program wrote.
    constexpr int64_t kLatest =
        std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::duration::max())
            .count();
    if (seconds < 0 || seconds > kLatest) {
        return std::nullopt;
    }
    answer.storedAt = std::chrono::system_clock::time_point(std::chrono::seconds(seconds));
    answer.body.assign(bytes.substr(1));
    return answer;
}

AnswerCache::AnswerCache(std::filesystem::path folder)
    : folder_(std::move(folder)) {}

std::filesystem::path AnswerCache::fileOf(std::string_view key) const {
    std::string name;
    for (const char c : key) {
        if (plainNameCharacter(c)) {
            name += c;
        } else {
            name += '%';
            name += hex(static_cast<unsigned char>(c), 2);
        }
    }
    // A leading dot would hide the file and clash with the temporary names.
    if (name.empty() || name.front() == '.') {
        name.insert(0, "%");
    }
    if (name.size() > kLongestPlainName) {
        name.resize(kLongestPlainName - 17);
        name += "~" + hex(fnv1a(key), 16);
    }
    return folder_ / name;
}

std::optional<CachedAnswer> AnswerCache::load(std::string_view key) const {
    if (folder_.empty()) {
        return std::nullopt;
    }
    const fs::path path = fileOf(key);
    std::error_code error;
    const std::uintmax_t size = fs::file_size(path, error);
    if (error || size > kLargestFile) {
        return std::nullopt;
    }
    std::ifstream in(path, std::ios::binary);
    const std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    if (in.bad()) {
        return std::nullopt;
    }
    return parseCacheFile(bytes, key);
}

void AnswerCache::store(std::string_view key, const CachedAnswer& answer) const {
    if (key.find('\n') != std::string_view::npos) {
        throw std::invalid_argument("a cache key is one line");
    }
    if (folder_.empty()) {
        raiseSystemError("No folder for the cache (no home folder)", ENOENT);
    }
    createFolders(folder_);
    writeFileAtomically(fileOf(key), cacheFileBytes(key, answer));
}

std::filesystem::path AnswerCache::programFolder() {
    if (const char* xdg = std::getenv("XDG_CACHE_HOME"); xdg && xdg[0] == '/') {
        return fs::path(xdg) / "varrow";
    }
    if (const char* home = std::getenv("HOME"); home && home[0] == '/') {
        return fs::path(home) / ".cache" / "varrow";
    }
    passwd entry{};
    passwd* found = nullptr;
    std::vector<char> buffer(16384);
    if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found &&
        found->pw_dir && found->pw_dir[0] == '/') {
        return fs::path(found->pw_dir) / ".cache" / "varrow";
    }
    return {};
}

} // namespace online
