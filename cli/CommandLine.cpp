#include "CommandLine.h"

#include "CdRip_dll.h"

#include <algorithm>
#include <charconv>
#include <limits>
#include <thread>

namespace varrowrip {
namespace {

// The bitrates of the window's MP3 dialog, in kbit/s; the encoder picks a
// stream rate that carries each of them.
constexpr uint32_t BITRATES[] = {8,  16,  24,  32,  40,  48,  56,  64,  80,
                                 96, 112, 128, 144, 160, 192, 224, 256, 320};
// An audio CD holds at most 99 tracks; images and virtual discs may hold more.
constexpr int32_t MAX_TRACK = 999;
// More encoders than tracks on a disc would only wait.
constexpr int32_t MAX_JOBS = 99;

int64_t parseNumber(const std::string& text, const std::string& what, int64_t low, int64_t high) {
    int64_t value = 0;
    const char* end = text.data() + text.size();
    const auto [rest, error] = std::from_chars(text.data(), end, value);
    if (text.empty() || error != std::errc() || rest != end || value < low || value > high) {
        throw UsageError("invalid " + what + " '" + text + "'");
    }
    return value;
}

uint32_t parseBitrate(const std::string& text, const std::string& what) {
    const auto value = static_cast<uint32_t>(parseNumber(text, what, 0, 1000));
    if (std::find(std::begin(BITRATES), std::end(BITRATES), value) == std::end(BITRATES)) {
        throw UsageError("invalid " + what + " '" + text +
                         "' (one of 8 16 24 32 40 48 56 64 80 96 112 128 144 160 192 224 256 320)");
    }
    return value;
}

template <typename Value>
Value parseChoice(const std::string& text, const std::string& what,
                  std::initializer_list<std::pair<const char*, Value>> choices) {
    for (const auto& [name, value] : choices) {
        if (text == name) {
            return value;
        }
    }
    throw UsageError("invalid " + what + " '" + text + "'");
}

} // namespace

int32_t defaultJobs() {
    return static_cast<int32_t>(
        std::clamp<unsigned>(std::thread::hardware_concurrency(), 1, MAX_JOBS));
}

std::vector<int32_t> parseTrackList(const std::string& text) {
    std::vector<int32_t> tracks;
    std::size_t start = 0;
    while (start <= text.size()) {
        const std::size_t comma = std::min(text.find(',', start), text.size());
        const std::string item = text.substr(start, comma - start);
        const std::size_t dash = item.find('-');
        // A range names itself; anything else, "-1" too, is a bad number.
        const bool range = dash != std::string::npos && dash > 0;
        const std::string what = range ? "track range" : "track number";
        int64_t first = 0;
        int64_t last = 0;
        try {
            if (!range) {
                first = last = parseNumber(item, what, 0, MAX_TRACK);
            } else {
                first = parseNumber(item.substr(0, dash), what, 0, MAX_TRACK);
                last = parseNumber(item.substr(dash + 1), what, 0, MAX_TRACK);
            }
        } catch (const UsageError&) {
            throw UsageError("invalid " + what + " '" + item + "'");
        }
        if (last < first) {
            throw UsageError("invalid track range '" + item + "'");
        }
        for (int64_t track = first; track <= last; ++track) {
            if (std::find(tracks.begin(), tracks.end(), track) == tracks.end()) {
                tracks.push_back(static_cast<int32_t>(track));
            }
        }
        start = comma + 1;
    }
    return tracks;
}

std::pair<int32_t, std::string> parseTitle(const std::string& text) {
    const std::size_t equals = text.find('=');
    if (equals == std::string::npos || equals + 1 == text.size()) {
        throw UsageError("invalid title '" + text + "' (give it as N=TEXT)");
    }
    int32_t track = 0;
    try {
        track = static_cast<int32_t>(parseNumber(text.substr(0, equals), "", 1, MAX_TRACK));
    } catch (const UsageError&) {
        throw UsageError("invalid track number in title '" + text + "'");
    }
    return {track, text.substr(equals + 1)};
}

CommandLine parseCommandLine(const std::vector<std::string>& arguments) {
    CommandLine command;
    if (arguments.empty()) {
        throw UsageError("no command given");
    }
    const std::string& verb = arguments.front();
    if (verb == "drives") {
        command.action = Action::Drives;
    } else if (verb == "toc") {
        command.action = Action::Toc;
    } else if (verb == "rip") {
        command.action = Action::Rip;
    } else if (verb == "offset") {
        command.action = Action::Offset;
    } else if (verb == "help" || verb == "--help" || verb == "-h") {
        command.action = Action::Help;
        return command;
    } else if (verb == "--version") {
        command.action = Action::Version;
        return command;
    } else {
        throw UsageError("unknown command '" + verb + "'");
    }

    RipSettings& rip = command.rip;
    bool maxBitrateGiven = false;
    bool mixGiven = false;
    std::vector<std::string> given;
    for (std::size_t i = 1; i < arguments.size(); ++i) {
        const std::string& option = arguments[i];
        // A second value would silently win over the first; titles are
        // given one a track.
        if (option != "--title" && std::find(given.begin(), given.end(), option) != given.end()) {
            throw UsageError("option " + option + " is given more than once");
        }
        given.push_back(option);
        const auto value = [&]() -> const std::string& {
            if (i + 1 >= arguments.size()) {
                throw UsageError("option " + option + " needs a value");
            }
            return arguments[++i];
        };
        const bool ripOnly = option != "--drive" && option != "--no-cd-text" && option != "--title";
        const bool fits = command.action == Action::Offset
                              ? option == "--drive" || option == "--save"
                              : option != "--save";
        if (command.action == Action::Drives || (command.action == Action::Toc && ripOnly) ||
            !fits) {
            throw UsageError("option '" + option + "' does not apply to '" + verb + "'");
        }
        if (option == "--drive") {
            command.drive = static_cast<int32_t>(
                parseNumber(value(), "drive number", 0, std::numeric_limits<int32_t>::max()));
        } else if (option == "--save") {
            command.save = true;
        } else if (option == "--tracks") {
            rip.tracks = parseTrackList(value());
        } else if (option == "--format") {
            rip.kind = parseChoice<OutputKind>(
                value(), "format",
                {{"wav", OutputKind::Wav}, {"pcm", OutputKind::Pcm}, {"mp3", OutputKind::Mp3}});
        } else if (option == "--out") {
            rip.folder = value();
            if (rip.folder.empty()) {
                throw UsageError("option --out needs a folder");
            }
        } else if (option == "--bitrate") {
            rip.bitrate = parseBitrate(value(), "bitrate");
        } else if (option == "--vbr") {
            rip.vbr = true;
        } else if (option == "--max-bitrate") {
            rip.maxBitrate = parseBitrate(value(), "maximum bitrate");
            maxBitrateGiven = true;
        } else if (option == "--mode") {
            rip.mode = parseChoice<TLameMode>(
                value(), "mode",
                {{"stereo", STEREO}, {"joint", JSTEREO}, {"dual", DUALCHANNEL}, {"mono", MONO}});
        } else if (option == "--mix") {
            rip.monoDownMixType =
                parseChoice<uint8_t>(value(), "mix", {{"mix", 0}, {"left", 1}, {"right", 2}});
            mixGiven = true;
        } else if (option == "--quality") {
            rip.quality = parseChoice<MPEG_QUALITY>(value(), "quality",
                                                    {{"normal", NORMAL_QUALITY},
                                                     {"low", LOW_QUALITY},
                                                     {"high", HIGH_QUALITY},
                                                     {"voice", VOICE_QUALITY}});
        } else if (option == "--no-jitter-correction") {
            rip.jitterCorrection = false;
        } else if (option == "--speed") {
            rip.speed = static_cast<int32_t>(parseNumber(value(), "speed", 0, CR_MAX_SPEED));
        } else if (option == "--offset") {
            rip.offset = static_cast<int32_t>(
                parseNumber(value(), "read offset", -CR_MAX_READ_OFFSET, CR_MAX_READ_OFFSET));
        } else if (option == "--overread") {
            rip.overread = true;
        } else if (option == "--jobs") {
            rip.jobs = static_cast<int32_t>(parseNumber(value(), "number of jobs", 1, MAX_JOBS));
        } else if (option == "--no-number") {
            rip.numberInName = false;
        } else if (option == "--no-cd-text") {
            rip.useCdText = false;
        } else if (option == "--title") {
            auto [track, title] = parseTitle(value());
            if (!rip.titles.emplace(track, std::move(title)).second) {
                throw UsageError("track " + std::to_string(track) + " is given two titles");
            }
        } else {
            throw UsageError("unknown option '" + option + "'");
        }
    }
    if (maxBitrateGiven && !rip.vbr) {
        throw UsageError("--max-bitrate applies only with --vbr");
    }
    if (mixGiven && rip.mode != MONO) {
        throw UsageError("--mix applies only with --mode mono");
    }
    // As the MP3 dialog refuses it: the voice setting encodes one channel.
    if (rip.quality == VOICE_QUALITY && rip.mode != MONO) {
        throw UsageError("--quality voice applies only with --mode mono");
    }
    if (rip.vbr && rip.maxBitrate < rip.bitrate) {
        throw UsageError("the maximum bitrate is below the bitrate");
    }
    return command;
}

std::string usageText() {
    return "Usage:\n"
           "  varrow-rip drives\n"
           "  varrow-rip toc [--drive N] [--no-cd-text] [--title N=TEXT]...\n"
           "  varrow-rip rip [--drive N] [--tracks 1,3-5] [--format wav|pcm|mp3] [--out DIR]\n"
           "                 [--bitrate K] [--vbr --max-bitrate K] "
           "[--mode stereo|joint|dual|mono]\n"
           "                 [--mix mix|left|right] [--quality normal|low|high|voice]\n"
           "                 [--no-jitter-correction] [--speed N] [--no-number] [--jobs N]\n"
           "                 [--offset N] [--overread] [--no-cd-text] [--title N=TEXT]...\n"
           "\n"
           "drives  lists the CD drives and disc images ([N]: identification)\n"
           "toc     lists the tracks: number, type, start and end sector, bytes, play time,\n"
           "        title and performer, and the track's pregap; the disc's album and\n"
           "        performer first; track 00 is audio a disc hides before track 1\n"
           "offset  finds the drive's read offset with a disc the AccurateRip database\n"
           "        knows (VARROW_ACCURATERIP_URL names another server); --save stores it\n"
           "        for the drive\n"
           "rip     writes one file per track, NN_TITLE.wav|.pcm|.mp3; a complete track\n"
           "        replaces an existing file, an incomplete one never does; default:\n"
           "        every audio track, WAV, the current folder, MP3 at 128 kbit/s joint\n"
           "        stereo, jitter correction on\n"
           "--jobs  MP3: the tracks are read in order by one reader and encoded by up to N\n"
           "        encoders at once (default: the number of cores, " +
           std::to_string(defaultJobs()) +
           " here); at most N+1\n"
           "        tracks' audio waits, in unlinked temporary files in the output folder,\n"
           "        fewer when its disk has no room; the files are the same for every N.\n"
           "        WAV and PCM ignore it.\n"
           "--offset  the drive's read offset in samples (-5000 to 5000) for this run, in\n"
           "        place of the one stored for the drive; samples it moves past the disc's\n"
           "        ends are silence unless --overread lets the drive read its lead-in and\n"
           "        lead-out (disc images cannot)\n"
           "\n"
           "Titles: a --title given for a track (one --title per track) is used as it is\n"
           "typed; otherwise the disc's CD-Text title, with '/' written as U+2215 in file\n"
           "names; otherwise TrackNN. --no-cd-text ignores the disc's CD-Text.\n"
           "\n"
           "Exit status: 0 every file written, 1 a drive, disc or track failed or lost\n"
           "sectors or the output could not be written, 2 bad usage, 130 interrupted\n"
           "(each track in hand keeps a valid, shorter file where there was none; an\n"
           "existing file stays as it was).\n"
           "Disc images: list their paths in VARROW_CD_IMAGES, separated by ':'.\n";
}

} // namespace varrowrip
