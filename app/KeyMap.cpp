// SPDX-License-Identifier: GPL-3.0-or-later
#include "KeyMap.h"

namespace varrow {

namespace {

constexpr int ExtractTab = 0;

bool exactly(Qt::KeyboardModifiers modifiers, Qt::KeyboardModifier wanted) {
    const Qt::KeyboardModifiers counted =
        modifiers & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier);
    return counted == wanted;
}

} // namespace

KeyAction keyAction(int key, Qt::KeyboardModifiers modifiers, const KeyMapState& state) {
    const bool onExtractTab = state.activeTab == ExtractTab;
    const bool idle = state.window == WindowState::Idle;
    const bool ripping = state.window == WindowState::Ripping;
    // Paused counts as playing: the play list is still in hand.
    const bool playing =
        state.window == WindowState::Playing || state.window == WindowState::Paused;
    switch (key) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (!onExtractTab || ripping)
            return KeyAction::None;
        if (state.window == WindowState::Playing)
            return KeyAction::Stop;
        return KeyAction::Play;
    case Qt::Key_Space:
        return onExtractTab && playing ? KeyAction::Pause : KeyAction::None;
    case Qt::Key_A:
        if (!onExtractTab || ripping)
            return KeyAction::None;
        if (exactly(modifiers, Qt::ControlModifier) && state.selectAllEnabled)
            return KeyAction::SelectAll;
        if (exactly(modifiers, Qt::AltModifier) && state.clearAllEnabled)
            return KeyAction::ClearAll;
        return KeyAction::None;
    case Qt::Key_N:
        return playing && onExtractTab ? KeyAction::Next : KeyAction::None;
    case Qt::Key_P:
        return playing && onExtractTab ? KeyAction::Prev : KeyAction::None;
    case Qt::Key_T:
        return playing && onExtractTab ? KeyAction::TimeMode : KeyAction::None;
    case Qt::Key_F1:
        return KeyAction::Help;
    case Qt::Key_F2:
        return idle && state.trackListFocused && state.focusedRow ? KeyAction::EditTitle
                                                                  : KeyAction::None;
    case Qt::Key_F5:
        return onExtractTab && idle ? KeyAction::Refresh : KeyAction::None;
    case Qt::Key_F6:
        return onExtractTab && idle ? KeyAction::RipMP3 : KeyAction::None;
    case Qt::Key_F7:
        return onExtractTab && idle ? KeyAction::RipWav : KeyAction::None;
    case Qt::Key_F8:
        return onExtractTab && idle ? KeyAction::RipFlac : KeyAction::None;
    default:
        return KeyAction::None;
    }
}

} // namespace varrow
