// Arbitrary bytes as the head of a FLAC stream, then as a cover image. The
// blocks read are contiguous from "fLaC" on and lie within the bytes; a
// comment block that parses is written back byte for byte; the comment
// swap leaves a whole stream after each of its writes, with the old
// comments and then the new ones; and the metadata written anew reads back
// with the new comments and the same frames after it.
#include "CoverImage.h"
#include "FlacMetadata.h"
#include "FuzzCheck.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

// The comment block's body of a whole stream whose frames start at
// `framesAt`, or nothing when it has none.
std::vector<uint8_t> commentsOf(const std::vector<uint8_t>& stream, uint64_t framesAt) {
    const std::vector<TFlacBlock> blocks = readFlacBlocks(flacBytesReader(stream));
    check(!blocks.empty());
    check(blocks.back().end() == framesAt);
    for (const TFlacBlock& block : blocks) {
        if (block.type == FLAC_VORBIS_COMMENT) {
            const auto first = stream.begin() + static_cast<long>(block.bodyOffset());
            return {first, first + block.length};
        }
    }
    return {};
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::vector<uint8_t> stream(data, data + size);
    coverImageOf(stream);
    const std::vector<TFlacBlock> blocks = readFlacBlocks(flacBytesReader(stream));
    if (blocks.empty()) {
        return 0;
    }
    uint64_t expected = 4;
    for (std::size_t at = 0; at < blocks.size(); ++at) {
        check(blocks[at].offset == expected);
        check(blocks[at].last == (at + 1 == blocks.size()));
        expected = blocks[at].end();
    }
    check(expected <= size);

    TVorbisComment comment{"fuzz", {}};
    const std::vector<uint8_t> oldComments = commentsOf(stream, expected);
    if (const auto parsed = parseVorbisComment(oldComments)) {
        check(vorbisCommentBody(*parsed) == oldComments);
        comment = *parsed;
    }
    setVorbisFields(comment, {{"REPLAYGAIN_TRACK_GAIN", std::string(size % 40, '1')}});
    const std::vector<uint8_t> newComments = vorbisCommentBody(comment);

    std::vector<uint8_t> swapped = stream;
    const std::vector<TByteWrite> writes = planCommentSwap(blocks, newComments);
    for (std::size_t done = 0; done < writes.size(); ++done) {
        check(writes[done].offset + writes[done].bytes.size() <= expected);
        std::copy(writes[done].bytes.begin(), writes[done].bytes.end(),
                  swapped.begin() + static_cast<long>(writes[done].offset));
        check(commentsOf(swapped, expected) == (done == 0 ? oldComments : newComments));
    }

    std::vector<uint8_t> copy = rewrittenMetadata(blocks, flacBytesReader(stream), newComments);
    if (!copy.empty()) {
        const uint64_t framesAt = copy.size();
        copy.insert(copy.end(), stream.begin() + static_cast<long>(expected), stream.end());
        check(commentsOf(copy, framesAt) == newComments);
    }
    return 0;
}
