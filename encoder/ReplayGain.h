// SPDX-License-Identifier: GPL-3.0-or-later
// ReplayGain 2.0 values of a track or an album, and the tags that carry
// them: the gain that brings the audio to -18 LUFS and its sample peak.
#pragma once

#include "TagText.h"

#include <optional>
#include <string>
#include <vector>

inline constexpr double REPLAYGAIN_REFERENCE_LUFS = -18.0;

struct TReplayGain {
    // dB to apply; empty when the audio has no loudness to measure (it is
    // silent, or shorter than one 400 ms block), and no gain can make it
    // play at the reference.
    std::optional<double> gainDb;
    // The largest sample magnitude, full scale being 1.
    double peak = 0;
};

// From an integrated loudness in LUFS (minus infinity for silence).
TReplayGain replayGainOf(double loudnessLufs, double peak);

// "-3.21 dB", "+0.50 dB": two decimals and the sign, with a full stop
// whatever the locale.
std::string replayGainText(double gainDb);
// "0.988525": six decimals.
std::string replayPeakText(double peak);

enum class TReplayGainScope { Track, Album };

// REPLAYGAIN_TRACK_GAIN and REPLAYGAIN_TRACK_PEAK, or the two ALBUM ones;
// a gain that is empty goes as an empty text, which removes the tag where
// it is set again.
std::vector<TTagField> replayGainFields(const TReplayGain& value, TReplayGainScope scope);
