// SPDX-License-Identifier: GPL-3.0-or-later
// What a rip writes beside its tracks, made from the session's plan and
// outcomes: the log that proves it (RipLog.h signs it) and the cue sheet
// that puts the files back together as the disc was (CueSheet.h).
#pragma once

#include "AccurateRipCheck.h"
#include "CueSheet.h"
#include "RipSession.h"

#include <string>
#include <vector>

// The log's text, every line but its SHA-256: the program, the drive and
// how it read, the disc's ids and the database's answer, each track's
// sectors, checksums and results in the order the tracks ended, and the
// summary. `check`: the rip's lookup, if it has one.
std::string RipLogText(const TCDRIP& engine, const TRipPlan& plan,
                       const std::vector<TTrackOutcome>& outcomes, const TRipSummary& summary,
                       const TAccurateRipCheck* check, const std::string& accurateRipProblem);

// The cue sheet of the disc's audio tracks, naming the files of the tracks
// whose files are under their names after the rip.
TCueSheet RipCueSheet(const TCDRIP& engine, const TRipPlan& plan,
                      const std::vector<TTrackOutcome>& outcomes);

// Writes the signed `log` and `cueSheet` into the plan's folder (see
// TRipSession::Finish for their names).
TRipRecords WriteRipRecords(const TRipPlan& plan, const std::string& log,
                            const TCueSheet& cueSheet);
