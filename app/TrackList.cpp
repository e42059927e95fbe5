#include "TrackList.h"

#include <QKeyEvent>

TTrackList::TTrackList(int rows, int columns, QWidget* parent)
    : QTableWidget(rows, columns, parent) {
    setTabKeyNavigation(false);
}

void TTrackList::keyPressEvent(QKeyEvent* event) {
    if (event->matches(QKeySequence::SelectAll) || (keyTakenByWindow && keyTakenByWindow(*event))) {
        // Not used here: the key goes on to the parents as any unused key.
        event->ignore();
        return;
    }
    QTableWidget::keyPressEvent(event);
}
