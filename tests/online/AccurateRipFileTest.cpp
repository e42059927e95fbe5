// The database file's parser: entries read back as they were written, and
// a file that is cut anywhere, or holds an entry of another track count,
// is refused whole.
#include "AccurateRipFile.h"

#include "AccurateRipFiles.h"

#include <gtest/gtest.h>

namespace {

using online::AccurateRipEntry;
using online::parseAccurateRipFile;

std::vector<AccurateRipEntry> sampleEntries(int tracks, int entries) {
    std::vector<AccurateRipEntry> list;
    for (int e = 0; e < entries; ++e) {
        AccurateRipEntry entry{0x0000f21cu + e, 0x00027ef8u, 0x05021002u, {}};
        for (int t = 0; t < tracks; ++t) {
            // Values with every byte distinct, so that a byte read from the
            // wrong place or in the wrong order shows.
            const auto seed = static_cast<uint32_t>(e * 100 + t);
            entry.tracks.push_back({static_cast<int>(200 - seed % 200), 0x12345678u ^ (seed << 8),
                                    0x9abcdef0u + seed});
        }
        list.push_back(entry);
    }
    return list;
}

void expectSameEntries(const std::vector<AccurateRipEntry>& read,
                       const std::vector<AccurateRipEntry>& written) {
    ASSERT_EQ(read.size(), written.size());
    for (std::size_t e = 0; e < read.size(); ++e) {
        EXPECT_EQ(read[e].id1, written[e].id1);
        EXPECT_EQ(read[e].id2, written[e].id2);
        EXPECT_EQ(read[e].cddb, written[e].cddb);
        ASSERT_EQ(read[e].tracks.size(), written[e].tracks.size());
        for (std::size_t t = 0; t < read[e].tracks.size(); ++t) {
            EXPECT_EQ(read[e].tracks[t].confidence, written[e].tracks[t].confidence);
            EXPECT_EQ(read[e].tracks[t].checksum, written[e].tracks[t].checksum);
            EXPECT_EQ(read[e].tracks[t].frame450Checksum, written[e].tracks[t].frame450Checksum);
        }
    }
}

TEST(AccurateRipFile, EntriesReadBackAsWritten) {
    for (const int tracks : {1, 2, 12, 99}) {
        for (const int entries : {1, 2, 7}) {
            SCOPED_TRACE(std::to_string(tracks) + " tracks, " + std::to_string(entries) +
                         " entries");
            const auto written = sampleEntries(tracks, entries);
            const online::AccurateRipFile file =
                parseAccurateRipFile(varrow::testing::accurateRipFileBytes(written), tracks);
            EXPECT_EQ(file.problem, "");
            expectSameEntries(file.entries, written);
        }
    }
    // The layout, byte for byte: little-endian, the track count first.
    const online::AccurateRipFile one =
        parseAccurateRipFile(std::string("\x01\x1c\xf2\x00\x00\xf8\x7e\x02\x00\x02\x10\x02\x05"
                                         "\xc8\x78\x56\x34\x12\xf0\xde\xbc\x9a",
                                         22),
                             1);
    ASSERT_TRUE(one.valid()) << one.problem;
    EXPECT_EQ(one.entries[0].id1, 0x0000f21cu);
    EXPECT_EQ(one.entries[0].id2, 0x00027ef8u);
    EXPECT_EQ(one.entries[0].cddb, 0x05021002u);
    EXPECT_EQ(one.entries[0].tracks[0].confidence, 200);
    EXPECT_EQ(one.entries[0].tracks[0].checksum, 0x12345678u);
    EXPECT_EQ(one.entries[0].tracks[0].frame450Checksum, 0x9abcdef0u);
}

TEST(AccurateRipFile, ADamagedFileIsRefusedWhole) {
    const std::string whole = varrow::testing::accurateRipFileBytes(sampleEntries(3, 2));
    // Cut anywhere but at the end of an entry.
    for (std::size_t length = 1; length < whole.size(); ++length) {
        if (length == whole.size() / 2) {
            continue;
        }
        const online::AccurateRipFile file = parseAccurateRipFile(whole.substr(0, length), 3);
        EXPECT_FALSE(file.valid()) << length;
        EXPECT_TRUE(file.entries.empty()) << length;
    }
    const struct {
        std::string bytes;
        int tracks;
        const char* problem;
    } cases[] = {
        {"", 3, "the file is empty"},
        {whole.substr(0, 39), 3, "entry 1 is cut short"},
        {whole.substr(0, whole.size() - 1), 3, "entry 2 is cut short"},
        {whole, 2, "entry 1 has 3 tracks, the disc 2"},
        {whole + varrow::testing::accurateRipFileBytes(sampleEntries(4, 1)), 3,
         "entry 3 has 4 tracks, the disc 3"},
        {"<html>Service moved</html>", 3, "entry 1 has 60 tracks, the disc 3"},
        {whole, 0, "a disc has 1 to 99 tracks, not 0"},
    };
    for (const auto& c : cases) {
        const online::AccurateRipFile file = parseAccurateRipFile(c.bytes, c.tracks);
        EXPECT_EQ(file.problem, c.problem);
        EXPECT_TRUE(file.entries.empty()) << c.problem;
    }
}

} // namespace
