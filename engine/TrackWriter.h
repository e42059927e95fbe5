// SPDX-License-Identifier: GPL-3.0-or-later
// The encoded file of one track, written while its audio arrives: an MP3
// (Mp3Writer) or FLAC (FlacWriter) stream fed 16-bit PCM in whatever pieces
// it comes. The engine's own extraction and the encodings that run beside
// it (TrackEncoding.h) both go through a writer, so the same audio gives the
// same bytes either way.
//
// With an album to measure for, the writer also measures the loudness of
// the samples as they pass, so that no file is read again: a track read
// whole gets its ReplayGain (track gain and peak) in its tags when it is
// finished, and once its file is in place under its name its measurement
// joins the album's, whose values go into the files when the rip is done.
//
// Used by one thread at a time; it may move between threads.
#pragma once

#include "LoudnessMeter.h"
#include "TagText.h"
#include "WavHeader.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

class OutputFile;
class TAlbumLoudness;

class TrackWriter {
public:
    virtual ~TrackWriter();
    TrackWriter(const TrackWriter&) = delete;
    TrackWriter& operator=(const TrackWriter&) = delete;

    // Once, before any audio: what opens the stream goes to `file`, at its
    // end, which must outlive the writer's use of it.
    void start(OutputFile& file);
    // Raises the file's write error, or the encoder's.
    void write(const uint8_t* pcm, std::size_t bytes);
    // Ends the stream. `whole`: the track was read whole, without loss; its
    // ReplayGain, when measured, goes into its tags.
    void finish(bool whole);
    // The track's file is in place under its name: a track finished whole
    // counts for the album now.
    void placed();

protected:
    // `album`: where a measurement goes; null measures nothing.
    TrackWriter(AudioFormat format, TAlbumLoudness* album);

    virtual void startStream(OutputFile& file) = 0;
    virtual void encode(const uint8_t* pcm, std::size_t bytes) = 0;
    // `replayGain`: the track's fields, empty when none were measured.
    virtual void finishStream(const std::vector<TTagField>& replayGain) = 0;

private:
    TAlbumLoudness* album_;
    std::optional<TLoudnessMeter> meter_;
    // The file's final name: a track read again into it counts once.
    std::string path_;
    bool whole_ = false;
};
