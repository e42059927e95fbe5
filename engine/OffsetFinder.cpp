// SPDX-License-Identifier: GPL-3.0-or-later
#include "OffsetFinder.h"

#include "AnswerCache.h"
#include "CDRIP.h"
#include "HttpClient.h"

#include <algorithm>
#include <cstdlib>
#include <optional>
#include <stdexcept>

namespace {

constexpr int64_t kSamplesPerSector = 588;
// The track's sector whose checksum the database holds.
constexpr int32_t kCheckedSector = 450;
// Sectors the largest offset reaches beyond the checked sector, either way.
constexpr int32_t kReachSectors =
    static_cast<int32_t>((kMaxOffsetSearched + kSamplesPerSector - 1) / kSamplesPerSector);

uint32_t sampleAt(std::span<const uint8_t> audio, int64_t index) {
    const uint8_t* at = audio.data() + 4 * index;
    return static_cast<uint32_t>(at[0]) | static_cast<uint32_t>(at[1]) << 8 |
           static_cast<uint32_t>(at[2]) << 16 | static_cast<uint32_t>(at[3]) << 24;
}

std::string signedText(int32_t value) {
    return (value > 0 ? "+" : "") + std::to_string(value);
}

std::string tracksText(const std::vector<int>& tracks) {
    std::string text = tracks.size() == 1 ? "track " : "tracks ";
    for (std::size_t i = 0; i < tracks.size(); ++i) {
        if (i > 0) {
            text += i + 1 == tracks.size() ? " and " : ", ";
        }
        text += std::to_string(tracks[i]);
    }
    return text;
}

// What one track's search found: each matching shift with the confidence
// of the database's entries that agree with it.
struct TrackMatches {
    int track = 0;
    std::map<int32_t, int> confidences;
};

// The offset the most tracks agree on, then the highest confidence, then
// the smallest; none unless at least `needed` tracks agree.
std::optional<TOffsetResult> agreed(const std::vector<TrackMatches>& searched, std::size_t needed) {
    std::map<int32_t, std::vector<const TrackMatches*>> byShift;
    for (const TrackMatches& matches : searched) {
        for (const auto& [shift, confidence] : matches.confidences) {
            byShift[shift].push_back(&matches);
        }
    }
    std::optional<TOffsetResult> best;
    for (const auto& agreeing : byShift) {
        // Named, not bound: lambdas may not capture structured bindings in
        // every compiler this builds with.
        const int32_t shift = agreeing.first;
        const auto& tracks = agreeing.second;
        if (tracks.size() < needed) {
            continue;
        }
        const int confidence = tracks.front()->confidences.at(shift);
        const auto better = [&] {
            if (!best || tracks.size() != best->Tracks.size()) {
                return !best || tracks.size() > best->Tracks.size();
            }
            if (confidence != best->Confidence) {
                return confidence > best->Confidence;
            }
            return std::abs(shift) < std::abs(best->Offset);
        };
        if (better()) {
            TOffsetResult result;
            result.Kind = TOffsetResult::TKind::Found;
            result.Offset = shift;
            result.Confidence = confidence;
            for (const TrackMatches* track : tracks) {
                result.Tracks.push_back(track->track);
            }
            best = std::move(result);
        }
    }
    return best;
}

TOffsetResult failure(TOffsetResult::TKind kind, std::string message = {}) {
    TOffsetResult result;
    result.Kind = kind;
    result.Message = std::move(message);
    return result;
}

} // namespace

std::map<int32_t, uint32_t> MatchingShifts(std::span<const uint8_t> audio, int64_t firstSample,
                                           int64_t sectorSample,
                                           const std::vector<uint32_t>& wanted) {
    std::map<int32_t, uint32_t> found;
    const auto samples = static_cast<int64_t>(audio.size() / 4);
    // Window indexes into `audio` of the smallest and largest shift it holds.
    const int64_t lowest = std::max<int64_t>(sectorSample - kMaxOffsetSearched - firstSample, 0);
    const int64_t highest = std::min<int64_t>(sectorSample + kMaxOffsetSearched - firstSample,
                                              samples - kSamplesPerSector);
    if (lowest > highest) {
        return found;
    }
    uint32_t weighted = 0;
    uint32_t plain = 0;
    for (int64_t i = 0; i < kSamplesPerSector; ++i) {
        const uint32_t sample = sampleAt(audio, lowest + i);
        weighted += static_cast<uint32_t>(i + 1) * sample;
        plain += sample;
    }
    for (int64_t start = lowest;; ++start) {
        if (std::find(wanted.begin(), wanted.end(), weighted) != wanted.end()) {
            found.emplace(static_cast<int32_t>(start + firstSample - sectorSample), weighted);
        }
        if (start == highest) {
            break;
        }
        const uint32_t leaving = sampleAt(audio, start);
        const uint32_t entering = sampleAt(audio, start + kSamplesPerSector);
        weighted += static_cast<uint32_t>(kSamplesPerSector) * entering - plain;
        plain += entering - leaving;
    }
    return found;
}

std::string OffsetResultText(const TOffsetResult& result) {
    switch (result.Kind) {
    case TOffsetResult::TKind::Found:
        return "Read offset: " + signedText(result.Offset) + " (confidence " +
               std::to_string(result.Confidence) + ", matched on " + tracksText(result.Tracks) +
               ")";
    case TOffsetResult::TKind::NoMatch:
        return "The AccurateRip database knows this disc, but no read offset from " +
               signedText(-kMaxOffsetSearched) + " to " + signedText(kMaxOffsetSearched) +
               " matches it on two tracks";
    case TOffsetResult::TKind::NotInDatabase:
        return "The AccurateRip database does not know this disc: the read offset needs a disc "
               "it knows";
    case TOffsetResult::TKind::Cancelled:
        return "The search for the read offset was cancelled";
    case TOffsetResult::TKind::Failed:
        break;
    }
    return result.Message;
}

TOffsetResult FindReadOffset(const online::DiscToc& toc, const TOffsetSearch& search,
                             std::stop_token stop) {
    online::AccurateRipDisc disc;
    try {
        disc = online::accurateRipDisc(toc);
    } catch (const std::invalid_argument& error) {
        return failure(TOffsetResult::TKind::Failed,
                       std::string("The disc cannot be looked up: ") + error.what());
    }
    const online::AccurateRipAnswer answer = search.LookUp(disc, stop);
    switch (answer.kind) {
    case online::AccurateRipAnswer::Kind::Found:
        break;
    case online::AccurateRipAnswer::Kind::NotInDatabase:
        return failure(TOffsetResult::TKind::NotInDatabase);
    case online::AccurateRipAnswer::Kind::Cancelled:
        return failure(TOffsetResult::TKind::Cancelled);
    case online::AccurateRipAnswer::Kind::Unavailable:
        return failure(TOffsetResult::TKind::Failed, answer.message);
    }

    // The tracks that hold a sector 450, and the database's checksums of it.
    struct Searchable {
        int track;
        int32_t start;
        std::size_t place;
        std::vector<uint32_t> wanted;
    };
    std::vector<Searchable> searchable;
    const std::vector<std::size_t> audio = toc.audioTracks();
    for (std::size_t ordinal = 0; ordinal < audio.size(); ++ordinal) {
        const std::size_t index = audio[ordinal];
        const std::optional<int> place = disc.entryIndex(static_cast<int>(ordinal));
        if (!place || toc.trackLength(index) <= kCheckedSector) {
            continue;
        }
        Searchable track{toc.tracks[index].number,
                         toc.tracks[index].start,
                         static_cast<std::size_t>(*place),
                         {}};
        for (const online::AccurateRipEntry& entry : answer.entries) {
            // A silent sector sums to 0 at every shift: it tells nothing.
            if (track.place < entry.tracks.size() &&
                entry.tracks[track.place].frame450Checksum != 0) {
                track.wanted.push_back(entry.tracks[track.place].frame450Checksum);
            }
        }
        if (!track.wanted.empty()) {
            searchable.push_back(std::move(track));
        }
    }
    if (searchable.empty()) {
        return failure(TOffsetResult::TKind::NoMatch);
    }

    const int32_t audioEnd = toc.audioEnd();
    const std::size_t needed = std::min<std::size_t>(2, searchable.size());
    std::vector<TrackMatches> searched;
    std::vector<uint8_t> samples;
    for (std::size_t i = 0; i < searchable.size(); ++i) {
        if (stop.stop_requested()) {
            return failure(TOffsetResult::TKind::Cancelled);
        }
        const Searchable& track = searchable[i];
        const int32_t checked = track.start + kCheckedSector;
        const int32_t first = std::max(checked - kReachSectors, 0);
        const int32_t last = std::min(checked + kReachSectors, audioEnd - 1);
        std::string error;
        samples.clear();
        if (!search.ReadSectors(first, last, samples, error)) {
            return stop.stop_requested() ? failure(TOffsetResult::TKind::Cancelled)
                                         : failure(TOffsetResult::TKind::Failed, error);
        }
        TrackMatches matches{track.track, {}};
        for (const auto& [shift, checksum] : MatchingShifts(
                 samples, first * kSamplesPerSector, checked * kSamplesPerSector, track.wanted)) {
            int confidence = 0;
            for (const online::AccurateRipEntry& entry : answer.entries) {
                if (track.place < entry.tracks.size() &&
                    entry.tracks[track.place].frame450Checksum == checksum) {
                    confidence += entry.tracks[track.place].confidence;
                }
            }
            matches.confidences.emplace(shift, confidence);
        }
        searched.push_back(std::move(matches));
        if (search.Progress) {
            search.Progress(static_cast<int>((i + 1) * 100 / searchable.size()));
        }
        if (std::optional<TOffsetResult> result = agreed(searched, needed)) {
            return *result;
        }
    }
    return failure(TOffsetResult::TKind::NoMatch);
}

TOffsetResult FindDriveReadOffset(const online::DiscToc& toc, int32_t* abort,
                                  std::function<void(int percent)> progress, std::stop_token stop) {
    const online::HttpClient client;
    const online::AnswerCache cache(online::AccurateRipLookup::cacheFolder());
    const online::AccurateRipLookup lookup(client, cache);
    TOffsetSearch search;
    search.LookUp = [&lookup](const online::AccurateRipDisc& disc, std::stop_token lookupStop) {
        return lookup.lookUp(disc, std::move(lookupStop));
    };
    search.ReadSectors = [abort](int32_t first, int32_t last, std::vector<uint8_t>& audio,
                                 std::string& error) {
        return TCDRIP::ReadUncorrected(first, last, audio, error, abort);
    };
    search.Progress = std::move(progress);
    return FindReadOffset(toc, search, std::move(stop));
}
