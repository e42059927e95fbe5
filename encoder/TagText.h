// SPDX-License-Identifier: GPL-3.0-or-later
// The text of a tag as files store it, whatever the source gave: a CD-Text
// title, a name typed by the user or an online database's answer.
#pragma once

#include <string>
#include <string_view>
#include <utility>

// A tag's name and its text ("TITLE", "Morning Tram").
using TTagField = std::pair<std::string, std::string>;

// Valid UTF-8 (each byte that is not part of a well-formed sequence becomes
// U+FFFD), with control characters (U+0000..U+001F, U+007F..U+009F) left
// out; a tab or a line break becomes a blank, so that words stay apart.
std::string tagText(std::string_view text);
