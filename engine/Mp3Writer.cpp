// SPDX-License-Identifier: GPL-3.0-or-later
#include "Mp3Writer.h"

#include "EncoderError.h"
#include "Id3Tags.h"
#include "LameCoder.h"
#include "OutputFile.h"

#include <algorithm>
#include <cstring>
#include <utility>
#include <vector>

namespace {

uint8_t monoMixFor(const TLameCoder& coder, uint16_t channels, uint8_t monoDownMixType) {
    if (coder.Mode() != MONO || channels != 2) {
        return MONOMIX_NONE;
    }
    switch (monoDownMixType) {
    case 1:
        return MONOMIX_LEFT;
    case 2:
        return MONOMIX_RIGHT;
    default:
        return MONOMIX_MEAN;
    }
}

} // namespace

std::unique_ptr<Mp3Writer> Mp3Writer::open(TLameCoder& coder, AudioFormat format,
                                           uint8_t monoDownMixType, std::optional<TTrackTags> tags,
                                           TAlbumLoudness* album) {
    if (coder.InitStream() != 0) {
        coder.CloseStream();
        return nullptr;
    }
    const uint8_t monoMix = monoMixFor(coder, format.channels, monoDownMixType);
    return std::unique_ptr<Mp3Writer>(
        new Mp3Writer(coder, nullptr, format, monoMix, std::move(tags), album));
}

std::unique_ptr<Mp3Writer> Mp3Writer::openCopy(const TLameCoder& settings, AudioFormat format,
                                               uint8_t monoDownMixType,
                                               std::optional<TTrackTags> tags,
                                               TAlbumLoudness* album) {
    auto coder = std::make_unique<TLameCoder>();
    coder->Assign(settings);
    if (coder->InitStream() != 0) {
        coder->CloseStream();
        return nullptr;
    }
    TLameCoder& own = *coder;
    const uint8_t monoMix = monoMixFor(own, format.channels, monoDownMixType);
    return std::unique_ptr<Mp3Writer>(
        new Mp3Writer(own, std::move(coder), format, monoMix, std::move(tags), album));
}

Mp3Writer::Mp3Writer(TLameCoder& coder, std::unique_ptr<TLameCoder> ownCoder, AudioFormat format,
                     uint8_t monoMix, std::optional<TTrackTags> tags, TAlbumLoudness* album)
    : TrackWriter(format, tags ? album : nullptr)
    , ownCoder_(std::move(ownCoder))
    , coder_(coder)
    , monoMix_(monoMix)
    , tags_(std::move(tags))
    , chunkBytes_(2 * std::size_t{coder.ChunkSamples()})
    , chunk_(std::make_unique_for_overwrite<int16_t[]>(coder.ChunkSamples()))
    , output_(std::make_unique_for_overwrite<uint8_t[]>(coder.OutputBufferSize())) {}

Mp3Writer::~Mp3Writer() {
    coder_.CloseStream();
}

void Mp3Writer::startStream(OutputFile& file) {
    file_ = &file;
    tagStart_ = file.size();
    if (tags_) {
        tag_ = id3v2Tag(*tags_, "Varrow " VARROW_VERSION);
        file.write(tag_.data(), tag_.size());
    }
    framesStart_ = file.size();
}

void Mp3Writer::encode(const uint8_t* pcm, std::size_t bytes) {
    auto* chunk = reinterpret_cast<uint8_t*>(chunk_.get());
    while (bytes > 0) {
        const std::size_t taken = std::min(bytes, chunkBytes_ - carry_);
        std::memcpy(chunk + carry_, pcm, taken);
        carry_ += taken;
        pcm += taken;
        bytes -= taken;
        if (carry_ == chunkBytes_) {
            carry_ = 0;
            uint32_t encoded = 0;
            coder_.EncodeChunk(chunk_.get(), output_.get(), monoMix_, encoded);
            file_->write(output_.get(), encoded);
        }
    }
}

void Mp3Writer::finishStream(const std::vector<TTagField>& replayGain) {
    if (carry_ > 0) {
        const auto samples = static_cast<uint32_t>(carry_ / sizeof(int16_t));
        carry_ = 0;
        uint32_t encoded = 0;
        coder_.EncodeSamples(chunk_.get(), samples, output_.get(), monoMix_, encoded);
        file_->write(output_.get(), encoded);
    }
    uint32_t flushed = 0;
    coder_.DeinitStream(output_.get(), flushed);
    file_->write(output_.get(), flushed);
    const std::vector<uint8_t> tagFrame = coder_.VBRTagFrame();
    if (!tagFrame.empty()) {
        file_->writeAt(framesStart_, tagFrame.data(), tagFrame.size());
    }
    if (!replayGain.empty()) {
        // A new tag has a kilobyte of padding after its frames, far more
        // than the two frames take.
        const std::optional<TId3v2Layout> layout = id3v2Layout(tag_);
        const std::vector<uint8_t> frames =
            id3v2UserTextFrames(replayGain, layout ? layout->version : 3);
        if (!layout || frames.size() > layout->tagBytes - layout->framesEnd) {
            throw EEncoderError("The ID3v2 tag has no room for the track's ReplayGain");
        }
        file_->writeAt(tagStart_ + layout->framesEnd, frames.data(), frames.size());
    }
    if (tags_) {
        const auto tag = id3v1Tag(*tags_);
        file_->write(tag.data(), tag.size());
    }
}
