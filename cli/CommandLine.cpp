// SPDX-License-Identifier: GPL-3.0-or-later
#include "CommandLine.h"

#include "CdRip_dll.h"
#include "FlacEncoder.h"
#include "ReleaseChoice.h"

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
    } else if (verb == "verify-log") {
        if (arguments.size() != 2 || arguments[1].empty()) {
            throw UsageError("verify-log needs the log file, and nothing else");
        }
        command.action = Action::VerifyLog;
        command.logPath = arguments[1];
        return command;
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
    bool compressionGiven = false;
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
        const bool ripOnly = option != "--drive" && option != "--no-cd-text" &&
                             option != "--title" && option != "--no-lookup" &&
                             option != "--release";
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
            rip.kind = parseChoice<OutputKind>(value(), "format",
                                               {{"wav", OutputKind::Wav},
                                                {"pcm", OutputKind::Pcm},
                                                {"mp3", OutputKind::Mp3},
                                                {"flac", OutputKind::Flac}});
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
        } else if (option == "--compression") {
            rip.compression = static_cast<uint32_t>(
                parseNumber(value(), "compression level", 0, FLAC_MOST_COMPRESSION));
            compressionGiven = true;
        } else if (option == "--no-replaygain") {
            rip.replayGain = false;
        } else if (option == "--no-jitter-correction") {
            rip.jitterCorrection = false;
        } else if (option == "--secure") {
            rip.secure = true;
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
        } else if (option == "--no-lookup") {
            rip.lookup = false;
        } else if (option == "--release") {
            rip.releaseId = value();
            if (!online::isMusicBrainzId(rip.releaseId)) {
                throw UsageError("invalid release '" + rip.releaseId +
                                 "' (give its MusicBrainz ID, as in its page's address)");
            }
        } else if (option == "--title") {
            auto [track, title] = parseTitle(value());
            if (!rip.titles.emplace(track, std::move(title)).second) {
                throw UsageError("track " + std::to_string(track) + " is given two titles");
            }
        } else {
            throw UsageError("unknown option '" + option + "'");
        }
    }
    if (!rip.lookup && !rip.releaseId.empty()) {
        throw UsageError("--release needs the lookup that --no-lookup leaves out");
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
    // Secure reading turns jitter correction on where it reads again.
    if (rip.secure && !rip.jitterCorrection) {
        throw UsageError("--secure and --no-jitter-correction exclude each other");
    }
    if (rip.vbr && rip.maxBitrate < rip.bitrate) {
        throw UsageError("the maximum bitrate is below the bitrate");
    }
    if (compressionGiven && rip.kind != OutputKind::Flac) {
        throw UsageError("--compression applies only with --format flac");
    }
    if (!rip.replayGain && rip.kind != OutputKind::Mp3 && rip.kind != OutputKind::Flac) {
        throw UsageError("--no-replaygain applies only with --format mp3 or flac");
    }
    return command;
}

std::string usageText() {
    return "Usage:\n"
           "  varrow-rip drives\n"
           "  varrow-rip toc [--drive N] [--no-cd-text] [--title N=TEXT]...\n"
           "                 [--no-lookup | --release MBID]\n"
           "  varrow-rip offset [--drive N] [--save]\n"
           "  varrow-rip verify-log FILE\n"
           "  varrow-rip rip [--drive N] [--tracks 1,3-5] [--format wav|pcm|mp3|flac]\n"
           "                 [--out DIR] [--bitrate K] [--vbr --max-bitrate K]\n"
           "                 [--mode stereo|joint|dual|mono] [--mix mix|left|right]\n"
           "                 [--quality normal|low|high|voice] [--compression N]\n"
           "                 [--no-replaygain] [--no-jitter-correction | --secure]\n"
           "                 [--speed N] [--no-number] [--jobs N] [--offset N] [--overread]\n"
           "                 [--no-cd-text] [--title N=TEXT]... [--no-lookup | --release MBID]\n"
           "\n"
           "drives  lists the CD drives and disc images ([N]: identification)\n"
           "toc     lists the tracks: number, type, start and end sector, bytes, play time,\n"
           "        title and performer, and the track's pregap; the release, the album and\n"
           "        its performer first; track 00 is audio a disc hides before track 1\n"
           "offset  finds the drive's read offset with a disc the AccurateRip database\n"
           "        knows (VARROW_ACCURATERIP_URL names another server); --save stores it\n"
           "        for the drive\n"
           "rip     writes one file per track, NN_TITLE.wav|.pcm|.mp3|.flac; a complete\n"
           "        track replaces an existing file, an incomplete one never does;\n"
           "        default: every audio track, WAV, the current folder, MP3 at 128 kbit/s\n"
           "        joint stereo, FLAC at compression 5, jitter correction on. Each\n"
           "        track's CRC and AccurateRip result are printed; ALBUM.log (signed)\n"
           "        and ALBUM.cue are written beside the files (ALBUM: the disc's title,\n"
           "        else 'disc')\n"
           "--compression  FLAC: 0 (fastest) to 8 (smallest files); every level is\n"
           "        lossless, and each file carries the MD5 of its audio\n"
           "--no-replaygain  MP3 and FLAC files carry the ReplayGain 2.0 gain and peak\n"
           "        of their track (tracks read whole) and of the album (those tracks\n"
           "        together, set once the last is done) unless this is given\n"
           "--secure  each track is read without jitter correction; one the AccurateRip\n"
           "        database does not confirm is read again with it, and the two\n"
           "        readings' CRCs must agree (else the track is suspect)\n"
           "--jobs  MP3 and FLAC: the tracks are read in order by one reader and encoded\n"
           "        by up to N encoders at once (default: the number of cores, " +
           std::to_string(defaultJobs()) +
           " here); at\n"
           "        most N+1 tracks' audio waits, in unlinked temporary files in the\n"
           "        output folder, fewer when its disk has no room; the files are the\n"
           "        same for every N. WAV and PCM ignore it.\n"
           "--offset  the drive's read offset in samples (-5000 to 5000) for this run, in\n"
           "        place of the one stored for the drive; samples it moves past the disc's\n"
           "        ends are silence unless --overread lets the drive read its lead-in and\n"
           "        lead-out (disc images cannot)\n"
           "verify-log  checks a rip log's last line, its SHA-256: exit 0 intact,\n"
           "        1 changed, 2 not a rip log or unreadable\n"
           "\n"
           "Titles: a --title given for a track (one --title per track) is used as it is\n"
           "typed; otherwise the title of the disc's release in MusicBrainz; otherwise the\n"
           "disc's CD-Text title; otherwise TrackNN. Titles from the disc have '/' written\n"
           "as U+2215 in file names. --no-cd-text ignores the disc's CD-Text.\n"
           "\n"
           "MusicBrainz: toc and rip look the disc up (VARROW_MUSICBRAINZ_URL, default\n"
           "https://musicbrainz.org) and keep the answer for offline use in\n"
           "$XDG_CACHE_HOME/varrow. A disc on several releases takes the one whose barcode\n"
           "is the disc's catalogue number, else the first; the others are listed, and\n"
           "--release MBID chooses one. rip tags the files with the release's names and\n"
           "MusicBrainz IDs and its front cover (VARROW_COVERART_URL, default\n"
           "https://coverartarchive.org), which it also saves beside them as cover.jpg or\n"
           "cover.png unless a file of that name is there. --no-lookup asks nothing.\n"
           "\n"
           "Exit status: 0 every file written, 1 a drive, disc or track failed, lost\n"
           "sectors or was suspect, the output could not be written or the album's\n"
           "ReplayGain could not be set, 2 bad usage, 130 interrupted (each track in hand\n"
           "keeps a valid, shorter file where there was none; an existing file stays as\n"
           "it was; no album ReplayGain is set).\n"
           "Disc images: list their paths in VARROW_CD_IMAGES, separated by ':'.\n"
           "AccurateRip: VARROW_ACCURATERIP_URL names another database (a mirror).\n";
}

} // namespace varrowrip
