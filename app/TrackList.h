// SPDX-License-Identifier: GPL-3.0-or-later
// The track list's own keyboard. Key presses reach it like any control, but
// it leaves alone those the main window's shortcuts have just acted on (its
// Space selection, its Enter activation, its type-ahead search on N, P and T
// while a disc plays) and always its select-all, which is Ctrl+A's, the
// Select All button's, that never selects a data row. Tab and Shift+Tab move
// on to the next control instead of between cells.
#pragma once

#include <QTableView>
#include <functional>

class QKeyEvent;

class TTrackList final : public QTableView {
public:
    explicit TTrackList(QWidget* parent);

    // True when the window's shortcuts have acted on `event`.
    std::function<bool(const QKeyEvent& event)> keyTakenByWindow;

protected:
    void keyPressEvent(QKeyEvent* event) override;
};
