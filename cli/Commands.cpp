// SPDX-License-Identifier: GPL-3.0-or-later
#include "Commands.h"

#include "CDRIP.h"
#include "DiscIdentity.h"
#include "LameCoder.h"
#include "OffsetFinder.h"
#include "ReleaseNames.h"
#include "RipLog.h"
#include "RipSession.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <exception>
#include <filesystem>
#include <future>
#include <iomanip>
#include <iostream>
#include <optional>
#include <stop_token>
#include <thread>
#include <utility>

namespace varrowrip {
namespace {

// Also the encoder threads' signal to stop.
std::atomic<bool> interruptionRequested = false;
static_assert(std::atomic<bool>::is_always_lock_free, "set from a signal handler");
// Handed to the engine, so that an interruption reaches the library's read
// in progress.
int32_t abortIndicator = CR_FALSE;

bool isBlankOrControl(char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte <= ' ' || byte == 0x7F;
}

// A text from a disc, an image or a drive for the terminal: control
// characters, which could move the cursor or recolour it, become blanks.
std::string printable(const std::string& text) {
    return TextWithoutControls(text);
}

// There must be such a track for every title given.
bool titlesFitTheDisc(const TCDRIP& engine, const RipSettings& settings, std::ostream& err) {
    for (const auto& [number, title] : settings.titles) {
        if (number > static_cast<int32_t>(engine.Tracks().size())) {
            err << "varrow-rip: there is no track " << number << " to title (the disc has "
                << engine.Tracks().size() << ")\n";
            return false;
        }
    }
    return true;
}

// Selects `drive`; false (with the reason on `err`) when it does not exist.
bool selectDrive(TCDRIP& engine, int32_t drive, std::ostream& err) {
    engine.setCDRomNum(0);
    const int32_t drives = CR_GetNumCDROM();
    if (drives <= 0) {
        err << "varrow-rip: no CD drive or disc image found\n";
        return false;
    }
    if (drive >= drives) {
        err << "varrow-rip: there is no drive " << drive << " (drives 0 to " << drives - 1 << ")\n";
        return false;
    }
    engine.setCDRomNum(drive);
    if (engine.CDRomNum() != drive) {
        err << "varrow-rip: drive " << drive << " cannot be selected\n";
        return false;
    }
    // An image read other than it says (a data file in place of a missing
    // one) is told before anything is read from it.
    if (const std::string notice = CR_GetDriveNotice(); !notice.empty()) {
        err << "varrow-rip: drive " << drive << ": " << notice << '\n';
    }
    return true;
}

// A drive without tracks: the library's reason when it has one (an image
// that cannot be read), else there is no disc.
void reportNoDisc(const TCDRIP& engine, int32_t drive, std::ostream& err) {
    const std::string problem = CR_GetDriveProblem();
    if (problem.empty()) {
        err << "varrow-rip: no CD in drive " << drive << '\n';
        return;
    }
    // The identification carries the reason after the drive's name.
    std::string name = engine.CDRomName();
    if (const size_t at = name.rfind(": " + problem); at != std::string::npos) {
        name.erase(at);
    }
    err << "varrow-rip: drive " << drive << " (" << printable(name)
        << ") cannot be read: " << printable(problem) << '\n';
}

// Selects `drive` and reads its disc; false (with the reason on `err`) when
// the drive does not exist or holds no disc it can read.
bool selectDisc(TCDRIP& engine, int32_t drive, std::ostream& err) {
    if (!selectDrive(engine, drive, err)) {
        return false;
    }
    if (engine.Tracks().empty()) {
        reportNoDisc(engine, drive, err);
        return false;
    }
    return true;
}

// The progress of the track being read: a bar redrawn in place on a
// terminal, a line per ten percent elsewhere.
class ProgressDisplay final {
public:
    ProgressDisplay(std::ostream& out, bool terminal, std::string label)
        : out_(out)
        , terminal_(terminal)
        , label_(std::move(label)) {}

    void update(uint16_t percent, int64_t jitterCount, long double speed, bool jitterCorrection) {
        percent = std::min<uint16_t>(percent, 100);
        if (terminal_) {
            constexpr int WIDTH = 30;
            const int filled = percent * WIDTH / 100;
            out_ << '\r' << label_ << " [" << std::string(static_cast<std::size_t>(filled), '#')
                 << std::string(static_cast<std::size_t>(WIDTH - filled), '.') << "] "
                 << std::setw(3) << percent << "%  x" << std::fixed << std::setprecision(1)
                 << static_cast<double>(speed) << "  jitter "
                 << (jitterCorrection ? std::to_string(jitterCount) : std::string("OFF"))
                 << std::flush;
            drawn_ = true;
        } else if (percent / 10 > lastTenth_) {
            // One line per ten percent keeps logs short.
            lastTenth_ = percent / 10;
            out_ << label_ << ": " << percent << "%\n";
        }
    }

    void finish() {
        if (drawn_) {
            out_ << '\n';
            drawn_ = false;
        }
    }

private:
    std::ostream& out_;
    bool terminal_;
    std::string label_;
    bool drawn_ = false;
    int lastTenth_ = -1;
};

// Makes the output folder; false (with the reason on `err`) when it cannot
// be used.
bool makeFolder(const std::string& folder, std::ostream& err) {
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    if (!error && !std::filesystem::is_directory(folder, error) && !error) {
        error = std::make_error_code(std::errc::not_a_directory);
    }
    if (error) {
        err << "varrow-rip: cannot use the folder " << folder << ": " << error.message() << '\n';
        return false;
    }
    return true;
}

void applyEncoderSettings(TLameCoder& coder, const RipSettings& settings) {
    coder.setBitrate(settings.bitrate);
    coder.setMaxBitrate(settings.maxBitrate);
    coder.setEnableVBR(settings.vbr);
    coder.setMode(settings.mode);
    coder.setQuality(settings.quality);
}

std::vector<int32_t> audioTracks(const TCDRIP& engine) {
    std::vector<int32_t> tracks;
    if (engine.HiddenTrack()) {
        tracks.push_back(0);
    }
    for (const TTrackEntry& entry : engine.Tracks()) {
        if (entry.Track.TrackType == "Audio") {
            tracks.push_back(entry.Track.Number);
        }
    }
    return tracks;
}

// "  pregap FIRST-LAST" where the disc gives the track a pregap (INDEX 00
// before its INDEX 01); empty otherwise.
std::string pregapText(const TCDRIP& engine, const TTrack& track) {
    const std::vector<TTrackDiscInfo>& info = engine.DiscInfo().Tracks;
    if (track.Number < 1 || track.Number > static_cast<int32_t>(info.size())) {
        return {};
    }
    const std::optional<int32_t>& pregap =
        info[static_cast<std::size_t>(track.Number - 1)].PregapSector;
    if (!pregap || *pregap >= track.StartSector) {
        return {};
    }
    return "  pregap " + std::to_string(*pregap) + "-" + std::to_string(track.StartSector - 1);
}

TRipChoices choicesOf(const RipSettings& settings, std::vector<int32_t> tracks) {
    TRipChoices choices;
    switch (settings.kind) {
    case OutputKind::Mp3:
        choices.Format = TRipFormat::Mp3;
        break;
    case OutputKind::Flac:
        choices.Format = TRipFormat::Flac;
        break;
    case OutputKind::Pcm:
        choices.Format = TRipFormat::Pcm;
        break;
    case OutputKind::Wav:
        choices.Format = TRipFormat::Wav;
        break;
    }
    choices.Folder = settings.folder;
    choices.Tracks = std::move(tracks);
    choices.NumberInName = settings.numberInName;
    choices.UseDiscText = settings.useCdText;
    choices.TypedTitles = settings.titles;
    choices.ReplayGain = settings.replayGain;
    return choices;
}

// A release as a line of the list: its ID, title and artist, and what tells
// it from the other pressings.
std::string releaseText(const online::MusicBrainzRelease& release) {
    std::string details;
    for (const std::string& detail :
         {release.date, release.country,
          release.labelNames() + (release.catalogNumbers().empty() ? "" : " ") +
              release.catalogNumbers(),
          release.barcode, release.formatSummary()}) {
        if (!detail.empty()) {
            details += (details.empty() ? "" : ", ") + detail;
        }
    }
    return release.id + "  " + printable(release.title) + " / " + printable(release.artist.name) +
           (details.empty() ? "" : " (" + printable(details) + ")");
}

// The lookup on a thread of its own, so that an interruption (a signal)
// ends it at once.
online::MetadataResult lookUpUnlessInterrupted(const online::MetadataRequest& request) {
    const online::MetadataLookup lookup = online::MetadataLookup::forProgram();
    std::promise<online::MetadataResult> answer;
    std::future<online::MetadataResult> result = answer.get_future();
    std::jthread worker([&](std::stop_token stop) {
        try {
            answer.set_value(lookup.lookUp(request, stop));
        } catch (...) {
            answer.set_exception(std::current_exception());
        }
    });
    while (result.wait_for(std::chrono::milliseconds(50)) != std::future_status::ready) {
        if (interruptionRequested.load()) {
            worker.request_stop();
        }
    }
    return result.get();
}

// The disc's names from MusicBrainz unless `settings` leave the lookup out
// (none then): the release taken and the others are listed on `out`, why
// there are no names goes to `err`. A release the user named that cannot
// be had, or an interruption, ends the command: `status` is then not
// EXIT_WRITTEN.
std::optional<online::MetadataResult> lookUpNames(const TCDRIP& engine, const RipSettings& settings,
                                                  bool withCover, std::ostream& out,
                                                  std::ostream& err, int& status) {
    status = EXIT_WRITTEN;
    if (!settings.lookup) {
        return std::nullopt;
    }
    online::MetadataRequest request = MetadataRequestOf(engine, settings.releaseId);
    request.withCover = withCover;
    online::MetadataResult result = lookUpUnlessInterrupted(request);
    if (result.outcome == online::MusicBrainzLookup::Outcome::Cancelled) {
        status = EXIT_INTERRUPTED;
        return std::nullopt;
    }
    if (!result.message.empty()) {
        err << "varrow-rip: " << printable(result.message) << '\n';
    }
    if (result.outcome == online::MusicBrainzLookup::Outcome::NotFound &&
        settings.releaseId.empty()) {
        err << "varrow-rip: add this disc to MusicBrainz: " << result.disc.submissionUrl << '\n';
    }
    if (!result.metadata) {
        if (!settings.releaseId.empty()) {
            err << "varrow-rip: the release " << settings.releaseId << " cannot be used\n";
            status = EXIT_FAILED;
        }
        return result;
    }
    out << "Release: " << releaseText(result.releases[*result.chosen]) << '\n';
    if (result.releases.size() > 1) {
        out << "Other releases (choose one with --release):\n";
        for (std::size_t index = 0; index < result.releases.size(); ++index) {
            if (index != *result.chosen) {
                out << "  " << releaseText(result.releases[index]) << '\n';
            }
        }
    }
    return result;
}

// After the tracks: why the database gave no answer, the rip in one line,
// and where its log and cue sheet went.
void reportRip(TRipSession& session, std::ostream& out, std::ostream& err) {
    // An interruption ends a wait for the database too.
    const TRipRecords& records = session.Finish([] { return !interruptionRequested.load(); });
    if (const std::string problem = session.AccurateRipProblem(); !problem.empty()) {
        err << "varrow-rip: " << printable(problem) << '\n';
    }
    out << "Summary: " << RipSummaryText(session.Summary()) << '\n';
    if (!records.LogPath.empty()) {
        out << "Log: " << records.LogPath << "\nCue sheet: " << records.CueSheetPath << '\n';
    }
    if (!records.Problem.empty()) {
        err << "varrow-rip: " << printable(records.Problem) << '\n';
    }
}

// Interrupted trumps failed, which trumps written.
int exitStatus(const TRipSummary& summary) {
    if (summary.Stopped || summary.Interrupted > 0) {
        return EXIT_INTERRUPTED;
    }
    return summary.AllWritten() ? EXIT_WRITTEN : EXIT_FAILED;
}

} // namespace

std::string driveEntry(int32_t number, const std::string& identification) {
    const auto first =
        std::find_if_not(identification.begin(), identification.end(), isBlankOrControl);
    const auto last =
        std::find_if_not(identification.rbegin(), identification.rend(), isBlankOrControl).base();
    const std::string name = first < last ? std::string(first, last) : std::string();
    return "[" + std::to_string(number) + "]:" + (name.empty() ? "wrong CD-ROM name" : name);
}

// Said when no drive is found: the two usual reasons, and how to work with
// disc images instead.
constexpr const char* NO_DRIVE_HINT =
    "hint: a CD drive is listed only when its device (such as /dev/sr0) can be read;\n"
    "      on most systems that takes membership of the 'cdrom' group.\n"
    "hint: disc images work as drives: list BIN/CUE, cdrdao TOC or NRG images in\n"
    "      VARROW_CD_IMAGES, separated by ':', for example\n"
    "      VARROW_CD_IMAGES=$HOME/album.cue varrow-rip drives\n";

int listDrives(std::ostream& out, std::ostream& err) {
    TCDRIP engine;
    engine.setCDRomNum(0);
    const int32_t drives = CR_GetNumCDROM();
    if (drives <= 0) {
        err << "varrow-rip: no CD drive or disc image found\n" << NO_DRIVE_HINT;
        return EXIT_FAILED;
    }
    for (int32_t drive = 0; drive < drives; ++drive) {
        engine.setCDRomNum(drive);
        out << printable(driveEntry(engine.CDRomNum(), engine.CDRomName())) << '\n';
    }
    return EXIT_WRITTEN;
}

int listTracks(int32_t drive, const RipSettings& settings, std::ostream& out, std::ostream& err) {
    TCDRIP engine;
    if (!selectDisc(engine, drive, err)) {
        return EXIT_FAILED;
    }
    if (!titlesFitTheDisc(engine, settings, err)) {
        return EXIT_USAGE;
    }
    int status = EXIT_WRITTEN;
    const std::optional<online::MetadataResult> names =
        lookUpNames(engine, settings, false, out, err, status);
    if (status != EXIT_WRITTEN) {
        return status;
    }
    TRipChoices choices = choicesOf(settings, {});
    if (names) {
        TakeRelease(choices, *names);
    }
    const TDiscText& text = engine.DiscText();
    const auto line = [&out](const char* name, const std::string& value) {
        if (!value.empty()) {
            out << name << ": " << printable(value) << '\n';
        }
    };
    if (choices.Release) {
        const online::DiscMetadata& release = *choices.Release;
        line("Album", release.album);
        line("Performer", release.albumArtist);
        line("Date", release.date);
        if (release.discCount > 1) {
            line("Disc",
                 std::to_string(release.discNumber) + "/" + std::to_string(release.discCount));
        }
    } else if (settings.useCdText) {
        line("Album", text.Title);
        line("Performer", text.Performer);
    }
    const TRipPlan plan = PlanRip(engine, choices);
    for (const TTrackPlan& planned : plan.Tracks) {
        const TTrack& track = *engine.TrackByNumber(planned.Number);
        out << TrackNumberText(track.Number) << "  " << std::left << std::setw(5) << track.TrackType
            << std::right << "  " << std::setw(7) << track.StartSector << "  " << std::setw(7)
            << track.EndSector << "  " << std::setw(10) << track.Size << "  "
            << engine.TrackPlayTime(track);
        // Titles are listed where they are not the track's own name.
        if (planned.Title != "Track" + TrackNumberText(track.Number)) {
            out << "  " << printable(planned.Title);
        }
        if (!planned.Performer.empty()) {
            out << "  (" << printable(planned.Performer) << ")";
        }
        out << pregapText(engine, track) << '\n';
    }
    return EXIT_WRITTEN;
}

int ripTracks(int32_t drive, const RipSettings& settings, bool terminal, std::ostream& out,
              std::ostream& err) {
    TLameCoder coder;
    TCDRIP engine;
    engine.setCoder(&coder);
    if (!selectDisc(engine, drive, err)) {
        return EXIT_FAILED;
    }

    const std::vector<int32_t> tracks =
        settings.tracks.empty() ? audioTracks(engine) : settings.tracks;
    if (tracks.empty()) {
        err << "varrow-rip: the disc has no audio track\n";
        return EXIT_FAILED;
    }
    for (int32_t number : tracks) {
        if (engine.TrackByNumber(number) == nullptr) {
            err << "varrow-rip: there is no track " << number << " (the disc has "
                << engine.Tracks().size() << ")\n";
            return EXIT_USAGE;
        }
    }
    if (!titlesFitTheDisc(engine, settings, err)) {
        return EXIT_USAGE;
    }
    int status = EXIT_WRITTEN;
    const std::optional<online::MetadataResult> names =
        lookUpNames(engine, settings, true, out, err, status);
    if (status != EXIT_WRITTEN) {
        return status;
    }

    // A rip of data tracks alone writes nothing: it makes no folder either.
    const bool writesFiles = std::any_of(tracks.begin(), tracks.end(), [&](int32_t number) {
        return engine.TrackByNumber(number)->TrackType == "Audio";
    });
    if (writesFiles && !makeFolder(settings.folder, err)) {
        return EXIT_FAILED;
    }

    // The settings the window gives its engine, then the command line's.
    engine.setEncode(settings.kind == OutputKind::Mp3);
    engine.setWriteWAV(settings.kind != OutputKind::Pcm);
    engine.setWriteFLAC(settings.kind == OutputKind::Flac);
    engine.setFlacCompressionLevel(settings.compression);
    engine.setJitterCorrect(settings.jitterCorrection);
    engine.setSecureMode(settings.secure);
    engine.setMonoDownMixType(settings.monoDownMixType);
    if (settings.speed) {
        engine.setSpeed(*settings.speed);
    }
    if (settings.offset) {
        engine.setReadOffset(*settings.offset);
    }
    if (settings.overread) {
        engine.setOverread(true);
    }
    applyEncoderSettings(coder, settings);
    TRipChoices choices = choicesOf(settings, tracks);
    if (names) {
        TakeRelease(choices, *names);
    }
    TRipSession session(engine, PlanRip(engine, choices));
    // Asked while the tracks are read; a track's result waits for it only
    // when it ends before the answer.
    session.StartAccurateRip(OnlineToc(engine), AccurateRipDatabase());

    std::optional<ProgressDisplay> progress;
    const auto endProgress = [&progress] {
        if (progress) {
            progress->finish();
        }
    };
    engine.OnProgress = [&](TCDRIP&, uint16_t percent, int64_t jitterCount, long double speed) {
        if (progress) {
            progress->update(percent, jitterCount, speed, settings.jitterCorrection);
        }
    };
    TRipRun run;
    run.Encoders =
        settings.kind == OutputKind::Mp3 || settings.kind == OutputKind::Flac ? settings.jobs : 1;
    run.Stop = &interruptionRequested;
    run.AbortIndicator = &abortIndicator;
    run.OnTrackStart = [&](const TTrackPlan& track) {
        endProgress();
        progress.emplace(out, terminal, track.FileName);
    };
    session.OnSecondReading = [&](const TTrackPlan& track) {
        endProgress();
        out << printable(track.FileName)
            << ": not confirmed by AccurateRip, read again with jitter "
               "correction\n";
        progress.emplace(out, terminal, track.FileName);
    };
    run.OnTrackEnd = [&](const TTrackOutcome& outcome) {
        endProgress();
        const std::string text = printable(TrackOutcomeText(outcome));
        if (outcome.End == TTrackEnd::Written) {
            out << text << '\n';
        } else {
            err << "varrow-rip: " << text << '\n';
        }
    };
    session.Run(run);
    endProgress();
    reportRip(session, out, err);
    const TRipSummary summary = session.Summary();
    if (!summary.CoverPath.empty()) {
        out << printable(summary.CoverPath) << ": front cover\n";
    }
    if (!summary.CoverNote.empty()) {
        err << "varrow-rip: " << printable(summary.CoverNote) << '\n';
    }
    for (const std::string& failure : summary.AlbumGainFailures) {
        err << "varrow-rip: the album's ReplayGain was not set in " << printable(failure) << '\n';
    }
    return exitStatus(summary);
}

int verifyLog(const std::string& path, std::ostream& out, std::ostream& err) {
    std::string error;
    switch (CheckLogFile(path, error)) {
    case TLogCheck::Intact:
        out << path << ": intact\n";
        return EXIT_WRITTEN;
    case TLogCheck::Changed:
        err << "varrow-rip: " << path << ": changed since it was written (its SHA-256 differs)\n";
        return EXIT_FAILED;
    case TLogCheck::NotALog:
        err << "varrow-rip: " << path << ": not a rip log (no 'Log SHA-256' line)\n";
        break;
    case TLogCheck::Unreadable:
        err << "varrow-rip: cannot read " << path << ": " << error << '\n';
        break;
    }
    return EXIT_USAGE;
}

int findOffset(int32_t drive, bool save, std::ostream& out, std::ostream& err) {
    TCDRIP engine;
    if (!selectDisc(engine, drive, err)) {
        return EXIT_FAILED;
    }
    // An interruption stops the lookup as it stops a read.
    std::stop_source stop;
    std::jthread watcher([&stop](std::stop_token done) {
        while (!done.stop_requested() && !interruptionRequested) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        if (interruptionRequested) {
            stop.request_stop();
        }
    });
    const TOffsetResult result = FindDriveReadOffset(
        OnlineToc(engine), &abortIndicator,
        [&out](int percent) { out << "Searching: " << percent << "%\n"
                                  << std::flush; },
        stop.get_token());
    watcher.request_stop();
    watcher.join();
    if (result.Kind == TOffsetResult::TKind::Cancelled || interruptionRequested) {
        err << "varrow-rip: " << OffsetResultText(result) << '\n';
        return EXIT_INTERRUPTED;
    }
    if (result.Kind != TOffsetResult::TKind::Found) {
        err << "varrow-rip: " << printable(OffsetResultText(result)) << '\n';
        return EXIT_FAILED;
    }
    out << OffsetResultText(result) << '\n';
    const std::string name = printable(driveEntry(drive, engine.CDRomName()));
    if (!save) {
        out << "Drive " << name << " reads with offset " << engine.ReadOffset()
            << "; run again with --save to store " << result.Offset << " for it.\n";
        return EXIT_WRITTEN;
    }
    engine.setReadOffset(result.Offset);
    if (!engine.ApplyParameters()) {
        err << "varrow-rip: the drive refused the read offset\n";
        return EXIT_FAILED;
    }
    CR_SaveSettings();
    if (const std::string error = CR_GetSettingsSaveError(); !error.empty()) {
        err << "varrow-rip: the read offset is not saved: " << printable(error) << '\n';
        return EXIT_FAILED;
    }
    out << "Saved for drive " << name << ".\n";
    return EXIT_WRITTEN;
}

void requestInterruption() {
    interruptionRequested = true;
    abortIndicator = CR_TRUE;
}

void clearInterruption() {
    interruptionRequested = false;
    abortIndicator = CR_FALSE;
}

} // namespace varrowrip
