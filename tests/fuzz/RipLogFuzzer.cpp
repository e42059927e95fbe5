// SPDX-License-Identifier: GPL-3.0-or-later
// Arbitrary bytes as a file handed to verify-log: the checker never
// crashes, calls a text intact only when its last line is the SHA-256 of
// the rest, and calls the same text intact once the program signs it.
#include "FuzzCheck.h"
#include "RipLog.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    if (CheckLog(text) == TLogCheck::Intact) {
        const std::size_t lastLine = text.rfind(LOG_SHA256_LABEL);
        check(lastLine != std::string_view::npos);
        check(text.substr(lastLine + LOG_SHA256_LABEL.size())
                  .starts_with(Sha256Hex(text.substr(0, lastLine))));
    }
    // Signing takes whole lines.
    if (!text.empty() && text.back() == '\n') {
        check(CheckLog(SignedLog(std::string(text))) == TLogCheck::Intact);
    }
    return 0;
}
