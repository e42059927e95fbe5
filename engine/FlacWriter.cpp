// SPDX-License-Identifier: GPL-3.0-or-later
#include "FlacWriter.h"

#include "OutputFile.h"

FlacWriter::FlacWriter(AudioFormat format, uint32_t level, uint64_t expectedFrames,
                       const std::optional<TTrackTags>& tags, TAlbumLoudness* album)
    : TrackWriter(format, album) {
    settings_.Channels = format.channels;
    settings_.SampleRate = format.sampleRate;
    settings_.CompressionLevel = level;
    settings_.ExpectedFrames = expectedFrames;
    if (tags) {
        settings_.Tags = flacTagsOf(*tags);
        settings_.FrontCover = flacFrontCoverOf(*tags);
    }
}

FlacWriter::~FlacWriter() = default;

void FlacWriter::startStream(OutputFile& file) {
    encoder_ = std::make_unique<TFlacEncoder>(file, settings_);
}

void FlacWriter::encode(const uint8_t* pcm, std::size_t bytes) {
    encoder_->write(pcm, bytes);
}

void FlacWriter::finishStream(const std::vector<TTagField>& replayGain) {
    encoder_->finish(replayGain);
}

TFlacTags flacTagsOf(const TTrackTags& tags) {
    TFlacTags flac;
    flac.Title = tags.Title;
    flac.Artist = tags.Performer;
    flac.Album = tags.Album;
    flac.AlbumArtist = tags.AlbumPerformer;
    flac.Date = tags.Date;
    flac.TrackNumber = tags.TrackNumber;
    flac.TrackTotal = tags.TrackCount;
    flac.DiscNumber = tags.DiscNumber;
    flac.DiscTotal = tags.DiscCount;
    flac.MusicBrainzAlbumId = tags.ReleaseId;
    flac.MusicBrainzReleaseGroupId = tags.ReleaseGroupId;
    flac.MusicBrainzTrackId = tags.RecordingId;
    flac.MusicBrainzArtistIds = tags.ArtistIds;
    flac.MusicBrainzAlbumArtistIds = tags.AlbumArtistIds;
    return flac;
}

std::optional<TFlacPicture> flacFrontCoverOf(const TTrackTags& tags) {
    if (tags.Cover.empty()) {
        return std::nullopt;
    }
    TFlacPicture cover{tags.CoverMimeType, tags.Cover};
    if (!flacPictureProblem(cover).empty()) {
        return std::nullopt;
    }
    return cover;
}
