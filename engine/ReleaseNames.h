// SPDX-License-Identifier: GPL-3.0-or-later
// Between the disc in the engine and its names online, for both front ends:
// what a MusicBrainz lookup is asked about the disc, and what a rip takes
// from its answer.
#pragma once

#include "CDRIP.h"
#include "MetadataLookup.h"
#include "RipSession.h"

#include <string>

// The lookup of the disc the engine has read: its table of contents and its
// media catalogue number (for the release whose barcode it is); `releaseId`
// is a release the user chose, empty to let the lookup preselect one.
online::MetadataRequest MetadataRequestOf(const TCDRIP& engine, std::string releaseId = {});

// The chosen release's names and front cover into `choices`; a result
// without a chosen release leaves them as they are.
void TakeRelease(TRipChoices& choices, const online::MetadataResult& result);
