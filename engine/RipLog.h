// SPDX-License-Identifier: GPL-3.0-or-later
// The log of a rip, which proves it: what was read, from which drive and
// how, each track's checksums and what the AccurateRip database said of
// them. Its last line is the SHA-256 of every byte before it, so that a
// log changed afterwards (a result improved by hand) is told from one the
// program wrote.
#pragma once

#include <optional>
#include <string>
#include <string_view>

// `text` (whole lines) with its last line added: "Log SHA-256: " and the
// lower-case hex SHA-256 of `text`.
std::string SignedLog(std::string text);

enum class TLogCheck {
    Intact,     // the last line holds the SHA-256 of every byte before it
    Changed,    // a SHA-256 line is there, but not that one, or not last
    NotALog,    // no line holds a log's SHA-256
    Unreadable, // the file cannot be read, or is larger than any log
};

TLogCheck CheckLog(std::string_view text);
// The log in the file at `path`; `error` says why it is Unreadable.
TLogCheck CheckLogFile(const std::string& path, std::string& error);

// Larger than any log or cue sheet of a disc: a larger file is none of ours.
inline constexpr std::size_t LARGEST_RIP_RECORD = 1u << 20;

// The lower-case hex SHA-256 of `bytes` (OpenSSL's).
std::string Sha256Hex(std::string_view bytes);

// "Log SHA-256: ", the start of the last line.
inline constexpr std::string_view LOG_SHA256_LABEL = "Log SHA-256: ";
