// SPDX-License-Identifier: GPL-3.0-or-later
// Arbitrary bytes as the settings file of the main window: reading yields
// the window's keys within their types, and writing them back either is
// refused (always for a text that cannot be read whole) or keeps every
// other key exactly as the INI reader finds it, with the window's values
// where the next read finds them. The window's own file access (UnitMainSettings.cpp) is a thin
// layer over these two functions.
#include "FuzzCheck.h"
#include "OptionsText.h"

#include <SimpleIni.h>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <strings.h>

namespace {

bool isWindowSection(const char* name) {
    return strcasecmp(name, "FILES") == 0 || strcasecmp(name, "OPTIONS") == 0 ||
           strcasecmp(name, "MP3OPTIONS") == 0 || strcasecmp(name, "FLACOPTIONS") == 0;
}

bool isWindowKey(const char* section, const char* key) {
    static const char* const keys[][2] = {
        {"FILES", "DIRTARGET"},         {"OPTIONS", "HINTS"},
        {"OPTIONS", "RIPCAPTIONS"},     {"OPTIONS", "PAUSEONREADERR"},
        {"OPTIONS", "ADDNOTOFILENAME"}, {"OPTIONS", "TRACKTIMEMODE"},
        {"MP3OPTIONS", "BITRATE"},      {"MP3OPTIONS", "MAXBITRATE"},
        {"MP3OPTIONS", "MODE"},         {"MP3OPTIONS", "MIXMODE"},
        {"MP3OPTIONS", "QUALITY"},      {"MP3OPTIONS", "VBR"},
        {"FLACOPTIONS", "COMPRESSION"}, {"OPTIONS", "REPLAYGAIN"}};
    if (!isWindowSection(section))
        return false;
    for (const auto& entry : keys) {
        if (strcasecmp(section, entry[0]) == 0 && strcasecmp(key, entry[1]) == 0)
            return true;
    }
    return false;
}

// Every key that is not the window's, as the INI reader reads `text`.
std::string othersView(const std::string& text) {
    CSimpleIniA ini;
    ini.LoadData(text);
    CSimpleIniA::TNamesDepend sections;
    ini.GetAllSections(sections);
    sections.sort(CSimpleIniA::Entry::LoadOrder());
    std::string view;
    for (const auto& section : sections) {
        CSimpleIniA::TNamesDepend keys;
        ini.GetAllKeys(section.pItem, keys);
        keys.sort(CSimpleIniA::Entry::LoadOrder());
        for (const auto& key : keys) {
            if (isWindowKey(section.pItem, key.pItem))
                continue;
            view += std::string("[") + section.pItem + "]" + key.pItem + "=" +
                    ini.GetValue(section.pItem, key.pItem, "") + "\n";
        }
    }
    return view;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    const bool whole = input.find('\0') == std::string::npos;

    const varrow::OptionsRead read = varrow::readOptionsText(input);
    check(read.keysRead >= 0 && read.keysRead <= varrow::OptionKeyCount);
    if (whole)
        check(read.complete());

    // Write back what was read, changed, with the input's first line as the
    // target folder: any bytes a folder name may hold.
    varrow::WindowOptions options = read.values;
    options.dirTarget = input.substr(0, input.find('\n', 1));
    options.hints = !options.hints;
    options.bitrate = options.bitrate == -1 ? 17 : -1;
    options.quality ^= 3;
    const std::optional<std::string> written = varrow::writeOptionsText(input, options);
    if (!whole)
        check(!written.has_value());
    // A text that would not read back as meant is refused: the file stays.
    if (!written)
        return 0;
    check(othersView(*written) == othersView(input));

    const varrow::OptionsRead again = varrow::readOptionsText(*written);
    check(again.complete());
    // A folder that would not read back as it is is not written at all.
    if (again.values.dirTarget.empty())
        options.dirTarget.clear();
    else
        options.dirTarget = options.dirTarget.substr(0, again.values.dirTarget.size());
    check(again.values == options);
    return 0;
}
