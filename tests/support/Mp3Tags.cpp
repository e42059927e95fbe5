#include "Mp3Tags.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdio>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <memory>
#include <vector>

namespace varrow::testing {

std::map<std::string, std::string> ffprobeTags(const std::filesystem::path& mp3) {
    const std::string command =
        "ffprobe -v error -show_entries format_tags -of default=nw=1 '" + mp3.string() + "'";
    std::map<std::string, std::string> tags;
    const std::unique_ptr<FILE, int (*)(FILE*)> pipe(::popen(command.c_str(), "r"), ::pclose);
    if (!pipe) {
        ADD_FAILURE() << "cannot run " << command;
        return tags;
    }
    std::string output;
    std::array<char, 4096> buffer{};
    std::size_t read = 0;
    while ((read = std::fread(buffer.data(), 1, buffer.size(), pipe.get())) > 0) {
        output.append(buffer.data(), read);
    }
    const std::string prefix = "TAG:";
    std::size_t start = 0;
    while (start < output.size()) {
        const std::size_t end = std::min(output.find('\n', start), output.size());
        const std::string line = output.substr(start, end - start);
        const std::size_t equals = line.find('=');
        if (line.starts_with(prefix) && equals != std::string::npos) {
            std::string key = line.substr(prefix.size(), equals - prefix.size());
            std::transform(key.begin(), key.end(), key.begin(),
                           [](unsigned char c) { return std::tolower(c); });
            tags[key] = line.substr(equals + 1);
        }
        start = end + 1;
    }
    return tags;
}

Id3v1Fields readId3v1(const std::filesystem::path& mp3) {
    std::ifstream in(mp3, std::ios::binary);
    const std::vector<char> bytes{std::istreambuf_iterator<char>(in), {}};
    Id3v1Fields fields;
    if (bytes.size() < 128) {
        return fields;
    }
    const auto tag = bytes.end() - 128;
    const auto text = [&](std::ptrdiff_t at, std::ptrdiff_t length) {
        std::string field(tag + at, tag + at + length);
        return field.substr(0, field.find('\0'));
    };
    fields.present = text(0, 3) == "TAG";
    fields.title = text(3, 30);
    fields.artist = text(33, 30);
    fields.album = text(63, 30);
    if (tag[125] == '\0') {
        fields.track = static_cast<unsigned char>(tag[126]);
    }
    return fields;
}

} // namespace varrow::testing
