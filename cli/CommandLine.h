// SPDX-License-Identifier: GPL-3.0-or-later
// The command line of varrow-rip: what to do and with which settings.
#pragma once

#include "LameCoder.h"

#include <cstdint>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace varrowrip {

// A command line that cannot be run; the text says what is wrong.
class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

enum class Action { Drives, Toc, Rip, VerifyLog, Offset, Help, Version };
enum class OutputKind { Wav, Pcm, Mp3, Flac };

// The encoders an MP3 or FLAC rip runs at once unless told: one per core.
int32_t defaultJobs();

struct RipSettings {
    std::vector<int32_t> tracks; // 1-based; empty: every audio track
    OutputKind kind = OutputKind::Wav;
    std::string folder = ".";
    uint32_t bitrate = 128;
    bool vbr = false;
    uint32_t maxBitrate = 320;
    TLameMode mode = JSTEREO;
    uint8_t monoDownMixType = 0; // 0 mix, 1 left, 2 right
    MPEG_QUALITY quality = NORMAL_QUALITY;
    // FLAC: 0 (fastest) to 8 (smallest files).
    uint32_t compression = 5;
    // MP3 and FLAC: the track's and the album's ReplayGain in the tags.
    bool replayGain = true;
    bool jitterCorrection = true;
    // Each track read without jitter correction, and again with it where
    // AccurateRip does not confirm the reading.
    bool secure = false;
    std::optional<int32_t> speed;
    // The drive's read offset for this run, in place of the stored one;
    // reading into the lead-in and lead-out where the offset reaches.
    std::optional<int32_t> offset;
    bool overread = false;
    bool numberInName = true;
    // MP3 and FLAC: one reader, up to this many encoders at once.
    int32_t jobs = defaultJobs();
    // Titles from the disc's CD-Text name the files unless switched off;
    // titles given on the command line (track number -> title) win over them.
    bool useCdText = true;
    std::map<int32_t, std::string> titles;
    // The disc's names looked up in MusicBrainz: they come after the titles
    // given and before the CD-Text. `releaseId` chooses among the releases
    // the disc is on; empty takes the one the lookup preselects.
    bool lookup = true;
    std::string releaseId;
};

struct CommandLine {
    Action action = Action::Help;
    int32_t drive = 0;
    // offset: store the offset found for the drive.
    bool save = false;
    RipSettings rip;
    // verify-log: the log to check.
    std::string logPath;
};

// Raises UsageError for anything it does not understand.
CommandLine parseCommandLine(const std::vector<std::string>& arguments);

// "3=Morning Tram" -> track 3 and its title.
std::pair<int32_t, std::string> parseTitle(const std::string& text);

// "1,3-5" -> 1 3 4 5, in the order given, each number once.
std::vector<int32_t> parseTrackList(const std::string& text);

std::string usageText();

} // namespace varrowrip
