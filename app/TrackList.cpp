// SPDX-License-Identifier: GPL-3.0-or-later
#include "TrackList.h"

#include <QKeyEvent>

TTrackList::TTrackList(QWidget* parent)
    : QTableView(parent) {
    setTabKeyNavigation(false);
}

void TTrackList::keyPressEvent(QKeyEvent* event) {
    if (event->matches(QKeySequence::SelectAll) || (keyTakenByWindow && keyTakenByWindow(*event))) {
        // Not used here: the key goes on to the parents as any unused key.
        event->ignore();
        return;
    }
    QTableView::keyPressEvent(event);
}
