// SPDX-License-Identifier: GPL-3.0-or-later
#include "RipRecords.h"

#include "FileReplacement.h"
#include "LameCoder.h"
#include "RipLog.h"

#include <algorithm>
#include <cstdio>
#include <optional>

namespace {

const std::string LOG_FIRST_LINE = "Varrow " VARROW_VERSION " rip log";
const std::string CUE_PROGRAM = "Varrow " VARROW_VERSION;
// Names tried before the rip gives up on a log of its own.
constexpr int MOST_NAMES = 100;

// What the disc says of a track beside its place in the table.
TTrackDiscInfo factsOf(const TCDRIP& engine, int32_t number) {
    const auto index = static_cast<std::size_t>(number - 1);
    const std::vector<TTrackDiscInfo>& tracks = engine.DiscInfo().Tracks;
    TTrackDiscInfo facts = index < tracks.size() ? tracks[index] : TTrackDiscInfo{};
    // Audio before the first track is its pregap, from the disc's start.
    if (!facts.PregapSector && number == 1 && engine.Tracks()[index].Track.StartSector > 0) {
        facts.PregapSector = 0;
    }
    return facts;
}

std::string hex32(uint32_t value) {
    char text[9];
    std::snprintf(text, sizeof text, "%08X", value);
    return text;
}

std::string idHex(uint32_t value) {
    char text[9];
    std::snprintf(text, sizeof text, "%08x", value);
    return text;
}

std::string readModeText(const TCDRIP& engine) {
    if (engine.SecureMode()) {
        return "secure (each track read without jitter correction, and again with it where "
               "AccurateRip does not confirm the reading)";
    }
    return engine.JitterCorrect() ? "jitter correction on" : "jitter correction off";
}

std::string outputText(const TCDRIP& engine, const TRipPlan& plan) {
    const TOutputFormatLayout layout =
        OUTPUT_FORMAT_LAYOUTS[std::min<int>(engine.OutputFormat(), MONO11025)];
    std::string kind;
    switch (plan.Format) {
    case TRipFormat::Mp3: {
        const TLameCoder* coder = engine.Coder();
        kind = "MP3";
        if (coder != nullptr) {
            kind += ", " + std::to_string(coder->Bitrate()) + " kbit/s";
            if (coder->EnableVBR()) {
                kind += " (variable, up to " + std::to_string(coder->MaxBitrate()) + " kbit/s)";
            }
        }
        break;
    }
    case TRipFormat::Flac:
        kind = "FLAC, compression " + std::to_string(engine.FlacCompressionLevel());
        break;
    case TRipFormat::Pcm:
        kind = "PCM";
        break;
    case TRipFormat::Wav:
        kind = "WAV";
        break;
    }
    return kind + ", " + std::to_string(layout.sampleRate) + " Hz, " +
           (layout.channels == 2 ? "stereo" : "mono") + ", 16 bit";
}

std::string peakText(int peak) {
    char text[16];
    std::snprintf(text, sizeof text, "%.1f %%", peak * 100.0 / 32768.0);
    return text;
}

void putTrack(std::string& log, const TCDRIP& engine, const TRipPlan& plan,
              const TTrackOutcome& outcome) {
    const TTrack& track = *engine.TrackByNumber(outcome.Number);
    const TTrackDiscInfo facts = factsOf(engine, outcome.Number);
    const auto line = [&log](const std::string& name, const std::string& value) {
        log += "  " + name + ": " + value + "\n";
    };
    log += "\nTrack " + TrackNumberText(outcome.Number) + "\n";
    line("File", TextWithoutControls(plan.Track(outcome.Number).FileName));
    line("Sectors", std::to_string(track.StartSector) + " to " + std::to_string(track.EndSector));
    if (facts.PregapSector && *facts.PregapSector < track.StartSector) {
        line("Pregap",
             std::to_string(*facts.PregapSector) + " to " + std::to_string(track.StartSector - 1));
    }
    line("Pre-emphasis", facts.PreEmphasis ? "yes" : "no");
    if (!facts.Isrc.empty()) {
        line("ISRC", TextWithoutControls(facts.Isrc));
    }
    if (const std::optional<TTrackSums>& sums = outcome.Sums) {
        line("Peak level", peakText(sums->Peak));
        if (sums->TestCrc) {
            line("Test CRC", hex32(*sums->TestCrc));
        }
        line("Copy CRC", hex32(sums->CopyCrc));
        line("AccurateRip v1", sums->AccurateRipV1 ? hex32(*sums->AccurateRipV1) : "not computed");
        line("AccurateRip v2", sums->AccurateRipV2 ? hex32(*sums->AccurateRipV2) : "not computed");
    } else {
        line("Copy CRC", "none (the track was not read whole)");
    }
    line("AccurateRip", AccurateRipResultText(outcome.AccurateRip));
    line("Lost sectors", std::to_string(outcome.LostSectors));
    if (outcome.SilencedSamples > 0) {
        line("Silence past the disc's ends", std::to_string(outcome.SilencedSamples) + " samples");
    }
    line("Jitter repairs", std::to_string(outcome.JitterErrors));
    line("Result", TextWithoutControls(TrackEndText(outcome)));
}

// The album the plan names, as its tracks' tags carry it.
std::string albumOf(const TRipPlan& plan) {
    for (const TTrackPlan& track : plan.Tracks) {
        if (track.Audio) {
            return track.Tags.Album;
        }
    }
    return {};
}

// Whether a new record may go under `path`: nothing is there, or a record
// the program wrote, whose first line starts with `firstLine`.
bool mayReplace(const std::string& path, const std::string& firstLine) {
    std::string text;
    std::error_code error;
    switch (base::readFileText(path, LARGEST_RIP_RECORD, text, error)) {
    case base::FileRead::Missing:
        return true;
    case base::FileRead::Read:
        return text.starts_with(firstLine);
    case base::FileRead::Failed:
        break;
    }
    return false;
}

// Writes `text` under `path`; what went wrong, or nothing.
std::string write(const std::string& what, const std::string& path, const std::string& text) {
    const std::error_code error = base::replaceFileContents(path, text);
    return error ? what + " " + path + " could not be written: " + error.message() : std::string();
}

} // namespace

std::string RipLogText(const TCDRIP& engine, const TRipPlan& plan,
                       const std::vector<TTrackOutcome>& outcomes, const TRipSummary& summary,
                       const TAccurateRipCheck* check, const std::string& accurateRipProblem) {
    std::string log = LOG_FIRST_LINE + "\n\n";
    log += "Drive: " + TextWithoutControls(engine.CDRomName()) + "\n";
    const int32_t offset = engine.ReadOffset();
    log +=
        "Read offset correction: " + std::string(offset > 0 ? "+" : "") + std::to_string(offset) +
        " samples" +
        (engine.Overread() ? ", reading into the lead-in and lead-out where the drive can" : "") +
        "\n";
    log += "Read mode: " + readModeText(engine) + "\n";
    log += "Output: " + outputText(engine, plan) + "\n";
    if (const std::string album = albumOf(plan); !album.empty()) {
        log += "Album: " + TextWithoutControls(album) + "\n";
    }
    if (const std::string& catalog = engine.DiscInfo().Catalog; !catalog.empty()) {
        log += "Catalogue number: " + catalog + "\n";
    }
    if (check != nullptr) {
        const online::AccurateRipDisc& disc = check->Disc();
        log += "AccurateRip disc ids: " + idHex(disc.id1) + " " + idHex(disc.id2) + ", " +
               std::to_string(disc.audioTrackCount) + " audio tracks\n";
        log += "CDDB disc id: " + idHex(disc.cddb) + "\n";
        const std::string answer = check->AnswerText();
        log +=
            "AccurateRip database: " + (answer.empty() ? std::string("no answer") : answer) + "\n";
    } else {
        log += "AccurateRip database: not asked" +
               (accurateRipProblem.empty() ? std::string() : " (" + accurateRipProblem + ")") +
               "\n";
    }
    for (const TTrackOutcome& outcome : outcomes) {
        putTrack(log, engine, plan, outcome);
    }
    log += "\nSummary: " + RipSummaryText(summary) + "\n";
    return log;
}

TCueSheet RipCueSheet(const TCDRIP& engine, const TRipPlan& plan,
                      const std::vector<TTrackOutcome>& outcomes) {
    TCueSheet sheet;
    sheet.Program = CUE_PROGRAM;
    sheet.Format = plan.Format;
    sheet.Title = albumOf(plan);
    sheet.Catalog = engine.DiscInfo().Catalog;
    for (const TTrackPlan& planned : plan.Tracks) {
        // Audio hidden before track 1 stays in track 1's pregap, where the
        // disc has it; its own file is named in the log.
        if (!planned.Audio || planned.Number == 0) {
            continue;
        }
        const TTrackDiscInfo facts = factsOf(engine, planned.Number);
        TCueTrack track;
        track.Number = planned.Number;
        // A title that is only the track's own name (TrackNN) is none.
        const TTrackEntry& entry = engine.Tracks()[static_cast<std::size_t>(planned.Number - 1)];
        if (planned.Title != entry.Name) {
            track.Title = planned.Title;
        }
        track.Performer = planned.Performer;
        track.Isrc = facts.Isrc;
        track.PreEmphasis = facts.PreEmphasis;
        track.CopyPermitted = facts.CopyPermitted;
        track.FourChannel = facts.FourChannel;
        track.Start = entry.Track.StartSector;
        track.Index00 = facts.PregapSector;
        const auto outcome =
            std::find_if(outcomes.rbegin(), outcomes.rend(), [&](const TTrackOutcome& ended) {
                return ended.Number == planned.Number;
            });
        if (outcome != outcomes.rend() && outcome->File != TOutputOutcome::None) {
            track.FileName = planned.FileName;
        }
        sheet.Tracks.push_back(std::move(track));
    }
    return sheet;
}

TRipRecords WriteRipRecords(const TRipPlan& plan, const std::string& log,
                            const TCueSheet& cueSheet) {
    TRipRecords records;
    std::string stem = FileNameFromDiscTitle(albumOf(plan));
    if (stem.empty()) {
        stem = "disc";
    }
    const std::string cueFirstLine = "REM COMMENT \"Varrow ";
    for (int copy = 1; copy <= MOST_NAMES && records.LogPath.empty(); ++copy) {
        const std::string name =
            plan.Folder + stem + (copy == 1 ? std::string() : " (" + std::to_string(copy) + ")");
        if (mayReplace(name + ".log", LOG_FIRST_LINE.substr(0, 7)) &&
            mayReplace(name + ".cue", cueFirstLine)) {
            records.LogPath = name + ".log";
            records.CueSheetPath = name + ".cue";
        }
    }
    if (records.LogPath.empty()) {
        records.Problem = "No name was free for the log and the cue sheet of the rip";
        return records;
    }
    const std::string logProblem = write("The log", records.LogPath, log);
    const std::string cueProblem =
        write("The cue sheet", records.CueSheetPath, CueSheetText(cueSheet));
    records.Problem = logProblem.empty() || cueProblem.empty() ? logProblem + cueProblem
                                                               : logProblem + "; " + cueProblem;
    return records;
}
