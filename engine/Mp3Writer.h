// SPDX-License-Identifier: GPL-3.0-or-later
// The MP3 bytes of one track. Mp3Writer feeds 16-bit PCM, in whatever
// pieces it arrives, to an open stream of a TLameCoder in whole encoder
// chunks, carrying the rest to the next call, and writes what the coder
// returns to the track's OutputFile.
//
// Used by one thread at a time; it may move between threads.
#pragma once

#include "CDRIP.h"
#include "TrackWriter.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

class OutputFile;
class TLameCoder;

class Mp3Writer final : public TrackWriter {
public:
    // Opens `coder`'s stream for audio of `format` (a MONO stream fed stereo
    // reduces it as `monoDownMixType` says: 1 left, 2 right, anything else
    // the mean). Null when the coder refuses its settings; its stream is
    // then closed again. With `tags` the file opens with an ID3v2 tag and
    // ends with an ID3v1 tag, and with `album` as well the track's
    // ReplayGain goes into TXXX frames of the ID3v2 tag (TrackWriter.h); a
    // file without tags is not measured.
    static std::unique_ptr<Mp3Writer> open(TLameCoder& coder, AudioFormat format,
                                           uint8_t monoDownMixType, std::optional<TTrackTags> tags,
                                           TAlbumLoudness* album = nullptr);
    // The same with a coder of its own, a copy of `settings`: for an
    // encoding on another thread while the engine's coder stays in use.
    static std::unique_ptr<Mp3Writer> openCopy(const TLameCoder& settings, AudioFormat format,
                                               uint8_t monoDownMixType,
                                               std::optional<TTrackTags> tags,
                                               TAlbumLoudness* album = nullptr);
    // Closes the coder's stream.
    ~Mp3Writer() override;

private:
    Mp3Writer(TLameCoder& coder, std::unique_ptr<TLameCoder> ownCoder, AudioFormat format,
              uint8_t monoMix, std::optional<TTrackTags> tags, TAlbumLoudness* album);

    // The ID3v2 tag, if any, goes first so that a file cut short is tagged
    // too; the MP3 frames follow.
    void startStream(OutputFile& file) override;
    // Raises the file's write error; the bytes of the failed chunk are not
    // carried, so none is encoded twice.
    void encode(const uint8_t* pcm, std::size_t bytes) override;
    // Encodes the last, partial chunk so that no track loses its final
    // milliseconds, writes the flushed frames, and writes the VBR/info tag
    // frame over the placeholder at the start of the frames (right after the
    // ID3v2 tag) so that players show the true length; the ReplayGain frames
    // go into the ID3v2 tag's padding, and the ID3v1 tag follows the last
    // frame.
    void finishStream(const std::vector<TTagField>& replayGain) override;

    std::unique_ptr<TLameCoder> ownCoder_;
    TLameCoder& coder_;
    OutputFile* file_ = nullptr;
    uint64_t tagStart_ = 0;
    uint64_t framesStart_ = 0;
    uint8_t monoMix_;
    std::optional<TTrackTags> tags_;
    std::vector<uint8_t> tag_; // the ID3v2 tag as written
    std::size_t chunkBytes_;
    std::size_t carry_ = 0; // bytes of the next chunk already in chunk_
    std::unique_ptr<int16_t[]> chunk_;
    std::unique_ptr<uint8_t[]> output_;
};
