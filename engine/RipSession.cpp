// SPDX-License-Identifier: GPL-3.0-or-later
#include "RipSession.h"

#include "AlbumLoudness.h"
#include "EncoderPool.h"
#include "FileReplacement.h"
#include "LameCoder.h"
#include "OutputFile.h"
#include "ReplayGain.h"
#include "RipLog.h"
#include "RipRecords.h"
#include "TagUpdate.h"
#include "WavHeader.h"

#include <algorithm>
#include <chrono>
#include <deque>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <sys/statvfs.h>
#include <utility>

namespace {

// How often the reader looks for an interruption while it waits for room
// among the encoders.
constexpr auto ROOM_POLL = std::chrono::milliseconds(50);

// The file at `path` holds exactly `bytes`.
bool holdsBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::string held;
    std::error_code error;
    return base::readFileText(path, bytes.size(), held, error) == base::FileRead::Read &&
           std::ranges::equal(held, bytes, {},
                              [](char byte) { return static_cast<uint8_t>(byte); });
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

// "AccurateRip: 11 of 12 tracks matched", or why no track was matched.
std::string accurateRipLine(const std::vector<TTrackOutcome>& outcomes) {
    std::map<TAccurateRipStatus, int> statuses;
    int read = 0;
    int computed = 0;
    for (const TTrackOutcome& outcome : outcomes) {
        if (!outcome.Sums) {
            continue;
        }
        ++read;
        if (outcome.AccurateRip.Status != TAccurateRipStatus::NotComputed) {
            ++computed;
            ++statuses[outcome.AccurateRip.Status];
        }
    }
    if (read == 0) {
        return "AccurateRip: no track was read whole";
    }
    if (computed == 0) {
        return "AccurateRip: not computed (the output is not 44.1 kHz stereo)";
    }
    const std::pair<TAccurateRipStatus, const char*> alike[] = {
        {TAccurateRipStatus::NotInDatabase, "AccurateRip: the disc is not in the database"},
        {TAccurateRipStatus::Unavailable, "AccurateRip: the database could not be reached"},
        {TAccurateRipStatus::NotInTime, "AccurateRip: the database was not reached in time"},
        {TAccurateRipStatus::Waiting, "AccurateRip: waiting for the database"}};
    for (const auto& [status, text] : alike) {
        if (statuses[status] == computed) {
            return text;
        }
    }
    return "AccurateRip: " + std::to_string(statuses[TAccurateRipStatus::Matched]) + " of " +
           std::to_string(computed) + " track" + (computed == 1 ? "" : "s") + " matched";
}

// A reading with jitter correction as secure mode asks; the engine and the
// library get the user's choice back afterwards, so that a later save of
// the drive's settings keeps it.
class CorrectionScope final {
public:
    CorrectionScope(TCDRIP& engine, std::optional<bool> correction)
        : engine_(engine)
        , chosen_(engine.JitterCorrect())
        , changed_(correction && *correction != chosen_) {
        if (changed_) {
            engine_.setJitterCorrect(*correction);
        }
    }
    ~CorrectionScope() {
        if (!changed_) {
            return;
        }
        engine_.setJitterCorrect(chosen_);
        try {
            engine_.ApplyParameters();
        } catch (const std::exception&) {
            // The next extraction applies the parameters again.
        }
    }
    CorrectionScope(const CorrectionScope&) = delete;
    CorrectionScope& operator=(const CorrectionScope&) = delete;

private:
    TCDRIP& engine_;
    bool chosen_;
    bool changed_;
};

// The checksums of the engine's last extraction, when it read all of
// `track` as the output format delivers it.
std::optional<TTrackSums> sumsOf(const TCDRIP& engine, const TTrack& track) {
    const std::optional<TrackChecksums>& read = engine.LastChecksums();
    const AudioFormat format = deliveredFormat(engine.OutputFormat());
    const auto trackBytes =
        static_cast<uint64_t>(int64_t{track.EndSector} - track.StartSector + 1) *
        static_cast<uint64_t>(format.byteRate() / CD_SECTORS_PER_SECOND);
    if (!read || read->bytesAdded() != trackBytes || engine.LostSectors() > 0) {
        return std::nullopt;
    }
    TTrackSums sums;
    sums.CopyCrc = read->copyCrc();
    sums.Peak = read->peak();
    // AccurateRip sums CD audio as it is on the disc.
    if (engine.OutputFormat() == STEREO44100 && read->complete()) {
        sums.AccurateRipV1 = read->accurateRipV1();
        sums.AccurateRipV2 = read->accurateRipV2();
        sums.Frame450 = read->frame450Checksum();
    }
    return sums;
}

} // namespace

// A track handed to the encoders: what its reading left to say, until its
// encoding has ended too.
struct TRipSession::Pending {
    TTrackOutcome read;
    bool stopped = false;
    std::future<TEncodingResult> encoding;
};

TRipSession::TRipSession(TCDRIP& engine, TRipPlan plan)
    : engine_(engine)
    , plan_(std::move(plan))
    , album_(plan_.ReplayGain ? std::make_unique<TAlbumLoudness>() : nullptr) {}

TRipSession::~TRipSession() = default;

bool TRipSession::NameTaken(int32_t number) const {
    std::error_code error;
    return std::filesystem::symlink_status(plan_.Track(number).Path, error).type() !=
           std::filesystem::file_type::not_found;
}

const TTrackOutcome& TRipSession::RipTrack(int32_t number) {
    removeLeftovers();
    const TTrackPlan& track = plan_.Track(number);
    const bool secure = readsSecurely();
    std::exception_ptr error;
    TTrackOutcome outcome = readTrack(track, error, secure ? std::optional(false) : std::nullopt);
    // The application's messages run while the database is waited for, and
    // an abort the user asks for meanwhile ends the wait.
    const auto whileWaiting = [this] {
        if (engineHooks().processMessages) {
            engineHooks().processMessages();
        }
        return !engine_.AbortRequested();
    };
    if (secure && !error && !firstReadingStands(outcome, whileWaiting) &&
        !engine_.AbortRequested()) {
        if (OnSecondReading) {
            OnSecondReading(track);
        }
        outcome = secondOpinion(outcome, readTrack(track, error, true));
    }
    judge(outcome);
    const TTrackOutcome& recorded = record(std::move(outcome), false);
    if (error) {
        std::rethrow_exception(error);
    }
    return recorded;
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

TTrackOutcome TRipSession::readTrack(const TTrackPlan& track, std::exception_ptr& error,
                                     std::optional<bool> correction) {
    TTrackOutcome outcome;
    outcome.Number = track.Number;
    outcome.Path = track.Path;
    outcome.Started = true;
    TTrackTags tags = track.Tags;
    tags.Cover = plan_.Cover;
    tags.CoverMimeType = plan_.CoverMimeType;
    engine_.setTrackTags(std::move(tags));
    engine_.setReplayGainAlbum(album_.get());
    {
        const CorrectionScope scope(engine_, correction);
        try {
            engine_.RipTrack(track.Number, plan_.Folder, track.FileName);
        } catch (...) {
            error = std::current_exception();
            outcome.Failure = failureTextOf(error);
        }
    }
    engine_.setReplayGainAlbum(nullptr);
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
    if (outcome.Failure.empty() && !engine_.AbortRequested()) {
        outcome.Sums = sumsOf(engine_, *engine_.TrackByNumber(track.Number));
    }
    return outcome;
}

bool TRipSession::firstReadingStands(TTrackOutcome& first,
                                     const std::function<bool()>& whileWaiting) {
    if (!first.Failure.empty()) {
        return true;
    }
    if (!first.Sums) {
        // Interrupted, or sectors lost that correction may yet read.
        return first.LostSectors == 0;
    }
    if (!first.Sums->AccurateRipV1) {
        return false; // nothing can confirm it
    }
    if (accurateRip_ && !accurateRip_->Answered()) {
        accurateRip_->WaitForAnswer(whileWaiting);
    }
    judge(first);
    return first.AccurateRip.Status == TAccurateRipStatus::Matched;
}

TTrackOutcome TRipSession::secondOpinion(const TTrackOutcome& first, TTrackOutcome second) const {
    second.ReadTwice = true;
    if (!second.Sums || !first.Sums) {
        return second;
    }
    second.Sums->TestCrc = first.Sums->CopyCrc;
    judge(second);
    // A copy AccurateRip confirms is the disc's, however the first reading
    // went; otherwise the two readings must agree.
    second.ReadingsDiffer = second.AccurateRip.Status != TAccurateRipStatus::Matched &&
                            first.Sums->CopyCrc != second.Sums->CopyCrc;
    return second;
}

void TRipSession::judge(TTrackOutcome& outcome) const {
    // The database knows the disc's tracks, not audio hidden before track 1.
    if (!outcome.Sums || !outcome.Sums->AccurateRipV1 || !outcome.Sums->AccurateRipV2 ||
        outcome.Number == 0) {
        outcome.AccurateRip = {};
        return;
    }
    if (!accurateRip_) {
        outcome.AccurateRip = {TAccurateRipStatus::Unavailable, 0, false};
        return;
    }
    // The track's place among the disc's audio tracks.
    int audioTrack = 0;
    for (const TTrackPlan& track : plan_.Tracks) {
        if (track.Number == outcome.Number) {
            break;
        }
        audioTrack += track.Audio && track.Number > 0 ? 1 : 0;
    }
    outcome.AccurateRip = accurateRip_->ResultOf(audioTrack, *outcome.Sums->AccurateRipV1,
                                                 *outcome.Sums->AccurateRipV2);
}

const TTrackOutcome& TRipSession::record(TTrackOutcome outcome, bool stopped) {
    if (outcome.File == TOutputOutcome::Written) {
        outcome.End = outcome.ReadingsDiffer ? TTrackEnd::Suspect : TTrackEnd::Written;
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
    const bool fileMade =
        outcome.File == TOutputOutcome::Written || outcome.File == TOutputOutcome::Partial;
    outcomes_.push_back(std::move(outcome));
    if (fileMade && !coverTried_ && !plan_.Cover.empty()) {
        saveCover();
    }
    return outcomes_.back();
}

void TRipSession::saveCover() {
    coverTried_ = true;
    const std::string path = plan_.Folder + plan_.CoverFileName;
    try {
        OutputFile file(path);
        file.write(plan_.Cover.data(), plan_.Cover.size());
        // The cover takes its name only where nothing is: a picture the user
        // put there, or the cover of another album ripped into the same
        // folder, stays.
        if (file.keep() == TOutputOutcome::ExistingKept && !holdsBytes(path, plan_.Cover)) {
            coverNote_ = path + " was there already and was left as it was";
            return;
        }
        coverPath_ = path;
    } catch (const std::exception& error) {
        coverNote_ = "The front cover could not be saved: " + FailureText(error);
        coverFailed_ = true;
    }
}

void TRipSession::Run(const TRipRun& run) {
    const std::atomic<bool> neverStopped = false;
    const std::atomic<bool>& stop = run.Stop != nullptr ? *run.Stop : neverStopped;
    std::optional<EncoderPool> encoders;
    const bool encoded = plan_.Format == TRipFormat::Mp3 || plan_.Format == TRipFormat::Flac;
    if (encoded && run.Encoders > 1) {
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
    const auto goOn = [&stop] {
        return !stop.load();
    };
    // Tracks are reported with their AccurateRip result: the first to end
    // waits for the database, at most as long as a lookup takes.
    const auto settle = [&](TTrackOutcome& outcome) {
        if (outcome.AccurateRip.Status == TAccurateRipStatus::Waiting) {
            accurateRip_->WaitForAnswer(goOn);
            judge(outcome);
        }
    };
    // One reading of the track, its encoding handed off when `handOff`.
    const auto readHandingOff = [&](const TTrackPlan& track, bool handOff,
                                    std::future<TEncodingResult>& encoding,
                                    std::exception_ptr& error, std::optional<bool> correction) {
        if (handOff) {
            engine_.setEncodingHandOff([&](std::shared_ptr<TTrackEncoding> handedOff) {
                encoding = encoders->add([handedOff](const std::atomic<bool>& stopEncoding) {
                    return handedOff->run(stopEncoding);
                });
            });
        }
        TTrackOutcome read = readTrack(track, error, correction);
        engine_.setEncodingHandOff({});
        return read;
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
            settle(done.read);
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
    // the encoded files of all in flight; until then the reader waits for one
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
        bool handOff = encoders && handOffWhenRoom(track);
        if (stop.load()) {
            stopBefore(track);
            return;
        }
        removeLeftovers();
        if (run.OnTrackStart) {
            run.OnTrackStart(track);
        }
        const bool secure = readsSecurely();
        std::future<TEncodingResult> encoding;
        std::exception_ptr error;
        TTrackOutcome read = readHandingOff(track, handOff, encoding, error,
                                            secure ? std::optional(false) : std::nullopt);
        if (secure && !error && !stop.load() && !firstReadingStands(read, goOn)) {
            // The first reading's file is placed before the second's, so
            // that the second is what stays under the name.
            if (encoding.valid()) {
                encoding.wait();
            }
            handOff = encoders && handOffWhenRoom(track);
            if (!stop.load()) {
                if (OnSecondReading) {
                    OnSecondReading(track);
                }
                std::future<TEncodingResult> again;
                read = secondOpinion(read, readHandingOff(track, handOff, again, error, true));
                encoding = std::move(again);
            }
        }
        judge(read);
        const bool stopped = stop.load();
        if (encoding.valid()) {
            pending.push_back({std::move(read), stopped, std::move(encoding)});
        } else {
            // Read and written here: delivered at once, after the tracks before.
            deliverEnded(true);
            settle(read);
            deliver(record(std::move(read), stopped));
        }
        if (stopped) {
            deliverEnded(true);
            stopped_ = true;
            return;
        }
    }
    deliverEnded(true);
    TagAlbum();
}

void TRipSession::TagAlbum() {
    if (!album_ || albumTagged_ || album_->tracks() == 0) {
        return;
    }
    albumTagged_ = true;
    const std::vector<TTagField> fields =
        replayGainFields(album_->replayGain(), TReplayGainScope::Album);
    for (const TTrackOutcome& outcome : outcomes_) {
        if (outcome.End != TTrackEnd::Written) {
            continue;
        }
        try {
            updateFileTags(outcome.Path, fields);
        } catch (const std::exception& error) {
            albumGainFailures_.push_back(outcome.Path + ": " + FailureText(error));
        }
    }
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
    summary.AlbumGainFailures = albumGainFailures_;
    summary.CoverPath = coverPath_;
    summary.CoverNote = coverNote_;
    summary.CoverFailed = coverFailed_;
    for (const TTrackOutcome& outcome : outcomes_) {
        switch (outcome.End) {
        case TTrackEnd::Written:
            ++summary.Written;
            break;
        case TTrackEnd::Suspect:
            ++summary.Suspect;
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
        summary.ReadTwice += outcome.ReadTwice ? 1 : 0;
    }
    summary.AccurateRip = accurateRipLine(outcomes_);
    return summary;
}

void TRipSession::StartAccurateRip(const online::DiscToc& toc, TAccurateRipDatabase database) {
    accurateRip_.reset();
    try {
        accurateRip_ =
            std::make_unique<TAccurateRipCheck>(online::accurateRipDisc(toc), std::move(database));
        accurateRipProblem_.clear();
    } catch (const std::invalid_argument& error) {
        accurateRipProblem_ = error.what();
    }
}

void TRipSession::StopAccurateRip() {
    if (accurateRip_) {
        accurateRip_->Stop();
    }
}

const online::AccurateRipDisc* TRipSession::AccurateRipDisc() const {
    return accurateRip_ ? &accurateRip_->Disc() : nullptr;
}

std::string TRipSession::AccurateRipProblem() const {
    if (std::none_of(outcomes_.begin(), outcomes_.end(),
                     [](const TTrackOutcome& outcome) { return outcome.Started; })) {
        return std::string();
    }
    if (!accurateRip_) {
        return accurateRipProblem_.empty()
                   ? std::string()
                   : "The disc cannot be looked up in the AccurateRip database: " +
                         accurateRipProblem_;
    }
    return accurateRip_->Problem();
}

const TRipRecords& TRipSession::Finish(const std::function<bool()>& whileWaiting) {
    if (records_) {
        return *records_;
    }
    const auto waiting = [](const TTrackOutcome& outcome) {
        return outcome.AccurateRip.Status == TAccurateRipStatus::Waiting;
    };
    if (accurateRip_ && std::any_of(outcomes_.begin(), outcomes_.end(), waiting)) {
        accurateRip_->WaitForAnswer(whileWaiting);
        for (TTrackOutcome& outcome : outcomes_) {
            judge(outcome);
        }
    }
    // The log and cue sheet describe the files a rip left: a rip the user
    // interrupted, or one that placed no file (a full disk, a file-size
    // limit), leaves nothing more behind; what went wrong was said.
    const bool placed =
        !stopped_ &&
        std::any_of(outcomes_.begin(), outcomes_.end(), [](const TTrackOutcome& outcome) {
            return outcome.File == TOutputOutcome::Written ||
                   outcome.File == TOutputOutcome::Partial;
        });
    records_ = placed ? WriteRipRecords(plan_, LogText(), RipCueSheet(engine_, plan_, outcomes_))
                      : TRipRecords{};
    return *records_;
}

std::string TRipSession::LogText() const {
    return SignedLog(RipLogText(engine_, plan_, outcomes_, Summary(),
                                accurateRip_ ? accurateRip_.get() : nullptr, AccurateRipProblem()));
}
