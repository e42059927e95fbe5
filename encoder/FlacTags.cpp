// SPDX-License-Identifier: GPL-3.0-or-later
#include "FlacTags.h"

#include <FLAC/format.h>

std::string flacEncoderName() {
    return std::string("Varrow " VARROW_VERSION " (libFLAC ") + FLAC__VERSION_STRING + ")";
}

std::vector<TTagField> vorbisFieldsOf(const TFlacTags& tags) {
    const auto number = [](int32_t value) {
        return value > 0 ? std::to_string(value) : "";
    };
    const TTagField single[] = {
        {"TITLE", tags.Title},
        {"ARTIST", tags.Artist},
        {"ALBUM", tags.Album},
        {"ALBUMARTIST", tags.AlbumArtist},
        {"TRACKNUMBER", number(tags.TrackNumber)},
        {"TRACKTOTAL", number(tags.TrackTotal)},
        {"DISCNUMBER", number(tags.DiscNumber)},
        {"DISCTOTAL", number(tags.DiscTotal)},
        {"DATE", tags.Date},
        {"MUSICBRAINZ_ALBUMID", tags.MusicBrainzAlbumId},
        {"MUSICBRAINZ_RELEASEGROUPID", tags.MusicBrainzReleaseGroupId},
        {"MUSICBRAINZ_TRACKID", tags.MusicBrainzTrackId},
        {"MUSICBRAINZ_RELEASETRACKID", tags.MusicBrainzReleaseTrackId},
    };
    std::vector<TTagField> fields;
    const auto add = [&fields](const std::string& name, const std::string& text) {
        if (!text.empty()) {
            fields.emplace_back(name, text);
        }
    };
    for (const auto& [name, text] : single) {
        add(name, text);
    }
    for (const std::string& id : tags.MusicBrainzArtistIds) {
        add("MUSICBRAINZ_ARTISTID", id);
    }
    for (const std::string& id : tags.MusicBrainzAlbumArtistIds) {
        add("MUSICBRAINZ_ALBUMARTISTID", id);
    }
    add("MUSICBRAINZ_DISCID", tags.MusicBrainzDiscId);
    add("ENCODER", flacEncoderName());
    return fields;
}
