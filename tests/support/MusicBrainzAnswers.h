// SPDX-License-Identifier: GPL-3.0-or-later
// Answers of the MusicBrainz web service as it shapes them, in
// tests/online/answers: the tests serve them from the local server, and the
// fuzz target of the answer reader starts from them. Beside them, a front
// cover as the Cover Art Archive would serve it.
#pragma once

#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <string>

namespace varrow::testing {

inline std::string musicBrainzAnswer(const std::string& name) {
    std::ifstream file(std::string(VARROW_MUSICBRAINZ_ANSWERS) + "/" + name, std::ios::binary);
    EXPECT_TRUE(file) << "no answer " << name;
    std::ostringstream bytes;
    bytes << file.rdbuf();
    return bytes.str();
}

// A PNG image of one red pixel, whole: players and ffprobe read it.
inline const std::string kPngCover(
    "\x89PNG\r\n\x1A\n\0\0\0\x0DIHDR\0\0\0\x01\0\0\0\x01\x08\x02\0\0\0\x90wS\xDE\0\0\0\x0C"
    "IDATx\x9C\x63\xF8\xDF\xC0\0\0\x04\x01\x01\x80\xC5*\x18]\0\0\0\0IEND\xAE\x42\x60\x82",
    69);

} // namespace varrow::testing
