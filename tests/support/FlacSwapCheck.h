// SPDX-License-Identifier: GPL-3.0-or-later
// The promise of planCommentSwap and rewrittenMetadata, checked on one
// stream, for the table of layouts and for the fuzz target alike: after
// each write of the swap the stream is whole (its blocks read, its frames
// where they were, every other block as it was) with either the old
// comments or the new ones; where the swap does not fit, the metadata
// written anew is whole with the new comments.
#pragma once

#include "FlacMetadata.h"

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

namespace varrow::testing {

struct SwapOutcome {
    std::string broken; // the first promise broken; empty when all hold
    bool inPlace = false;
    std::vector<uint8_t> swapped;   // the stream after every write
    std::vector<uint8_t> rewritten; // or the new copy
};

namespace detail {

struct Whole {
    std::vector<uint8_t> comments;
    std::vector<std::vector<uint8_t>> others; // headers and bodies of the other blocks
};

inline std::optional<Whole> wholeStream(const std::vector<uint8_t>& stream, uint64_t framesAt) {
    const std::vector<TFlacBlock> blocks = readFlacBlocks(flacBytesReader(stream));
    if (blocks.empty() || blocks.back().end() != framesAt) {
        return std::nullopt;
    }
    Whole whole;
    for (const TFlacBlock& block : blocks) {
        const auto first = stream.begin() + static_cast<long>(block.bodyOffset());
        std::vector<uint8_t> body(first, first + block.length);
        if (block.type == FLAC_VORBIS_COMMENT) {
            whole.comments = std::move(body);
        } else if (block.type != FLAC_PADDING) {
            body.insert(body.begin(), block.type);
            whole.others.push_back(std::move(body));
        }
    }
    return whole;
}

} // namespace detail

inline SwapOutcome checkCommentReplacement(const std::vector<uint8_t>& stream,
                                           const std::vector<uint8_t>& newComments) {
    SwapOutcome outcome;
    const std::vector<TFlacBlock> blocks = readFlacBlocks(flacBytesReader(stream));
    if (blocks.empty()) {
        outcome.broken = "the stream's blocks do not read";
        return outcome;
    }
    const uint64_t framesAt = blocks.back().end();
    const std::optional<detail::Whole> before = detail::wholeStream(stream, framesAt);
    const auto holds = [&](const std::vector<uint8_t>& after, uint64_t at,
                           const std::vector<uint8_t>& comments) {
        const std::optional<detail::Whole> whole = detail::wholeStream(after, at);
        return whole && whole->comments == comments && whole->others == before->others &&
               std::equal(stream.begin() + static_cast<long>(framesAt), stream.end(),
                          after.begin() + static_cast<long>(at), after.end());
    };
    const std::vector<TByteWrite> writes = planCommentSwap(blocks, newComments);
    outcome.inPlace = !writes.empty();
    outcome.swapped = stream;
    for (std::size_t done = 0; done < writes.size(); ++done) {
        if (writes[done].offset + writes[done].bytes.size() > framesAt) {
            outcome.broken = "write " + std::to_string(done) + " reaches the frames";
            return outcome;
        }
        std::copy(writes[done].bytes.begin(), writes[done].bytes.end(),
                  outcome.swapped.begin() + static_cast<long>(writes[done].offset));
        if (!holds(outcome.swapped, framesAt, done == 0 ? before->comments : newComments)) {
            outcome.broken = "after write " + std::to_string(done) + " the stream is not whole";
            return outcome;
        }
    }
    if (outcome.inPlace) {
        return outcome;
    }
    outcome.rewritten = rewrittenMetadata(blocks, flacBytesReader(stream), newComments);
    const uint64_t newFramesAt = outcome.rewritten.size();
    outcome.rewritten.insert(outcome.rewritten.end(), stream.begin() + static_cast<long>(framesAt),
                             stream.end());
    if (newFramesAt > 0 && !holds(outcome.rewritten, newFramesAt, newComments)) {
        outcome.broken = "the metadata written anew is not whole";
    }
    return outcome;
}

} // namespace varrow::testing
