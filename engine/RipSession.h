// The rip session: the rules of a rip, the same for the window and for
// varrow-rip. A plan names every track of the disc from the user's choices
// (its title, file, tags and the room its file needs); the session then
// rips the chosen tracks, one at a time on the caller's word (the window)
// or all of them with encoders beside the reader (varrow-rip), and keeps
// each track's outcome. The summary says what the rip came to.
//
// The session runs on the thread that made it; the encoders it starts for
// Run() end before Run() returns.
#pragma once

#include "CDRIP.h"

#include <atomic>
#include <cstdint>
#include <deque>
#include <exception>
#include <functional>
#include <map>
#include <string>
#include <vector>

enum class TRipFormat { Wav, Pcm, Mp3 };

// What the user chose for one rip.
struct TRipChoices {
    TRipFormat Format = TRipFormat::Wav;
    // Where the files go; empty for the current folder.
    std::string Folder;
    // The tracks to write (1-based numbers), in the order they are written.
    std::vector<int32_t> Tracks;
    // The track's number and "_" before its title ("03_Title.wav").
    bool NumberInName = true;
    // The disc's CD-Text names the tracks and fills their tags.
    bool UseDiscText = true;
    // Titles the user typed, by track number; they come before the disc's.
    std::map<int32_t, std::string> TypedTitles;
};

// One track of the disc as the rip would write it.
struct TTrackPlan {
    int32_t Number = 0;
    bool Audio = false;
    // The title shown: the one typed, else the disc's CD-Text title (audio
    // tracks), else the track's name TrackNN.
    std::string Title;
    // The track's own performer from the CD-Text; empty when it names none.
    std::string Performer;
    // The file's name in the folder, and the folder with it. The chosen
    // tracks' names are distinct: a later track whose name an earlier one
    // took is written as "Title (2).wav".
    std::string FileName;
    std::string Path;
    TTrackTags Tags;
    // The bytes its file is expected to take: the audio for WAV and PCM,
    // (Size div 1411) x the bitrate for MP3.
    int64_t EstimatedBytes = 0;
};

struct TRipPlan {
    TRipFormat Format = TRipFormat::Wav;
    // Ends with '/' unless empty.
    std::string Folder;
    std::string Extension;
    // Every track of the disc, in the table's order, after the hidden track
    // (number 0) when the disc has one.
    std::vector<TTrackPlan> Tracks;
    // The numbers of the tracks to write, in the order they are written.
    std::vector<int32_t> Chosen;
    // The bytes the chosen audio tracks' files are expected to take
    // together: their audio bytes S for WAV and PCM; for MP3
    // round(S / 1411 x bitrate), or with variable bitrate
    // round((bitrate + maximum bitrate x 0.1) x S / 1411).
    int64_t EstimatedBytes = 0;

    // Raises std::out_of_range for a number the disc does not have.
    const TTrackPlan& Track(int32_t number) const;
};

// Plans a rip of the disc in `engine`; an MP3 rip takes its extension and
// bitrates from the engine's coder, which must be set.
TRipPlan PlanRip(const TCDRIP& engine, const TRipChoices& choices);

// A title the disc gave a track, as a file name that stays in its folder and
// that a shell or file manager takes as it is: '/' becomes the look-alike
// U+2215 (DIVISION SLASH), control characters become blanks, blanks at both
// ends and leading '.' and '-' go, and the name is cut to 200 bytes at a
// whole character. Empty when nothing is left. Titles the user typed are
// never changed this way.
std::string FileNameFromDiscTitle(const std::string& title);

// `text` with its control characters (C0, DEL and C1) as blanks: what a
// tag, a file name or a terminal may show of a text from a disc.
std::string TextWithoutControls(const std::string& text);

// How a track's part in a rip ended.
enum class TTrackEnd {
    Written,     // read whole, and its file is under its name
    Partial,     // read to its end, but sectors could not be read
    Kept,        // not read: a file was under its name, and the user kept it
    Failed,      // an error ended it; Failure says which
    Skipped,     // not read: Failure says why (a data track, no room)
    Interrupted, // stopped before its end, or before it began
};

struct TTrackOutcome {
    int32_t Number = 0;
    std::string Path{};
    TTrackEnd End = TTrackEnd::Skipped;
    // What is under the track's name now.
    TOutputOutcome File = TOutputOutcome::None;
    // Reading began (an interruption may come before).
    bool Started = false;
    std::string Failure{};
    int32_t LostSectors = 0;
    std::vector<TSectorRange> LostRanges{};
    int32_t JitterErrors = 0;
    std::vector<std::string> JitterPositions{};
    // Samples the read offset moved past the disc's ends, written as
    // silence, and the offset the track was read with.
    int64_t SilencedSamples = 0;
    int32_t ReadOffset = 0;
    // The size of the file written.
    uint64_t Bytes = 0;
};

// The line that reports an outcome, as varrow-rip prints it: a track
// written ("<path>: <bytes> bytes, jitter errors: <n>[ at <positions>]"),
// else what happened and what is left under the track's name. A track
// with samples past the disc's ends says so after.
std::string TrackOutcomeText(const TTrackOutcome& outcome);

// An error as the user reads it: the engine's text, with the reason when
// the error carries one.
std::string FailureText(const std::exception& error);

struct TRipSummary {
    int32_t Written = 0;
    int32_t Partial = 0;
    int32_t Kept = 0;
    int32_t Failed = 0;
    int32_t Skipped = 0;
    int32_t Interrupted = 0;
    // The tracks whose files hold silence where the disc could not be read.
    std::vector<int32_t> TracksWithLostSectors;
    // An interruption was asked for during Run().
    bool Stopped = false;

    // Every track the rip dealt with was written.
    bool AllWritten() const {
        return Partial + Kept + Failed + Skipped + Interrupted == 0 && !Stopped;
    }
};

// How Run() goes about the chosen tracks.
struct TRipRun {
    // MP3: tracks are read one after the other and encoded by up to this
    // many encoders beside the reader; 1 encodes each track as it is read.
    int32_t Encoders = 1;
    // Set from anywhere (a signal handler too) to interrupt the rip; the
    // abort indicator is set with it, so that a drive read in progress
    // stops at once. Either may be null.
    const std::atomic<bool>* Stop = nullptr;
    int32_t* AbortIndicator = nullptr;
    // Before a track is read, and for each outcome in the tracks' order
    // (on the caller's thread, as soon as the track and those before it
    // have ended).
    std::function<void(const TTrackPlan&)> OnTrackStart{};
    std::function<void(const TTrackOutcome&)> OnTrackEnd{};
    // The bytes the folder's volume has free for the user, -1 when unknown;
    // unset, the file system's answer. Tracks wait for the encoders only
    // while their audio fits.
    std::function<int64_t(const std::string& folder)> FreeBytes{};
};

class TRipSession final {
public:
    // `engine` has the disc the plan was made from, and outlives the session.
    TRipSession(TCDRIP& engine, TRipPlan plan);
    ~TRipSession();
    TRipSession(const TRipSession&) = delete;
    TRipSession& operator=(const TRipSession&) = delete;

    const TRipPlan& Plan() const { return plan_; }

    // Something is under the track's file name: a file, a folder, a link,
    // one that leads nowhere too. A complete track replaces it.
    bool NameTaken(int32_t number) const;

    // Rips one track on this thread with its tags, through the engine and
    // its events, and records its outcome. An error the engine raises is
    // recorded and raised again.
    const TTrackOutcome& RipTrack(int32_t number);
    // Records a track the rip leaves alone: one whose existing file the user
    // kept, or one skipped for `reason`.
    void Keep(int32_t number);
    void Skip(int32_t number, const std::string& reason);

    // Rips every chosen track in order; a data track is skipped, a failed
    // track does not stop the others, an interruption stops the rip.
    // Before the first track is read, the temporary files that programs no
    // longer running left in the folder are removed (RipTrack too).
    void Run(const TRipRun& run);

    // Every outcome recorded, in the order the tracks ended.
    const std::vector<TTrackOutcome>& Outcomes() const { return outcomes_; }
    TRipSummary Summary() const;

private:
    struct Pending;

    // Reads the track through the engine; an error it raises is kept in
    // `error` and in the outcome's Failure.
    TTrackOutcome readTrack(const TTrackPlan& track, std::exception_ptr& error);
    const TTrackOutcome& record(TTrackOutcome outcome, bool stopped);
    void removeLeftovers();
    // The audio of `track` fits on the folder's volume beside the MP3 files
    // of the tracks in flight.
    bool audioFits(const TTrackPlan& track, const std::deque<Pending>& inFlight,
                   const TRipRun& run) const;

    TCDRIP& engine_;
    TRipPlan plan_;
    std::vector<TTrackOutcome> outcomes_;
    bool stopped_ = false;
    bool leftoversRemoved_ = false;
};
