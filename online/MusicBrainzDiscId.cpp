#include "MusicBrainzDiscId.h"

#include <array>
#include <discid/discid.h>
#include <memory>
#include <new>
#include <string_view>

namespace online {

namespace {

constexpr int32_t kLeadIn = 150;
// From the end of one session's audio to the start of the next session's
// first track: lead-out (6,750), lead-in (4,500) and pregap (150).
constexpr int32_t kSessionGap = 11'400;

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
    std::size_t last = toc.tracks.size() - 1;
    while (toc.tracks[last].data) {
        --last;
    }
    disc.firstTrack = toc.tracks.front().number;
    disc.lastTrack = toc.tracks[last].number;
    disc.leadOut = last + 1 < toc.tracks.size()
                       ? toc.tracks[last + 1].startSector - kSessionGap + kLeadIn
                       : toc.leadOut + kLeadIn;
    if (disc.leadOut <= toc.tracks[last].startSector + kLeadIn) {
        disc.problem = "the data track after the audio starts too soon to be a session of its own";
        return disc;
    }
    // libdiscid's table: the lead-out first, then the offsets by track number.
    std::array<int, 100> table{};
    table[0] = disc.leadOut;
    for (std::size_t i = 0; i <= last; ++i) {
        const int32_t offset = toc.tracks[i].startSector + kLeadIn;
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
