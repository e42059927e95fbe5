// SPDX-License-Identifier: GPL-3.0-or-later
#include "MusicBrainzAnswer.h"

#include <algorithm>
#include <cstdint>
#include <nlohmann/json.hpp>
#include <optional>

namespace online {

namespace {

using Json = nlohmann::json;

// Deeper than any answer of the service; a deeper one would only cost
// memory and time.
constexpr int kDeepestNesting = 64;
// Longer than any recording a medium holds.
constexpr int64_t kLongestTrackMs = 24LL * 60 * 60 * 1000;
constexpr int64_t kLargestPosition = 10'000;

// Whether brackets outside strings nest deeper than `limit`.
bool nestedDeeperThan(std::string_view json, int limit) {
    int depth = 0;
    bool inString = false;
    bool escaped = false;
    for (const char c : json) {
        if (inString) {
            if (escaped) {
                escaped = false;
            } else if (c == '\\') {
                escaped = true;
            } else if (c == '"') {
                inString = false;
            }
        } else if (c == '"') {
            inString = true;
        } else if (c == '[' || c == '{') {
            if (++depth > limit) {
                return true;
            }
        } else if (c == ']' || c == '}') {
            --depth;
        }
    }
    return false;
}

const Json* field(const Json& object, const char* key) {
    if (!object.is_object()) {
        return nullptr;
    }
    const auto found = object.find(key);
    return found != object.end() ? &*found : nullptr;
}

std::string text(const Json* object, const char* key) {
    const Json* value = object ? field(*object, key) : nullptr;
    return value && value->is_string() ? value->get<std::string>() : std::string();
}

std::optional<int64_t> integer(const Json& object, const char* key) {
    const Json* value = field(object, key);
    if (!value) {
        return std::nullopt;
    }
    if (value->is_number_unsigned()) {
        return static_cast<int64_t>(std::min<uint64_t>(value->get<uint64_t>(), INT64_MAX));
    }
    if (value->is_number_integer()) {
        return value->get<int64_t>();
    }
    return std::nullopt;
}

// The list under `key`, or an empty one when there is none.
const Json& list(const Json& object, const char* key) {
    static const Json empty = Json::array();
    const Json* value = field(object, key);
    return value && value->is_array() ? *value : empty;
}

// A position from the answer when it is a sensible one, else the place in
// its list.
int positionOf(const Json& object, std::size_t index) {
    const std::optional<int64_t> position = integer(object, "position");
    if (position && *position >= 0 && *position <= kLargestPosition) {
        return static_cast<int>(*position);
    }
    return static_cast<int>(std::min<std::size_t>(index + 1, kLargestPosition));
}

std::optional<int> lengthOf(const Json& object) {
    const std::optional<int64_t> length = integer(object, "length");
    if (length && *length > 0 && *length <= kLongestTrackMs) {
        return static_cast<int>(*length);
    }
    return std::nullopt;
}

ArtistCredit creditOf(const Json& object) {
    ArtistCredit credit;
    for (const Json& part : list(object, "artist-credit")) {
        const Json* artist = field(part, "artist");
        std::string name = text(&part, "name");
        credit.name += (name.empty() ? text(artist, "name") : name) + text(&part, "joinphrase");
        if (std::string id = text(artist, "id"); !id.empty()) {
            credit.artistIds.push_back(std::move(id));
        }
    }
    return credit;
}

// The objects of the list under `key` read by `read` (given each one's
// place in the list), in the order of their positions.
template <typename Item, typename Read>
std::vector<Item> inOrder(const Json& object, const char* key, Read read) {
    std::vector<Item> items;
    const Json& entries = list(object, key);
    for (std::size_t i = 0; i < entries.size(); ++i) {
        if (entries[i].is_object()) {
            items.push_back(read(entries[i], i));
        }
    }
    std::ranges::stable_sort(items, {}, &Item::position);
    return items;
}

ReleaseTrack trackOf(const Json& object, std::size_t index) {
    static const Json none;
    const Json* found = field(object, "recording");
    const Json& recording = found ? *found : none;
    ReleaseTrack track;
    track.position = positionOf(object, index);
    track.title = text(&object, "title");
    if (track.title.empty()) {
        track.title = text(&recording, "title");
    }
    track.artist = creditOf(object);
    if (track.artist.name.empty()) {
        track.artist = creditOf(recording);
    }
    track.recordingId = text(&recording, "id");
    track.lengthMs = lengthOf(object);
    if (!track.lengthMs) {
        track.lengthMs = lengthOf(recording);
    }
    return track;
}

ReleaseMedium mediumOf(const Json& object, std::size_t index) {
    ReleaseMedium medium;
    medium.position = positionOf(object, index);
    medium.format = text(&object, "format");
    medium.title = text(&object, "title");
    for (const Json& disc : list(object, "discs")) {
        if (std::string id = text(&disc, "id"); !id.empty()) {
            medium.discIds.push_back(std::move(id));
        }
    }
    medium.tracks = inOrder<ReleaseTrack>(object, "tracks", trackOf);
    return medium;
}

MusicBrainzRelease releaseOf(const Json& object) {
    MusicBrainzRelease release;
    release.id = text(&object, "id");
    release.title = text(&object, "title");
    release.artist = creditOf(object);
    release.date = text(&object, "date");
    release.country = text(&object, "country");
    for (const Json& info : list(object, "label-info")) {
        ReleaseLabel label{text(field(info, "label"), "name"), text(&info, "catalog-number")};
        if (!label.name.empty() || !label.catalogNumber.empty()) {
            release.labels.push_back(std::move(label));
        }
    }
    release.barcode = text(&object, "barcode");
    release.releaseGroupId = text(field(object, "release-group"), "id");
    release.media = inOrder<ReleaseMedium>(object, "media", mediumOf);
    return release;
}

MusicBrainzAnswer refused(std::string why) {
    MusicBrainzAnswer answer;
    answer.error = std::move(why);
    return answer;
}

// The answer's JSON object, or why there is none.
std::optional<Json> objectOf(std::string_view json, std::string& error) {
    if (json.size() > kLargestMusicBrainzAnswer) {
        error = "the answer is larger than any the service gives";
        return std::nullopt;
    }
    if (nestedDeeperThan(json, kDeepestNesting)) {
        error = "the answer is nested deeper than any the service gives";
        return std::nullopt;
    }
    Json root = Json::parse(json, nullptr, false);
    if (root.is_discarded()) {
        error = "the answer is not JSON";
        return std::nullopt;
    }
    if (!root.is_object()) {
        error = "the answer is not a JSON object";
        return std::nullopt;
    }
    return root;
}

} // namespace

MusicBrainzAnswer readDiscAnswer(std::string_view json) {
    std::string error;
    const std::optional<Json> root = objectOf(json, error);
    if (!root) {
        return refused(std::move(error));
    }
    const Json* releases = field(*root, "releases");
    if (releases && !releases->is_array()) {
        return refused("the answer's releases are not a list");
    }
    MusicBrainzAnswer answer;
    for (const Json& release : list(*root, "releases")) {
        if (release.is_object()) {
            answer.releases.push_back(releaseOf(release));
        }
    }
    return answer;
}

MusicBrainzAnswer readReleaseAnswer(std::string_view json) {
    std::string error;
    const std::optional<Json> root = objectOf(json, error);
    if (!root) {
        return refused(std::move(error));
    }
    MusicBrainzAnswer answer;
    answer.releases.push_back(releaseOf(*root));
    return answer;
}

} // namespace online
