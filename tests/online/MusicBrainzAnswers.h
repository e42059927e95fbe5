// Answers of the MusicBrainz web service as it shapes them, in answers/:
// the tests serve them from the local server, and the fuzz target of the
// answer reader starts from them.
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

} // namespace varrow::testing
