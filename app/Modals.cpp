// SPDX-License-Identifier: GPL-3.0-or-later
#include "Modals.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDialog>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QProcess>
#include <QRegularExpression>
#include <QShowEvent>
#include <QStandardPaths>
#include <QStringList>
#include <QUrl>

namespace varrow {

namespace {

// A message box that places itself over its owner once its size is known.
class CentredMessageBox final : public QMessageBox {
public:
    CentredMessageBox(QWidget* owner, Icon icon, const QString& title, const QString& text,
                      StandardButtons buttons)
        : QMessageBox(icon, title, text, buttons, owner)
        , owner_(owner) {
        // Over a window kept on top the box must be kept on top as well, or
        // a window manager may stack it underneath, unread.
        if (owner != nullptr && owner->window()->windowFlags().testFlag(Qt::WindowStaysOnTopHint))
            setWindowFlag(Qt::WindowStaysOnTopHint);
    }

protected:
    void showEvent(QShowEvent* event) override {
        QMessageBox::showEvent(event);
        if (owner_ != nullptr)
            moveCentredOver(*this, *owner_);
    }

private:
    QWidget* owner_;
};

QMessageBox::Icon iconFor(MsgDlgType type) {
    switch (type) {
    case MsgDlgType::Warning:
        return QMessageBox::Warning;
    case MsgDlgType::Error:
        return QMessageBox::Critical;
    case MsgDlgType::Information:
        return QMessageBox::Information;
    case MsgDlgType::Confirmation:
        return QMessageBox::Question;
    }
    return QMessageBox::NoIcon;
}

QString titleFor(MsgDlgType type) {
    switch (type) {
    case MsgDlgType::Warning:
        return QStringLiteral("Warning");
    case MsgDlgType::Error:
        return QStringLiteral("Error");
    case MsgDlgType::Information:
        return QStringLiteral("Information");
    case MsgDlgType::Confirmation:
        return QStringLiteral("Confirm");
    }
    return {};
}

QMessageBox::StandardButtons buttonsFor(MsgButtons buttons) {
    switch (buttons) {
    case MsgButtons::Ok:
        return QMessageBox::Ok;
    case MsgButtons::YesNo:
        return QMessageBox::Yes | QMessageBox::No;
    case MsgButtons::YesNoYesToAll:
        return QMessageBox::Yes | QMessageBox::No | QMessageBox::YesToAll;
    }
    return QMessageBox::Ok;
}

ModalResult resultFor(int button) {
    switch (button) {
    case QMessageBox::Ok:
        return ModalResult::Ok;
    case QMessageBox::Yes:
        return ModalResult::Yes;
    case QMessageBox::No:
        return ModalResult::No;
    case QMessageBox::YesToAll:
        return ModalResult::YesToAll;
    default:
        return ModalResult::None;
    }
}

// "description|pattern|..." becomes Qt's "description (pattern pattern);;...".
QString qtFilter(const QString& filter) {
    const QStringList parts = filter.split(QLatin1Char('|'));
    QStringList entries;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QString description = parts[i];
        description.remove(QRegularExpression(QStringLiteral("\\s*\\(.*\\)\\s*$")));
        QString patterns = parts[i + 1];
        patterns.replace(QLatin1Char(';'), QLatin1Char(' '));
        entries << QStringLiteral("%1 (%2)").arg(description, patterns);
    }
    return entries.join(QStringLiteral(";;"));
}

// The folder dialog: a folder typed or picked and confirmed is the answer,
// where a file dialog would only open it and then wait for a file name.
class FolderSaveDialog final : public QFileDialog {
public:
    using QFileDialog::QFileDialog;

    void accept() override {
        const QStringList chosen = selectedFiles();
        if (chosen.size() == 1 && QFileInfo(chosen.constFirst()).isDir()) {
            QDialog::accept();
            return;
        }
        QFileDialog::accept();
    }
};

class RealModals final : public Modals {
public:
    ModalResult message(QWidget* owner, const QString& text, MsgDlgType type,
                        MsgButtons buttons) override {
        CentredMessageBox box(owner, iconFor(type), titleFor(type), text, buttonsFor(buttons));
        return resultFor(box.exec());
    }

    void plainMessage(const QString& text) override {
        QMessageBox box(QMessageBox::NoIcon, QString(), text, QMessageBox::Ok);
        box.exec();
    }

    std::optional<QString> saveFileName(QWidget* owner, const SaveDialogRequest& request) override {
        FolderSaveDialog dialog(owner, request.title, request.directory, qtFilter(request.filter));
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setFileMode(QFileDialog::AnyFile);
        // The name typed is only a hint that every track gets its own name.
        dialog.setOption(QFileDialog::DontConfirmOverwrite);
        dialog.selectFile(request.fileNameText);
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
            return std::nullopt;
        return dialog.selectedFiles().constFirst();
    }

    int exec(QDialog& dialog) override { return dialog.exec(); }

    void openHelp(const QString& argument) override {
        // The viewer runs on its own: the program neither waits for it nor
        // reports how it ends.
        const QString viewer = helpViewerProgram();
        if (!viewer.isEmpty() && QProcess::startDetached(viewer, {argument}))
            return;
        // The desktop's handler knows no topics: it is given the file itself.
        const QString file = argument.section(QStringLiteral("::"), 0, 0);
        QDesktopServices::openUrl(QUrl::fromLocalFile(file));
    }
};

std::unique_ptr<Modals>& installed() {
    static std::unique_ptr<Modals> current = makeScreenModals();
    return current;
}

} // namespace

std::unique_ptr<Modals> makeScreenModals() {
    return std::make_unique<RealModals>();
}

Modals& modals() {
    return *installed();
}

std::unique_ptr<Modals> setModals(std::unique_ptr<Modals> replacement) {
    std::swap(installed(), replacement);
    return replacement;
}

QString helpViewerProgram() {
    const QString name = QString::fromLatin1(HelpViewerName);
    const QString beside = QCoreApplication::applicationDirPath() + QLatin1Char('/') + name;
    if (const QFileInfo info(beside); info.isFile() && info.isExecutable())
        return beside;
    return QStandardPaths::findExecutable(name);
}

CentredPosition centreOver(int ownerLeft, int ownerTop, int ownerWidth, int ownerHeight,
                           int boxWidth, int boxHeight) {
    return {ownerLeft + ownerWidth / 2 - boxWidth / 2, ownerTop + ownerHeight / 2 - boxHeight / 2};
}

void moveCentredOver(QWidget& box, const QWidget& owner) {
    const QRect ownerFrame = owner.frameGeometry();
    const QRect boxFrame = box.frameGeometry();
    const CentredPosition at = centreOver(ownerFrame.left(), ownerFrame.top(), ownerFrame.width(),
                                          ownerFrame.height(), boxFrame.width(), boxFrame.height());
    box.move(at.left, at.top);
}

OwnerState ownerStateOf(const QWidget* owner) {
    OwnerState state;
    if (owner == nullptr)
        return state;
    QWidget* window = owner->window();
    state.window = window;
    state.minimized = window->isMinimized();
    state.visible = window->isVisible() && !state.minimized;
    state.staysOnTop = window->windowFlags().testFlag(Qt::WindowStaysOnTopHint);
    state.active = window->isActiveWindow();
    return state;
}

ModalResult MessageDlgCentered(QWidget* owner, const QString& text, MsgDlgType type,
                               MsgButtons buttons) {
    return modals().message(owner, text, type, buttons);
}

} // namespace varrow
