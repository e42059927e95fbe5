// SPDX-License-Identifier: GPL-3.0-or-later
// The FLAC stream of one file, encoded while the sectors are read. It takes
// 16-bit little-endian interleaved PCM in pieces of any size and writes the
// stream through a byte sink as libFLAC produces it:
//   - every frame is decoded again and compared with its input as it is
//     written (libFLAC's verify mode), so a fault of the encoder cannot
//     pass for a good file;
//   - STREAMINFO gets the MD5 of the audio and its length when the stream
//     is finished, written over the start of the stream;
//   - a seek table, reserved at the start, is filled at the end with one
//     point about every ten seconds of the audio actually encoded, so that a
//     track that ended early is as seekable as a whole one;
//   - the Vorbis comments, a front cover when there is one, and padding
//     after the comments, so that tags added later fit in place.
// The metadata goes in this order: STREAMINFO, SEEKTABLE, PICTURE,
// VORBIS_COMMENT, PADDING; comments added at the end move into the padding,
// which then comes before them (see planCommentSwap).
//
// Used by one thread at a time; it may move between threads.
#pragma once

#include "ByteSink.h"
#include "FlacTags.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

inline constexpr uint32_t FLAC_DEFAULT_COMPRESSION = 5;
inline constexpr uint32_t FLAC_MOST_COMPRESSION = 8;

// A picture as its file holds it.
struct TFlacPicture {
    std::string MimeType; // "image/jpeg" or "image/png"
    std::vector<uint8_t> Data;
};

struct TFlacSettings {
    // Of the PCM fed to the stream, which is 16-bit: 1 or 2 channels at any
    // rate FLAC holds (the CD library's output formats deliver 44100, 22050
    // and 11025 Hz, stereo or mono).
    uint32_t Channels = 2;
    uint32_t SampleRate = 44100;
    // 0 (fastest) to 8 (smallest file); every level is lossless.
    uint32_t CompressionLevel = FLAC_DEFAULT_COMPRESSION;
    // Sample frames the stream is expected to hold (a track's sectors x 588
    // at 44100 Hz); it sizes the seek table. 0: not known, room is made
    // for the longest disc.
    uint64_t ExpectedFrames = 0;
    TFlacTags Tags;
    std::optional<TFlacPicture> FrontCover;
};

// Why a picture block cannot hold `picture` (its bytes are not the JPEG or
// PNG image its MIME type names, or more than a block holds); empty when it
// can.
std::string flacPictureProblem(const TFlacPicture& picture);

class TFlacEncoder final {
public:
    // Writes "fLaC" and the metadata to `sink`, which must outlive the
    // encoder. Raises EEncoderError for settings the stream cannot hold (a
    // level beyond 8, channels other than 1 or 2, a cover that is not the
    // JPEG or PNG image its MIME type names or is larger than a picture
    // block holds), and the sink's own exception when it fails.
    TFlacEncoder(TByteSink& sink, const TFlacSettings& settings);
    // An unfinished stream is dropped without another byte written; the
    // sink keeps what it has.
    ~TFlacEncoder();
    TFlacEncoder(const TFlacEncoder&) = delete;
    TFlacEncoder& operator=(const TFlacEncoder&) = delete;

    // Encodes `bytes` of PCM; a sample frame split between two calls is
    // joined. Raises the sink's exception when it fails, and EEncoderError
    // when a frame does not decode to its input or the stream has failed or
    // been finished before.
    void write(const uint8_t* pcm, std::size_t bytes);
    // Encodes what is left, checks the last frames, writes STREAMINFO and
    // the seek table over their places, and adds `lateFields` to the
    // comments (the track's ReplayGain, known only now) inside the padding.
    // A trailing piece shorter than one sample frame is no audio and is
    // dropped. Raises as write() does; what the sink holds after a failure
    // is no finished stream.
    void finish(const std::vector<TTagField>& lateFields = {});

    // Sample frames taken by write() so far.
    uint64_t framesTaken() const;

private:
    class Stream;
    std::unique_ptr<Stream> stream_;
};
