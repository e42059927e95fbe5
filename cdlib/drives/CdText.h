// SPDX-License-Identifier: GPL-3.0-or-later
// A disc's CD-Text as the library keeps it: texts by track and field, always
// UTF-8, whatever character code the disc or the image file used.
#pragma once

#include "CdRip_dll.h"

#include <cdio/cdio.h>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace cdlib {

class CdText {
public:
    // Track 0 is the disc. An empty text is no text.
    void set(int32_t track, TCDTextField field, std::string text);
    std::optional<std::string_view> get(int32_t track, TCDTextField field) const;
    bool empty() const { return texts_.empty(); }

private:
    std::map<std::pair<int32_t, TCDTextField>, std::string> texts_;
};

// A text as libcdio hands it over, as UTF-8: valid UTF-8 as it is, unless it
// is a UTF-8 file's bytes that libcdio read as Latin-1 (it reads every cue
// sheet and TOC so), which are taken back; anything else is read byte by
// byte as Latin-1, the character code of most cue sheets that are not UTF-8.
std::string utf8FromDiscText(std::string_view bytes);

// The CD-Text libcdio finds on an open disc or image (English where the disc
// carries more than one language); empty when there is none.
CdText cdTextOf(CdIo_t* cdio);

} // namespace cdlib
