// SPDX-License-Identifier: GPL-3.0-or-later
// The disc as the online services see it: the engine's track table as a
// table of contents for disc ids (AccurateRip, MusicBrainz, CDDB).
#pragma once

#include "CDRIP.h"
#include "DiscToc.h"

// The disc of `engine`'s track table: each track's number, its start
// (INDEX 01, from sector 0), whether it holds audio, its session, and the
// true lead-out. Empty (no tracks) when the table is.
//
// The drive library reports no sessions. A data track after the last audio
// track is taken as a session of its own (an Enhanced CD), as every ripper
// does. The library gives that track's entry where the audio session ends,
// so that the last audio track has its true length; the track itself starts
// the gap between the sessions later. A data track first (mixed mode) stays
// in session 1 with the audio, and so does a data track after the audio
// that is too short to hold that gap: it cannot be a second session.
online::DiscToc OnlineToc(const TCDRIP& engine);
