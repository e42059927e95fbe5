// SPDX-License-Identifier: GPL-3.0-or-later
// The FLAC file of one track: TFlacEncoder (verified frames, the audio's MD5,
// a seek table) writing into the track's OutputFile, tagged from the track's
// tags as Vorbis comments with its front cover as a picture block, and with
// the track's ReplayGain added to the comments when it is finished
// (TrackWriter.h).
//
// Used by one thread at a time; it may move between threads.
#pragma once

#include "CDRIP.h"
#include "FlacEncoder.h"
#include "TrackWriter.h"

#include <memory>
#include <optional>

class FlacWriter final : public TrackWriter {
public:
    // Audio of `format` at compression `level` (0..8), about
    // `expectedFrames` sample frames long. The encoder starts with the
    // file: a level it refuses raises EEncoderError then.
    FlacWriter(AudioFormat format, uint32_t level, uint64_t expectedFrames,
               const std::optional<TTrackTags>& tags, TAlbumLoudness* album = nullptr);
    ~FlacWriter() override;

private:
    void startStream(OutputFile& file) override;
    void encode(const uint8_t* pcm, std::size_t bytes) override;
    void finishStream(const std::vector<TTagField>& replayGain) override;

    TFlacSettings settings_;
    std::unique_ptr<TFlacEncoder> encoder_;
};

// What a FLAC file says of a track: each field of `tags` under its Vorbis
// name (the performer as ARTIST, the album's as ALBUMARTIST, the count of
// tracks and discs as TRACKTOTAL and DISCTOTAL, the release as
// MUSICBRAINZ_ALBUMID, the recording as MUSICBRAINZ_TRACKID, one
// MUSICBRAINZ_ARTISTID per artist).
TFlacTags flacTagsOf(const TTrackTags& tags);
// The track's front cover as a picture block takes it: none when there is
// none, or when its bytes are not the JPEG or PNG image its type names or
// are more than a block holds, so that a broken cover costs the picture
// and not the track.
std::optional<TFlacPicture> flacFrontCoverOf(const TTrackTags& tags);
