// SPDX-License-Identifier: GPL-3.0-or-later
// What the main window is doing: the one state that its keys, buttons and
// timers ask before they act. Playback and an extraction batch exclude each
// other, so the window is always in exactly one of these.
#pragma once

namespace varrow {

enum class WindowState {
    Idle,    // nothing plays, no batch is in hand
    Playing, // the drive plays the play list
    Paused,  // playback paused; the play list is kept
    Ripping, // a batch is in hand, from its button's click until it has wound up
};

} // namespace varrow
