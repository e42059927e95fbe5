// SPDX-License-Identifier: GPL-3.0-or-later
// The cue sheet of a rip, one file per track: what a player or a burner
// needs to put the files back together as the disc was. Each track's file
// runs from its INDEX 01 to the next track's, so a pregap (INDEX 00) lies
// at the end of the file before it, as per-track cue sheets usually place
// it; a pregap with no file before it in the rip is written as PREGAP.
#pragma once

#include "RipSession.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

struct TCueTrack {
    int32_t Number = 1; // as the disc numbers it
    // The track's file beside the cue sheet; empty: not in this rip.
    std::string FileName;
    std::string Title;
    std::string Performer;
    std::string Isrc;
    bool PreEmphasis = false;
    bool CopyPermitted = false;
    bool FourChannel = false;
    // INDEX 01 and, where the track has a pregap, INDEX 00: sectors from
    // the disc's first.
    int32_t Start = 0;
    std::optional<int32_t> Index00;
};

struct TCueSheet {
    // The first line's comment: the program that wrote it.
    std::string Program;
    std::string Catalog;
    std::string Title;
    std::string Performer;
    TRipFormat Format = TRipFormat::Wav;
    // The disc's audio tracks, in its order.
    std::vector<TCueTrack> Tracks;
};

// The file type a cue sheet names for `format`: WAVE, BINARY (raw
// little-endian samples) or MP3.
std::string CueFileType(TRipFormat format);

std::string CueSheetText(const TCueSheet& sheet);

// "mm:ss:ff" of a count of sectors.
std::string CueTime(int32_t sectors);
