// SPDX-License-Identifier: GPL-3.0-or-later
// varrow-rip's command line: what it accepts, what it refuses, and the
// names it gives drives and files.
#include "CommandLine.h"
#include "Commands.h"

#include <gtest/gtest.h>

namespace varrowrip {
namespace {

CommandLine parse(std::vector<std::string> arguments) {
    return parseCommandLine(arguments);
}

TEST(TrackList, TakesNumbersAndRangesInOrderEachOnce) {
    EXPECT_EQ(parseTrackList("1,3-5"), (std::vector<int32_t>{1, 3, 4, 5}));
    EXPECT_EQ(parseTrackList("7"), (std::vector<int32_t>{7}));
    EXPECT_EQ(parseTrackList("5,2,2-3"), (std::vector<int32_t>{5, 2, 3}));
    EXPECT_EQ(parseTrackList("100"), (std::vector<int32_t>{100}));
    // Track 0 is the audio some discs hide before track 1.
    EXPECT_EQ(parseTrackList("0,1-2"), (std::vector<int32_t>{0, 1, 2}));
}

TEST(TrackList, RefusesWhatIsNotATrackList) {
    for (const char* bad : {"", "1000", "3-1", "a", "1,,2", "1,", "-3", "2-", "1-2-3", "1 2",
                            "99999999999999999999", "+1"}) {
        EXPECT_THROW(parseTrackList(bad), UsageError) << bad;
    }
}

TEST(TrackList, NamesTheBadItem) {
    for (const std::string bad : {"-1", "3-1", "1000", "2-x", "1,-7,3"}) {
        try {
            parseTrackList(bad);
            ADD_FAILURE() << bad;
        } catch (const UsageError& error) {
            const std::string item = bad == "1,-7,3" ? "-7" : bad;
            EXPECT_NE(std::string(error.what()).find("'" + item + "'"), std::string::npos)
                << error.what();
        }
    }
}

TEST(CommandLineParsing, TakesEveryBitrateOfTheMp3Dialog) {
    for (const uint32_t bitrate : {8u, 16u, 24u, 144u, 320u}) {
        const CommandLine command =
            parse({"rip", "--format", "mp3", "--bitrate", std::to_string(bitrate)});
        EXPECT_EQ(command.rip.bitrate, bitrate);
    }
    EXPECT_EQ(parse({"rip", "--mode", "mono", "--mix", "left"}).rip.monoDownMixType, 1);
}

TEST(CommandLineParsing, DefaultsAreEveryAudioTrackAsWavAt128JointStereo) {
    const CommandLine command = parse({"rip"});
    EXPECT_EQ(command.action, Action::Rip);
    EXPECT_EQ(command.drive, 0);
    EXPECT_TRUE(command.rip.tracks.empty());
    EXPECT_EQ(command.rip.kind, OutputKind::Wav);
    EXPECT_EQ(command.rip.folder, ".");
    EXPECT_EQ(command.rip.bitrate, 128u);
    EXPECT_EQ(command.rip.mode, JSTEREO);
    EXPECT_FALSE(command.rip.vbr);
    EXPECT_TRUE(command.rip.jitterCorrection);
    EXPECT_TRUE(command.rip.numberInName);
    EXPECT_FALSE(command.rip.speed.has_value());
    EXPECT_EQ(command.rip.jobs, defaultJobs());
    EXPECT_GE(defaultJobs(), 1);
    EXPECT_EQ(command.rip.compression, 5u);
    EXPECT_TRUE(command.rip.replayGain);
}

TEST(CommandLineParsing, TakesEveryRipOption) {
    const CommandLine command = parse({"rip",           "--drive",   "2",
                                       "--tracks",      "2-3",       "--format",
                                       "mp3",           "--out",     "/tmp/x",
                                       "--bitrate",     "96",        "--vbr",
                                       "--max-bitrate", "256",       "--mode",
                                       "mono",          "--mix",     "right",
                                       "--quality",     "voice",     "--no-jitter-correction",
                                       "--speed",       "8",         "--no-number",
                                       "--jobs",        "3",         "--offset",
                                       "-1164",         "--overread"});
    EXPECT_EQ(command.drive, 2);
    EXPECT_EQ(command.rip.tracks, (std::vector<int32_t>{2, 3}));
    EXPECT_EQ(command.rip.kind, OutputKind::Mp3);
    EXPECT_EQ(command.rip.folder, "/tmp/x");
    EXPECT_EQ(command.rip.bitrate, 96u);
    EXPECT_TRUE(command.rip.vbr);
    EXPECT_EQ(command.rip.maxBitrate, 256u);
    EXPECT_EQ(command.rip.mode, MONO);
    EXPECT_EQ(command.rip.monoDownMixType, 2);
    EXPECT_EQ(command.rip.quality, VOICE_QUALITY);
    EXPECT_FALSE(command.rip.jitterCorrection);
    EXPECT_EQ(command.rip.speed, 8);
    EXPECT_FALSE(command.rip.numberInName);
    EXPECT_EQ(command.rip.jobs, 3);
    EXPECT_EQ(command.rip.offset, -1164);
    EXPECT_TRUE(command.rip.overread);
    EXPECT_FALSE(parse({"rip"}).rip.offset.has_value());
    EXPECT_TRUE(parse({"offset", "--drive", "1", "--save"}).save);

    const CommandLine flac =
        parse({"rip", "--format", "flac", "--compression", "8", "--no-replaygain"});
    EXPECT_EQ(flac.rip.kind, OutputKind::Flac);
    EXPECT_EQ(flac.rip.compression, 8u);
    EXPECT_FALSE(flac.rip.replayGain);
}

TEST(CommandLineParsing, TitlesAreOneATrackAndCdTextCanBeIgnored) {
    const CommandLine command =
        parse({"toc", "--title", "2=AC/DC = Live", "--no-cd-text", "--title", "10= x"});
    EXPECT_EQ(command.action, Action::Toc);
    EXPECT_FALSE(command.rip.useCdText);
    EXPECT_EQ(command.rip.titles,
              (std::map<int32_t, std::string>{{2, "AC/DC = Live"}, {10, " x"}}));
    EXPECT_TRUE(parse({"rip"}).rip.useCdText);
}

TEST(CommandLineParsing, RefusesBadUsage) {
    const std::vector<std::vector<std::string>> bad = {
        {},
        {"eject"},
        {"rip", "--tracks"},
        {"rip", "--format", "ogg"},
        {"rip", "--bitrate", "127"},
        {"rip", "--bitrate", "-128"},
        {"rip", "--max-bitrate", "256"},
        {"rip", "--vbr", "--bitrate", "256", "--max-bitrate", "128"},
        {"rip", "--mode", "surround"},
        {"rip", "--mix", "centre"},
        {"rip", "--quality", "best"},
        {"rip", "--drive", "-1"},
        {"rip", "--speed", "fast"},
        {"rip", "--out", ""},
        {"rip", "--frobnicate"},
        {"drives", "--drive", "0"},
        {"toc", "--format", "wav"},
        {"rip", "--mix", "left"},
        {"rip", "--mode", "joint", "--mix", "right"},
        {"rip", "--bitrate", "128", "--bitrate", "96"},
        {"rip", "--vbr", "--vbr"},
        {"rip", "--no-number", "--no-number"},
        {"toc", "--drive", "0", "--drive", "1"},
        {"rip", "--jobs", "0"},
        {"rip", "--jobs", "-1"},
        {"rip", "--jobs", "two"},
        {"rip", "--jobs", "2x"},
        {"rip", "--jobs", "100"},
        {"rip", "--jobs"},
        {"toc", "--jobs", "2"},
        {"rip", "--title", "1"},
        {"rip", "--title", "1="},
        {"rip", "--title", "=Title"},
        {"rip", "--title", "0=Title"},
        {"rip", "--title", "x=Title"},
        {"rip", "--title", "1=One", "--title", "1=Again"},
        {"toc", "--no-cd-text", "--no-cd-text"},
        {"rip", "--quality", "voice", "--mode", "stereo"},
        {"rip", "--quality", "voice"},
        {"rip", "--format", "flac", "--compression", "9"},
        {"rip", "--format", "flac", "--compression", "-1"},
        {"rip", "--format", "mp3", "--compression", "5"},
        {"rip", "--compression", "5"},
        {"rip", "--no-replaygain"},
        {"rip", "--format", "flac", "--no-replaygain", "--no-replaygain"},
        {"rip", "--offset", "5001"},
        {"rip", "--offset", "-5001"},
        {"rip", "--offset", "+x"},
        {"rip", "--save"},
        {"toc", "--offset", "6"},
        {"offset", "--offset", "6"},
        {"offset", "--tracks", "1"},
        {"offset", "--save", "--save"},
    };
    for (const auto& arguments : bad) {
        std::string line;
        for (const auto& argument : arguments) {
            line += argument + " ";
        }
        EXPECT_THROW(parseCommandLine(arguments), UsageError) << line;
    }
}

TEST(Names, DrivesAreListedAsTheWindowListsThem) {
    EXPECT_EQ(driveEntry(0, "  HL-DT-ST DVDRAM GH24NSD1 LG00\t\n"),
              "[0]:HL-DT-ST DVDRAM GH24NSD1 LG00");
    EXPECT_EQ(driveEntry(3, ""), "[3]:wrong CD-ROM name");
    EXPECT_EQ(driveEntry(4, " \x01 "), "[4]:wrong CD-ROM name");
}

} // namespace
} // namespace varrowrip
