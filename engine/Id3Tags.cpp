// SPDX-License-Identifier: GPL-3.0-or-later
// ID3 tags rendered by TagLib from the track's texts.
#include "Id3Tags.h"

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <strings.h>
#include <taglib/attachedpictureframe.h>
#include <taglib/id3v1tag.h>
#include <taglib/id3v2tag.h>
#include <taglib/mpegfile.h>
#include <taglib/tbytevectorstream.h>
#include <taglib/textidentificationframe.h>
#include <taglib/tstring.h>
#include <taglib/uniquefileidentifierframe.h>

namespace {

void addTextFrame(TagLib::ID3v2::Tag& tag, const char* frameId, const std::string& utf8) {
    const std::string cleaned = tagText(utf8);
    if (cleaned.empty()) {
        return;
    }
    const TagLib::String text(cleaned, TagLib::String::UTF8);
    auto frame = std::make_unique<TagLib::ID3v2::TextIdentificationFrame>(
        TagLib::ByteVector(frameId),
        text.isLatin1() ? TagLib::String::Latin1 : TagLib::String::UTF16);
    frame->setText(text);
    tag.addFrame(frame.release()); // the tag owns its frames
}

// TXXX frames for the fields with a text, in the encodings `version` holds.
void addUserTextFrames(TagLib::ID3v2::Tag& tag, const std::vector<TTagField>& fields, int version) {
    for (const auto& [name, value] : fields) {
        const std::string cleaned = tagText(value);
        if (cleaned.empty()) {
            continue;
        }
        const TagLib::String text(cleaned, TagLib::String::UTF8);
        const TagLib::String::Type encoding = text.isLatin1() ? TagLib::String::Latin1
                                              : version == 4  ? TagLib::String::UTF8
                                                              : TagLib::String::UTF16;
        auto frame = std::make_unique<TagLib::ID3v2::UserTextIdentificationFrame>(encoding);
        frame->setDescription(TagLib::String(name, TagLib::String::UTF8));
        frame->setText(text);
        tag.addFrame(frame.release()); // the tag owns its frames
    }
}

// "n/N", n alone without a count; empty without a number.
std::string countText(int32_t number, int32_t count) {
    if (number <= 0) {
        return {};
    }
    std::string text = std::to_string(number);
    if (count > 0) {
        text += "/" + std::to_string(count);
    }
    return text;
}

// Several ids in one ID3v2.3 text, as taggers join them there.
std::string joinedIds(const std::vector<std::string>& ids) {
    std::string joined;
    for (const std::string& id : ids) {
        joined += (joined.empty() ? "" : "/") + id;
    }
    return joined;
}

// The MusicBrainz ids under the descriptions MusicBrainz Picard gives them,
// so that players and taggers find them; the recording has a frame of its
// own (UFID).
std::vector<TTagField> musicBrainzFields(const TTrackTags& tags) {
    return {{"MusicBrainz Album Id", tags.ReleaseId},
            {"MusicBrainz Release Group Id", tags.ReleaseGroupId},
            {"MusicBrainz Artist Id", joinedIds(tags.ArtistIds)},
            {"MusicBrainz Album Artist Id", joinedIds(tags.AlbumArtistIds)}};
}

// The recording's id, in the unique file identifier frame of MusicBrainz's
// own owner, where Picard and players look for it.
void addRecordingId(TagLib::ID3v2::Tag& tag, const std::string& recordingId) {
    if (recordingId.empty()) {
        return;
    }
    auto frame = std::make_unique<TagLib::ID3v2::UniqueFileIdentifierFrame>(
        "http://musicbrainz.org",
        TagLib::ByteVector(recordingId.data(), static_cast<unsigned int>(recordingId.size())));
    tag.addFrame(frame.release()); // the tag owns its frames
}

void addFrontCover(TagLib::ID3v2::Tag& tag, const TTrackTags& tags) {
    if (tags.Cover.empty() || tags.CoverMimeType.empty()) {
        return;
    }
    auto picture = std::make_unique<TagLib::ID3v2::AttachedPictureFrame>();
    picture->setType(TagLib::ID3v2::AttachedPictureFrame::FrontCover);
    picture->setMimeType(TagLib::String(tags.CoverMimeType, TagLib::String::Latin1));
    picture->setTextEncoding(TagLib::String::Latin1);
    picture->setPicture(TagLib::ByteVector(reinterpret_cast<const char*>(tags.Cover.data()),
                                           static_cast<unsigned int>(tags.Cover.size())));
    tag.addFrame(picture.release()); // the tag owns its frames
}

// The length of the UTF-8 sequence a lead byte opens, 0 for a byte that
// opens none.
int sequenceLength(unsigned char lead) {
    if (lead < 0x80) {
        return 1;
    }
    if (lead >= 0xC2 && lead <= 0xDF) {
        return 2;
    }
    if (lead >= 0xE0 && lead <= 0xEF) {
        return 3;
    }
    if (lead >= 0xF0 && lead <= 0xF4) {
        return 4;
    }
    return 0;
}

} // namespace

std::string latin1Replacing(const std::string& utf8) {
    std::string latin1;
    std::size_t at = 0;
    while (at < utf8.size()) {
        const auto lead = static_cast<unsigned char>(utf8[at]);
        const int length = sequenceLength(lead);
        int continuing = 0;
        for (int next = 1; next < length && at + next < utf8.size() &&
                           (static_cast<unsigned char>(utf8[at + next]) & 0xC0) == 0x80;
             ++next) {
            ++continuing;
        }
        if (length == 0 || continuing != length - 1) {
            latin1 += '?';
            at += 1 + static_cast<std::size_t>(continuing);
            continue;
        }
        if (length == 1) {
            latin1 += static_cast<char>(lead);
        } else if (length == 2 && lead <= 0xC3) {
            // U+0080 .. U+00FF: the Latin-1 byte of the same value.
            const auto second = static_cast<unsigned char>(utf8[at + 1]);
            latin1 += static_cast<char>(((lead & 0x03) << 6) | (second & 0x3F));
        } else {
            latin1 += '?';
        }
        at += static_cast<std::size_t>(length);
    }
    return latin1;
}

std::vector<uint8_t> id3v2Tag(const TTrackTags& tags, const std::string& encoder) {
    TagLib::ID3v2::Tag tag;
    addTextFrame(tag, "TIT2", tags.Title);
    addTextFrame(tag, "TPE1", tags.Performer);
    addTextFrame(tag, "TALB", tags.Album);
    addTextFrame(tag, "TRCK", countText(tags.TrackNumber, tags.TrackCount));
    addTextFrame(tag, "TPE2", tags.AlbumPerformer);
    // Rendered as version 2.3's year and day-month frames.
    addTextFrame(tag, "TDRC", tags.Date);
    addTextFrame(tag, "TPOS", countText(tags.DiscNumber, tags.DiscCount));
    addTextFrame(tag, "TSSE", encoder);
    addUserTextFrames(tag, musicBrainzFields(tags), 3);
    addRecordingId(tag, tags.RecordingId);
    addFrontCover(tag, tags);
    const TagLib::ByteVector rendered = tag.render(TagLib::ID3v2::v3);
    return {rendered.begin(), rendered.end()};
}

std::array<uint8_t, ID3V1_TAG_BYTES> id3v1Tag(const TTrackTags& tags) {
    TagLib::ID3v1::Tag tag;
    const auto latin1 = [](const std::string& utf8) {
        return TagLib::String(latin1Replacing(utf8), TagLib::String::Latin1);
    };
    tag.setTitle(latin1(tags.Title));
    tag.setArtist(latin1(tags.Performer));
    tag.setAlbum(latin1(tags.Album));
    if (tags.TrackNumber > 0 && tags.TrackNumber <= 255) {
        tag.setTrack(static_cast<unsigned int>(tags.TrackNumber));
    }
    if (tags.Date.size() >= 4) {
        tag.setYear(static_cast<unsigned int>(std::atoi(tags.Date.substr(0, 4).c_str())));
    }
    const TagLib::ByteVector rendered = tag.render();
    std::array<uint8_t, ID3V1_TAG_BYTES> bytes{};
    std::copy_n(rendered.begin(), std::min<std::size_t>(rendered.size(), bytes.size()),
                bytes.begin());
    return bytes;
}

namespace {

uint32_t syncsafe(std::span<const uint8_t> bytes) {
    return uint32_t{bytes[0]} << 21 | uint32_t{bytes[1]} << 14 | uint32_t{bytes[2]} << 7 | bytes[3];
}

bool isSyncsafe(std::span<const uint8_t> bytes) {
    return ((bytes[0] | bytes[1] | bytes[2] | bytes[3]) & 0x80U) == 0;
}

// A TXXX frame's description in ASCII: the text up to its terminator in the
// frame's encoding (Latin-1, UTF-16 with or without byte-order mark, UTF-8).
std::string userTextName(std::span<const uint8_t> body) {
    if (body.empty()) {
        return {};
    }
    const uint8_t encoding = body[0];
    body = body.subspan(1);
    std::string name;
    if (encoding == 1 || encoding == 2) {
        bool bigEndian = encoding == 2;
        std::size_t at = 0;
        if (encoding == 1 && body.size() >= 2 && (body[0] == 0xFE || body[0] == 0xFF)) {
            bigEndian = body[0] == 0xFE;
            at = 2;
        }
        for (; at + 1 < body.size(); at += 2) {
            const unsigned unit =
                bigEndian ? (body[at] << 8 | body[at + 1]) : (body[at + 1] << 8 | body[at]);
            if (unit == 0) {
                break;
            }
            name += unit < 0x80 ? static_cast<char>(unit) : '?';
        }
        return name;
    }
    for (const uint8_t byte : body) {
        if (byte == 0) {
            break;
        }
        name += byte < 0x80 ? static_cast<char>(byte) : '?';
    }
    return name;
}

} // namespace

std::size_t id3v2TagBytes(std::span<const uint8_t> header) {
    if (header.size() < ID3V2_HEADER_BYTES || header[0] != 'I' || header[1] != 'D' ||
        header[2] != '3' || header[3] == 0xFF || header[4] == 0xFF ||
        !isSyncsafe(header.subspan(6, 4))) {
        return 0;
    }
    const bool footer = (header[5] & 0x10U) != 0;
    return ID3V2_HEADER_BYTES * (footer ? 2 : 1) + syncsafe(header.subspan(6, 4));
}

std::optional<TId3v2Layout> id3v2Layout(std::span<const uint8_t> tag) {
    const std::size_t tagBytes = id3v2TagBytes(tag);
    if (tagBytes == 0 || tag.size() < tagBytes || (tag[3] != 3 && tag[3] != 4) || tag[5] != 0) {
        return std::nullopt;
    }
    TId3v2Layout layout;
    layout.version = tag[3];
    layout.tagBytes = tagBytes;
    std::size_t at = ID3V2_HEADER_BYTES;
    while (at + ID3V2_HEADER_BYTES <= tagBytes && tag[at] != 0) {
        const std::span<const uint8_t> id = tag.subspan(at, 4);
        const std::span<const uint8_t> sizeBytes = tag.subspan(at + 4, 4);
        for (const uint8_t c : id) {
            if (!((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'))) {
                return std::nullopt;
            }
        }
        if (layout.version == 4 && !isSyncsafe(sizeBytes)) {
            return std::nullopt;
        }
        const std::size_t size =
            layout.version == 4
                ? syncsafe(sizeBytes)
                : (std::size_t{sizeBytes[0]} << 24 | std::size_t{sizeBytes[1]} << 16 |
                   std::size_t{sizeBytes[2]} << 8 | sizeBytes[3]);
        const std::size_t bodyAt = at + ID3V2_HEADER_BYTES;
        if (size > tagBytes - bodyAt) {
            return std::nullopt;
        }
        if (std::equal(id.begin(), id.end(), "TXXX")) {
            layout.userTextNames.push_back(userTextName(tag.subspan(bodyAt, size)));
        }
        at = bodyAt + size;
    }
    layout.framesEnd = at;
    return layout;
}

namespace {

std::vector<uint8_t> rendered(const TagLib::ID3v2::Tag& tag, int version) {
    const TagLib::ByteVector bytes =
        tag.render(version == 4 ? TagLib::ID3v2::v4 : TagLib::ID3v2::v3);
    return {bytes.begin(), bytes.end()};
}

} // namespace

std::vector<uint8_t> id3v2UserTextFrames(const std::vector<TTagField>& fields, int version) {
    TagLib::ID3v2::Tag tag;
    addUserTextFrames(tag, fields, version);
    const std::vector<uint8_t> bytes = rendered(tag, version);
    const std::optional<TId3v2Layout> layout = id3v2Layout(bytes);
    if (!layout) {
        return {};
    }
    return {bytes.begin() + ID3V2_HEADER_BYTES,
            bytes.begin() + static_cast<std::ptrdiff_t>(layout->framesEnd)};
}

std::vector<uint8_t> id3v2TagWithUserTexts(std::span<const uint8_t> tag,
                                           const std::vector<TTagField>& fields) {
    TagLib::ByteVector held(reinterpret_cast<const char*>(tag.data()),
                            static_cast<unsigned int>(tag.size()));
    TagLib::ByteVectorStream stream(held);
    TagLib::MPEG::File file(&stream, TagLib::ID3v2::FrameFactory::instance(), false);
    TagLib::ID3v2::Tag* parsed = file.ID3v2Tag(true);
    if (parsed == nullptr) {
        return {};
    }
    for (const auto& [name, value] : fields) {
        const TagLib::ID3v2::FrameList held = parsed->frameList("TXXX");
        for (TagLib::ID3v2::Frame* frame : held) {
            const auto* userText =
                dynamic_cast<const TagLib::ID3v2::UserTextIdentificationFrame*>(frame);
            if (userText != nullptr &&
                strcasecmp(userText->description().to8Bit(true).c_str(), name.c_str()) == 0) {
                parsed->removeFrame(frame, true);
            }
        }
    }
    const int version = parsed->header()->majorVersion() == 4 ? 4 : 3;
    addUserTextFrames(*parsed, fields, version);
    return rendered(*parsed, version);
}
