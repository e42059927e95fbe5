// SPDX-License-Identifier: GPL-3.0-or-later
// The Vorbis comments a FLAC file of a track carries.
#pragma once

#include "TagText.h"

#include <cstdint>
#include <string>
#include <vector>

// Empty texts and numbers of 0 are left out of the file; a list gives one
// entry of its name per value.
struct TFlacTags {
    std::string Title;
    std::string Artist;
    std::string Album;
    std::string AlbumArtist;
    std::string Date;
    int32_t TrackNumber = 0;
    int32_t TrackTotal = 0;
    int32_t DiscNumber = 0;
    int32_t DiscTotal = 0;
    // MusicBrainz identifiers, when the disc was found there.
    std::string MusicBrainzAlbumId; // the release
    std::string MusicBrainzReleaseGroupId;
    std::string MusicBrainzTrackId;        // the recording
    std::string MusicBrainzReleaseTrackId; // the track on the release
    std::vector<std::string> MusicBrainzArtistIds;
    std::vector<std::string> MusicBrainzAlbumArtistIds;
    std::string MusicBrainzDiscId;
};

// The fields of `tags` under their Vorbis names (TITLE, ARTIST, ALBUM,
// ALBUMARTIST, TRACKNUMBER, TRACKTOTAL, DISCNUMBER, DISCTOTAL, DATE,
// MUSICBRAINZ_*), then ENCODER with flacEncoderName().
std::vector<TTagField> vorbisFieldsOf(const TFlacTags& tags);

// The program and the library that wrote the file: "Varrow 0.1.0 (libFLAC 1.4.2)".
std::string flacEncoderName();
