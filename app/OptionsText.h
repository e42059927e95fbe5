// SPDX-License-Identifier: GPL-3.0-or-later
// The main window's keys in the settings file, read from and written into
// the file's text. No Qt and no file access: the window reads and writes the
// file (UnitMainSettings.cpp), this decides what its text says.
//
// The file is shared with the CD library: writing sets the window's keys
// through the same editor as the library's (base/IniText), so every other
// byte of the file stays as it was: sections, keys, comments, blank lines
// and line ends.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace varrow {

// The window's options as stored, with the defaults a key takes when it is
// missing or its value is not one of its type.
struct WindowOptions {
    std::string dirTarget;
    bool hints = true;
    bool ripCaptions = true;
    bool pauseOnReadErr = true;
    bool addNoToFileName = true;
    bool trackTimeMode = true;
    // Positions in the MP3 options dialog's lists; -1 is no selection.
    int32_t bitrate = 6;
    int32_t maxBitrate = 0;
    int32_t mode = 1;
    int32_t mixMode = 0;
    int32_t quality = 0;
    bool vbr = false;
    // FLAC's compression level, 0 to 8; ReplayGain in FLAC and MP3 files.
    int32_t flacCompression = 5;
    bool replayGain = true;

    bool operator==(const WindowOptions&) const = default;
};

// The keys in the order they are read and written.
enum class OptionKey : int {
    DirTarget,
    Hints,
    RipCaptions,
    PauseOnReadErr,
    AddNoToFileName,
    TrackTimeMode,
    Bitrate,
    MaxBitrate,
    Mode,
    MixMode,
    Quality,
    Vbr,
    FlacCompression,
    ReplayGain,
};
inline constexpr int OptionKeyCount = static_cast<int>(OptionKey::ReplayGain) + 1;

// At most this many characters of a text value are read back.
inline constexpr std::size_t MaxTextValueChars = 2047;

struct OptionsRead {
    WindowOptions values;
    // How many keys, in table order, were read; the keys from there on
    // could not be and keep whatever their holders had.
    int keysRead = 0;
    bool complete() const { return keysRead == OptionKeyCount; }
};

// Reads the window's keys from the text of a settings file. A text that the
// INI reader cannot read whole (it stops at a NUL byte) is read as far as it
// goes: a key found before the NUL is read, the first key that is not found
// ends the reading there, since its value may lie beyond.
OptionsRead readOptionsText(std::string_view text);

// The text of the settings file `existing` with the window's keys set to
// `options`. Nothing when `existing` cannot be read whole (nothing beyond a
// NUL byte may be lost by rewriting it), or when the new text would not read
// back as every other key of `existing` and the window's values: the INI
// reader takes some broken lines in ways it cannot write back.
std::optional<std::string> writeOptionsText(std::string_view existing,
                                            const WindowOptions& options);

// An integer value: decimal, or hexadecimal after "0x"; nothing when the
// text is not an integer of 32 bits.
std::optional<int32_t> integerValue(std::string_view text);

} // namespace varrow
