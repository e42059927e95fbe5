// SPDX-License-Identifier: GPL-3.0-or-later
#include "MusicBrainzRelease.h"

#include <algorithm>
#include <utility>

namespace online {

namespace {

// The distinct non-empty texts, in the order first met, joined by ", ".
std::string joinedOnce(const std::vector<std::string>& texts) {
    std::vector<std::string> seen;
    std::string joined;
    for (const std::string& text : texts) {
        if (text.empty() || std::ranges::find(seen, text) != seen.end()) {
            continue;
        }
        joined += (seen.empty() ? "" : ", ") + text;
        seen.push_back(text);
    }
    return joined;
}

std::vector<std::string> fieldOfLabels(const std::vector<ReleaseLabel>& labels,
                                       std::string ReleaseLabel::*field) {
    std::vector<std::string> texts;
    for (const ReleaseLabel& label : labels) {
        texts.push_back(label.*field);
    }
    return texts;
}

} // namespace

std::string MusicBrainzRelease::formatSummary() const {
    // Runs of the same format count together: CD, CD, DVD-Video is
    // "2×CD + DVD-Video".
    std::vector<std::pair<std::string, int>> runs;
    for (const ReleaseMedium& medium : media) {
        const std::string format = medium.format.empty() ? "(unknown)" : medium.format;
        if (!runs.empty() && runs.back().first == format) {
            ++runs.back().second;
        } else {
            runs.emplace_back(format, 1);
        }
    }
    std::string summary;
    for (const auto& [format, count] : runs) {
        summary += (summary.empty() ? "" : " + ") +
                   (count > 1 ? std::to_string(count) + "×" : std::string()) + format;
    }
    return summary;
}

std::string MusicBrainzRelease::labelNames() const {
    return joinedOnce(fieldOfLabels(labels, &ReleaseLabel::name));
}

std::string MusicBrainzRelease::catalogNumbers() const {
    return joinedOnce(fieldOfLabels(labels, &ReleaseLabel::catalogNumber));
}

} // namespace online
