// The MP3 bytes of one track. Mp3Writer feeds 16-bit PCM, in whatever
// pieces it arrives, to an open stream of a TLameCoder in whole encoder
// chunks, carrying the rest to the next call, and writes what the coder
// returns to the track's OutputFile. The engine's own extraction and the
// encodings that run beside it (TrackEncoding.h) both go through it, so the
// same audio gives the same bytes either way.
//
// Used by one thread at a time; it may move between threads.
#pragma once

#include "CDRIP.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>

class OutputFile;
class TLameCoder;

class Mp3Writer final {
public:
    // Opens `coder`'s stream for audio of `channels` channels (a MONO stream
    // fed stereo reduces it as `monoDownMixType` says: 1 left, 2 right,
    // anything else the mean). Null when the coder refuses its settings; its
    // stream is then closed again. With `tags` the file opens with an ID3v2
    // tag and ends with an ID3v1 tag.
    static std::unique_ptr<Mp3Writer> open(TLameCoder& coder, uint16_t channels,
                                           uint8_t monoDownMixType, std::optional<TTrackTags> tags);
    // Closes the coder's stream.
    ~Mp3Writer();
    Mp3Writer(const Mp3Writer&) = delete;
    Mp3Writer& operator=(const Mp3Writer&) = delete;

    // Once, before any audio: the ID3v2 tag, if any, goes to `file` at its
    // current end, written first so that a file cut short is tagged too; the
    // MP3 frames follow. The file must outlive the writer's use of it.
    void start(OutputFile& file);
    // Raises the file's write error; the bytes of the failed chunk are not
    // carried, so none is encoded twice.
    void write(const uint8_t* pcm, std::size_t bytes);
    // Encodes the last, partial chunk so that no track loses its final
    // milliseconds, writes the flushed frames, and writes the VBR/info tag
    // frame over the placeholder at the start of the frames (right after the
    // ID3v2 tag) so that players show the true length; the ID3v1 tag
    // follows the last frame.
    void finish();

private:
    Mp3Writer(TLameCoder& coder, uint8_t monoMix, std::optional<TTrackTags> tags);

    TLameCoder& coder_;
    OutputFile* file_ = nullptr;
    uint64_t framesStart_ = 0;
    uint8_t monoMix_;
    std::optional<TTrackTags> tags_;
    std::size_t chunkBytes_;
    std::size_t carry_ = 0; // bytes of the next chunk already in chunk_
    std::unique_ptr<int16_t[]> chunk_;
    std::unique_ptr<uint8_t[]> output_;
};
