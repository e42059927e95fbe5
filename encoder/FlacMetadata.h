// SPDX-License-Identifier: GPL-3.0-or-later
// The metadata blocks that open a FLAC stream, as bytes: where each block
// lies, the fields of the Vorbis comment block, and the writes that replace
// the comment block inside the padding beside it so that the stream is
// whole after every single one of them.
#pragma once

#include "ByteSink.h"
#include "TagText.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

enum TFlacBlockType : uint8_t {
    FLAC_STREAMINFO = 0,
    FLAC_PADDING = 1,
    FLAC_SEEKTABLE = 3,
    FLAC_VORBIS_COMMENT = 4,
    FLAC_PICTURE = 6,
};

inline constexpr std::size_t FLAC_BLOCK_HEADER_BYTES = 4;
inline constexpr uint32_t FLAC_LONGEST_BLOCK = 0xFFFFFF;
// Room for tags to grow in place, as a tagger finds it after the comments.
inline constexpr uint32_t FLAC_PADDING_BYTES = 8192;
// The padding after a comment block of `commentBytes`: enough for the block
// to be written once more beside itself (see planCommentSwap) with
// FLAC_PADDING_BYTES to grow.
inline constexpr uint32_t flacPaddingFor(std::size_t commentBytes) {
    return FLAC_PADDING_BYTES + static_cast<uint32_t>(commentBytes);
}
// More blocks than any real stream has; a stream claiming more is refused
// rather than walked block by block.
inline constexpr std::size_t FLAC_MOST_BLOCKS = 1024;

struct TFlacBlock {
    uint8_t type = 0;
    bool last = false;
    uint64_t offset = 0; // of the block's header, from the start of the stream
    uint32_t length = 0; // of the body that follows the header
    uint64_t bodyOffset() const { return offset + FLAC_BLOCK_HEADER_BYTES; }
    uint64_t end() const { return bodyOffset() + length; }
};

// Reads `size` bytes at `offset` into `out`; false when the stream holds
// fewer (or cannot be read).
using TFlacReadAt = std::function<bool(uint64_t offset, uint8_t* out, std::size_t size)>;

// Reads from `bytes`, which must outlive the reader.
TFlacReadAt flacBytesReader(std::span<const uint8_t> bytes);

// The metadata blocks in stream order, the last one flagged. Empty when the
// stream is not FLAC or its metadata is not well formed: no "fLaC", no
// 34-byte STREAMINFO first, a block of the reserved type 127, a second
// STREAMINFO, SEEKTABLE or VORBIS_COMMENT, more than FLAC_MOST_BLOCKS
// blocks, or the stream ending before the last block does.
std::vector<TFlacBlock> readFlacBlocks(const TFlacReadAt& read);

std::array<uint8_t, FLAC_BLOCK_HEADER_BYTES> flacBlockHeader(uint8_t type, bool last,
                                                             uint32_t length);

// A Vorbis comment block's body: the vendor text and the "NAME=value"
// entries, in order.
struct TVorbisComment {
    std::string vendor;
    std::vector<std::string> entries;
};

// Empty when the body is not a well-formed comment (a length running past
// the end, or bytes left over).
std::optional<TVorbisComment> parseVorbisComment(std::span<const uint8_t> body);
std::vector<uint8_t> vorbisCommentBody(const TVorbisComment& comment);
// The fields replace every entry of their names (names compare regardless
// of ASCII case) and go last, in order, their texts cleaned as tagText()
// cleans them; a name given more than once keeps each value (an album by
// two artists has two MUSICBRAINZ_ARTISTID entries), and a field whose
// text is empty only removes.
void setVorbisFields(TVorbisComment& comment, const std::vector<TTagField>& fields);

// The writes that replace the comment block with one of body `newBody`
// where the padding beside it can hold the new block, in this order: the
// new block goes into the padding's body, which readers skip; then one
// 4-byte block header makes the switch (the old comment block becomes
// padding that runs up to the new one, or the padding becomes the new
// comment block followed by padding over the old one); then the bytes that
// are padding now are zeroed. Whichever write fails, the stream is whole,
// with either the old comments or the new ones. Empty when there is no
// comment block or no padding beside it that is large enough.
std::vector<TByteWrite> planCommentSwap(const std::vector<TFlacBlock>& blocks,
                                        std::span<const uint8_t> newBody);

// "fLaC" and the metadata blocks again, for a new copy of the stream whose
// frames follow: every block as it was, in order, except that the comment
// block has body `newBody` (added before the padding when there was none)
// and all padding gives way to flacPaddingFor(newBody) of it at the end.
// Empty when a block cannot be read.
std::vector<uint8_t> rewrittenMetadata(const std::vector<TFlacBlock>& blocks,
                                       const TFlacReadAt& read, std::span<const uint8_t> newBody);
