// SPDX-License-Identifier: GPL-3.0-or-later
#include "FlacMetadata.h"

#include <algorithm>
#include <cstring>
#include <strings.h>

namespace {

constexpr uint8_t kReservedType = 127;
constexpr uint32_t kStreamInfoLength = 34;
constexpr std::array<uint8_t, 4> kMarker{'f', 'L', 'a', 'C'};

uint32_t littleEndian32(const uint8_t* bytes) {
    return uint32_t{bytes[0]} | uint32_t{bytes[1]} << 8 | uint32_t{bytes[2]} << 16 |
           uint32_t{bytes[3]} << 24;
}

void appendLittleEndian32(std::vector<uint8_t>& bytes, uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8) {
        bytes.push_back(static_cast<uint8_t>(value >> shift));
    }
}

void append(std::vector<uint8_t>& bytes, std::span<const uint8_t> more) {
    bytes.insert(bytes.end(), more.begin(), more.end());
}

std::string fieldName(const std::string& entry) {
    return entry.substr(0, entry.find('='));
}

const TFlacBlock* commentBlock(const std::vector<TFlacBlock>& blocks, std::size_t* index) {
    for (std::size_t at = 0; at < blocks.size(); ++at) {
        if (blocks[at].type == FLAC_VORBIS_COMMENT) {
            *index = at;
            return &blocks[at];
        }
    }
    return nullptr;
}

} // namespace

std::array<uint8_t, FLAC_BLOCK_HEADER_BYTES> flacBlockHeader(uint8_t type, bool last,
                                                             uint32_t length) {
    return {static_cast<uint8_t>((last ? 0x80U : 0U) | (type & 0x7FU)),
            static_cast<uint8_t>(length >> 16), static_cast<uint8_t>(length >> 8),
            static_cast<uint8_t>(length)};
}

TFlacReadAt flacBytesReader(std::span<const uint8_t> bytes) {
    return [bytes](uint64_t offset, uint8_t* out, std::size_t size) {
        if (offset > bytes.size() || bytes.size() - offset < size) {
            return false;
        }
        std::memcpy(out, bytes.data() + offset, size);
        return true;
    };
}

std::vector<TFlacBlock> readFlacBlocks(const TFlacReadAt& read) {
    std::array<uint8_t, 4> marker{};
    if (!read(0, marker.data(), marker.size()) || marker != kMarker) {
        return {};
    }
    std::vector<TFlacBlock> blocks;
    uint64_t offset = marker.size();
    bool seen[kReservedType] = {};
    while (blocks.empty() || !blocks.back().last) {
        std::array<uint8_t, FLAC_BLOCK_HEADER_BYTES> header{};
        if (blocks.size() == FLAC_MOST_BLOCKS || !read(offset, header.data(), header.size())) {
            return {};
        }
        TFlacBlock block;
        block.type = header[0] & 0x7FU;
        block.last = (header[0] & 0x80U) != 0;
        block.offset = offset;
        block.length = uint32_t{header[1]} << 16 | uint32_t{header[2]} << 8 | header[3];
        const bool first = blocks.empty();
        const bool unique = block.type == FLAC_STREAMINFO || block.type == FLAC_SEEKTABLE ||
                            block.type == FLAC_VORBIS_COMMENT;
        if (block.type == kReservedType || first != (block.type == FLAC_STREAMINFO) ||
            (first && block.length != kStreamInfoLength) || (unique && seen[block.type])) {
            return {};
        }
        seen[block.type] = true;
        blocks.push_back(block);
        offset = block.end();
    }
    // The stream must hold the last block whole; its frames may be missing.
    uint8_t lastByte = 0;
    if (blocks.back().length > 0 && !read(blocks.back().end() - 1, &lastByte, 1)) {
        return {};
    }
    return blocks;
}

std::optional<TVorbisComment> parseVorbisComment(std::span<const uint8_t> body) {
    std::size_t at = 0;
    const auto text = [&]() -> std::optional<std::string> {
        if (body.size() - at < 4) {
            return std::nullopt;
        }
        const uint32_t length = littleEndian32(body.data() + at);
        at += 4;
        if (body.size() - at < length) {
            return std::nullopt;
        }
        std::string value(reinterpret_cast<const char*>(body.data() + at), length);
        at += length;
        return value;
    };
    TVorbisComment comment;
    const std::optional<std::string> vendor = text();
    if (!vendor || body.size() - at < 4) {
        return std::nullopt;
    }
    comment.vendor = *vendor;
    const uint32_t count = littleEndian32(body.data() + at);
    at += 4;
    // Every entry takes at least its 4-byte length: a count beyond that is
    // refused before anything is reserved for it.
    if (count > (body.size() - at) / 4) {
        return std::nullopt;
    }
    comment.entries.reserve(count);
    for (uint32_t entry = 0; entry < count; ++entry) {
        std::optional<std::string> value = text();
        if (!value) {
            return std::nullopt;
        }
        comment.entries.push_back(std::move(*value));
    }
    if (at != body.size()) {
        return std::nullopt;
    }
    return comment;
}

std::vector<uint8_t> vorbisCommentBody(const TVorbisComment& comment) {
    std::vector<uint8_t> body;
    const auto appendText = [&](const std::string& text) {
        appendLittleEndian32(body, static_cast<uint32_t>(text.size()));
        append(body, {reinterpret_cast<const uint8_t*>(text.data()), text.size()});
    };
    appendText(comment.vendor);
    appendLittleEndian32(body, static_cast<uint32_t>(comment.entries.size()));
    for (const std::string& entry : comment.entries) {
        appendText(entry);
    }
    return body;
}

void setVorbisFields(TVorbisComment& comment, const std::vector<TTagField>& fields) {
    std::erase_if(comment.entries, [&](const std::string& entry) {
        return std::any_of(fields.begin(), fields.end(), [&](const TTagField& field) {
            return strcasecmp(fieldName(entry).c_str(), field.first.c_str()) == 0;
        });
    });
    for (const TTagField& field : fields) {
        std::string text = tagText(field.second);
        if (!text.empty()) {
            comment.entries.push_back(field.first + "=" + text);
        }
    }
}

std::vector<TByteWrite> planCommentSwap(const std::vector<TFlacBlock>& blocks,
                                        std::span<const uint8_t> newBody) {
    std::size_t index = 0;
    const TFlacBlock* comment = commentBlock(blocks, &index);
    if (comment == nullptr || newBody.size() > FLAC_LONGEST_BLOCK) {
        return {};
    }
    const auto newLength = static_cast<uint32_t>(newBody.size());
    const auto fits = [&](const TFlacBlock& padding) {
        return padding.type == FLAC_PADDING &&
               uint64_t{padding.length} >= FLAC_BLOCK_HEADER_BYTES + newLength;
    };
    std::vector<TByteWrite> writes(3);
    if (index + 1 < blocks.size() && fits(blocks[index + 1])) {
        // [comment][padding] becomes [padding][new comment]: the new block
        // takes the end of the padding, and the old comment's header turns
        // everything before it into padding.
        const TFlacBlock& padding = blocks[index + 1];
        const uint64_t newAt = padding.end() - FLAC_BLOCK_HEADER_BYTES - newLength;
        append(writes[0].bytes, flacBlockHeader(FLAC_VORBIS_COMMENT, padding.last, newLength));
        append(writes[0].bytes, newBody);
        writes[0].offset = newAt;
        const uint64_t paddingLength = newAt - comment->bodyOffset();
        if (paddingLength > FLAC_LONGEST_BLOCK) {
            return {};
        }
        append(writes[1].bytes,
               flacBlockHeader(FLAC_PADDING, false, static_cast<uint32_t>(paddingLength)));
        writes[1].offset = comment->offset;
        writes[2].offset = comment->bodyOffset();
        writes[2].bytes.assign(padding.bodyOffset() - comment->bodyOffset(), 0);
        return writes;
    }
    if (index > 0 && fits(blocks[index - 1])) {
        // [padding][comment] becomes [new comment][padding]: the new body
        // and a padding header behind it go into the padding's body, and
        // the padding's header turns into the new comment's.
        const TFlacBlock& padding = blocks[index - 1];
        append(writes[0].bytes, newBody);
        const uint64_t trailingAt = padding.bodyOffset() + newLength;
        const uint64_t trailingLength = comment->end() - trailingAt - FLAC_BLOCK_HEADER_BYTES;
        if (trailingLength > FLAC_LONGEST_BLOCK) {
            return {};
        }
        append(writes[0].bytes,
               flacBlockHeader(FLAC_PADDING, comment->last, static_cast<uint32_t>(trailingLength)));
        writes[0].offset = padding.bodyOffset();
        append(writes[1].bytes, flacBlockHeader(FLAC_VORBIS_COMMENT, false, newLength));
        writes[1].offset = padding.offset;
        writes[2].offset = comment->offset;
        writes[2].bytes.assign(comment->end() - comment->offset, 0);
        return writes;
    }
    return {};
}

std::vector<uint8_t> rewrittenMetadata(const std::vector<TFlacBlock>& blocks,
                                       const TFlacReadAt& read, std::span<const uint8_t> newBody) {
    if (flacPaddingFor(newBody.size()) > FLAC_LONGEST_BLOCK) {
        return {};
    }
    std::vector<uint8_t> head(kMarker.begin(), kMarker.end());
    const auto appendComment = [&] {
        append(head,
               flacBlockHeader(FLAC_VORBIS_COMMENT, false, static_cast<uint32_t>(newBody.size())));
        append(head, newBody);
    };
    bool commentWritten = false;
    for (const TFlacBlock& block : blocks) {
        if (block.type == FLAC_PADDING) {
            continue;
        }
        if (block.type == FLAC_VORBIS_COMMENT) {
            appendComment();
            commentWritten = true;
            continue;
        }
        append(head, flacBlockHeader(block.type, false, block.length));
        const std::size_t bodyAt = head.size();
        head.resize(bodyAt + block.length);
        if (!read(block.bodyOffset(), head.data() + bodyAt, block.length)) {
            return {};
        }
    }
    if (!commentWritten) {
        appendComment();
    }
    const uint32_t padding = flacPaddingFor(newBody.size());
    append(head, flacBlockHeader(FLAC_PADDING, true, padding));
    head.resize(head.size() + padding, 0);
    return head;
}
