// SPDX-License-Identifier: GPL-3.0-or-later
#include "TestImages.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <numbers>
#include <ostream>
#include <sstream>
#include <stdexcept>
#include <utility>

namespace cdlib::testing {

namespace {

constexpr int kSectorBytes = 2352;
constexpr int kFramesPerSector = kSectorBytes / 4;

std::string msf(int32_t sector) {
    char text[16];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d", sector / (75 * 60), (sector / 75) % 60,
                  sector % 75);
    return text;
}

uint32_t mix(uint32_t value) {
    value ^= value >> 16;
    value *= 0x7feb352du;
    value ^= value >> 15;
    value *= 0x846ca68bu;
    value ^= value >> 16;
    return value;
}

bool hasText(const ImageText& text) {
    return !text.title.empty() || !text.performer.empty() || !text.songwriter.empty();
}

// The text's lines, as both cue sheets and cdrdao's CD_TEXT blocks write them.
void writeTextLines(std::ostream& out, const ImageText& text, const std::string& indent) {
    const std::pair<const char*, const std::string*> fields[] = {
        {"TITLE", &text.title}, {"PERFORMER", &text.performer}, {"SONGWRITER", &text.songwriter}};
    for (const auto& [keyword, value] : fields) {
        if (!value->empty()) {
            out << indent << keyword << " \"" << *value << "\"\n";
        }
    }
}

// A cdrdao CD_TEXT block of one language, English.
void writeTocText(std::ostream& out, const ImageText& text, bool languageMap) {
    out << "CD_TEXT {\n";
    if (languageMap) {
        out << "  LANGUAGE_MAP {\n    0 : EN\n  }\n";
    }
    out << "  LANGUAGE 0 {\n";
    writeTextLines(out, text, "    ");
    out << "  }\n}\n";
}

} // namespace

TestImage writeShiftedImage(const std::filesystem::path& dir, const std::string& name,
                            const std::vector<ImageTrack>& tracks, int32_t samples) {
    const TestImage image = writeImage(dir, name, tracks);
    std::vector<char> original(std::filesystem::file_size(image.bin));
    std::ifstream(image.bin, std::ios::binary)
        .read(original.data(), static_cast<std::streamsize>(original.size()));
    std::vector<char> shifted(original.size(), 0);
    const auto size = static_cast<int64_t>(original.size());
    const int64_t shift = static_cast<int64_t>(samples) * 4;
    for (int64_t at = std::max<int64_t>(0, shift); at < std::min(size, size + shift); ++at) {
        shifted[static_cast<size_t>(at)] = original[static_cast<size_t>(at - shift)];
    }
    std::ofstream(image.bin, std::ios::binary | std::ios::trunc)
        .write(shifted.data(), static_cast<std::streamsize>(shifted.size()));
    return image;
}

std::vector<uint8_t> imageSector(int32_t sector) {
    std::vector<uint8_t> bytes(kSectorBytes);
    for (int frame = 0; frame < kFramesPerSector; ++frame) {
        const int64_t n = static_cast<int64_t>(sector) * kFramesPerSector + frame;
        const double t = static_cast<double>(n) / 44100.0;
        const auto noise = mix(static_cast<uint32_t>(n));
        // A tone under noise: like music, never the same twice.
        const int left = static_cast<int>(8000 * std::sin(2 * std::numbers::pi * 330 * t)) +
                         static_cast<int>(noise & 0x0fff) - 0x800;
        const int right = static_cast<int>(6000 * std::sin(2 * std::numbers::pi * 495 * t)) +
                          static_cast<int>((noise >> 12) & 0x0fff) - 0x800;
        const auto l = static_cast<uint16_t>(static_cast<int16_t>(left));
        const auto r = static_cast<uint16_t>(static_cast<int16_t>(right));
        bytes[4 * frame] = static_cast<uint8_t>(l & 0xff);
        bytes[4 * frame + 1] = static_cast<uint8_t>(l >> 8);
        bytes[4 * frame + 2] = static_cast<uint8_t>(r & 0xff);
        bytes[4 * frame + 3] = static_cast<uint8_t>(r >> 8);
    }
    return bytes;
}

std::vector<uint8_t> imageAudio(int32_t firstSector, int32_t lastSector) {
    std::vector<uint8_t> audio;
    for (int32_t sector = firstSector; sector <= lastSector; ++sector) {
        const auto bytes = imageSector(sector);
        audio.insert(audio.end(), bytes.begin(), bytes.end());
    }
    return audio;
}

TestImage writeImage(const std::filesystem::path& dir, const std::string& name,
                     const std::vector<ImageTrack>& tracks, ImageFormat format,
                     const ImageCdText& cdText, const ImageCodes& codes) {
    TestImage image;
    image.bin = dir / (name + ".bin");
    image.descriptor = dir / (name + (format == ImageFormat::Cue ? ".cue" : ".toc"));

    std::vector<ImageTrackCodes> trackCodes = codes.tracks;
    trackCodes.resize(tracks.size());
    std::ofstream bin(image.bin, std::ios::binary);
    int32_t sector = 0;
    for (std::size_t t = 0; t < tracks.size(); ++t) {
        const ImageTrack& track = tracks[t];
        image.starts.push_back(sector + trackCodes[t].pregapSectors);
        for (int32_t i = 0; i < track.sectors; ++i, ++sector) {
            std::vector<uint8_t> bytes = imageSector(sector);
            if (track.data) {
                // A raw mode 1 sector: sync pattern, header, then user data.
                std::fill(bytes.begin(), bytes.begin() + 12, 0xff);
                bytes[0] = bytes[11] = 0x00;
                bytes[15] = 0x01;
            }
            bin.write(reinterpret_cast<const char*>(bytes.data()),
                      static_cast<std::streamsize>(bytes.size()));
        }
    }
    image.starts.push_back(sector);
    if (!bin) {
        throw std::runtime_error("cannot write " + image.bin.string());
    }

    std::ostringstream text;
    std::vector<ImageText> trackTexts = cdText.tracks;
    trackTexts.resize(tracks.size());
    bool anyText = hasText(cdText.disc);
    for (const ImageText& trackText : trackTexts) {
        anyText = anyText || hasText(trackText);
    }
    if (format == ImageFormat::Cue) {
        if (!codes.catalog.empty()) {
            text << "CATALOG " << codes.catalog << "\n";
        }
        writeTextLines(text, cdText.disc, "");
        text << "FILE \"" << image.bin.filename().string() << "\" BINARY\n";
        for (size_t i = 0; i < tracks.size(); ++i) {
            char number[24];
            std::snprintf(number, sizeof number, "%02zu", i + 1);
            text << "  TRACK " << number << (tracks[i].data ? " MODE1/2352\n" : " AUDIO\n");
            writeTextLines(text, trackTexts[i], "    ");
            const ImageTrackCodes& code = trackCodes[i];
            if (code.preEmphasis || code.copyPermitted || code.fourChannel) {
                text << "    FLAGS" << (code.preEmphasis ? " PRE" : "")
                     << (code.copyPermitted ? " DCP" : "") << (code.fourChannel ? " 4CH" : "")
                     << "\n";
            }
            if (!code.isrc.empty()) {
                text << "    ISRC " << code.isrc << "\n";
            }
            if (code.pregapSectors > 0) {
                text << "    INDEX 00 " << msf(image.starts[i] - code.pregapSectors) << "\n";
            }
            text << "    INDEX 01 " << msf(image.starts[i]) << "\n";
        }
    } else {
        bool anyData = false;
        for (const ImageTrack& track : tracks) {
            anyData = anyData || track.data;
        }
        text << (anyData ? "CD_ROM\n" : "CD_DA\n");
        // cdrdao writes a disc block, with the language map, whenever any
        // track carries text.
        if (anyText) {
            writeTocText(text, cdText.disc, true);
        }
        for (size_t i = 0; i < tracks.size(); ++i) {
            const int32_t start = image.starts[i];
            text << "\nTRACK " << (tracks[i].data ? "MODE1_RAW" : "AUDIO") << "\n";
            if (hasText(trackTexts[i])) {
                writeTocText(text, trackTexts[i], false);
            }
            if (tracks[i].data) {
                // libcdio reads the MSF after a DATAFILE as the track's start
                // address, counted with the two-second pregap.
                text << "DATAFILE \"" << image.bin.filename().string() << "\" #"
                     << static_cast<int64_t>(start) * kSectorBytes << " " << msf(start + 150)
                     << "\n";
            } else {
                text << "FILE \"" << image.bin.filename().string() << "\" " << msf(start) << " "
                     << msf(tracks[i].sectors) << "\n";
            }
        }
    }
    std::ofstream(image.descriptor) << text.str();
    return image;
}

} // namespace cdlib::testing
