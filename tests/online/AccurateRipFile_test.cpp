// SPDX-License-Identifier: GPL-3.0-or-later
// The database file's parser: the layout read byte for byte, and a file
// that is cut short, or holds an entry of another track count, refused
// whole with its reason. (The fuzz target checks that a file is accepted
// exactly when it splits into whole entries, and every field of those.)
#include "AccurateRipFile.h"
#include "AccurateRipFiles.h"

#include <gtest/gtest.h>

namespace {

using online::parseAccurateRipFile;

TEST(AccurateRipFile, TheLayoutIsLittleEndianWithTheTrackCountFirst) {
    const online::AccurateRipFile file =
        parseAccurateRipFile(std::string("\x01\x1c\xf2\x00\x00\xf8\x7e\x02\x00\x02\x10\x02\x05"
                                         "\xc8\x78\x56\x34\x12\xf0\xde\xbc\x9a",
                                         22),
                             1);
    ASSERT_TRUE(file.valid()) << file.problem;
    ASSERT_EQ(file.entries.size(), 1u);
    const online::AccurateRipEntry& entry = file.entries[0];
    EXPECT_EQ(entry.id1, 0x0000f21cu);
    EXPECT_EQ(entry.id2, 0x00027ef8u);
    EXPECT_EQ(entry.cddb, 0x05021002u);
    ASSERT_EQ(entry.tracks.size(), 1u);
    EXPECT_EQ(entry.tracks[0].confidence, 200);
    EXPECT_EQ(entry.tracks[0].checksum, 0x12345678u);
    EXPECT_EQ(entry.tracks[0].frame450Checksum, 0x9abcdef0u);
}

TEST(AccurateRipFile, ADamagedFileIsRefusedWhole) {
    const online::AccurateRipEntry entry{1, 2, 3, {{1, 4, 5}, {2, 6, 7}, {3, 8, 9}}};
    const std::string whole = varrow::testing::accurateRipFileBytes({entry, entry});
    ASSERT_EQ(parseAccurateRipFile(whole, 3).entries.size(), 2u);
    const struct {
        std::string bytes;
        int tracks;
        const char* problem;
    } cases[] = {
        {"", 3, "the file is empty"},
        {whole.substr(0, 39), 3, "entry 1 is cut short"},
        {whole.substr(0, 79), 3, "entry 2 is cut short"},
        {whole, 2, "entry 1 has 3 tracks, the disc 2"},
        {whole + "\x04", 3, "entry 3 has 4 tracks, the disc 3"},
        {"<html>Moved</html>", 3, "entry 1 has 60 tracks, the disc 3"},
        {whole, 0, "a disc has 1 to 99 tracks, not 0"},
    };
    for (const auto& c : cases) {
        const online::AccurateRipFile file = parseAccurateRipFile(c.bytes, c.tracks);
        EXPECT_EQ(file.problem, c.problem);
        EXPECT_TRUE(file.entries.empty()) << c.problem;
    }
}

} // namespace
