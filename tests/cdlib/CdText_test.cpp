// SPDX-License-Identifier: GPL-3.0-or-later
// CD-Text through CR_GetCDText: from cue sheets and cdrdao TOCs in UTF-8 and
// Latin-1, with fields missing, album text only or none at all; from
// physical drives and virtual discs; and what the caller's buffer gets.
#include "FakeDevices.h"
#include "LibraryFixture.h"
#include "TestImages.h"
#include "drives/CdText.h"

#include <optional>
#include <vector>

namespace cdlib::testing {
namespace {

// The text CR_GetCDText gives, or nullopt when it answers 1.
std::optional<std::string> cdText(int32_t track, TCDTextField field) {
    char text[512] = "untouched";
    if (CR_GetCDText(track, field, text, sizeof text) == CR_ERROR) {
        EXPECT_STREQ(text, "") << "a failed call leaves the buffer empty";
        return std::nullopt;
    }
    return std::string(text);
}

struct Expected {
    int32_t track;
    TCDTextField field;
    std::optional<std::string> text;
};

struct ImageCase {
    const char* name;
    ImageText disc;
    std::vector<ImageText> tracks;
    std::vector<Expected> expected;
};

const std::vector<ImageCase> kImageCases = {
    {"utf-8 texts, fields missing",
     {"Morgenröte", "", ""},
     {{"Überfahrt", "Jürgen", "Zoë"}, {"AC/DC", "", ""}, {}},
     {{0, CDTEXT_TITLE, "Morgenröte"},
      {0, CDTEXT_PERFORMER, std::nullopt},
      {1, CDTEXT_SONGWRITER, "Zoë"},
      {2, CDTEXT_TITLE, "AC/DC"},
      {3, CDTEXT_TITLE, std::nullopt}}},
    {"latin-1 texts",
     {"\xC9t\xE9", "Bj\xF6rk", ""},
     {{"Caf\xE9", "", ""}},
     {{0, CDTEXT_TITLE, "Été"}, {0, CDTEXT_PERFORMER, "Björk"}, {1, CDTEXT_TITLE, "Café"}}},
    {"album text only",
     {"Only the Album", "", ""},
     {},
     {{0, CDTEXT_TITLE, "Only the Album"}, {1, CDTEXT_TITLE, std::nullopt}}},
    {"no cd-text", {}, {}, {{0, CDTEXT_TITLE, std::nullopt}}},
};

TEST_F(LibraryTest, CdTextOfCueSheetsAndCdrdaoTocs) {
    for (const ImageFormat format : {ImageFormat::Cue, ImageFormat::CdrdaoToc}) {
        for (const ImageCase& c : kImageCases) {
            SCOPED_TRACE(std::string(c.name) + (format == ImageFormat::Cue ? " (cue)" : " (toc)"));
            resetLibrary();
            setHostDrivesEnabled(false);
            const std::vector<ImageTrack> tracks(3, ImageTrack{100, false});
            useImage(writeImage(tempDir(), "disc", tracks, format, {c.disc, c.tracks}));
            ASSERT_EQ(CR_ReadToc(), CR_OK) << CR_GetDriveProblem();
            for (const Expected& expected : c.expected) {
                EXPECT_EQ(cdText(expected.track, expected.field), expected.text)
                    << "track " << expected.track << " field " << expected.field;
            }
        }
    }
}

TEST_F(LibraryTest, CdTextBelongsToTheDiscJustRead) {
    useImage(writeImage(tempDir(), "disc", {ImageTrack{100, false}}, ImageFormat::Cue,
                        {{}, {{"Song", "", ""}}}));
    EXPECT_EQ(cdText(1, CDTEXT_TITLE), std::nullopt) << "before the table is read";
    ASSERT_EQ(CR_ReadToc(), CR_OK);
    EXPECT_EQ(cdText(1, CDTEXT_TITLE), "Song");
    ASSERT_EQ(CR_EjectCD(CR_TRUE), CR_OK);
    EXPECT_EQ(cdText(1, CDTEXT_TITLE), std::nullopt) << "after eject";
}

TEST_F(LibraryTest, CdTextOfPhysicalDrives) {
    auto fake = std::make_shared<FakeDrive>();
    fake->cue = writeImage(tempDir(), "physical", {ImageTrack{100, false}}, ImageFormat::Cue,
                           {{"Disc", "", ""}, {{"Über", "", ""}}})
                    .descriptor;
    installFakeDrives({fake});
    ASSERT_EQ(CR_Init((tempDir() / "Varrow.INI").c_str()), CR_OK);
    ASSERT_EQ(CR_SetActiveCDROM(0), CR_OK);
    ASSERT_EQ(CR_ReadToc(), CR_OK);
    EXPECT_EQ(cdText(0, CDTEXT_TITLE), "Disc");
    EXPECT_EQ(cdText(1, CDTEXT_TITLE), "Über");
}

TEST_F(LibraryTest, CdTextIsCutAtAWholeCharacter) {
    VirtualDisc disc = discOf({{100, false}});
    disc.text.set(1, CDTEXT_TITLE, "aÄb"); // 61 C3 84 62
    ASSERT_EQ(CR_SetActiveCDROM(addVirtualDrive(std::make_shared<VirtualDrive>("v", disc))), CR_OK);
    ASSERT_EQ(CR_ReadToc(), CR_OK);
    for (const auto& [size, expected] : {std::pair{4, "aÄ"}, {3, "a"}, {1, ""}}) {
        char text[8] = "xxxxxxx";
        EXPECT_EQ(CR_GetCDText(1, CDTEXT_TITLE, text, size), CR_OK) << size;
        EXPECT_STREQ(text, expected) << size;
    }
}

TEST_F(LibraryTest, LongCdTextIsCutAtAWholeCharacterAndTheDiscStaysReadable) {
    // Far longer than a cue sheet line or a TOC text may be; two-byte
    // characters from an odd offset, so that a cut by bytes would split one.
    const std::string ascii(10000, 'a');
    std::string accented = "x";
    while (accented.size() < 10000) {
        accented += "é";
    }
    for (const ImageFormat format : {ImageFormat::Cue, ImageFormat::CdrdaoToc}) {
        for (const std::string& title : {ascii, accented}) {
            SCOPED_TRACE((format == ImageFormat::Cue ? "cue, " : "toc, ") +
                         std::to_string(title.size()) + " bytes of " + title.substr(1, 2));
            resetLibrary();
            setHostDrivesEnabled(false);
            const std::vector<ImageTrack> tracks(2, ImageTrack{100, false});
            useImage(writeImage(tempDir(), "disc", tracks, format,
                                {{title, "Someone", ""}, {{title, "", ""}}}));
            ASSERT_EQ(CR_ReadToc(), CR_OK) << CR_GetDriveProblem();
            for (const int32_t track : {0, 1}) {
                std::vector<char> buffer(title.size() + 1);
                ASSERT_EQ(CR_GetCDText(track, CDTEXT_TITLE, buffer.data(),
                                       static_cast<int32_t>(buffer.size())),
                          CR_OK)
                    << "track " << track;
                const std::optional<std::string> read = std::string(buffer.data());
                EXPECT_GT(read->size(), format == ImageFormat::Cue ? 4000u : 450u);
                EXPECT_LT(read->size(), title.size());
                EXPECT_EQ(title.compare(0, read->size(), *read), 0) << "a cut, nothing else";
                EXPECT_NE(static_cast<unsigned char>(title[read->size()]) & 0xC0u, 0x80u)
                    << "cut before a whole character";
            }
            EXPECT_EQ(cdText(0, CDTEXT_PERFORMER), "Someone");
            EXPECT_EQ(readRange(0, 199).audio, imageAudio(0, 199));
        }
    }
}

TEST(CdTextCharacters, ValidUtf8StaysAndAnythingElseIsLatin1) {
    const struct {
        std::string bytes;
        std::string text;
    } cases[] = {
        {"Mot\xC3\xB6rhead \xE2\x88\x95 \xF0\x9F\x8E\xB5",
         "Mot\xC3\xB6rhead \xE2\x88\x95 \xF0\x9F\x8E\xB5"},
        {"Mot\xF6rhead", "Mot\xC3\xB6rhead"},
        {"Mot\xC3\x83\xC2\xB6rhead", "Mot\xC3\xB6rhead"}, // UTF-8 that libcdio read as Latin-1
        {"\xC3\x83 la carte", "\xC3\x83 la carte"},       // "Ã" that is meant
        {"\xE2\x82\xAC\xC3\x83\xC2\xB6", "\xE2\x82\xAC\xC3\x83\xC2\xB6"}, // past U+00FF
        {"\xC0\xAF", "\xC3\x80\xC2\xAF"},                                 // overlong '/'
        {"\xED\xA0\x80", "\xC3\xAD\xC2\xA0\xC2\x80"},                     // a surrogate
    };
    for (const auto& c : cases) {
        EXPECT_EQ(utf8FromDiscText(c.bytes), c.text) << c.bytes;
    }
}

} // namespace
} // namespace cdlib::testing
