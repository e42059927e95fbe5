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

enum class Action { Drives, Toc, Rip, Offset, Help, Version };
enum class OutputKind { Wav, Pcm, Mp3 };

// The encoders an MP3 rip runs at once unless told: one per core.
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
    bool jitterCorrection = true;
    std::optional<int32_t> speed;
    // The drive's read offset for this run, in place of the stored one;
    // reading into the lead-in and lead-out where the offset reaches.
    std::optional<int32_t> offset;
    bool overread = false;
    bool numberInName = true;
    // MP3 only: one reader, up to this many encoders at once.
    int32_t jobs = defaultJobs();
    // Titles from the disc's CD-Text name the files unless switched off;
    // titles given on the command line (track number -> title) win over them.
    bool useCdText = true;
    std::map<int32_t, std::string> titles;
};

struct CommandLine {
    Action action = Action::Help;
    int32_t drive = 0;
    // offset: store the offset found for the drive.
    bool save = false;
    RipSettings rip;
};

// Raises UsageError for anything it does not understand.
CommandLine parseCommandLine(const std::vector<std::string>& arguments);

// "3=Morning Tram" -> track 3 and its title.
std::pair<int32_t, std::string> parseTitle(const std::string& text);

// "1,3-5" -> 1 3 4 5, in the order given, each number once.
std::vector<int32_t> parseTrackList(const std::string& text);

std::string usageText();

} // namespace varrowrip
