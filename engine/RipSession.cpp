#include "RipSession.h"

#include "EncoderPool.h"
#include "LameCoder.h"
#include "OutputFile.h"
#include "WavHeader.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <deque>
#include <filesystem>
#include <optional>
#include <set>
#include <stdexcept>
#include <sys/statvfs.h>
#include <utility>

namespace {

// kbit/s of CD audio: bytes / 1411 x kbit/s estimates an MP3 file's bytes.
constexpr int64_t CD_AUDIO_KBPS = 1411;
// How often the reader looks for an interruption while it waits for room
// among the encoders.
constexpr auto ROOM_POLL = std::chrono::milliseconds(50);

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

std::string extensionOf(TRipFormat format, const TLameCoder* coder) {
    switch (format) {
    case TRipFormat::Mp3:
        if (coder == nullptr) {
            throw std::logic_error("an MP3 rip needs the engine's coder");
        }
        return coder->DefaultExt();
    case TRipFormat::Pcm:
        return ".pcm";
    case TRipFormat::Wav:
        break;
    }
    return ".wav";
}

int64_t estimatedBytes(TRipFormat format, const TLameCoder* coder, int64_t audioBytes) {
    if (format != TRipFormat::Mp3) {
        return audioBytes;
    }
    return (audioBytes / CD_AUDIO_KBPS) * static_cast<int64_t>(coder->Bitrate());
}

int64_t estimatedTotal(TRipFormat format, const TLameCoder* coder, int64_t audioBytes) {
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

std::string rangesText(const std::vector<TSectorRange>& ranges) {
    std::string text;
    for (const TSectorRange& range : ranges) {
        text += (text.empty() ? "" : ", ") + std::to_string(range.First);
        if (range.Last != range.First) {
            text += "-" + std::to_string(range.Last);
        }
    }
    return text;
}

// What a track that did not end written left under its name.
std::string leftText(const TTrackOutcome& outcome) {
    switch (outcome.File) {
    case TOutputOutcome::Partial:
        return outcome.Path + " holds the audio read until then";
    case TOutputOutcome::ExistingKept:
        return outcome.Path + " was left as it was";
    default:
        return "no file was written";
    }
}

// The bytes the user may still write on the volume that holds `folder`;
// -1 when the file system does not say.
int64_t volumeFreeBytes(const std::string& folder) {
    struct statvfs volume {};
    if (::statvfs(folder.c_str(), &volume) != 0) {
        return -1;
    }
    return static_cast<int64_t>(volume.f_bavail) * static_cast<int64_t>(volume.f_frsize);
}

std::string failureTextOf(const std::exception_ptr& error) {
    try {
        std::rethrow_exception(error);
    } catch (const std::exception& exception) {
        return FailureText(exception);
    } catch (...) {
        return "an unknown error";
    }
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
        TTrackPlan& track = plan.Tracks[static_cast<std::size_t>(number - 1)];
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
        track.Performer = own.Performer;
        std::string nameTitle;
        if (const auto typed = choices.TypedTitles.find(track.Number);
            typed != choices.TypedTitles.end()) {
            track.Title = nameTitle = typed->second;
        } else if (track.Audio && !own.Title.empty()) {
            track.Title = own.Title;
            nameTitle = FileNameFromDiscTitle(own.Title);
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
        track.EstimatedBytes = estimatedBytes(choices.Format, coder, entry.Track.Size);
        plan.Tracks.push_back(std::move(track));
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

std::string FailureText(const std::exception& error) {
    std::string text = error.what();
    if (const auto* engineError = dynamic_cast<const ECDRIPError*>(&error)) {
        if (const std::string reason = engineError->Reason(); !reason.empty()) {
            text += ": " + reason;
        }
    }
    return text;
}

std::string TrackOutcomeText(const TTrackOutcome& outcome) {
    const std::string track = "track " + TrackNumberText(outcome.Number);
    switch (outcome.End) {
    case TTrackEnd::Written: {
        std::string text = outcome.Path + ": " + std::to_string(outcome.Bytes) +
                           " bytes, jitter errors: " + std::to_string(outcome.JitterErrors);
        const char* separator = " at ";
        for (const std::string& position : outcome.JitterPositions) {
            text += separator + position;
            separator = ", ";
        }
        if (outcome.SilencedSamples > 0) {
            text += "; " + std::to_string(outcome.SilencedSamples) +
                    " samples past the disc's ends are silence (read offset " +
                    (outcome.ReadOffset > 0 ? "+" : "") + std::to_string(outcome.ReadOffset) + ")";
        }
        return text;
    }
    case TTrackEnd::Partial:
        // Silence where the disc could not be read is no copy of it.
        return track + " lost " + std::to_string(outcome.LostSectors) + " unreadable sector" +
               (outcome.LostSectors == 1 ? "" : "s") + " at " + rangesText(outcome.LostRanges) +
               "; " + leftText(outcome);
    case TTrackEnd::Kept:
        return track + " was not written; " + leftText(outcome);
    case TTrackEnd::Failed:
        return track + " failed: " + outcome.Failure + "; " + leftText(outcome);
    case TTrackEnd::Skipped:
        return track + " " + outcome.Failure + ": skipped";
    case TTrackEnd::Interrupted:
        break;
    }
    if (!outcome.Started) {
        return "interrupted before " + track + "; its file was not touched";
    }
    return "interrupted; " + leftText(outcome);
}

// A track handed to the encoders: what its reading left to say, until its
// encoding has ended too.
struct TRipSession::Pending {
    TTrackOutcome read;
    bool stopped = false;
    std::future<TEncodingResult> encoding;
};

TRipSession::TRipSession(TCDRIP& engine, TRipPlan plan)
    : engine_(engine)
    , plan_(std::move(plan)) {}

TRipSession::~TRipSession() = default;

bool TRipSession::NameTaken(int32_t number) const {
    std::error_code error;
    return std::filesystem::symlink_status(plan_.Track(number).Path, error).type() !=
           std::filesystem::file_type::not_found;
}

const TTrackOutcome& TRipSession::RipTrack(int32_t number) {
    removeLeftovers();
    std::exception_ptr error;
    const TTrackOutcome& outcome = record(readTrack(plan_.Track(number), error), false);
    if (error) {
        std::rethrow_exception(error);
    }
    return outcome;
}

void TRipSession::Keep(int32_t number) {
    TTrackOutcome outcome;
    outcome.Number = number;
    outcome.Path = plan_.Track(number).Path;
    outcome.End = TTrackEnd::Kept;
    outcome.File = TOutputOutcome::ExistingKept;
    outcomes_.push_back(std::move(outcome));
}

void TRipSession::Skip(int32_t number, const std::string& reason) {
    TTrackOutcome outcome;
    outcome.Number = number;
    outcome.Path = plan_.Track(number).Path;
    outcome.End = TTrackEnd::Skipped;
    outcome.Failure = reason;
    outcomes_.push_back(std::move(outcome));
}

TTrackOutcome TRipSession::readTrack(const TTrackPlan& track, std::exception_ptr& error) {
    TTrackOutcome outcome;
    outcome.Number = track.Number;
    outcome.Path = track.Path;
    outcome.Started = true;
    engine_.setTrackTags(track.Tags);
    try {
        engine_.RipTrack(track.Number, plan_.Folder, track.FileName);
    } catch (...) {
        error = std::current_exception();
        outcome.Failure = failureTextOf(error);
    }
    if (outcome.Failure.empty()) {
        outcome.Failure = engine_.LastMessage();
    }
    if (outcome.Failure.empty() && !engine_.RangeOpened()) {
        outcome.Failure = "the drive could not read the track";
    }
    outcome.File = engine_.LastOutcome();
    outcome.LostSectors = engine_.LostSectors();
    outcome.LostRanges = engine_.LostRanges();
    outcome.JitterErrors = engine_.JitterErrors();
    outcome.SilencedSamples = engine_.SilencedSamples();
    outcome.ReadOffset = engine_.ReadOffset();
    outcome.JitterPositions = engine_.JitterPositions();
    return outcome;
}

const TTrackOutcome& TRipSession::record(TTrackOutcome outcome, bool stopped) {
    if (outcome.File == TOutputOutcome::Written) {
        outcome.End = TTrackEnd::Written;
        std::error_code error;
        outcome.Bytes = std::filesystem::file_size(outcome.Path, error);
    } else if (stopped) {
        outcome.End = TTrackEnd::Interrupted;
    } else if (!outcome.Failure.empty()) {
        outcome.End = TTrackEnd::Failed;
    } else if (outcome.LostSectors > 0) {
        outcome.End = TTrackEnd::Partial;
    } else {
        // Ended early with no error: the user stopped it.
        outcome.End = TTrackEnd::Interrupted;
    }
    outcomes_.push_back(std::move(outcome));
    return outcomes_.back();
}

void TRipSession::Run(const TRipRun& run) {
    const std::atomic<bool> neverStopped = false;
    const std::atomic<bool>& stop = run.Stop != nullptr ? *run.Stop : neverStopped;
    std::optional<EncoderPool> encoders;
    if (plan_.Format == TRipFormat::Mp3 && run.Encoders > 1) {
        encoders.emplace(run.Encoders, stop);
    }
    // The engine is given back as it was on every way out, before the
    // encoders its hand-off refers to go.
    struct EngineLoan {
        TCDRIP& engine;
        ~EngineLoan() {
            engine.setEncodingHandOff({});
            engine.setAbortIndicator(nullptr);
        }
    } loan{engine_};
    engine_.setAbortIndicator(run.AbortIndicator);

    const auto deliver = [&](const TTrackOutcome& outcome) {
        if (run.OnTrackEnd) {
            run.OnTrackEnd(outcome);
        }
    };
    std::deque<Pending> pending;
    // Delivers the tracks at the front whose encoding has ended; `all`:
    // waits for every one. Each ends: its reader has ended the audio, and
    // an interruption stops it within moments.
    const auto deliverEnded = [&](bool all) {
        while (!pending.empty() && (all || pending.front().encoding.wait_for(std::chrono::seconds(
                                               0)) == std::future_status::ready)) {
            Pending done = std::move(pending.front());
            pending.pop_front();
            TEncodingResult result;
            try {
                result = done.encoding.get();
            } catch (...) {
                result.error = std::current_exception();
            }
            done.read.File = result.outcome;
            if (done.read.Failure.empty() && result.error) {
                done.read.Failure = failureTextOf(result.error);
            }
            deliver(record(std::move(done.read), done.stopped || result.stopped));
        }
    };

    // An interruption before a track leaves its file alone and ends the rip.
    const auto stopBefore = [&](const TTrackPlan& track) {
        deliverEnded(true);
        stopped_ = true;
        TTrackOutcome notStarted;
        notStarted.Number = track.Number;
        notStarted.Path = track.Path;
        notStarted.End = TTrackEnd::Interrupted;
        outcomes_.push_back(std::move(notStarted));
        deliver(outcomes_.back());
    };
    // A track goes to the encoders when one more may be in flight and the
    // folder's volume holds its audio, waiting there to be encoded, beside
    // the MP3 files of all in flight; until then the reader waits for one
    // to end. With none in flight and still no room, it is encoded as it is
    // read, which needs no room for its audio.
    const auto handOffWhenRoom = [&](const TTrackPlan& track) {
        while (!stop.load()) {
            deliverEnded(false);
            const int32_t inFlight = encoders->inFlight();
            if (inFlight < encoders->capacity() && audioFits(track, pending, run)) {
                return true;
            }
            if (inFlight == 0) {
                return false;
            }
            encoders->waitUntilFewer(inFlight, ROOM_POLL);
        }
        return false;
    };

    for (const int32_t number : plan_.Chosen) {
        deliverEnded(false);
        const TTrackPlan& track = plan_.Track(number);
        if (stop.load()) {
            stopBefore(track);
            return;
        }
        if (!track.Audio) {
            deliverEnded(true);
            Skip(number, "is a data track");
            deliver(outcomes_.back());
            continue;
        }
        const bool handOff = encoders && handOffWhenRoom(track);
        if (stop.load()) {
            stopBefore(track);
            return;
        }
        removeLeftovers();
        std::future<TEncodingResult> encoding;
        if (handOff) {
            engine_.setEncodingHandOff([&](std::shared_ptr<TTrackEncoding> handedOff) {
                encoding = encoders->add([handedOff](const std::atomic<bool>& stopEncoding) {
                    return handedOff->run(stopEncoding);
                });
            });
        }
        if (run.OnTrackStart) {
            run.OnTrackStart(track);
        }
        std::exception_ptr error;
        TTrackOutcome read = readTrack(track, error);
        engine_.setEncodingHandOff({});
        const bool stopped = stop.load();
        if (encoding.valid()) {
            pending.push_back({std::move(read), stopped, std::move(encoding)});
        } else {
            // Read and written here: delivered at once, after the tracks before.
            deliverEnded(true);
            deliver(record(std::move(read), stopped));
        }
        if (stopped) {
            deliverEnded(true);
            stopped_ = true;
            return;
        }
    }
    deliverEnded(true);
}

void TRipSession::removeLeftovers() {
    if (!leftoversRemoved_) {
        leftoversRemoved_ = true;
        RemoveStaleTemporaryFiles(plan_.Folder.empty() ? std::string(".") : plan_.Folder);
    }
}

bool TRipSession::audioFits(const TTrackPlan& track, const std::deque<Pending>& inFlight,
                            const TRipRun& run) const {
    const std::string folder = plan_.Folder.empty() ? std::string(".") : plan_.Folder;
    const int64_t freeBytes = run.FreeBytes ? run.FreeBytes(folder) : volumeFreeBytes(folder);
    if (freeBytes < 0) {
        return true;
    }
    const TTrack& sectors = *engine_.TrackByNumber(track.Number);
    const AudioFormat format = deliveredFormat(engine_.OutputFormat());
    int64_t need = (int64_t{sectors.EndSector} - sectors.StartSector + 1) *
                       (format.byteRate() / CD_SECTORS_PER_SECOND) +
                   track.EstimatedBytes;
    for (const Pending& pending : inFlight) {
        need += plan_.Track(pending.read.Number).EstimatedBytes;
    }
    return need < freeBytes;
}

TRipSummary TRipSession::Summary() const {
    TRipSummary summary;
    summary.Stopped = stopped_;
    for (const TTrackOutcome& outcome : outcomes_) {
        switch (outcome.End) {
        case TTrackEnd::Written:
            ++summary.Written;
            break;
        case TTrackEnd::Partial:
            ++summary.Partial;
            break;
        case TTrackEnd::Kept:
            ++summary.Kept;
            break;
        case TTrackEnd::Failed:
            ++summary.Failed;
            break;
        case TTrackEnd::Skipped:
            ++summary.Skipped;
            break;
        case TTrackEnd::Interrupted:
            ++summary.Interrupted;
            break;
        }
        if (outcome.LostSectors > 0) {
            summary.TracksWithLostSectors.push_back(outcome.Number);
        }
    }
    return summary;
}
