// SPDX-License-Identifier: GPL-3.0-or-later
// The plan of a rip: which file each track is written to and which tags it
// carries, and how many bytes the files will take.
#include "LameCoder.h"
#include "RipSession.h"

#include <algorithm>
#include <cmath>
#include <set>
#include <stdexcept>

namespace {

// kbit/s of CD audio: bytes / 1411 x kbit/s estimates an MP3 file's bytes.
constexpr int64_t CD_AUDIO_KBPS = 1411;

// The longest length of at most `limit` bytes at which UTF-8 `text` can be
// cut without splitting a character.
std::size_t wholeCharactersWithin(const std::string& text, std::size_t limit) {
    std::size_t length = std::min(limit, text.size());
    while (length > 0 && length < text.size() &&
           (static_cast<unsigned char>(text[length]) & 0xC0u) == 0x80u) {
        --length;
    }
    return length;
}

// Tags name the track by its title, and the disc and performers by its
// CD-Text; a track's own performer comes before the album's. Players show
// tags as they are, so control characters become blanks as in file names.
TTrackTags tagsOf(const TDiscText& text, const TTrackText& own, int32_t trackNumber,
                  int32_t trackCount, const std::string& title) {
    TTrackTags tags;
    tags.Title = TextWithoutControls(title);
    tags.TrackNumber = trackNumber;
    tags.TrackCount = trackCount;
    tags.Album = TextWithoutControls(text.Title);
    tags.Performer = TextWithoutControls(own.Performer.empty() ? text.Performer : own.Performer);
    return tags;
}

// A chosen release names the album, its performers and the set of discs
// in place of the CD-Text, and adds its MusicBrainz ids; `track` is the
// release's entry for the track, null where it has none.
void addReleaseTags(TTrackTags& tags, const online::DiscMetadata& release,
                    const online::TrackMetadata* track) {
    tags.Album = TextWithoutControls(release.album);
    tags.AlbumPerformer = TextWithoutControls(release.albumArtist);
    tags.AlbumArtistIds = release.albumArtistIds;
    tags.Date = release.date;
    tags.DiscNumber = release.discNumber;
    tags.DiscCount = release.discCount;
    tags.ReleaseId = release.releaseId;
    tags.ReleaseGroupId = release.releaseGroupId;
    if (track != nullptr) {
        tags.Performer = TextWithoutControls(track->artist);
        tags.ArtistIds = track->artistIds;
        tags.RecordingId = track->recordingId;
    }
}

// The release's entry for an audio track that it gives a title; null for
// any other track.
const online::TrackMetadata* releaseTrack(const std::optional<online::DiscMetadata>& release,
                                          int32_t number) {
    if (!release) {
        return nullptr;
    }
    const auto found = std::ranges::find(release->tracks, number, &online::TrackMetadata::number);
    return found != release->tracks.end() && !found->title.empty() ? &*found : nullptr;
}

std::string coverFileName(const std::string& mimeType) {
    if (mimeType == "image/jpeg") {
        return "cover.jpg";
    }
    return mimeType == "image/png" ? "cover.png" : std::string();
}

std::string extensionOf(TRipFormat format, const TLameCoder* coder) {
    switch (format) {
    case TRipFormat::Mp3:
        if (coder == nullptr) {
            throw std::logic_error("an MP3 rip needs the engine's coder");
        }
        return coder->DefaultExt();
    case TRipFormat::Flac:
        return ".flac";
    case TRipFormat::Pcm:
        return ".pcm";
    case TRipFormat::Wav:
        break;
    }
    return ".wav";
}

// FLAC keeps every sample: its files take a share of the audio's bytes.
int64_t flacEstimate(int64_t audioBytes) {
    return audioBytes / 4 * 3;
}

int64_t estimatedBytes(TRipFormat format, const TLameCoder* coder, int64_t audioBytes) {
    if (format == TRipFormat::Flac) {
        return flacEstimate(audioBytes);
    }
    if (format != TRipFormat::Mp3) {
        return audioBytes;
    }
    return (audioBytes / CD_AUDIO_KBPS) * static_cast<int64_t>(coder->Bitrate());
}

int64_t estimatedTotal(TRipFormat format, const TLameCoder* coder, int64_t audioBytes) {
    if (format == TRipFormat::Flac) {
        return flacEstimate(audioBytes);
    }
    if (format != TRipFormat::Mp3) {
        return audioBytes;
    }
    const auto selected = static_cast<long double>(audioBytes);
    if (coder->EnableVBR()) {
        return std::llround((coder->Bitrate() + coder->MaxBitrate() * 0.1L) *
                            (selected / CD_AUDIO_KBPS));
    }
    return std::llround(selected / CD_AUDIO_KBPS * coder->Bitrate());
}

// Two chosen tracks never write one file: a track whose name an earlier
// one took gets " (2)", " (3)" ... before its extension, never a name that
// another chosen track has of its own.
void makeNamesDistinct(TRipPlan& plan) {
    std::set<std::string> own;
    for (const int32_t number : plan.Chosen) {
        own.insert(plan.Track(number).FileName);
    }
    std::set<std::string> taken;
    for (const int32_t number : plan.Chosen) {
        TTrackPlan& track = plan.Track(number);
        if (!track.Audio) {
            continue;
        }
        if (taken.contains(track.FileName)) {
            const std::string stem =
                track.FileName.substr(0, track.FileName.size() - plan.Extension.size());
            std::string name;
            for (int copy = 2; name.empty() || taken.contains(name) || own.contains(name); ++copy) {
                name = stem + " (" + std::to_string(copy) + ")" + plan.Extension;
            }
            track.FileName = name;
            track.Path = plan.Folder + name;
        }
        taken.insert(track.FileName);
    }
}

} // namespace

const TTrackPlan& TRipPlan::Track(int32_t number) const {
    // The tracks are in order, from 0 or from 1.
    const auto found =
        std::find_if(Tracks.begin(), Tracks.end(),
                     [number](const TTrackPlan& track) { return track.Number == number; });
    if (found == Tracks.end()) {
        throw std::out_of_range("the disc has no track " + std::to_string(number));
    }
    return *found;
}

TTrackPlan& TRipPlan::Track(int32_t number) {
    return const_cast<TTrackPlan&>(std::as_const(*this).Track(number));
}

TRipPlan PlanRip(const TCDRIP& engine, const TRipChoices& choices) {
    TRipPlan plan;
    plan.Format = choices.Format;
    plan.Folder = choices.Folder;
    if (!plan.Folder.empty() && plan.Folder.back() != '/') {
        plan.Folder += '/';
    }
    const TLameCoder* coder = engine.Coder();
    plan.Extension = extensionOf(choices.Format, coder);
    plan.Chosen = choices.Tracks;
    plan.ReplayGain = choices.ReplayGain &&
                      (choices.Format == TRipFormat::Mp3 || choices.Format == TRipFormat::Flac);

    const TDiscText text = choices.UseDiscText ? engine.DiscText() : TDiscText{};
    // A listener counts the audio tracks: n/N of the tags is the track's
    // place among them, and a data track has none.
    const auto audioCount = static_cast<int32_t>(
        std::count_if(engine.Tracks().begin(), engine.Tracks().end(),
                      [](const TTrackEntry& entry) { return entry.Track.TrackType == "Audio"; }));
    int32_t audioPosition = 0;
    // The hidden track comes first, under its own number and name, with no
    // text of the disc's.
    std::vector<TTrackEntry> entries;
    if (const std::optional<TTrack>& hidden = engine.HiddenTrack()) {
        entries.push_back({"Track" + TrackNumberText(0), *hidden});
    }
    const std::size_t firstOfTable = entries.size();
    entries.insert(entries.end(), engine.Tracks().begin(), engine.Tracks().end());
    for (std::size_t index = 0; index < entries.size(); ++index) {
        const TTrackEntry& entry = entries[index];
        const TTrackText own = index >= firstOfTable && index - firstOfTable < text.Tracks.size()
                                   ? text.Tracks[index - firstOfTable]
                                   : TTrackText{};
        TTrackPlan track;
        track.Number = entry.Track.Number;
        track.Audio = entry.Track.TrackType == "Audio";
        const online::TrackMetadata* named =
            track.Audio ? releaseTrack(choices.Release, track.Number) : nullptr;
        track.Performer = own.Performer;
        if (named != nullptr) {
            track.Performer =
                named->artist != choices.Release->albumArtist ? named->artist : std::string();
        }
        // The disc's title for the track: the release's, else its CD-Text.
        const std::string discTitle = named != nullptr ? named->title : own.Title;
        std::string nameTitle;
        if (const auto typed = choices.TypedTitles.find(track.Number);
            typed != choices.TypedTitles.end()) {
            track.Title = nameTitle = typed->second;
        } else if (track.Audio && !discTitle.empty()) {
            track.Title = discTitle;
            nameTitle = FileNameFromDiscTitle(discTitle);
            if (nameTitle.empty()) {
                nameTitle = entry.Name;
            }
        } else {
            track.Title = nameTitle = entry.Name;
        }
        track.FileName =
            (choices.NumberInName ? TrackNumberText(track.Number) + "_" : std::string()) +
            nameTitle + plan.Extension;
        track.Path = plan.Folder + track.FileName;
        track.Tags = tagsOf(text, own, track.Audio && track.Number > 0 ? ++audioPosition : 0,
                            audioCount, track.Title);
        if (choices.Release && track.Audio) {
            addReleaseTags(track.Tags, *choices.Release, named);
        }
        track.EstimatedBytes = estimatedBytes(choices.Format, coder, entry.Track.Size);
        plan.Tracks.push_back(std::move(track));
    }

    plan.CoverFileName = coverFileName(choices.CoverMimeType);
    if (!plan.CoverFileName.empty() && !choices.Cover.empty()) {
        plan.Cover = choices.Cover;
        plan.CoverMimeType = choices.CoverMimeType;
    } else {
        plan.CoverFileName.clear();
    }
    makeNamesDistinct(plan);
    int64_t chosenBytes = 0;
    for (const int32_t number : plan.Chosen) {
        if (plan.Track(number).Audio) {
            chosenBytes += engine.TrackByNumber(number)->Size;
        }
    }
    plan.EstimatedBytes = estimatedTotal(choices.Format, coder, chosenBytes);
    return plan;
}

std::string TextWithoutControls(const std::string& text) {
    std::string shown;
    for (std::size_t at = 0; at < text.size(); ++at) {
        const auto byte = static_cast<unsigned char>(text[at]);
        // U+0080..U+009F: C2 80..C2 9F.
        const bool c1Control = byte == 0xC2 && at + 1 < text.size() &&
                               static_cast<unsigned char>(text[at + 1]) < 0xA0 &&
                               static_cast<unsigned char>(text[at + 1]) >= 0x80;
        if (c1Control) {
            ++at;
        }
        shown += byte < 0x20 || byte == 0x7F || c1Control ? ' ' : text[at];
    }
    return shown;
}

std::string FileNameFromDiscTitle(const std::string& title) {
    constexpr std::size_t kNameBytes = 200;
    static const std::string divisionSlash = "\xE2\x88\x95"; // U+2215 in UTF-8
    std::string name;
    for (const char c : TextWithoutControls(title)) {
        name += c == '/' ? divisionSlash : std::string(1, c);
    }
    const auto first = name.find_first_not_of(" .-");
    if (first == std::string::npos) {
        return {};
    }
    name.erase(0, first);
    name.resize(wholeCharactersWithin(name, kNameBytes));
    name.erase(name.find_last_not_of(' ') + 1);
    return name;
}
