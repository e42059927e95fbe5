// SPDX-License-Identifier: GPL-3.0-or-later
#include "ReplayGain.h"

#include <charconv>
#include <cmath>

namespace {

// Fixed notation with `decimals` digits, independent of the C locale that
// the window's toolkit sets from the environment.
std::string fixed(double value, int decimals) {
    char text[64];
    const auto result =
        std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, decimals);
    return std::string(text, result.ptr);
}

} // namespace

TReplayGain replayGainOf(double loudnessLufs, double peak) {
    TReplayGain value;
    if (std::isfinite(loudnessLufs)) {
        value.gainDb = REPLAYGAIN_REFERENCE_LUFS - loudnessLufs;
    }
    value.peak = peak;
    return value;
}

std::string replayGainText(double gainDb) {
    // Rounded first, so that -0.004 is "+0.00 dB" and not "-0.00 dB".
    double rounded = std::round(gainDb * 100) / 100;
    if (rounded == 0) {
        rounded = 0;
    }
    return (rounded < 0 ? "" : "+") + fixed(rounded, 2) + " dB";
}

std::string replayPeakText(double peak) {
    return fixed(peak, 6);
}

std::vector<TTagField> replayGainFields(const TReplayGain& value, TReplayGainScope scope) {
    const std::string prefix =
        scope == TReplayGainScope::Track ? "REPLAYGAIN_TRACK_" : "REPLAYGAIN_ALBUM_";
    return {{prefix + "GAIN", value.gainDb ? replayGainText(*value.gainDb) : ""},
            {prefix + "PEAK", replayPeakText(value.peak)}};
}
