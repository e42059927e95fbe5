// SPDX-License-Identifier: GPL-3.0-or-later
// A settings file's text, edited in place: keys are set in their sections
// and every other byte stays as it was. The text is read exactly as
// SimpleIni reads it (section headers, keys, comments, what it skips, and
// its quirks), so that an edit lands where every reader of the file looks
// for it.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace base {

// The keys to set in one section, in the order they are written when the
// section or key is new.
struct SectionEdit {
    std::string section;
    std::vector<std::pair<std::string, std::string>> keys;
};

class IniText final {
public:
    // Nothing when the text cannot be read whole: SimpleIni stops at a NUL
    // byte, so whatever follows one would be lost to every reader.
    static std::optional<IniText> parse(std::string text);

    // Sets every key of `edits`. A key that is in its section (in any of the
    // section's blocks, names compared without regard to case) gets the new
    // value on each of its lines; a missing key goes after the last key of
    // the section's last block; a missing section is added at the end.
    // False, with the text unchanged, when the result would not read back as
    // these values and every other key as it was.
    bool apply(const std::vector<SectionEdit>& edits);

    const std::string& text() const { return text_; }

private:
    explicit IniText(std::string text)
        : text_(std::move(text)) {}

    std::string text_;
};

// Section and key names compare as SimpleIni compares them: ASCII letters
// without regard to case.
bool sameName(std::string_view a, std::string_view b);

} // namespace base
