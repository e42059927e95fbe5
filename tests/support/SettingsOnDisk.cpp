// SPDX-License-Identifier: GPL-3.0-or-later
#include "SettingsOnDisk.h"

#include <SimpleIni.h>
#include <algorithm>
#include <cctype>
#include <gtest/gtest.h>
#include <system_error>

namespace varrow::testing {

bool SettingsOnDisk::NoCase::operator()(const std::string& a, const std::string& b) const {
    return std::lexicographical_compare(
        a.begin(), a.end(), b.begin(), b.end(),
        [](unsigned char x, unsigned char y) { return std::tolower(x) < std::tolower(y); });
}

SettingsOnDisk::SettingsOnDisk(const std::filesystem::path& file) {
    std::error_code error;
    exists_ = std::filesystem::exists(file, error);
    if (!exists_)
        return;
    CSimpleIniA ini;
    if (!std::filesystem::is_regular_file(file, error) || ini.LoadFile(file.c_str()) < 0) {
        ADD_FAILURE() << "the settings file " << file << " cannot be read";
        return;
    }
    CSimpleIniA::TNamesDepend sectionNames;
    ini.GetAllSections(sectionNames);
    for (const auto& sectionName : sectionNames) {
        Section& section = sections_[sectionName.pItem];
        CSimpleIniA::TNamesDepend keys;
        ini.GetAllKeys(sectionName.pItem, keys);
        for (const auto& key : keys)
            section[key.pItem] = ini.GetValue(sectionName.pItem, key.pItem, "");
    }
}

std::optional<std::string> SettingsOnDisk::value(const std::string& section,
                                                 const std::string& key) const {
    const auto found = sections_.find(section);
    if (found == sections_.end())
        return std::nullopt;
    const auto entry = found->second.find(key);
    if (entry == found->second.end())
        return std::nullopt;
    return entry->second;
}

std::vector<std::string> SettingsOnDisk::sections() const {
    std::vector<std::string> names;
    for (const auto& [name, section] : sections_)
        names.push_back(name);
    return names;
}

std::vector<std::string> SettingsOnDisk::sectionsStartingWith(const std::string& prefix) const {
    const NoCase less;
    std::vector<std::string> names;
    for (const auto& [name, section] : sections_) {
        const std::string head = name.substr(0, prefix.size());
        if (!less(head, prefix) && !less(prefix, head))
            names.push_back(name);
    }
    return names;
}

} // namespace varrow::testing
