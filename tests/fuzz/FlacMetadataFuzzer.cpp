// SPDX-License-Identifier: GPL-3.0-or-later
// Arbitrary bytes as the head of a FLAC stream, then as a cover image. The
// blocks read are contiguous from "fLaC" on and lie within the bytes; a
// comment block that parses is written back byte for byte; the comment
// swap leaves a whole stream after each of its writes, with the old
// comments and then the new ones; and the metadata written anew reads back
// with the new comments and the same frames after it.
#include "CoverImage.h"
#include "FlacMetadata.h"
#include "FlacSwapCheck.h"
#include "FuzzCheck.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>
#include <vector>

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
    for (const TFlacBlock& block : blocks) {
        const std::span<const uint8_t> body(data + block.bodyOffset(), block.length);
        const auto parsed =
            block.type == FLAC_VORBIS_COMMENT ? parseVorbisComment(body) : std::nullopt;
        if (parsed) {
            const std::vector<uint8_t> again = vorbisCommentBody(*parsed);
            check(std::equal(again.begin(), again.end(), body.begin(), body.end()));
            comment = *parsed;
        }
    }
    setVorbisFields(comment, {{"REPLAYGAIN_TRACK_GAIN", std::string(size % 40, '1')}});
    const varrow::testing::SwapOutcome outcome =
        varrow::testing::checkCommentReplacement(stream, vorbisCommentBody(comment));
    if (!outcome.broken.empty()) {
        std::fprintf(stderr, "%s\n", outcome.broken.c_str());
    }
    check(outcome.broken.empty());
    return 0;
}
