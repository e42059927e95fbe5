// SPDX-License-Identifier: GPL-3.0-or-later
#include "OptionsText.h"

#include "IniText.h"

#include <SimpleIni.h>
#include <algorithm>
#include <charconv>
#include <iterator>
#include <limits>
#include <vector>

namespace varrow {

namespace {

enum class KeyType { Text, Integer, Boolean };

struct KeyEntry {
    const char* section;
    const char* key;
    KeyType type;
};

constexpr KeyEntry Keys[OptionKeyCount] = {
    {"FILES", "DIRTARGET", KeyType::Text},
    {"OPTIONS", "HINTS", KeyType::Boolean},
    {"OPTIONS", "RIPCAPTIONS", KeyType::Boolean},
    {"OPTIONS", "PAUSEONREADERR", KeyType::Boolean},
    {"OPTIONS", "ADDNOTOFILENAME", KeyType::Boolean},
    {"OPTIONS", "TRACKTIMEMODE", KeyType::Boolean},
    {"MP3OPTIONS", "BITRATE", KeyType::Integer},
    {"MP3OPTIONS", "MAXBITRATE", KeyType::Integer},
    {"MP3OPTIONS", "MODE", KeyType::Integer},
    {"MP3OPTIONS", "MIXMODE", KeyType::Integer},
    {"MP3OPTIONS", "QUALITY", KeyType::Integer},
    {"MP3OPTIONS", "VBR", KeyType::Boolean},
    {"FLACOPTIONS", "COMPRESSION", KeyType::Integer},
    {"OPTIONS", "REPLAYGAIN", KeyType::Boolean},
};

// The holders of the keys, in the table's order.
std::string& textHolder(WindowOptions& options) {
    return options.dirTarget;
}

bool* booleanHolder(WindowOptions& options, OptionKey key) {
    switch (key) {
    case OptionKey::Hints:
        return &options.hints;
    case OptionKey::RipCaptions:
        return &options.ripCaptions;
    case OptionKey::PauseOnReadErr:
        return &options.pauseOnReadErr;
    case OptionKey::AddNoToFileName:
        return &options.addNoToFileName;
    case OptionKey::TrackTimeMode:
        return &options.trackTimeMode;
    case OptionKey::Vbr:
        return &options.vbr;
    case OptionKey::ReplayGain:
        return &options.replayGain;
    default:
        return nullptr;
    }
}

int32_t* integerHolder(WindowOptions& options, OptionKey key) {
    switch (key) {
    case OptionKey::Bitrate:
        return &options.bitrate;
    case OptionKey::MaxBitrate:
        return &options.maxBitrate;
    case OptionKey::Mode:
        return &options.mode;
    case OptionKey::MixMode:
        return &options.mixMode;
    case OptionKey::Quality:
        return &options.quality;
    case OptionKey::FlacCompression:
        return &options.flacCompression;
    default:
        return nullptr;
    }
}

// The first `MaxTextValueChars` characters of UTF-8 text, never cutting one
// in two.
std::string firstCharacters(std::string_view text) {
    std::size_t characters = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const bool continuation = (static_cast<unsigned char>(text[i]) & 0xC0) == 0x80;
        if (!continuation && ++characters > MaxTextValueChars)
            return std::string(text.substr(0, i));
    }
    return std::string(text);
}

// A value the INI reader gives back as it was written: one line, without
// the blanks it drops at either end.
bool storable(std::string_view value) {
    if (value.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos)
        return false;
    return value.empty() || (value.front() != ' ' && value.front() != '\t' && value.back() != ' ' &&
                             value.back() != '\t');
}

bool readWhole(std::string_view text) {
    return text.find('\0') == std::string_view::npos;
}

} // namespace

std::optional<int32_t> integerValue(std::string_view text) {
    int base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        text.remove_prefix(2);
        base = 16;
    }
    if (text.empty() || (base == 16 && text.front() == '-'))
        return std::nullopt;
    int64_t value = 0;
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value, base);
    if (error != std::errc() || stop != end || value < std::numeric_limits<int32_t>::min() ||
        value > std::numeric_limits<int32_t>::max())
        return std::nullopt;
    return static_cast<int32_t>(value);
}

OptionsRead readOptionsText(std::string_view text) {
    const bool whole = readWhole(text);
    const std::string_view readable = text.substr(0, text.find('\0'));

    CSimpleIniA ini;
    OptionsRead result;
    if (ini.LoadData(readable.data(), readable.size()) < 0)
        return result;
    for (int index = 0; index < OptionKeyCount; ++index) {
        const KeyEntry& entry = Keys[index];
        const auto key = static_cast<OptionKey>(index);
        const char* value = ini.GetValue(entry.section, entry.key, nullptr);
        if (value == nullptr && !whole)
            return result;
        if (value != nullptr) {
            switch (entry.type) {
            case KeyType::Text:
                textHolder(result.values) = firstCharacters(value);
                break;
            case KeyType::Integer:
                if (const auto number = integerValue(value))
                    *integerHolder(result.values, key) = *number;
                break;
            case KeyType::Boolean:
                if (const auto number = integerValue(value))
                    *booleanHolder(result.values, key) = *number != 0;
                break;
            }
        }
        result.keysRead = index + 1;
    }
    return result;
}

std::optional<std::string> writeOptionsText(std::string_view existing,
                                            const WindowOptions& options) {
    auto file = base::IniText::parse(std::string(existing));
    if (!file)
        return std::nullopt;
    WindowOptions values = options;
    // A folder whose name would not read back (a line break would even
    // start keys of its own) is not remembered.
    if (!storable(values.dirTarget))
        values.dirTarget.clear();
    std::vector<base::SectionEdit> edits;
    for (int index = 0; index < OptionKeyCount; ++index) {
        const KeyEntry& entry = Keys[index];
        const auto key = static_cast<OptionKey>(index);
        std::string value;
        switch (entry.type) {
        case KeyType::Text:
            value = textHolder(values);
            break;
        case KeyType::Integer:
            value = std::to_string(*integerHolder(values, key));
            break;
        case KeyType::Boolean:
            value.assign(1, *booleanHolder(values, key) ? '1' : '0');
            break;
        }
        if (edits.empty() || edits.back().section != entry.section)
            edits.push_back({entry.section, {}});
        edits.back().keys.emplace_back(entry.key, std::move(value));
    }
    // The editor keeps every other byte and checks that every other key
    // reads back as it was; the window's own reader must find its values.
    if (!file->apply(edits))
        return std::nullopt;
    const OptionsRead read = readOptionsText(file->text());
    values.dirTarget = firstCharacters(values.dirTarget);
    if (!read.complete() || !(read.values == values))
        return std::nullopt;
    return file->text();
}

} // namespace varrow
