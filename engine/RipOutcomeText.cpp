// SPDX-License-Identifier: GPL-3.0-or-later
// What a rip says of each track and of itself, in the words both front ends
// show: the line a track's outcome prints, its result in the progress
// window, the summary of the rip.
#include "AccurateRipCheck.h"
#include "RipSession.h"

#include <cstdio>

namespace {

std::string rangesText(const std::vector<TSectorRange>& ranges) {
    std::string text;
    for (const TSectorRange& range : ranges) {
        text += (text.empty() ? "" : ", ") + std::to_string(range.First);
        if (range.Last != range.First) {
            text += "-" + std::to_string(range.Last);
        }
    }
    return text;
}

// What a track that did not end written left under its name.
std::string leftText(const TTrackOutcome& outcome) {
    switch (outcome.File) {
    case TOutputOutcome::Partial:
        return outcome.Path + " holds the audio read until then";
    case TOutputOutcome::ExistingKept:
        return outcome.Path + " was left as it was";
    default:
        return "no file was written";
    }
}

std::string hex32(uint32_t value) {
    char text[9];
    std::snprintf(text, sizeof text, "%08X", value);
    return text;
}

} // namespace

std::string FailureText(const std::exception& error) {
    std::string text = error.what();
    if (const auto* engineError = dynamic_cast<const ECDRIPError*>(&error)) {
        if (const std::string reason = engineError->Reason(); !reason.empty()) {
            text += ": " + reason;
        }
    }
    return text;
}

std::string TrackOutcomeText(const TTrackOutcome& outcome) {
    const std::string track = "track " + TrackNumberText(outcome.Number);
    switch (outcome.End) {
    case TTrackEnd::Written:
    case TTrackEnd::Suspect: {
        std::string text = outcome.Path + ": " + std::to_string(outcome.Bytes) +
                           " bytes, jitter errors: " + std::to_string(outcome.JitterErrors);
        const char* separator = " at ";
        for (const std::string& position : outcome.JitterPositions) {
            text += separator + position;
            separator = ", ";
        }
        std::string silenced;
        if (outcome.SilencedSamples > 0) {
            silenced = "; " + std::to_string(outcome.SilencedSamples) +
                       " samples past the disc's ends are silence (read offset " +
                       (outcome.ReadOffset > 0 ? "+" : "") + std::to_string(outcome.ReadOffset) +
                       ")";
        }
        if (!outcome.Sums) {
            return text + silenced;
        }
        if (outcome.End == TTrackEnd::Suspect) {
            return text + "; suspect: the two readings differ (test CRC " +
                   hex32(outcome.Sums->TestCrc.value_or(0)) + ", copy CRC " +
                   hex32(outcome.Sums->CopyCrc) + ")" + silenced;
        }
        return text + ", CRC " + hex32(outcome.Sums->CopyCrc) + ", " +
               AccurateRipResultText(outcome.AccurateRip) + silenced;
    }
    case TTrackEnd::Partial:
        // Silence where the disc could not be read is no copy of it.
        return track + " lost " + std::to_string(outcome.LostSectors) + " unreadable sector" +
               (outcome.LostSectors == 1 ? "" : "s") + " at " + rangesText(outcome.LostRanges) +
               "; " + leftText(outcome);
    case TTrackEnd::Kept:
        return track + " was not written; " + leftText(outcome);
    case TTrackEnd::Failed:
        return track + " failed: " + outcome.Failure + "; " + leftText(outcome);
    case TTrackEnd::Skipped:
        return track + " " + outcome.Failure + ": skipped";
    case TTrackEnd::Interrupted:
        break;
    }
    if (!outcome.Started) {
        return "interrupted before " + track + "; its file was not touched";
    }
    return "interrupted; " + leftText(outcome);
}

std::string RipSummaryText(const TRipSummary& summary) {
    const int32_t tracks = summary.Written + summary.Suspect + summary.Partial + summary.Kept +
                           summary.Failed + summary.Skipped + summary.Interrupted;
    std::string text =
        std::to_string(summary.Written) + " of " + std::to_string(tracks) + " tracks written";
    if (summary.Suspect > 0) {
        text += ", " + std::to_string(summary.Suspect) + " suspect";
    }
    if (summary.ReadTwice > 0) {
        text += ", " + std::to_string(summary.ReadTwice) + " read twice";
    }
    return text + "; " + summary.AccurateRip;
}

std::string TrackResultText(const TTrackOutcome& outcome) {
    return outcome.End == TTrackEnd::Written && outcome.Sums
               ? AccurateRipResultText(outcome.AccurateRip)
               : TrackEndText(outcome);
}

std::string TrackEndText(const TTrackOutcome& outcome) {
    switch (outcome.End) {
    case TTrackEnd::Written:
        return "Written";
    case TTrackEnd::Suspect:
        return "Suspect: the two readings differ";
    case TTrackEnd::Partial:
        return std::to_string(outcome.LostSectors) + " sector" +
               (outcome.LostSectors == 1 ? "" : "s") + " could not be read";
    case TTrackEnd::Kept:
        return "Not read: the file there was kept";
    case TTrackEnd::Failed:
        return "Failed: " + outcome.Failure;
    case TTrackEnd::Skipped:
        return "Skipped: " + outcome.Failure;
    case TTrackEnd::Interrupted:
        break;
    }
    return "Interrupted";
}
