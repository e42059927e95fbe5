// The metadata of a FLAC stream as bytes: the comment block replaced inside
// the padding beside it leaves a whole stream after every single write, and
// where it does not fit, the metadata written anew holds the same blocks
// with the new comments; and the texts that tags are given.
#include "FlacMetadata.h"
#include "TagText.h"

#include <gtest/gtest.h>

namespace {

struct SwapCase {
    bool paddingFirst;
    uint32_t oldLength;
    uint32_t newLength;
    uint32_t paddingLength;
    bool blockAfter; // an APPLICATION block after the two, or they end the metadata
};

std::vector<SwapCase> swapCases() {
    std::vector<SwapCase> cases;
    for (const bool paddingFirst : {false, true}) {
        for (const uint32_t oldLength : {20U, 300U}) {
            for (const uint32_t newLength : {10U, 290U, 600U}) {
                for (const uint32_t paddingLength : {100U, 604U, 2000U}) {
                    for (const bool blockAfter : {false, true}) {
                        cases.push_back(
                            {paddingFirst, oldLength, newLength, paddingLength, blockAfter});
                    }
                }
            }
        }
    }
    return cases;
}

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

// The comment block's body, after checking that the stream is whole: its
// blocks parse, the frames follow the last, and the APPLICATION block is
// as it was.
std::vector<uint8_t> commentsOf(const std::vector<uint8_t>& stream) {
    const std::vector<TFlacBlock> blocks = readFlacBlocks(flacBytesReader(stream));
    EXPECT_FALSE(blocks.empty());
    std::vector<uint8_t> comments;
    for (const TFlacBlock& block : blocks) {
        const auto first = stream.begin() + static_cast<long>(block.bodyOffset());
        const std::vector<uint8_t> held(first, first + block.length);
        if (block.type == FLAC_VORBIS_COMMENT) {
            comments = held;
        } else if (block.type == 2) {
            EXPECT_EQ(held, body(5, 'a'));
        }
    }
    EXPECT_EQ(std::string(stream.begin() + static_cast<long>(blocks.back().end()), stream.end()),
              kFrames);
    return comments;
}

class CommentSwap : public ::testing::TestWithParam<SwapCase> {};

TEST_P(CommentSwap, TheStreamIsWholeAfterEveryWrite) {
    const SwapCase& test = GetParam();
    std::vector<uint8_t> stream{'f', 'L', 'a', 'C'};
    appendBlock(stream, FLAC_STREAMINFO, false, body(34, 's'));
    const std::vector<uint8_t> oldComments = body(test.oldLength, 'o');
    const std::vector<uint8_t> newComments = body(test.newLength, 'n');
    const bool firstIsLast = false;
    const bool secondIsLast = !test.blockAfter;
    if (test.paddingFirst) {
        appendBlock(stream, FLAC_PADDING, firstIsLast, body(test.paddingLength, 0));
        appendBlock(stream, FLAC_VORBIS_COMMENT, secondIsLast, oldComments);
    } else {
        appendBlock(stream, FLAC_VORBIS_COMMENT, firstIsLast, oldComments);
        appendBlock(stream, FLAC_PADDING, secondIsLast, body(test.paddingLength, 0));
    }
    if (test.blockAfter) {
        appendBlock(stream, 2, true, body(5, 'a'));
    }
    stream.insert(stream.end(), kFrames.begin(), kFrames.end());
    const std::vector<TFlacBlock> blocks = readFlacBlocks(flacBytesReader(stream));
    ASSERT_EQ(blocks.size(), test.blockAfter ? 4U : 3U);

    const std::vector<TByteWrite> writes = planCommentSwap(blocks, newComments);
    if (test.paddingLength < test.newLength + FLAC_BLOCK_HEADER_BYTES) {
        EXPECT_TRUE(writes.empty());
        std::vector<uint8_t> copy = rewrittenMetadata(blocks, flacBytesReader(stream), newComments);
        copy.insert(copy.end(), stream.begin() + static_cast<long>(blocks.back().end()),
                    stream.end());
        EXPECT_EQ(commentsOf(copy), newComments);
        const std::vector<TFlacBlock> copied = readFlacBlocks(flacBytesReader(copy));
        ASSERT_FALSE(copied.empty());
        EXPECT_EQ(copied.back().type, FLAC_PADDING);
        EXPECT_EQ(copied.back().length, flacPaddingFor(test.newLength));
        return;
    }
    ASSERT_EQ(writes.size(), 3U);
    EXPECT_EQ(commentsOf(stream), oldComments);
    for (std::size_t done = 0; done < writes.size(); ++done) {
        const TByteWrite& write = writes[done];
        ASSERT_LE(write.offset + write.bytes.size(), stream.size());
        std::copy(write.bytes.begin(), write.bytes.end(),
                  stream.begin() + static_cast<long>(write.offset));
        EXPECT_EQ(commentsOf(stream), done == 0 ? oldComments : newComments) << "write " << done;
    }
    for (const TFlacBlock& block : readFlacBlocks(flacBytesReader(stream))) {
        if (block.type == FLAC_PADDING) {
            const auto first = stream.begin() + static_cast<long>(block.bodyOffset());
            EXPECT_TRUE(std::all_of(first, first + block.length, [](uint8_t b) { return b == 0; }));
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Layouts, CommentSwap, ::testing::ValuesIn(swapCases()),
                         [](const auto& info) {
                             const SwapCase& c = info.param;
                             return std::string(c.paddingFirst ? "PaddingFirst" : "CommentsFirst") +
                                    std::to_string(c.oldLength) + "To" +
                                    std::to_string(c.newLength) + "In" +
                                    std::to_string(c.paddingLength) +
                                    (c.blockAfter ? "BlockAfter" : "");
                         });

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
