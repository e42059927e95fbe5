// SPDX-License-Identifier: GPL-3.0-or-later
#include "RipLog.h"

#include "FileReplacement.h"

#include <array>
#include <memory>
#include <openssl/evp.h>
#include <stdexcept>

namespace {

constexpr std::size_t SHA256_HEX_DIGITS = 64;

bool isLowerHex(std::string_view text) {
    return text.find_first_not_of("0123456789abcdef") == std::string_view::npos;
}

} // namespace

std::string Sha256Hex(std::string_view bytes) {
    std::array<unsigned char, EVP_MAX_MD_SIZE> digest{};
    unsigned int size = 0;
    if (EVP_Digest(bytes.data(), bytes.size(), digest.data(), &size, EVP_sha256(), nullptr) != 1) {
        throw std::runtime_error("SHA-256 could not be computed");
    }
    static constexpr char digits[] = "0123456789abcdef";
    std::string hex;
    for (unsigned int i = 0; i < size; ++i) {
        hex += digits[digest[i] >> 4];
        hex += digits[digest[i] & 0x0f];
    }
    return hex;
}

std::string SignedLog(std::string text) {
    const std::string hash = Sha256Hex(text);
    text += LOG_SHA256_LABEL;
    text += hash;
    text += '\n';
    return text;
}

TLogCheck CheckLog(std::string_view text) {
    // The last line that holds a SHA-256 of the log.
    std::size_t lineStart = 0;
    if (const std::size_t found = text.rfind("\n" + std::string(LOG_SHA256_LABEL));
        found != std::string_view::npos) {
        lineStart = found + 1;
    } else if (!text.starts_with(LOG_SHA256_LABEL)) {
        return TLogCheck::NotALog;
    }
    std::string_view line = text.substr(lineStart);
    // It must be the last line: anything after it is a change.
    if (line.ends_with('\n')) {
        line.remove_suffix(1);
    }
    const std::string_view hash = line.substr(LOG_SHA256_LABEL.size());
    if (hash.size() != SHA256_HEX_DIGITS || !isLowerHex(hash)) {
        return TLogCheck::Changed;
    }
    return Sha256Hex(text.substr(0, lineStart)) == hash ? TLogCheck::Intact : TLogCheck::Changed;
}

TLogCheck CheckLogFile(const std::string& path, std::string& error) {
    std::string text;
    std::error_code readError;
    switch (base::readFileText(path, LARGEST_RIP_RECORD, text, readError)) {
    case base::FileRead::Read:
        return CheckLog(text);
    case base::FileRead::Missing:
        error = "no such file";
        break;
    case base::FileRead::Failed:
        error = readError ? readError.message() : std::string("not a plain file of a log's size");
        break;
    }
    return TLogCheck::Unreadable;
}
