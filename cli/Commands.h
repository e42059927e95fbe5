// SPDX-License-Identifier: GPL-3.0-or-later
// The three commands of varrow-rip on the extraction engine. Each writes
// its results to `out`, its complaints to `err`, and returns the exit status.
#pragma once

#include "CDRIP.h"
#include "CommandLine.h"

#include <iosfwd>

namespace varrowrip {

inline constexpr int EXIT_WRITTEN = 0;
inline constexpr int EXIT_FAILED = 1;
inline constexpr int EXIT_USAGE = 2;
inline constexpr int EXIT_INTERRUPTED = 130;

// Safe to call from a signal handler: the track in hand stops at once, even
// inside a read of the drive, and so does every track being encoded; their
// files stay valid (an existing file under a name stays as it was), and no
// further track is started.
void requestInterruption();
// Forgets an interruption, for a later rip in the same process.
void clearInterruption();

int listDrives(std::ostream& out, std::ostream& err);
// Titles as `settings` has them: CD-Text or not, titles given for tracks.
int listTracks(int32_t drive, const RipSettings& settings, std::ostream& out, std::ostream& err);
// `terminal`: draw a progress bar that redraws itself in place; otherwise
// write plain progress lines.
int ripTracks(int32_t drive, const RipSettings& settings, bool terminal, std::ostream& out,
              std::ostream& err);

// Checks the SHA-256 line of the rip log at `path`: EXIT_WRITTEN when the
// log is as the program wrote it, EXIT_FAILED when it was changed,
// EXIT_USAGE when it is no rip log or cannot be read.
int verifyLog(const std::string& path, std::ostream& out, std::ostream& err);
// Finds the read offset of `drive` with its disc and the AccurateRip
// database; `save` stores it for the drive. 0 when it was found (and saved
// when asked), 1 otherwise: a disc the database does not know included.
int findOffset(int32_t drive, bool save, std::ostream& out, std::ostream& err);

// "[N]:" + the identification text without surrounding blanks and control
// characters, as the window's drive lists show a drive.
std::string driveEntry(int32_t number, const std::string& identification);

} // namespace varrowrip
