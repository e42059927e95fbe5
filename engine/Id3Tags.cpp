// ID3 tags rendered by TagLib from the track's texts.
#include "Id3Tags.h"

#include <algorithm>
#include <memory>
#include <taglib/id3v1tag.h>
#include <taglib/id3v2tag.h>
#include <taglib/textidentificationframe.h>

namespace {

void addTextFrame(TagLib::ID3v2::Tag& tag, const char* frameId, const std::string& utf8) {
    if (utf8.empty()) {
        return;
    }
    const TagLib::String text(utf8, TagLib::String::UTF8);
    auto frame = std::make_unique<TagLib::ID3v2::TextIdentificationFrame>(
        TagLib::ByteVector(frameId),
        text.isLatin1() ? TagLib::String::Latin1 : TagLib::String::UTF16);
    frame->setText(text);
    tag.addFrame(frame.release()); // the tag owns its frames
}

std::string trackText(const TTrackTags& tags) {
    if (tags.TrackNumber <= 0) {
        return {};
    }
    std::string text = std::to_string(tags.TrackNumber);
    if (tags.TrackCount > 0) {
        text += "/" + std::to_string(tags.TrackCount);
    }
    return text;
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
    addTextFrame(tag, "TRCK", trackText(tags));
    addTextFrame(tag, "TSSE", encoder);
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
    const TagLib::ByteVector rendered = tag.render();
    std::array<uint8_t, ID3V1_TAG_BYTES> bytes{};
    std::copy_n(rendered.begin(), std::min<std::size_t>(rendered.size(), bytes.size()),
                bytes.begin());
    return bytes;
}
