// SPDX-License-Identifier: GPL-3.0-or-later
// The main window's keyboard and help: the shortcuts of KeyMap.h, seen once
// per key press before the focused control and never kept from it; F1 and
// the Help button.
#include "Application.h"
#include "Help.h"
#include "KeyMap.h"
#include "Modals.h"
#include "TrackList.h"
#include "UnitMain.h"

#include <QApplication>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QTabWidget>
#include <QToolButton>

using namespace varrow;

namespace {

// The topics of the tabs "CD Extract", "Options   " and "About     ".
const QString TabHelpTopics[] = {QStringLiteral("::/mainwindow.htm"),
                                 QStringLiteral("::/optionstab.htm"),
                                 QStringLiteral("::/abouttab.htm")};

// A click on a control that has no click of its own to call: the press and
// release a mouse would send, in its middle.
void clickWidget(QWidget* widget) {
    const QPointF middle = QRectF(widget->rect()).center();
    const QPointF global = widget->mapToGlobal(middle);
    QMouseEvent press(QEvent::MouseButtonPress, middle, global, Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    QCoreApplication::sendEvent(widget, &press);
    QMouseEvent release(QEvent::MouseButtonRelease, middle, global, Qt::LeftButton, Qt::NoButton,
                        Qt::NoModifier);
    QCoreApplication::sendEvent(widget, &release);
}

} // namespace

void TForm1::connectKeys() {
    // Every key press of the application passes here, once, before its
    // receiver.
    Application::addKeyPreview(
        this, [this](QWidget* receiver, const QKeyEvent& event) { previewKey(receiver, event); });
    connect(ToolButton_Help, &QToolButton::clicked, this,
            handlerCalling(this, &TForm1::ToolButton_HelpClick));
}

void TForm1::previewKey(QWidget* receiver, const QKeyEvent& event) {
    if (receiver->window() != this)
        return;
    keyTaken_ = nullptr;
    // What is typed into a title being edited is the title's.
    if (receiver != ListView1 && ListView1->isAncestorOf(receiver))
        return;
    runHandler([&] { FormKeyDown(event); });
}

bool TForm1::keyTakenByShortcut(const QKeyEvent& event) const {
    return &event == keyTaken_;
}

KeyMapState TForm1::keyMapState() const {
    KeyMapState state;
    state.activeTab = PageControl1->currentIndex();
    state.window = state_;
    state.selectAllEnabled = ToolButton_SelectAll->isEnabled();
    state.clearAllEnabled = ToolButton_ClearAll->isEnabled();
    state.trackListFocused = focusWidget() == ListView1;
    state.focusedRow = ListView1->currentIndex().isValid();
    return state;
}

void TForm1::FormKeyDown(const QKeyEvent& event) {
    const KeyAction action = keyAction(event.key(), event.modifiers(), keyMapState());
    if (action != KeyAction::None)
        keyTaken_ = &event;
    switch (action) {
    case KeyAction::None:
        break;
    case KeyAction::Play:
        ToolButton_Play->click();
        break;
    case KeyAction::Stop:
        ToolButton_Stop->click();
        break;
    case KeyAction::Pause:
        // The button flips its down state, then runs its handler.
        ToolButton_Pause->click();
        break;
    case KeyAction::SelectAll:
        ListView1->setFocus();
        ToolButton_SelectAll->click();
        break;
    case KeyAction::ClearAll:
        ListView1->setFocus();
        ToolButton_ClearAll->click();
        break;
    case KeyAction::Next:
        ToolButton_Next->click();
        break;
    case KeyAction::Prev:
        ToolButton_Prev->click();
        break;
    case KeyAction::TimeMode:
        clickWidget(Panel_PlayTime);
        break;
    case KeyAction::Help:
        showHelpTopic(this, HelpFile, TabHelpTopics[qBound(0, PageControl1->currentIndex(), 2)]);
        break;
    case KeyAction::EditTitle:
        ListView1->edit(trackModel_->index(ListView1->currentIndex().row(), COL_TITLE));
        break;
    case KeyAction::Refresh:
        ToolButton_RefreshTracks->click();
        break;
    case KeyAction::RipMP3:
        ToolButton_RipMP3->click();
        break;
    case KeyAction::RipWav:
        ToolButton_RipWav->click();
        break;
    case KeyAction::RipFlac:
        ToolButton_RipFlac->click();
        break;
    }
}

void TForm1::ToolButton_HelpClick() {
    if (QFileInfo(HelpFile).isFile()) {
        modals().openHelp(HelpFile);
        return;
    }
    MessageDlgCentered(
        this, QStringLiteral("The help file ") + HelpFile + QStringLiteral(" is not found"),
        MsgDlgType::Error, MsgButtons::Ok);
}
