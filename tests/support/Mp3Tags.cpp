// SPDX-License-Identifier: GPL-3.0-or-later
#include "Mp3Tags.h"

#include "CommandOutput.h"

#include <array>
#include <cctype>
#include <cstdio>
#include <fstream>
#include <gtest/gtest.h>
#include <memory>
#include <sstream>

namespace varrow::testing {

std::map<std::string, std::string> ffprobeTags(const std::filesystem::path& mp3) {
    const std::string command =
        "ffprobe -v error -show_entries format_tags -of default=nw=1 '" + mp3.string() + "'";
    const std::string output = commandOutput(command);
    // Lines of "TAG:key=value"; ffprobe writes the keys as the file has them.
    std::map<std::string, std::string> tags;
    std::istringstream lines(output);
    for (std::string line; std::getline(lines, line);) {
        const std::size_t equals = line.find('=');
        if (line.starts_with("TAG:") && equals != std::string::npos) {
            std::string key = line.substr(4, equals - 4);
            for (char& c : key) {
                c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            }
            tags[key] = line.substr(equals + 1);
        }
    }
    return tags;
}

Id3v1Fields readId3v1(const std::filesystem::path& mp3) {
    std::array<char, 128> tag{};
    std::ifstream in(mp3, std::ios::binary);
    Id3v1Fields fields;
    if (!in.seekg(-128, std::ios::end) || !in.read(tag.data(), tag.size())) {
        return fields;
    }
    const auto text = [&](std::size_t at, std::size_t length) {
        const std::string field(tag.data() + at, length);
        return field.substr(0, field.find('\0'));
    };
    fields.present = text(0, 3) == "TAG";
    fields.title = text(3, 30);
    fields.artist = text(33, 30);
    fields.album = text(63, 30);
    fields.track = tag[125] == '\0' ? static_cast<unsigned char>(tag[126]) : 0;
    return fields;
}

} // namespace varrow::testing
