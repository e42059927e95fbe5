// SPDX-License-Identifier: GPL-3.0-or-later
// The metadata of a FLAC stream as bytes: the comment block replaced inside
// the padding beside it leaves a whole stream after every single write, and
// where it does not fit, the metadata written anew holds the same blocks
// with the new comments; and the texts that tags are given.
#include "FlacMetadata.h"
#include "FlacSwapCheck.h"
#include "TagText.h"

#include <gtest/gtest.h>

namespace {

using varrow::testing::checkCommentReplacement;
using varrow::testing::SwapOutcome;

// Padding first or comments first, the old comments' length, the new
// ones', the padding's, and whether an APPLICATION block follows the two.
using SwapCase = std::tuple<bool, uint32_t, uint32_t, uint32_t, bool>;

const std::string kFrames = "\xFF\xF8 the frames, untouched";

void appendBlock(std::vector<uint8_t>& stream, uint8_t type, bool last,
                 const std::vector<uint8_t>& body) {
    const auto header = flacBlockHeader(type, last, static_cast<uint32_t>(body.size()));
    stream.insert(stream.end(), header.begin(), header.end());
    stream.insert(stream.end(), body.begin(), body.end());
}

std::vector<uint8_t> body(uint32_t length, uint8_t fill) {
    return std::vector<uint8_t>(length, fill);
}

class CommentSwap : public ::testing::TestWithParam<SwapCase> {};

TEST_P(CommentSwap, TheStreamIsWholeAfterEveryWrite) {
    const auto [paddingFirst, oldLength, newLength, paddingLength, blockAfter] = GetParam();
    std::vector<uint8_t> stream{'f', 'L', 'a', 'C'};
    appendBlock(stream, FLAC_STREAMINFO, false, body(34, 's'));
    if (paddingFirst) {
        appendBlock(stream, FLAC_PADDING, false, body(paddingLength, 0));
        appendBlock(stream, FLAC_VORBIS_COMMENT, !blockAfter, body(oldLength, 'o'));
    } else {
        appendBlock(stream, FLAC_VORBIS_COMMENT, false, body(oldLength, 'o'));
        appendBlock(stream, FLAC_PADDING, !blockAfter, body(paddingLength, 0));
    }
    if (blockAfter) {
        appendBlock(stream, 2, true, body(5, 'a'));
    }
    stream.insert(stream.end(), kFrames.begin(), kFrames.end());

    const SwapOutcome outcome = checkCommentReplacement(stream, body(newLength, 'n'));
    EXPECT_EQ(outcome.broken, "");
    EXPECT_EQ(outcome.inPlace, paddingLength >= newLength + FLAC_BLOCK_HEADER_BYTES);
    // What is padding now holds zeros; a copy gets padding to swap again.
    const std::vector<uint8_t>& result = outcome.inPlace ? outcome.swapped : outcome.rewritten;
    const std::vector<TFlacBlock> blocks = readFlacBlocks(flacBytesReader(result));
    for (const TFlacBlock& block : blocks) {
        if (block.type == FLAC_PADDING) {
            const auto first = result.begin() + static_cast<long>(block.bodyOffset());
            EXPECT_TRUE(std::all_of(first, first + block.length, [](uint8_t b) { return b == 0; }));
        }
    }
    ASSERT_FALSE(blocks.empty());
    if (!outcome.inPlace) {
        EXPECT_EQ(blocks.back().type, FLAC_PADDING);
        EXPECT_EQ(blocks.back().length, flacPaddingFor(newLength));
    }
}

INSTANTIATE_TEST_SUITE_P(Layouts, CommentSwap,
                         ::testing::Combine(::testing::Bool(), ::testing::Values(20U, 300U),
                                            ::testing::Values(10U, 290U, 600U),
                                            ::testing::Values(100U, 604U, 2000U),
                                            ::testing::Bool()));

TEST(TagText, IsValidUtf8WithoutControlCharacters) {
    const std::string replacement = "\xEF\xBF\xBD";
    const std::pair<std::string, std::string> cases[] = {
        {"Morning Tram", "Morning Tram"},
        {"Żółw — café 🎵", "Żółw — café 🎵"},
        {"a\tb\nc\r", "a b c "},
        {std::string("a\0b\x01\x1F\x7F", 6), "ab"},
        {"x\xC2\x85y\xC2\x9F", "xy"},                              // C1 controls
        {"\xFF", replacement},                                     // no UTF-8 at all
        {"\xC0\xAF", replacement + replacement},                   // overlong '/'
        {"\xED\xA0\x80", replacement + replacement + replacement}, // a surrogate
        {"end\xE2\x82", "end" + replacement + replacement},        // cut short
        {"\xF4\x90\x80\x80", replacement + replacement + replacement + replacement},
    };
    for (const auto& [given, stored] : cases) {
        EXPECT_EQ(tagText(given), stored) << given;
    }
}

} // namespace
