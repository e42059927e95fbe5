#include "FlacTags.h"

#include <FLAC/format.h>

std::string flacEncoderName() {
    return std::string("Varrow " VARROW_VERSION " (libFLAC ") + FLAC__VERSION_STRING + ")";
}

std::vector<TTagField> vorbisFieldsOf(const TFlacTags& tags) {
    const auto number = [](int32_t value) {
        return value > 0 ? std::to_string(value) : "";
    };
    const TTagField all[] = {
        {"TITLE", tags.Title},
        {"ARTIST", tags.Artist},
        {"ALBUM", tags.Album},
        {"ALBUMARTIST", tags.AlbumArtist},
        {"TRACKNUMBER", number(tags.TrackNumber)},
        {"TRACKTOTAL", number(tags.TrackTotal)},
        {"DISCNUMBER", number(tags.DiscNumber)},
        {"DATE", tags.Date},
        {"MUSICBRAINZ_ALBUMID", tags.MusicBrainzAlbumId},
        {"MUSICBRAINZ_RELEASEGROUPID", tags.MusicBrainzReleaseGroupId},
        {"MUSICBRAINZ_TRACKID", tags.MusicBrainzTrackId},
        {"MUSICBRAINZ_RELEASETRACKID", tags.MusicBrainzReleaseTrackId},
        {"MUSICBRAINZ_ARTISTID", tags.MusicBrainzArtistId},
        {"MUSICBRAINZ_ALBUMARTISTID", tags.MusicBrainzAlbumArtistId},
        {"MUSICBRAINZ_DISCID", tags.MusicBrainzDiscId},
        {"ENCODER", flacEncoderName()},
    };
    std::vector<TTagField> fields;
    for (const TTagField& field : all) {
        if (!field.second.empty()) {
            fields.push_back(field);
        }
    }
    return fields;
}
