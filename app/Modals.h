// SPDX-License-Identifier: GPL-3.0-or-later
// Every modal interaction of the user interface goes through one seam: the
// centred message box, the engine's plain OK box, the folder dialog, the modal
// run of a dialog and starting the help viewer. The application uses the
// real implementation; tests install one that answers from a script.
#pragma once

#include <QPointer>
#include <QString>
#include <QWidget>
#include <memory>
#include <optional>

class QDialog;

namespace varrow {

enum class MsgDlgType { Warning, Error, Information, Confirmation };
enum class MsgButtons { Ok, YesNo, YesNoYesToAll };
enum class ModalResult { None, Ok, Cancel, Yes, No, YesToAll };

// A file-save dialog used to pick a folder.
struct SaveDialogRequest {
    QString title;
    QString filter;       // "description|pattern|description|pattern"
    QString fileNameText; // text put into the file-name field
    QString directory;    // folder the dialog opens in
};

// How the window that owns a box stood at the moment the box opened, so that
// tests can tell a box that opens over a hidden or minimised window, or one
// that a window kept on top would cover.
struct OwnerState {
    QPointer<QWidget> window; // the owner's top-level window; null without owner
    bool visible = false;     // shown and not minimised
    bool minimized = false;
    bool staysOnTop = false; // Qt::WindowStaysOnTopHint
    bool active = false;     // the application's active window
};
OwnerState ownerStateOf(const QWidget* owner);

class Modals {
public:
    virtual ~Modals() = default;

    // Shows `text` modally, centred over `owner`, and returns the button
    // that closed the box (None when it was closed another way).
    virtual ModalResult message(QWidget* owner, const QString& text, MsgDlgType type,
                                MsgButtons buttons) = 0;
    // A plain box with an OK button, not centred over anything in particular.
    virtual void plainMessage(const QString& text) = 0;
    // The chosen path, or nothing when the user cancelled.
    virtual std::optional<QString> saveFileName(QWidget* owner,
                                                const SaveDialogRequest& request) = 0;
    // Runs `dialog` modally and returns its result (QDialog::Accepted or
    // QDialog::Rejected).
    virtual int exec(QDialog& dialog) = 0;
    // Starts the help viewer, detached, with the help file path and topic in
    // `argument`; without a viewer the desktop's handler opens the file.
    virtual void openHelp(const QString& argument) = 0;
};

Modals& modals();
// The implementation that shows real boxes and dialogs on the screen, the one
// installed at start.
std::unique_ptr<Modals> makeScreenModals();
// Installs `replacement` and returns the one it replaces.
std::unique_ptr<Modals> setModals(std::unique_ptr<Modals> replacement);

// The help viewer the program starts: varrow-help beside the program, else
// the one on the PATH; empty when there is none.
inline constexpr char HelpViewerName[] = "varrow-help";
QString helpViewerProgram();

// Top-left corner that centres a box of `boxSize` over `owner`: the owner's
// left + its width div 2 - the box's width div 2, likewise for the top.
struct CentredPosition {
    int left;
    int top;
};
CentredPosition centreOver(int ownerLeft, int ownerTop, int ownerWidth, int ownerHeight,
                           int boxWidth, int boxHeight);
// Moves `box` so that its frame is centred over the frame of `owner`, by the
// rule above. Every box and dialog of the program is placed this way.
void moveCentredOver(QWidget& box, const QWidget& owner);

// The centred message box every window of the program uses.
ModalResult MessageDlgCentered(QWidget* owner, const QString& text, MsgDlgType type,
                               MsgButtons buttons);

} // namespace varrow
