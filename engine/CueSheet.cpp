// SPDX-License-Identifier: GPL-3.0-or-later
#include "CueSheet.h"

#include <cstdio>

namespace {

// A text as a cue sheet quotes it: it has no escape for a quotation mark,
// and a line break would end the command.
std::string quoted(const std::string& text) {
    std::string inside = TextWithoutControls(text);
    for (char& c : inside) {
        if (c == '"') {
            c = '\'';
        }
    }
    return "\"" + inside + "\"";
}

void putTexts(std::string& sheet, const char* indent, const std::string& title,
              const std::string& performer) {
    if (!title.empty()) {
        sheet += indent + std::string("TITLE ") + quoted(title) + "\n";
    }
    if (!performer.empty()) {
        sheet += indent + std::string("PERFORMER ") + quoted(performer) + "\n";
    }
}

void putTrackHeader(std::string& sheet, const TCueTrack& track) {
    char line[32];
    std::snprintf(line, sizeof line, "  TRACK %02d AUDIO\n", track.Number);
    sheet += line;
    putTexts(sheet, "    ", track.Title, track.Performer);
    if (!track.Isrc.empty()) {
        sheet += "    ISRC " + TextWithoutControls(track.Isrc) + "\n";
    }
    std::string flags;
    for (const auto& [set, name] :
         {std::pair{track.CopyPermitted, "DCP"}, std::pair{track.FourChannel, "4CH"},
          std::pair{track.PreEmphasis, "PRE"}}) {
        if (set) {
            flags += std::string(" ") + name;
        }
    }
    if (!flags.empty()) {
        sheet += "    FLAGS" + flags + "\n";
    }
}

} // namespace

std::string CueTime(int32_t sectors) {
    char text[16];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d", sectors / (60 * 75), sectors / 75 % 60,
                  sectors % 75);
    return text;
}

std::string CueFileType(TRipFormat format) {
    switch (format) {
    case TRipFormat::Mp3:
        return "MP3";
    case TRipFormat::Pcm:
        return "BINARY";
    case TRipFormat::Wav:
    // Cue readers know no FLAC type; they take any file they can decode
    // as WAVE, as players and burners name FLAC tracks.
    case TRipFormat::Flac:
        break;
    }
    return "WAVE";
}

std::string CueSheetText(const TCueSheet& sheet) {
    std::string text = "REM COMMENT " + quoted(sheet.Program) + "\n";
    if (!sheet.Catalog.empty()) {
        text += "CATALOG " + TextWithoutControls(sheet.Catalog) + "\n";
    }
    putTexts(text, "", sheet.Title, sheet.Performer);
    const std::string type = " " + CueFileType(sheet.Format) + "\n";
    // The track whose file was named last, when it is the one just before.
    const TCueTrack* previous = nullptr;
    for (const TCueTrack& track : sheet.Tracks) {
        if (track.FileName.empty()) {
            previous = nullptr;
            continue;
        }
        const bool gap = track.Index00 && *track.Index00 < track.Start;
        if (gap && previous != nullptr) {
            // The pregap is the end of the file before.
            putTrackHeader(text, track);
            text += "    INDEX 00 " + CueTime(*track.Index00 - previous->Start) + "\n";
            text += "FILE " + quoted(track.FileName) + type;
        } else {
            text += "FILE " + quoted(track.FileName) + type;
            putTrackHeader(text, track);
            if (gap) {
                text += "    PREGAP " + CueTime(track.Start - *track.Index00) + "\n";
            }
        }
        text += "    INDEX 01 00:00:00\n";
        previous = &track;
    }
    return text;
}
