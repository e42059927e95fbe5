// SPDX-License-Identifier: GPL-3.0-or-later
#include "MusicBrainzDiscId.h"

#include <array>
#include <discid/discid.h>
#include <memory>
#include <new>
#include <string_view>

namespace online {

namespace {

constexpr int32_t kLeadIn = 150;

struct DiscIdDeleter {
    void operator()(::DiscId* handle) const { discid_free(handle); }
};
using DiscIdHandle = std::unique_ptr<::DiscId, DiscIdDeleter>;

// libdiscid names the page with plain HTTP, which the site only redirects.
std::string secured(std::string url) {
    constexpr std::string_view plain = "http://";
    if (url.starts_with(plain)) {
        url.replace(0, plain.size(), "https://");
    }
    return url;
}

} // namespace

MusicBrainzDiscId MusicBrainzDiscId::of(const DiscToc& toc) {
    MusicBrainzDiscId disc;
    disc.problem = toc.problem();
    if (!disc.valid()) {
        return disc;
    }
    if (toc.audioTracks().empty()) {
        disc.problem = "the disc has no audio tracks";
        return disc;
    }
    // The disc's audio session: a data track after it lies in a session of
    // its own, which MusicBrainz leaves out.
    const std::size_t last = toc.audioTracks().back();
    disc.firstTrack = toc.tracks.front().number;
    disc.lastTrack = toc.tracks[last].number;
    disc.leadOut = toc.audioEnd() + kLeadIn;
    // libdiscid's table: the lead-out first, then the offsets by track number.
    std::array<int, 100> table{};
    table[0] = disc.leadOut;
    for (std::size_t i = 0; i <= last; ++i) {
        const int32_t offset = toc.tracks[i].start + kLeadIn;
        disc.offsets.push_back(offset);
        table[static_cast<std::size_t>(toc.tracks[i].number)] = offset;
    }

    const DiscIdHandle handle(discid_new());
    if (!handle) {
        throw std::bad_alloc();
    }
    if (!discid_put(handle.get(), disc.firstTrack, disc.lastTrack, table.data())) {
        disc.problem =
            std::string("libdiscid refuses the table: ") + discid_get_error_msg(handle.get());
        disc.offsets.clear();
        return disc;
    }
    disc.id = discid_get_id(handle.get());
    disc.submissionUrl = secured(discid_get_submission_url(handle.get()));
    return disc;
}

std::string MusicBrainzDiscId::tocParameter() const {
    std::string text = std::to_string(firstTrack) + '+' + std::to_string(lastTrack) + '+' +
                       std::to_string(leadOut);
    for (const int32_t offset : offsets) {
        text += '+' + std::to_string(offset);
    }
    return text;
}

std::vector<int32_t> MusicBrainzDiscId::trackLengths() const {
    std::vector<int32_t> lengths;
    for (std::size_t i = 0; i < offsets.size(); ++i) {
        lengths.push_back((i + 1 < offsets.size() ? offsets[i + 1] : leadOut) - offsets[i]);
    }
    return lengths;
}

} // namespace online
