// SPDX-License-Identifier: GPL-3.0-or-later
// varrow-screenshot: starts the windows as Varrow does and saves pictures for
// the documentation: the main window's first two tabs, the MP3 options
// dialog, and the progress window halfway through an MP3 batch.
//   varrow-screenshot <main-window.png> <options-tab.png> <mp3-dialog.png> <rip-progress.png>
#include "Application.h"
#include "Modals.h"
#include "ProgramWindows.h"

#include <QAbstractItemView>
#include <QCoreApplication>
#include <QDialog>
#include <QLabel>
#include <QPushButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <cstdio>
#include <memory>

namespace {

bool save(QWidget& window, const QString& path) {
    QTest::qWait(200);
    if (window.grab().save(path))
        return true;
    std::fprintf(stderr, "varrow-screenshot: cannot write %s\n", qPrintable(path));
    return false;
}

// Answers the batch's dialogs as a user would: the MP3 dialog is pictured and
// started, the folder is a scratch folder, every box is acknowledged.
class PicturingModals final : public varrow::Modals {
public:
    PicturingModals(QString dialogPicture, QString folder)
        : dialogPicture_(std::move(dialogPicture))
        , folder_(std::move(folder)) {}

    bool failed = false;

    varrow::ModalResult message(QWidget*, const QString&, varrow::MsgDlgType,
                                varrow::MsgButtons buttons) override {
        return buttons == varrow::MsgButtons::Ok ? varrow::ModalResult::Ok
                                                 : varrow::ModalResult::Yes;
    }
    void plainMessage(const QString&) override {}
    std::optional<QString> saveFileName(QWidget*, const varrow::SaveDialogRequest&) override {
        return folder_ + QStringLiteral("/filenames will be as a tracks names");
    }
    int exec(QDialog& dialog) override {
        dialog.show();
        failed = !QTest::qWaitForWindowExposed(&dialog) || !save(dialog, dialogPicture_);
        dialog.hide();
        return failed ? QDialog::Rejected : QDialog::Accepted;
    }
    void openHelp(const QString&) override {}

private:
    QString dialogPicture_;
    QString folder_;
};

} // namespace

int main(int argc, char* argv[]) {
    varrow::Application application(argc, argv);
    if (argc != 5) {
        std::fprintf(stderr, "usage: varrow-screenshot <main-window.png> <options-tab.png> "
                             "<mp3-dialog.png> <rip-progress.png>\n");
        return 2;
    }
    const QStringList pictures = QCoreApplication::arguments().mid(1);
    varrow::installEngineHooks();

    varrow::ProgramWindows windows;
    TForm1& mainForm = windows.mainForm;
    TDlg_RipProgress& ripProgress = windows.ripProgress;
    mainForm.show();
    if (!QTest::qWaitForWindowExposed(&mainForm)) {
        std::fprintf(stderr, "varrow-screenshot: the window was not shown\n");
        return 1;
    }
    // The drives are listed once the window is on the screen.
    QCoreApplication::processEvents();
    // Two tracks selected, so that the status bar shows the selection.
    auto* list = mainForm.findChild<QAbstractItemView*>(QStringLiteral("ListView1"));
    auto* tabs = mainForm.findChild<QTabWidget*>(QStringLiteral("PageControl1"));
    auto* ripMp3 = mainForm.findChild<QToolButton*>(QStringLiteral("ToolButton_RipMP3"));
    if (list == nullptr || tabs == nullptr || ripMp3 == nullptr) {
        std::fprintf(stderr, "varrow-screenshot: the window has not the controls it pictures\n");
        return 1;
    }
    for (int row = 1; row <= 2 && row < list->model()->rowCount(); ++row)
        list->selectionModel()->select(list->model()->index(row, 0),
                                       QItemSelectionModel::Select | QItemSelectionModel::Rows);
    if (!save(mainForm, pictures[0]))
        return 1;
    tabs->setCurrentIndex(1);
    if (!save(mainForm, pictures[1]))
        return 1;
    tabs->setCurrentIndex(0);

    // An MP3 batch of the two rows into a scratch folder. Halfway through the
    // second track, once a speed has been measured, the progress window is
    // pictured and the batch stopped.
    QTemporaryDir scratch;
    auto modals = std::make_unique<PicturingModals>(pictures[2], scratch.path());
    PicturingModals& answers = *modals;
    varrow::setModals(std::move(modals));
    bool pictured = false;
    bool progressSaved = false;
    EngineHooks hooks = engineHooks();
    hooks.processMessages = [&] {
        // The image reads faster than any drive, and the speed is measured
        // over a second or more: a short pause per chunk gives the picture a
        // drive's pace.
        QTest::qWait(40);
        const TBatchRun* batch = mainForm.batch();
        if (pictured || batch == nullptr || batch->BatchTrackIndex < 1 ||
            mainForm.engine().PercentComplete() < 45 ||
            !ripProgress.Label_Speed->text().startsWith(QLatin1Char('x')))
            return;
        pictured = true;
        progressSaved = save(ripProgress, pictures[3]);
        ripProgress.Btn_Abort->click();
    };
    setEngineHooks(std::move(hooks));
    ripMp3->click();
    if (answers.failed)
        return 1;
    if (!pictured)
        std::fprintf(stderr, "varrow-screenshot: the batch ended before it could be pictured\n");
    return progressSaved ? 0 : 1;
}
