#include "Commands.h"

#include "CDRIP.h"
#include "EncoderPool.h"
#include "LameCoder.h"
#include "TrackEncoding.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <deque>
#include <filesystem>
#include <future>
#include <iomanip>
#include <iostream>
#include <sstream>
#include <utility>

namespace varrowrip {
namespace {

// Also the encoder threads' signal to stop.
std::atomic<bool> interruptionRequested = false;
static_assert(std::atomic<bool>::is_always_lock_free, "set from a signal handler");
// Handed to the engine, so that an interruption reaches the library's read
// in progress.
int32_t abortIndicator = CR_FALSE;

// Plain messages of the engine end the track they belong to; the command
// reports them with the track.
struct MessageCatcher {
    std::vector<std::string> messages;

    MessageCatcher() {
        EngineHooks hooks;
        hooks.showMessage = [this](const std::string& text) {
            messages.push_back(text);
        };
        hooks.processMessages = [] {
        };
        setEngineHooks(std::move(hooks));
    }
    ~MessageCatcher() { setEngineHooks({}); }
    MessageCatcher(const MessageCatcher&) = delete;
    MessageCatcher& operator=(const MessageCatcher&) = delete;
};

bool isBlankOrControl(char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte <= ' ' || byte == 0x7F;
}

// A text from the disc for the terminal: control characters, which could
// move the cursor or recolour it, become blanks.
std::string printable(const std::string& text) {
    std::string shown;
    for (std::size_t at = 0; at < text.size(); ++at) {
        const auto byte = static_cast<unsigned char>(text[at]);
        const bool c1Control =
            byte == 0xC2 && at + 1 < text.size() && static_cast<unsigned char>(text[at + 1]) < 0xA0;
        if (c1Control) {
            ++at;
        }
        shown += byte < 0x20 || byte == 0x7F || c1Control ? ' ' : text[at];
    }
    return shown;
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
    err << "varrow-rip: drive " << drive << " (" << name << ") cannot be read: " << problem << '\n';
}

// The track list's "Track" column: two digits up to 9, the plain number on.
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

// The engine's text, with the operating system's reason when it has one.
std::string failureText(const std::exception& exception) {
    std::string text = exception.what();
    if (const auto* error = dynamic_cast<const ECDRIPError*>(&exception);
        error != nullptr && error->ErrorNumber() != 0) {
        text += std::string(": ") + std::strerror(error->ErrorNumber());
    }
    return text;
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

// What an incomplete track left under its name.
std::string leftText(TOutputOutcome outcome, const std::string& path) {
    switch (outcome) {
    case TOutputOutcome::Partial:
        return path + " holds the audio read until then";
    case TOutputOutcome::ExistingKept:
        return path + " was left as it was";
    default:
        return "no file was written";
    }
}

void applyEncoderSettings(TLameCoder& coder, const RipSettings& settings) {
    coder.setBitrate(settings.bitrate);
    coder.setMaxBitrate(settings.maxBitrate);
    coder.setEnableVBR(settings.vbr);
    coder.setMode(settings.mode);
    coder.setQuality(settings.quality);
}

// What the extraction of one track left to say, taken from the engine when
// it returns; with parallel encoders the file's fate comes later.
struct TrackRead {
    int32_t number = 0;
    std::string path;
    bool interrupted = false;
    std::string failure;
    int32_t lostSectors = 0;
    std::vector<TSectorRange> lostRanges;
    int32_t jitterErrors = 0;
    std::vector<std::string> jitterPositions;
    // Valid when the track was handed to an encoder.
    std::future<TEncodingResult> encoding;
};

// Reports the track on `out` or `err` and returns its exit status.
int reportTrack(const TrackRead& read, TOutputOutcome outcome, std::ostream& out,
                std::ostream& err) {
    const std::string& path = read.path;
    const std::string number = TrackNumberText(read.number);
    // A track that was complete before the interruption is reported as such.
    if (read.interrupted && outcome != TOutputOutcome::Written) {
        err << "varrow-rip: interrupted; " << leftText(outcome, path) << '\n';
        return EXIT_INTERRUPTED;
    }
    if (!read.failure.empty()) {
        err << "varrow-rip: track " << number << " failed: " << read.failure;
        if (outcome != TOutputOutcome::None) {
            err << "; " << leftText(outcome, path);
        }
        err << '\n';
        return EXIT_FAILED;
    }
    if (read.lostSectors > 0) {
        // Silence where the disc could not be read is no copy of it.
        err << "varrow-rip: track " << number << " lost " << read.lostSectors
            << " unreadable sector" << (read.lostSectors == 1 ? "" : "s") << " at "
            << rangesText(read.lostRanges) << "; " << leftText(outcome, path) << '\n';
        return EXIT_FAILED;
    }
    std::error_code error;
    out << path << ": " << std::filesystem::file_size(path, error)
        << " bytes, jitter errors: " << read.jitterErrors;
    if (!read.jitterPositions.empty()) {
        out << " at";
        const char* separator = " ";
        for (const std::string& position : read.jitterPositions) {
            out << separator << position;
            separator = ", ";
        }
    }
    out << '\n';
    return EXIT_WRITTEN;
}

// The report of a track handed to an encoder, once its encoding ended.
int reportEncodedTrack(TrackRead& read, std::ostream& out, std::ostream& err) {
    TEncodingResult result;
    try {
        result = read.encoding.get();
    } catch (...) {
        result.error = std::current_exception();
    }
    read.interrupted = read.interrupted || result.stopped;
    if (read.failure.empty() && result.error) {
        try {
            std::rethrow_exception(result.error);
        } catch (const std::exception& exception) {
            read.failure = failureText(exception);
        } catch (...) {
            read.failure = "the encoder failed";
        }
    }
    return reportTrack(read, result.outcome, out, err);
}

bool encodingEnded(const TrackRead& read) {
    return read.encoding.wait_for(std::chrono::seconds(0)) == std::future_status::ready;
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

TrackTitle trackTitle(const TCDRIP& engine, std::size_t index, const RipSettings& settings) {
    const TTrackEntry& entry = engine.Tracks().at(index);
    if (const auto given = settings.titles.find(entry.Track.Number);
        given != settings.titles.end()) {
        return {given->second, given->second};
    }
    const std::vector<TTrackText>& texts = engine.DiscText().Tracks;
    if (settings.useCdText && entry.Track.TrackType == "Audio" && index < texts.size() &&
        !texts[index].Title.empty()) {
        const std::string name = FileNameFromDiscTitle(texts[index].Title);
        return {texts[index].Title, name.empty() ? entry.Name : name};
    }
    return {entry.Name, entry.Name};
}

std::string trackFileName(int32_t number, const std::string& title, const std::string& extension,
                          bool numberInName) {
    return (numberInName ? TrackNumberText(number) + "_" : std::string()) + title + extension;
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
    MessageCatcher catcher;
    TCDRIP engine;
    engine.setCDRomNum(0);
    const int32_t drives = CR_GetNumCDROM();
    if (drives <= 0) {
        err << "varrow-rip: no CD drive or disc image found\n" << NO_DRIVE_HINT;
        return EXIT_FAILED;
    }
    for (int32_t drive = 0; drive < drives; ++drive) {
        engine.setCDRomNum(drive);
        out << driveEntry(engine.CDRomNum(), engine.CDRomName()) << '\n';
    }
    return EXIT_WRITTEN;
}

int listTracks(int32_t drive, const RipSettings& settings, std::ostream& out, std::ostream& err) {
    MessageCatcher catcher;
    TCDRIP engine;
    if (!selectDrive(engine, drive, err)) {
        return EXIT_FAILED;
    }
    if (engine.Tracks().empty()) {
        reportNoDisc(engine, drive, err);
        return EXIT_FAILED;
    }
    if (!titlesFitTheDisc(engine, settings, err)) {
        return EXIT_USAGE;
    }
    const TDiscText& text = engine.DiscText();
    if (settings.useCdText) {
        if (!text.Title.empty()) {
            out << "Album: " << printable(text.Title) << '\n';
        }
        if (!text.Performer.empty()) {
            out << "Performer: " << printable(text.Performer) << '\n';
        }
    }
    for (std::size_t index = 0; index < engine.Tracks().size(); ++index) {
        const TTrackEntry& entry = engine.Tracks()[index];
        const TTrack& track = entry.Track;
        out << TrackNumberText(track.Number) << "  " << std::left << std::setw(5) << track.TrackType
            << std::right << "  " << std::setw(7) << track.StartSector << "  " << std::setw(7)
            << track.EndSector << "  " << std::setw(10) << track.Size << "  "
            << engine.TrackPlayTime(track);
        // Titles are listed where they are not the track's own name.
        if (const std::string title = trackTitle(engine, index, settings).shown;
            title != entry.Name) {
            out << "  " << printable(title);
        }
        if (settings.useCdText && index < text.Tracks.size() &&
            !text.Tracks[index].Performer.empty()) {
            out << "  (" << printable(text.Tracks[index].Performer) << ")";
        }
        out << '\n';
    }
    return EXIT_WRITTEN;
}

int ripTracks(int32_t drive, const RipSettings& settings, bool terminal, std::ostream& out,
              std::ostream& err) {
    MessageCatcher catcher;
    TLameCoder coder;
    TCDRIP engine;
    engine.setCoder(&coder);
    if (!selectDrive(engine, drive, err)) {
        return EXIT_FAILED;
    }
    if (engine.Tracks().empty()) {
        reportNoDisc(engine, drive, err);
        return EXIT_FAILED;
    }

    std::vector<int32_t> tracks = settings.tracks;
    if (tracks.empty()) {
        for (const TTrackEntry& entry : engine.Tracks()) {
            if (entry.Track.TrackType == "Audio") {
                tracks.push_back(entry.Track.Number);
            }
        }
    }
    if (tracks.empty()) {
        err << "varrow-rip: the disc has no audio track\n";
        return EXIT_FAILED;
    }
    for (int32_t number : tracks) {
        if (number > static_cast<int32_t>(engine.Tracks().size())) {
            err << "varrow-rip: there is no track " << number << " (the disc has "
                << engine.Tracks().size() << ")\n";
            return EXIT_USAGE;
        }
    }
    if (!titlesFitTheDisc(engine, settings, err)) {
        return EXIT_USAGE;
    }

    std::error_code error;
    std::filesystem::create_directories(settings.folder, error);
    if (!error && !std::filesystem::is_directory(settings.folder, error) && !error) {
        error = std::make_error_code(std::errc::not_a_directory);
    }
    if (error) {
        err << "varrow-rip: cannot use the folder " << settings.folder << ": " << error.message()
            << '\n';
        return EXIT_FAILED;
    }
    std::string folder = settings.folder;
    if (folder.back() != '/') {
        folder += '/';
    }

    // The settings the window gives its engine, then the command line's.
    engine.setEncode(settings.kind == OutputKind::Mp3);
    engine.setWriteWAV(settings.kind != OutputKind::Pcm);
    engine.setJitterCorrect(settings.jitterCorrection);
    engine.setMonoDownMixType(settings.monoDownMixType);
    if (settings.speed) {
        engine.setSpeed(*settings.speed);
    }
    applyEncoderSettings(coder, settings);
    const std::string extension = settings.kind == OutputKind::Mp3   ? coder.DefaultExt()
                                  : settings.kind == OutputKind::Wav ? std::string(".wav")
                                                                     : std::string(".pcm");

    engine.setAbortIndicator(&abortIndicator);
    // MP3 with more than one encoder: this thread reads the tracks in order
    // and hands each to the encoders as its reading begins; at most
    // tracksInFlight(jobs) are read or encoded at once. Reports come in track
    // order, each as soon as its track and those before it have ended.
    std::optional<EncoderPool> encoders;
    std::deque<TrackRead> pending;
    if (settings.kind == OutputKind::Mp3 && settings.jobs > 1) {
        encoders.emplace(settings.jobs, interruptionRequested);
        engine.setEncodingHandOff([&](std::shared_ptr<TTrackEncoding> encoding) {
            pending.back().encoding = encoders->add(std::move(encoding));
        });
    }
    constexpr auto POLL = std::chrono::milliseconds(50);
    int status = EXIT_WRITTEN;
    // Reports the tracks at the front whose encoding has ended; `all`: waits
    // for every one. Each ends: its reader has ended the audio, and an
    // interruption stops it within moments.
    const auto reportEnded = [&](bool all) {
        while (!pending.empty() && (all || encodingEnded(pending.front()))) {
            status = std::max(status, reportEncodedTrack(pending.front(), out, err));
            pending.pop_front();
        }
    };
    for (int32_t number : tracks) {
        while (encoders && !interruptionRequested.load() &&
               !encoders->waitUntilFewer(tracksInFlight(settings.jobs), POLL)) {
            reportEnded(false);
        }
        reportEnded(false);
        if (interruptionRequested.load()) {
            reportEnded(true);
            err << "varrow-rip: interrupted before track " << TrackNumberText(number)
                << "; its file was not touched\n";
            return EXIT_INTERRUPTED;
        }
        const TTrackEntry& entry = engine.Tracks()[static_cast<std::size_t>(number - 1)];
        if (entry.Track.TrackType != "Audio") {
            reportEnded(true);
            err << "varrow-rip: track " << TrackNumberText(number) << " is a data track: skipped\n";
            status = EXIT_FAILED;
            continue;
        }
        const auto index = static_cast<std::size_t>(number - 1);
        const TrackTitle title = trackTitle(engine, index, settings);
        const std::string name =
            trackFileName(number, title.inFileName, extension, settings.numberInName);
        ProgressDisplay progress(out, terminal, name);
        // The engine creates the file just before it reads the first chunk,
        // and reports every chunk: no report means no file was written (and
        // a file already there was left alone).
        int chunksReported = 0;
        engine.OnProgress = [&](TCDRIP& sender, uint16_t percent, int64_t jitterCount,
                                long double speed) {
            ++chunksReported;
            if (interruptionRequested.load()) {
                sender.AbortRip();
            }
            progress.update(percent, jitterCount, speed, settings.jitterCorrection);
        };
        catcher.messages.clear();
        // n/N as the window tags it: N counts every track of the table.
        engine.setTrackTags(TrackTagsOf(settings.useCdText ? engine.DiscText() : TDiscText{},
                                        number, static_cast<int32_t>(engine.Tracks().size()),
                                        title.shown));
        pending.emplace_back();
        TrackRead& read = pending.back();
        try {
            engine.RipTrack(number, folder, name);
        } catch (const std::exception& exception) {
            read.failure = failureText(exception);
        }
        progress.finish();
        read.number = number;
        read.path = folder + name;
        read.interrupted = interruptionRequested.load();
        if (read.failure.empty() && !catcher.messages.empty()) {
            read.failure = catcher.messages.front();
        }
        if (read.failure.empty() && chunksReported == 0) {
            read.failure = "the drive could not read the track";
        }
        read.lostSectors = engine.LostSectors();
        read.lostRanges = engine.LostRanges();
        read.jitterErrors = engine.JitterErrors();
        read.jitterPositions = engine.JitterPositions();
        const bool interrupted = read.interrupted;
        if (!read.encoding.valid()) {
            // Read and written here: reported at once, after the tracks before.
            const TrackRead done = std::move(read);
            pending.pop_back();
            reportEnded(true);
            status = std::max(status, reportTrack(done, engine.LastOutcome(), out, err));
        }
        if (interrupted) {
            reportEnded(true);
            return EXIT_INTERRUPTED;
        }
    }
    reportEnded(true);
    return status;
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
