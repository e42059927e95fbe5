// SPDX-License-Identifier: GPL-3.0-or-later
// Disc images written at test time: BIN/CUE and cdrdao TOC files of chosen
// audio and data tracks, with audio that never repeats (so that paranoia's
// overlap matching cannot lock onto the wrong place).
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace cdlib::testing {

// CD-Text of the disc or of one track, written into the descriptor byte for
// byte (so that a test can write Latin-1); empty texts are left out.
struct ImageText {
    std::string title;
    std::string performer;
    std::string songwriter;
};

struct ImageTrack {
    int32_t sectors = 0;
    bool data = false;
};

// The disc's CD-Text and its tracks', in track order; tracks past the end
// carry none.
struct ImageCdText {
    ImageText disc;
    std::vector<ImageText> tracks;
};

// What a track carries beside its place on the disc, written into cue
// sheets. Its first `pregapSectors` sectors are its pregap (INDEX 00); its
// INDEX 01 follows them.
struct ImageTrackCodes {
    std::string isrc;
    int32_t pregapSectors = 0;
    bool preEmphasis = false;
    bool copyPermitted = false;
    bool fourChannel = false;
};

// The disc's catalogue number and its tracks' codes, in track order; tracks
// past the end carry none.
struct ImageCodes {
    std::string catalog;
    std::vector<ImageTrackCodes> tracks;
};

struct TestImage {
    std::filesystem::path descriptor; // the .cue or .toc file
    std::filesystem::path bin;
    // INDEX 01 of each track (after its pregap), then the lead-out.
    std::vector<int32_t> starts;
};

// cdrdao TOCs name their data file relative to the TOC, as cdrdao writes them.
enum class ImageFormat { Cue, CdrdaoToc };

// Writes `<dir>/<name>.bin` and its descriptor.
TestImage writeImage(const std::filesystem::path& dir, const std::string& name,
                     const std::vector<ImageTrack>& tracks, ImageFormat format = ImageFormat::Cue,
                     const ImageCdText& cdText = {}, const ImageCodes& codes = {});

// Writes the image as a drive with read offset `samples` would have read
// it: its audio delayed by that many samples (moved earlier when negative),
// silence where nothing was delayed in, and the same length.
TestImage writeShiftedImage(const std::filesystem::path& dir, const std::string& name,
                            const std::vector<ImageTrack>& tracks, int32_t samples);

// The 2352 bytes the image holds for `sector`.
std::vector<uint8_t> imageSector(int32_t sector);
// The image's bytes of first..last.
std::vector<uint8_t> imageAudio(int32_t firstSector, int32_t lastSector);

} // namespace cdlib::testing
