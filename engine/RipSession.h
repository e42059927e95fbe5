// SPDX-License-Identifier: GPL-3.0-or-later
// The rip session: the rules of a rip, the same for the window and for
// varrow-rip. A plan names every track of the disc from the user's choices
// (its title, file, tags and the room its file needs); the session then
// rips the chosen tracks, one at a time on the caller's word (the window)
// or all of them with encoders beside the reader (varrow-rip), and keeps
// each track's outcome. MP3 and FLAC files get their ReplayGain: each track
// read whole its own when it is written, and the album's over those tracks
// once the last one is done. The summary says what the rip came to.
//
// The session runs on the thread that made it; the encoders it starts for
// Run() end before Run() returns.
#pragma once

#include "AccurateRipCheck.h"
#include "CDRIP.h"
#include "DiscMetadata.h"
#include "DiscToc.h"

#include <atomic>
#include <cstdint>
#include <deque>
#include <exception>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class TAlbumLoudness;

enum class TRipFormat { Wav, Pcm, Mp3, Flac };

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
    // Titles the user typed, by track number; they come before all others.
    std::map<int32_t, std::string> TypedTitles;
    // MP3 and FLAC files carry the ReplayGain of their track and album.
    bool ReplayGain = true;
    // The release the user chose (a MusicBrainz lookup): its titles come
    // after the typed ones and before the CD-Text, and its names and ids
    // fill the tags. None: the disc's own names.
    std::optional<online::DiscMetadata> Release;
    // The release's front cover ("image/jpeg" or "image/png"); empty for none.
    std::vector<uint8_t> Cover;
    std::string CoverMimeType;
};

// One track of the disc as the rip would write it.
struct TTrackPlan {
    int32_t Number = 0;
    bool Audio = false;
    // The title shown: the one typed, else the chosen release's, else the
    // disc's CD-Text title (audio tracks), else the track's name TrackNN.
    std::string Title;
    // The track's own performer: the release's where it is not the album's,
    // else the CD-Text's; empty when neither names one.
    std::string Performer;
    // The file's name in the folder, and the folder with it. The chosen
    // tracks' names are distinct: a later track whose name an earlier one
    // took is written as "Title (2).wav".
    std::string FileName;
    std::string Path;
    // Without the cover, which the plan holds once for every track.
    TTrackTags Tags;
    // The bytes its file is expected to take: the audio for WAV and PCM,
    // (Size div 1411) x the bitrate for MP3, three quarters of the audio
    // for FLAC.
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
    // round((bitrate + maximum bitrate x 0.1) x S / 1411); for FLAC 3/4 S
    // (CD audio takes half to two thirds of its size at the usual levels,
    // loud and noisy music the most).
    int64_t EstimatedBytes = 0;
    // The MP3 or FLAC files get their ReplayGain.
    bool ReplayGain = false;
    // The front cover: each track's tags take it as the track is read, and
    // the first file written puts it beside the files as CoverFileName
    // ("cover.jpg" or "cover.png"). Empty without a cover.
    std::vector<uint8_t> Cover;
    std::string CoverMimeType;
    std::string CoverFileName;

    // Raises std::out_of_range for a number the disc does not have.
    const TTrackPlan& Track(int32_t number) const;
    TTrackPlan& Track(int32_t number);
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
    Suspect,     // read whole twice in secure mode, the readings differ and
                 // AccurateRip confirms neither: the file, of the second
                 // (corrected) reading, may not be the disc's
    Partial,     // read to its end, but sectors could not be read
    Kept,        // not read: a file was under its name, and the user kept it
    Failed,      // an error ended it; Failure says which
    Skipped,     // not read: Failure says why (a data track, no room)
    Interrupted, // stopped before its end, or before it began
};

// The checksums of a track's reading, from the audio as it was read.
struct TTrackSums {
    // CRC-32 of the audio (zlib's): of the reading the file holds, and in
    // secure mode of the first reading when the track was read again.
    uint32_t CopyCrc = 0;
    std::optional<uint32_t> TestCrc;
    // AccurateRip's checksums: 44.1 kHz stereo audio only.
    std::optional<uint32_t> AccurateRipV1;
    std::optional<uint32_t> AccurateRipV2;
    std::optional<uint32_t> Frame450;
    // The largest sample value, 0 ... 32768.
    int Peak = 0;
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
    // Of the reading the file holds, once the track was read whole.
    std::optional<TTrackSums> Sums{};
    TAccurateRipResult AccurateRip{};
    // Secure mode read the track a second time, with jitter correction.
    bool ReadTwice = false;
    // Secure mode's two readings differ, and AccurateRip confirms neither.
    bool ReadingsDiffer = false;
};

// The line that reports an outcome, as varrow-rip prints it: a track
// written ("<path>: <bytes> bytes, jitter errors: <n>[ at <positions>], CRC
// <crc>, <AccurateRip result>"), a suspect one with both CRCs, else what
// happened and what is left under the track's name. A track with samples
// past the disc's ends says so after.
std::string TrackOutcomeText(const TTrackOutcome& outcome);

// A track's result in a few words, as the progress window shows it when the
// track ends: its AccurateRip result when it was read whole, else what
// happened ("Suspect: the two readings differ", "3 sectors lost", ...).
std::string TrackResultText(const TTrackOutcome& outcome);
// How the track's part in the rip ended, in a few words: "Written",
// "Suspect: the two readings differ", "3 sectors could not be read", ...
std::string TrackEndText(const TTrackOutcome& outcome);

// An error as the user reads it: the engine's text, with the reason when
// the error carries one.
std::string FailureText(const std::exception& error);

struct TRipSummary {
    int32_t Written = 0;
    int32_t Suspect = 0;
    int32_t Partial = 0;
    int32_t Kept = 0;
    int32_t Failed = 0;
    int32_t Skipped = 0;
    int32_t Interrupted = 0;
    // The tracks whose files hold silence where the disc could not be read.
    std::vector<int32_t> TracksWithLostSectors;
    // "<path>: <why>" for each file the album's ReplayGain could not be
    // written into; the file is whole, with its track's ReplayGain.
    std::vector<std::string> AlbumGainFailures;
    // An interruption was asked for during Run().
    bool Stopped = false;
    // The front cover beside the files: where it was saved, else why not
    // (a file was there already, or it could not be written: CoverFailed).
    std::string CoverPath;
    std::string CoverNote;
    bool CoverFailed = false;
    // Secure mode read these tracks twice.
    int32_t ReadTwice = 0;
    // The rip's AccurateRip results in one line: "AccurateRip: 11 of 12
    // tracks matched", or why there are none.
    std::string AccurateRip;

    // Every track the rip dealt with was written (and none is suspect),
    // with all its tags, and the cover could be.
    bool AllWritten() const {
        return Suspect + Partial + Kept + Failed + Skipped + Interrupted == 0 && !Stopped &&
               AlbumGainFailures.empty() && !CoverFailed;
    }
};

// The rip in one line, as its log and varrow-rip end with it: "11 of 12
// tracks written[, 1 suspect][, 2 read twice]; AccurateRip: ...".
std::string RipSummaryText(const TRipSummary& summary);

// What a rip wrote beside its tracks: its log and its cue sheet, named
// after the album (made safe as titles from a disc are), else "disc".
struct TRipRecords {
    std::string LogPath;
    std::string CueSheetPath;
    // Why one of them could not be written; empty when both were (or the
    // rip read no track, and wrote neither).
    std::string Problem;
};

// How Run() goes about the chosen tracks.
struct TRipRun {
    // MP3 and FLAC: tracks are read one after the other and encoded by up
    // to this many encoders beside the reader; 1 encodes each track as it
    // is read.
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

    // Looks the disc of `toc` up in the AccurateRip database from now on,
    // on a thread of its own; the tracks' results come from its answer. A
    // table that gives no AccurateRip disc leaves the tracks unchecked.
    void StartAccurateRip(const online::DiscToc& toc, TAccurateRipDatabase database);
    // Stops the lookup (the disc changed); tracks not yet judged find the
    // database unavailable.
    void StopAccurateRip();
    // The disc the database is asked about; none before StartAccurateRip
    // or when its table gives none.
    const online::AccurateRipDisc* AccurateRipDisc() const;
    // Why the database gave no answer, in one line for the user: it could
    // not be reached, the table of contents gives no disc, ...; empty when
    // it answered or has not yet, and when no track was read, since such a
    // rip has nothing to prove whenever the lookup happened to end.
    std::string AccurateRipProblem() const;

    // Before a track of a secure rip is read again, with jitter correction.
    std::function<void(const TTrackPlan&)> OnSecondReading;

    // Rips one track on this thread with its tags, through the engine and
    // its events, and records its outcome. An error the engine raises is
    // recorded and raised again. In secure mode (the engine's SecureMode)
    // the track is read without jitter correction, and again with it when
    // AccurateRip does not confirm the first reading; waiting for the
    // database lets the application's messages run (EngineHooks). The
    // track's AccurateRip result waits for the database's answer when it
    // has not come yet (Finish).
    const TTrackOutcome& RipTrack(int32_t number);
    // Records a track the rip leaves alone: one whose existing file the user
    // kept, or one skipped for `reason`.
    void Keep(int32_t number);
    void Skip(int32_t number, const std::string& reason);

    // Rips every chosen track in order; a data track is skipped, a failed
    // track does not stop the others, an interruption stops the rip.
    // Before the first track is read, the temporary files that programs no
    // longer running left in the folder are removed (RipTrack too). Once
    // the last track is done, and unless the rip was interrupted, the
    // album's ReplayGain goes into its files (TagAlbum).
    void Run(const TRipRun& run);

    // The album's ReplayGain, over the tracks of this rip read whole and
    // placed, goes into each of their files, for the window after its last
    // row. The tags are set in place where the files have room (they do as
    // this program writes them); a file whose tags cannot be set stays
    // whole and is named in the summary. Once per rip; nothing without
    // ReplayGain or without such a track.
    void TagAlbum();

    // Ends the rip: tracks still waiting for the database's answer wait for
    // it (at most as long as a lookup takes, `whileWaiting` between short
    // waits; it answering false stops waiting), then the log and the cue
    // sheet are written beside the files, each whole under its name or not
    // at all, when a track's file was placed and Run() was not interrupted. A log or
    // cue sheet the program wrote before is replaced; any other file of that
    // name stays, and the new one takes a name of its own ("disc (2).log").
    const TRipRecords& Finish(const std::function<bool()>& whileWaiting = {});

    // Every outcome recorded, in the order the tracks ended. The first one
    // with a file puts the plan's cover beside it: whole under its name, or
    // not at all, and never over a file that is there.
    const std::vector<TTrackOutcome>& Outcomes() const { return outcomes_; }
    TRipSummary Summary() const;
    // The log as Finish writes it, last line and all.
    std::string LogText() const;

private:
    struct Pending;

    // Reads the track through the engine, with jitter correction as
    // `correction` says (unset: as the engine has it); an error it raises is
    // kept in `error` and in the outcome's Failure.
    TTrackOutcome readTrack(const TTrackPlan& track, std::exception_ptr& error,
                            std::optional<bool> correction = std::nullopt);
    // Secure mode: the first reading (without jitter correction) stands.
    bool firstReadingStands(TTrackOutcome& first, const std::function<bool()>& whileWaiting);
    // Secure mode: what the second reading makes of the track.
    TTrackOutcome secondOpinion(const TTrackOutcome& first, TTrackOutcome second) const;
    // Sets the track's AccurateRip result from the database's answer.
    void judge(TTrackOutcome& outcome) const;
    bool readsSecurely() const { return engine_.SecureMode(); }
    const TTrackOutcome& record(TTrackOutcome outcome, bool stopped);
    void removeLeftovers();
    void saveCover();
    // The audio of `track` fits on the folder's volume beside the encoded files
    // of the tracks in flight.
    bool audioFits(const TTrackPlan& track, const std::deque<Pending>& inFlight,
                   const TRipRun& run) const;

    TCDRIP& engine_;
    TRipPlan plan_;
    std::vector<TTrackOutcome> outcomes_;
    bool stopped_ = false;
    bool leftoversRemoved_ = false;
    // The loudness of the tracks read whole, with ReplayGain; and whether
    // the album's values went into the files.
    std::unique_ptr<TAlbumLoudness> album_;
    bool albumTagged_ = false;
    std::vector<std::string> albumGainFailures_;
    bool coverTried_ = false;
    std::string coverPath_;
    std::string coverNote_;
    bool coverFailed_ = false;
    std::unique_ptr<TAccurateRipCheck> accurateRip_;
    // Why the table gives no AccurateRip disc.
    std::string accurateRipProblem_;
    std::optional<TRipRecords> records_;
};
