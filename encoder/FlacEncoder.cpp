// SPDX-License-Identifier: GPL-3.0-or-later
#include "FlacEncoder.h"

#include "CoverImage.h"
#include "EncoderError.h"
#include "FlacMetadata.h"
#include "FrameAssembler.h"

#include <FLAC/metadata.h>
#include <FLAC/stream_encoder.h>
#include <algorithm>
#include <array>
#include <cstring>
#include <exception>
#include <new>

namespace {

struct EncoderDeleter {
    void operator()(FLAC__StreamEncoder* encoder) const { FLAC__stream_encoder_delete(encoder); }
};
struct MetadataDeleter {
    void operator()(FLAC__StreamMetadata* block) const { FLAC__metadata_object_delete(block); }
};
using MetadataPtr = std::unique_ptr<FLAC__StreamMetadata, MetadataDeleter>;

constexpr uint32_t kBitsPerSample = 16;
constexpr uint64_t kSeekIntervalSeconds = 10;
// Room for the seek table of a stream of unknown length: the longest disc.
constexpr uint64_t kLongestDiscSeconds = 80 * 60;
constexpr std::size_t kSeekPointBytes = 18;
constexpr uint64_t kPlaceholder = ~uint64_t{0};
// Sample frames converted for the library at a time.
constexpr std::size_t kBatchFrames = 4096;
constexpr std::size_t kMostChannels = 2;

MetadataPtr newBlock(FLAC__MetadataType type) {
    MetadataPtr block(FLAC__metadata_object_new(type));
    if (!block) {
        throw std::bad_alloc();
    }
    return block;
}

void check(FLAC__bool done) {
    if (!done) {
        throw std::bad_alloc();
    }
}

MetadataPtr pictureBlock(const TFlacPicture& picture) {
    if (const std::string problem = flacPictureProblem(picture); !problem.empty()) {
        throw EEncoderError(problem);
    }
    const std::optional<TCoverImage> image = coverImageOf(picture.Data);
    MetadataPtr block = newBlock(FLAC__METADATA_TYPE_PICTURE);
    block->data.picture.type = FLAC__STREAM_METADATA_PICTURE_TYPE_FRONT_COVER;
    std::string mimeType = picture.MimeType;
    std::vector<uint8_t> data = picture.Data;
    check(FLAC__metadata_object_picture_set_mime_type(block.get(), mimeType.data(), true));
    check(FLAC__metadata_object_picture_set_data(block.get(), data.data(),
                                                 static_cast<FLAC__uint32>(data.size()), true));
    block->data.picture.width = image->width;
    block->data.picture.height = image->height;
    block->data.picture.depth = image->bitsPerPixel;
    block->data.picture.colors = image->paletteColours;
    return block;
}

void appendBigEndian(std::vector<uint8_t>& bytes, uint64_t value, int width) {
    for (int shift = 8 * (width - 1); shift >= 0; shift -= 8) {
        bytes.push_back(static_cast<uint8_t>(value >> shift));
    }
}

} // namespace

std::string flacPictureProblem(const TFlacPicture& picture) {
    const std::optional<TCoverImage> image = coverImageOf(picture.Data);
    if (!image || image->mimeType != picture.MimeType) {
        return "The front cover is not the " + picture.MimeType + " image its type names";
    }
    // Type, MIME type, description, four image numbers and the data's
    // length, each with its length.
    const std::size_t blockBytes = 8 * 4 + picture.MimeType.size() + picture.Data.size();
    if (blockBytes > FLAC_LONGEST_BLOCK) {
        return "The front cover is larger than a FLAC picture block holds";
    }
    return {};
}

class TFlacEncoder::Stream {
public:
    Stream(TByteSink& sink, const TFlacSettings& settings);
    // The library is gone before anything its callbacks might touch.
    ~Stream() {
        abandoned_ = true;
        encoder_.reset();
    }
    Stream(const Stream&) = delete;
    Stream& operator=(const Stream&) = delete;

    void take(const uint8_t* pcm, std::size_t bytes);
    void finish(const std::vector<TTagField>& lateFields);
    uint64_t framesTaken() const { return framesTaken_; }

private:
    struct SeekPoint {
        uint64_t sample = 0;
        uint64_t offset = 0; // from the first frame
        uint32_t samples = 0;
    };

    static FLAC__StreamEncoderWriteStatus onWrite(const FLAC__StreamEncoder*,
                                                  const FLAC__byte buffer[], size_t bytes,
                                                  uint32_t samples, uint32_t, void* client);
    static FLAC__StreamEncoderSeekStatus onSeek(const FLAC__StreamEncoder*, FLAC__uint64 offset,
                                                void* client);
    static FLAC__StreamEncoderTellStatus onTell(const FLAC__StreamEncoder*, FLAC__uint64* offset,
                                                void* client);

    void configure(const TFlacSettings& settings);
    void put(const uint8_t* bytes, std::size_t size);
    void noteFrame(uint32_t samples);
    void encodeFrames(const uint8_t* pcm, std::size_t frames);
    void requireOpen() const;
    [[noreturn]] void raiseFailure();
    std::vector<uint8_t> seekTableBody() const;

    TByteSink& sink_;
    const std::size_t channels_;
    const std::size_t frameBytes_;
    const uint64_t seekInterval_;
    uint32_t seekPoints_ = 0;
    TVorbisComment comment_;

    // The blocks live as long as the encoder that points to them.
    MetadataPtr seekTable_;
    MetadataPtr picture_;
    MetadataPtr comments_;
    MetadataPtr padding_;
    std::unique_ptr<FLAC__StreamEncoder, EncoderDeleter> encoder_;

    uint64_t position_ = 0;
    std::vector<uint8_t> head_; // the metadata as written, until it is read
    std::vector<TFlacBlock> blocks_;
    bool inFrames_ = false;
    uint64_t firstFrameAt_ = 0;
    uint64_t samplesWritten_ = 0;
    uint64_t nextSeekSample_ = 0;
    std::vector<SeekPoint> seekCandidates_;

    TFrameAssembler frames_;
    std::vector<FLAC__int32> batch_;
    uint64_t framesTaken_ = 0;

    std::exception_ptr sinkFailure_;
    bool failed_ = false;
    bool finished_ = false;
    bool abandoned_ = false;
};

TFlacEncoder::Stream::Stream(TByteSink& sink, const TFlacSettings& settings)
    : sink_(sink)
    , channels_(settings.Channels)
    , frameBytes_(settings.Channels * kBitsPerSample / 8)
    , seekInterval_(kSeekIntervalSeconds * settings.SampleRate)
    , frames_(frameBytes_) {
    if (settings.Channels < 1 || settings.Channels > kMostChannels) {
        throw EEncoderError("FLAC streams of " + std::to_string(settings.Channels) +
                            " channels are not written");
    }
    if (settings.CompressionLevel > FLAC_MOST_COMPRESSION) {
        throw EEncoderError("FLAC compression level " + std::to_string(settings.CompressionLevel) +
                            " is not one of 0 to 8");
    }
    if (!FLAC__format_sample_rate_is_valid(settings.SampleRate) || settings.SampleRate == 0) {
        throw EEncoderError("FLAC cannot hold a sample rate of " +
                            std::to_string(settings.SampleRate) + " Hz");
    }
    configure(settings);
    batch_.resize(kBatchFrames * channels_);

    const FLAC__StreamEncoderInitStatus status = FLAC__stream_encoder_init_stream(
        encoder_.get(), &Stream::onWrite, &Stream::onSeek, &Stream::onTell, nullptr, this);
    if (sinkFailure_) {
        std::rethrow_exception(sinkFailure_);
    }
    if (status != FLAC__STREAM_ENCODER_INIT_STATUS_OK) {
        throw EEncoderError(std::string("libFLAC refuses the stream: ") +
                            FLAC__StreamEncoderInitStatusString[status]);
    }
    // The metadata is written whole now; where its blocks lie is needed at
    // the end.
    blocks_ = readFlacBlocks(flacBytesReader(head_));
    if (blocks_.empty()) {
        throw EEncoderError("libFLAC wrote metadata that cannot be read back");
    }
    head_ = {};
}

void TFlacEncoder::Stream::configure(const TFlacSettings& settings) {
    encoder_.reset(FLAC__stream_encoder_new());
    if (!encoder_) {
        throw std::bad_alloc();
    }
    FLAC__StreamEncoder* encoder = encoder_.get();
    FLAC__stream_encoder_set_verify(encoder, true);
    FLAC__stream_encoder_set_channels(encoder, settings.Channels);
    FLAC__stream_encoder_set_bits_per_sample(encoder, kBitsPerSample);
    FLAC__stream_encoder_set_sample_rate(encoder, settings.SampleRate);
    FLAC__stream_encoder_set_compression_level(encoder, settings.CompressionLevel);

    const uint64_t expectedFrames = settings.ExpectedFrames > 0
                                        ? settings.ExpectedFrames
                                        : kLongestDiscSeconds * settings.SampleRate;
    seekPoints_ = static_cast<uint32_t>((expectedFrames + seekInterval_ - 1) / seekInterval_ + 1);
    seekTable_ = newBlock(FLAC__METADATA_TYPE_SEEKTABLE);
    check(FLAC__metadata_object_seektable_template_append_placeholders(seekTable_.get(),
                                                                       seekPoints_));
    std::vector<FLAC__StreamMetadata*> blocks{seekTable_.get()};
    if (settings.FrontCover) {
        picture_ = pictureBlock(*settings.FrontCover);
        blocks.push_back(picture_.get());
    }

    // libFLAC writes its own vendor text in place of the block's.
    comment_.vendor = FLAC__VENDOR_STRING;
    setVorbisFields(comment_, vorbisFieldsOf(settings.Tags));
    comments_ = newBlock(FLAC__METADATA_TYPE_VORBIS_COMMENT);
    for (std::string& entry : comment_.entries) {
        const FLAC__StreamMetadata_VorbisComment_Entry libraryEntry{
            static_cast<FLAC__uint32>(entry.size()), reinterpret_cast<FLAC__byte*>(entry.data())};
        check(FLAC__metadata_object_vorbiscomment_append_comment(comments_.get(), libraryEntry,
                                                                 true));
    }
    blocks.push_back(comments_.get());

    padding_ = newBlock(FLAC__METADATA_TYPE_PADDING);
    padding_->length = flacPaddingFor(vorbisCommentBody(comment_).size());
    blocks.push_back(padding_.get());
    check(FLAC__stream_encoder_set_metadata(encoder, blocks.data(),
                                            static_cast<uint32_t>(blocks.size())));
}

FLAC__StreamEncoderWriteStatus TFlacEncoder::Stream::onWrite(const FLAC__StreamEncoder*,
                                                             const FLAC__byte buffer[],
                                                             size_t bytes, uint32_t samples,
                                                             uint32_t, void* client) {
    auto& stream = *static_cast<Stream*>(client);
    if (stream.abandoned_ || stream.sinkFailure_) {
        return FLAC__STREAM_ENCODER_WRITE_STATUS_FATAL_ERROR;
    }
    // No exception may cross the library; it is raised again when the
    // library has returned.
    try {
        if (samples > 0) {
            stream.noteFrame(samples);
        } else if (!stream.inFrames_) {
            stream.head_.insert(stream.head_.end(), buffer, buffer + bytes);
        }
        stream.put(buffer, bytes);
    } catch (...) {
        stream.sinkFailure_ = std::current_exception();
        return FLAC__STREAM_ENCODER_WRITE_STATUS_FATAL_ERROR;
    }
    return FLAC__STREAM_ENCODER_WRITE_STATUS_OK;
}

FLAC__StreamEncoderSeekStatus TFlacEncoder::Stream::onSeek(const FLAC__StreamEncoder*,
                                                           FLAC__uint64 offset, void* client) {
    auto& stream = *static_cast<Stream*>(client);
    if (stream.abandoned_ || offset > stream.sink_.size()) {
        return FLAC__STREAM_ENCODER_SEEK_STATUS_ERROR;
    }
    stream.position_ = offset;
    return FLAC__STREAM_ENCODER_SEEK_STATUS_OK;
}

FLAC__StreamEncoderTellStatus TFlacEncoder::Stream::onTell(const FLAC__StreamEncoder*,
                                                           FLAC__uint64* offset, void* client) {
    *offset = static_cast<Stream*>(client)->position_;
    return FLAC__STREAM_ENCODER_TELL_STATUS_OK;
}

// Bytes before the sink's end overwrite what is there; the rest is appended.
void TFlacEncoder::Stream::put(const uint8_t* bytes, std::size_t size) {
    const uint64_t end = sink_.size();
    const auto overlap = static_cast<std::size_t>(std::min<uint64_t>(size, end - position_));
    if (overlap > 0) {
        sink_.writeAt(position_, bytes, overlap);
    }
    if (size > overlap) {
        sink_.write(bytes + overlap, size - overlap);
    }
    position_ += size;
}

// A frame is about to be written at position_: it becomes the candidate
// seek point for every interval mark it holds.
void TFlacEncoder::Stream::noteFrame(uint32_t samples) {
    if (!inFrames_) {
        inFrames_ = true;
        firstFrameAt_ = position_;
    }
    if (nextSeekSample_ < samplesWritten_ + samples) {
        seekCandidates_.push_back({samplesWritten_, position_ - firstFrameAt_, samples});
        while (nextSeekSample_ < samplesWritten_ + samples) {
            nextSeekSample_ += seekInterval_;
        }
    }
    samplesWritten_ += samples;
}

void TFlacEncoder::Stream::requireOpen() const {
    if (failed_ || finished_) {
        throw EEncoderError(failed_ ? "The FLAC stream has failed" : "The FLAC stream is finished");
    }
}

void TFlacEncoder::Stream::raiseFailure() {
    failed_ = true;
    if (sinkFailure_) {
        std::rethrow_exception(sinkFailure_);
    }
    const FLAC__StreamEncoderState state = FLAC__stream_encoder_get_state(encoder_.get());
    if (state == FLAC__STREAM_ENCODER_VERIFY_MISMATCH_IN_AUDIO_DATA) {
        FLAC__uint64 sample = 0;
        uint32_t frame = 0;
        uint32_t channel = 0;
        uint32_t inFrame = 0;
        FLAC__int32 expected = 0;
        FLAC__int32 got = 0;
        FLAC__stream_encoder_get_verify_decoder_error_stats(encoder_.get(), &sample, &frame,
                                                            &channel, &inFrame, &expected, &got);
        throw EEncoderError("FLAC verification failed: sample " + std::to_string(sample) +
                            " of channel " + std::to_string(channel) + " decodes as " +
                            std::to_string(got) + " instead of " + std::to_string(expected));
    }
    throw EEncoderError(std::string("FLAC encoding failed: ") +
                        FLAC__stream_encoder_get_resolved_state_string(encoder_.get()));
}

void TFlacEncoder::Stream::encodeFrames(const uint8_t* pcm, std::size_t frames) {
    while (frames > 0) {
        const std::size_t now = std::min(frames, kBatchFrames);
        const std::size_t values = now * channels_;
        for (std::size_t i = 0; i < values; ++i) {
            batch_[i] = static_cast<int16_t>(pcm[2 * i] | pcm[2 * i + 1] << 8);
        }
        if (!FLAC__stream_encoder_process_interleaved(encoder_.get(), batch_.data(),
                                                      static_cast<uint32_t>(now))) {
            raiseFailure();
        }
        framesTaken_ += now;
        pcm += now * frameBytes_;
        frames -= now;
    }
}

void TFlacEncoder::Stream::take(const uint8_t* pcm, std::size_t bytes) {
    requireOpen();
    frames_.feed(pcm, bytes,
                 [this](const uint8_t* whole, std::size_t frames) { encodeFrames(whole, frames); });
}

std::vector<uint8_t> TFlacEncoder::Stream::seekTableBody() const {
    // The candidates are thinned evenly when the stream ran longer than
    // expected; the points left over stay placeholders, which go last.
    std::vector<SeekPoint> points;
    const std::size_t candidates = seekCandidates_.size();
    for (std::size_t k = 0; k < std::min<std::size_t>(seekPoints_, candidates); ++k) {
        points.push_back(candidates <= seekPoints_ ? seekCandidates_[k]
                                                   : seekCandidates_[k * candidates / seekPoints_]);
    }
    std::vector<uint8_t> body;
    body.reserve(seekPoints_ * kSeekPointBytes);
    for (const SeekPoint& point : points) {
        appendBigEndian(body, point.sample, 8);
        appendBigEndian(body, point.offset, 8);
        appendBigEndian(body, point.samples, 2);
    }
    for (std::size_t k = points.size(); k < seekPoints_; ++k) {
        appendBigEndian(body, kPlaceholder, 8);
        appendBigEndian(body, 0, 8);
        appendBigEndian(body, 0, 2);
    }
    return body;
}

void TFlacEncoder::Stream::finish(const std::vector<TTagField>& lateFields) {
    requireOpen();
    finished_ = true;
    if (!FLAC__stream_encoder_finish(encoder_.get())) {
        raiseFailure();
    }
    const auto seekTable = std::find_if(blocks_.begin(), blocks_.end(), [](const TFlacBlock& b) {
        return b.type == FLAC_SEEKTABLE;
    });
    if (seekTable == blocks_.end()) {
        throw EEncoderError("libFLAC wrote no seek table");
    }
    const std::vector<uint8_t> points = seekTableBody();
    sink_.writeAt(seekTable->bodyOffset(), points.data(), points.size());
    if (lateFields.empty()) {
        return;
    }
    setVorbisFields(comment_, lateFields);
    const std::vector<TByteWrite> writes = planCommentSwap(blocks_, vorbisCommentBody(comment_));
    if (writes.empty()) {
        throw EEncoderError("The tags do not fit in the FLAC file's padding");
    }
    for (const TByteWrite& write : writes) {
        sink_.writeAt(write.offset, write.bytes.data(), write.bytes.size());
    }
}

TFlacEncoder::TFlacEncoder(TByteSink& sink, const TFlacSettings& settings)
    : stream_(std::make_unique<Stream>(sink, settings)) {}

TFlacEncoder::~TFlacEncoder() = default;

void TFlacEncoder::write(const uint8_t* pcm, std::size_t bytes) {
    stream_->take(pcm, bytes);
}

void TFlacEncoder::finish(const std::vector<TTagField>& lateFields) {
    stream_->finish(lateFields);
}

uint64_t TFlacEncoder::framesTaken() const {
    return stream_->framesTaken();
}
