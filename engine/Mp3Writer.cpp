#include "Mp3Writer.h"

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

std::unique_ptr<Mp3Writer> Mp3Writer::open(TLameCoder& coder, uint16_t channels,
                                           uint8_t monoDownMixType,
                                           std::optional<TTrackTags> tags) {
    if (coder.InitStream() != 0) {
        coder.CloseStream();
        return nullptr;
    }
    return std::unique_ptr<Mp3Writer>(
        new Mp3Writer(coder, monoMixFor(coder, channels, monoDownMixType), std::move(tags)));
}

Mp3Writer::Mp3Writer(TLameCoder& coder, uint8_t monoMix, std::optional<TTrackTags> tags)
    : coder_(coder)
    , monoMix_(monoMix)
    , tags_(std::move(tags))
    , chunkBytes_(2 * std::size_t{coder.ChunkSamples()})
    , chunk_(std::make_unique_for_overwrite<int16_t[]>(coder.ChunkSamples()))
    , output_(std::make_unique_for_overwrite<uint8_t[]>(coder.OutputBufferSize())) {}

Mp3Writer::~Mp3Writer() {
    coder_.CloseStream();
}

void Mp3Writer::start(OutputFile& file) {
    file_ = &file;
    if (tags_) {
        const std::vector<uint8_t> tag = id3v2Tag(*tags_, "Varrow " VARROW_VERSION);
        file.write(tag.data(), tag.size());
    }
    framesStart_ = file.size();
}

void Mp3Writer::write(const uint8_t* pcm, std::size_t bytes) {
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

void Mp3Writer::finish() {
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
    if (tags_) {
        const auto tag = id3v1Tag(*tags_);
        file_->write(tag.data(), tag.size());
    }
}
