// SPDX-License-Identifier: GPL-3.0-or-later
// The settings file as it is on disk, parsed afresh with an INI reader of its
// own: what the next run of the program would find. A test of a saved option
// reads it here rather than asking the program, which may answer from memory.
#pragma once

#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace varrow::testing {

class SettingsOnDisk final {
public:
    // Reads `file` now; a missing file reads as one without sections. A file
    // that is there but cannot be read fails the test.
    explicit SettingsOnDisk(const std::filesystem::path& file);

    bool exists() const { return exists_; }
    // Section and key names compare without regard to case, as INI files do.
    std::optional<std::string> value(const std::string& section, const std::string& key) const;
    std::vector<std::string> sections() const;
    // The sections whose name starts with `prefix`, such as "CDLIB DRIVE ".
    std::vector<std::string> sectionsStartingWith(const std::string& prefix) const;

private:
    struct NoCase {
        bool operator()(const std::string& a, const std::string& b) const;
    };
    using Section = std::map<std::string, std::string, NoCase>;

    bool exists_ = false;
    std::map<std::string, Section, NoCase> sections_;
};

} // namespace varrow::testing
