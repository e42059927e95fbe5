// SPDX-License-Identifier: GPL-3.0-or-later
// The main window's keyboard shortcuts as a plain rule: the state of the
// window in, the action a key press asks for out. The window runs the action
// (by clicking the button that owns it) and lets the key go on to the
// focused control.
#pragma once

#include "WindowState.h"

#include <Qt>

namespace varrow {

enum class KeyAction {
    None,
    Play,      // ToolButton_Play: start, or resume when paused
    Stop,      // ToolButton_Stop
    Pause,     // flip ToolButton_Pause, then its handler
    SelectAll, // focus to the track list, then ToolButton_SelectAll
    ClearAll,  // focus to the track list, then ToolButton_ClearAll
    Next,      // ToolButton_Next
    Prev,      // ToolButton_Prev
    TimeMode,  // as a click on Panel_PlayTime
    Help,      // help at the active tab's topic
    EditTitle, // edit the focused row's title
    Refresh,   // ToolButton_RefreshTracks
    RipMP3,    // ToolButton_RipMP3
    RipWav,    // ToolButton_RipWav
    RipFlac,   // ToolButton_RipFlac
};

struct KeyMapState {
    int activeTab = 0; // 0 "CD Extract", 1 "Options   ", 2 "About     "
    WindowState window = WindowState::Idle;
    bool selectAllEnabled = true;
    bool clearAllEnabled = true;
    bool trackListFocused = false;
    bool focusedRow = false;
};

// The action for `key` pressed with `modifiers` (Shift, Ctrl, Alt and Meta
// count; the keypad flag does not); None for every other key and for a
// listed key whose condition fails.
KeyAction keyAction(int key, Qt::KeyboardModifiers modifiers, const KeyMapState& state);

} // namespace varrow
