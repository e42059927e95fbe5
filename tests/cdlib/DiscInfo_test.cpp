// SPDX-License-Identifier: GPL-3.0-or-later
// What a disc carries beside its table of contents, through
// CR_GetCatalogNumber and CR_GetTrackInfo: from cue sheets and a physical
// drive reading the same disc, and as the library checks what
// any drive reports.
#include "FakeDevices.h"
#include "LibraryFixture.h"
#include "TestImages.h"

#include <tuple>

namespace cdlib::testing {
namespace {

// ISRC, start, pregap, pre-emphasis, copy permitted, four channels.
using TrackValues = std::tuple<std::string, int32_t, int32_t, bool, bool, bool>;

TrackValues trackValues(int32_t track) {
    TTrackInfo info{};
    EXPECT_EQ(CR_GetTrackInfo(track, &info), CR_OK) << "track " << track;
    return {info.Isrc,
            static_cast<int32_t>(CR_GetTocEntry(track - 1).StartSector),
            info.PregapSector,
            info.PreEmphasis == CR_TRUE,
            info.CopyPermitted == CR_TRUE,
            info.FourChannel == CR_TRUE};
}

struct DiscCase {
    const char* name;
    std::vector<int32_t> sectors;
    ImageCodes codes;
    std::string catalog;
    std::vector<TrackValues> tracks;
};

// Eight tracks, track k + 1 flagged with the bits of k.
DiscCase everyFlagCombination() {
    DiscCase c{"every combination of flags", std::vector<int32_t>(8, 100), {}, "", {}};
    for (int32_t k = 0; k < 8; ++k) {
        const bool pre = (k & 1) != 0, dcp = (k & 2) != 0, four = (k & 4) != 0;
        c.codes.tracks.push_back({"", 0, pre, dcp, four});
        c.tracks.emplace_back("", 100 * k, -1, pre, dcp, four);
    }
    return c;
}

const std::vector<DiscCase> kCases = {
    {"catalog, ISRCs in either case",
     {100, 100, 100},
     {"0724354123428", {{"USRC17607839"}, {}, {"gbaye0000351"}}},
     "0724354123428",
     {{"USRC17607839", 0, -1, false, false, false},
      {"", 100, -1, false, false, false},
      {"GBAYE0000351", 200, -1, false, false, false}}},
    {"catalog of zeros, ISRCs out of form",
     {100, 100},
     {"0000000000000", {{"ABCDEFGHIJKL"}, {"000000000000"}}},
     "",
     {{"", 0, -1, false, false, false}, {"", 100, -1, false, false, false}}},
    // Track 1: INDEX 00 at 00:00:00, INDEX 01 at 00:30:00 (a hidden pregap);
    // track 2 two seconds of pregap; track 3 none.
    {"pregaps",
     {2350, 250, 100},
     {"", {{"", 2250}, {"", 150}}},
     "",
     {{"", 2250, 0, false, false, false},
      {"", 2500, 2350, false, false, false},
      {"", 2600, -1, false, false, false}}},
    everyFlagCombination(),
};

TEST_F(LibraryTest, DiscInfoOfCueSheetsAndPhysicalDrives) {
    for (const std::string source : {"image", "physical"}) {
        for (const DiscCase& c : kCases) {
            SCOPED_TRACE(c.name + (" (" + source + ")"));
            resetLibrary();
            setHostDrivesEnabled(false);
            std::vector<ImageTrack> tracks;
            for (const int32_t sectors : c.sectors) {
                tracks.push_back({sectors, false});
            }
            const TestImage image =
                writeImage(tempDir(), "disc", tracks, ImageFormat::Cue, {}, c.codes);
            if (source == "physical") {
                auto fake = std::make_shared<FakeDrive>();
                fake->cue = image.descriptor;
                installFakeDrives({fake});
                ASSERT_EQ(CR_Init((tempDir() / "Varrow.INI").c_str()), CR_OK);
                ASSERT_EQ(CR_SetActiveCDROM(0), CR_OK);
            } else {
                useImage(image);
            }
            ASSERT_EQ(CR_ReadToc(), CR_OK) << CR_GetDriveProblem();
            EXPECT_EQ(CR_GetCatalogNumber(), c.catalog);
            for (std::size_t i = 0; i < c.tracks.size(); ++i) {
                EXPECT_EQ(trackValues(static_cast<int32_t>(i + 1)), c.tracks[i]);
            }
            TTrackInfo info{};
            EXPECT_EQ(CR_GetTrackInfo(static_cast<int32_t>(c.tracks.size() + 1), &info), CR_ERROR);
        }
    }
}

TEST_F(LibraryTest, DiscInfoOutOfPlaceCountsAsNone) {
    VirtualDisc disc = discOf({{100, false}, {100, false}}, 150);
    disc.info.tracks[1].pregapSector = 150; // at its own start
    disc.info.tracks[2] = {"USRC17607839", 151, true, false, false};
    ASSERT_EQ(CR_SetActiveCDROM(addVirtualDrive(std::make_shared<VirtualDrive>("v", disc))), CR_OK);
    ASSERT_EQ(CR_ReadToc(), CR_OK);
    EXPECT_EQ(trackValues(1), TrackValues("", 150, -1, false, false, false));
    EXPECT_EQ(trackValues(2), TrackValues("USRC17607839", 250, 151, true, false, false));
}

} // namespace
} // namespace cdlib::testing
