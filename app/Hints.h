// SPDX-License-Identifier: GPL-3.0-or-later
// Tool-tip hints switched on and off per window. Qt shows every tool tip it
// has; a filter on the application drops those of windows whose hints are
// off, except for widgets that always show theirs.
#pragma once

class QWidget;

namespace varrow {

void setWindowHints(QWidget* window, bool shown);
bool windowHints(const QWidget* window);

// The widget's hint is shown even while its window's hints are off.
void setHintAlwaysShown(QWidget* widget);

// Whether a hint of `widget` would be shown now.
bool hintShown(const QWidget* widget);

// How long the hints of every window of the program stay up.
inline constexpr int HintDurationMs = 6000;

// How long hints stay up, for `window` and everything in it.
void setHintDuration(QWidget* window, int milliseconds);

} // namespace varrow
