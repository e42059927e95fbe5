// SPDX-License-Identifier: GPL-3.0-or-later
// The progress window: its buttons and keys act while the engine extracts,
// through the events the engine lets through between chunks.
#include "Application.h"
#include "Modals.h"
#include "ShellTestSupport.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTableWidget>
#include <QTest>
#include <QTimer>
#include <functional>
#include <memory>

using namespace varrow;
using namespace varrow::testing;

namespace {

class RipProgress : public ShellTest {
protected:
    std::shared_ptr<cdlib::VirtualDrive> drive;

    void SetUp() override {
        ShellTest::SetUp();
        drive = addDrive("VIRTUAL One", discOf({audio(3000)}));
        createWindow();
        skips = std::make_unique<QSignalSpy>(&progress(), &TDlg_RipProgress::SkipTrackClicked);
        aborts = std::make_unique<QSignalSpy>(&progress(), &TDlg_RipProgress::AbortAllConfirmed);
    }

    // Shows the window as a batch does: the main window's tabs disabled,
    // its timers stopped, progress in its caption. Until `ripping` is
    // cleared, closing the window means aborting.
    void startBatch() {
        ripping = true;
        progress().setRippingSource([this] { return ripping; });
        ui.PageControl1->setEnabled(false);
        ui.Timer1->stop();
        ui.Timer2->stop();
        form->setWindowTitle(QStringLiteral("Varrow - 40%"));
        progress().show();
    }

    bool ripping = false;

    // Extracts the track while `userAction` runs once between two chunks, as
    // a click during the extraction would; returns the chunks read.
    int ripWhile(const std::function<void()>& userAction) {
        bool acted = false;
        EngineHooks hooks = engineHooks();
        hooks.processMessages = [&] {
            if (!acted) {
                acted = true;
                userAction();
            }
            QCoreApplication::processEvents();
        };
        setEngineHooks(hooks);
        const int before = drive->chunksRead();
        form->engine().RipTrack(1, folder.filePath(QStringLiteral("01_Track01.wav")).toStdString());
        installEngineHooks();
        return drive->chunksRead() - before;
    }

    int wholeTrackChunks() {
        return ripWhile([] {});
    }

    // What the window told the batch: skips and confirmed aborts.
    std::unique_ptr<QSignalSpy> skips;
    std::unique_ptr<QSignalSpy> aborts;
};

} // namespace

TEST_F(RipProgress, StartsHiddenWithItsCaptionAndControls) {
    EXPECT_FALSE(progress().isVisible());
    EXPECT_EQ(progress().windowTitle(), "Varrow - Extraction...");
    EXPECT_TRUE(progress().windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_EQ(progress().Label_Track->text(), "Track Progress");
    EXPECT_EQ(progress().Label_All->text(), "All Tracks Progress");
    EXPECT_EQ(progress().Label_JittCount->text(), "0");
    EXPECT_EQ(progress().Label_Speed->text(), "0");
    EXPECT_EQ(progress().Label_RipTime->text(), "0:00:00");
    EXPECT_EQ(progress().Gauge_Track->maximum(), 100);
    EXPECT_EQ(progress().Gauge_Track->palette().color(QPalette::Highlight), QColor(0, 255, 0));
    EXPECT_EQ(progress().Gauge_All->palette().color(QPalette::Highlight), QColor(0, 0, 255));
    EXPECT_EQ(progress().Btn_Cancel->text(), "Skip Track");
    EXPECT_EQ(progress().Btn_Abort->toolTip(), "abort all tracks extraction");
    EXPECT_EQ(progress().Btn_Hide->toolTip(), "hide program windows");
    EXPECT_GE(progress().width(), 312);
    EXPECT_GE(progress().height(), 213);
}

TEST_F(RipProgress, ShownCentredOverTheMainWindowWithAbortFocused) {
    startBatch();
    const QRect main = form->frameGeometry();
    const CentredPosition expected =
        centreOver(main.left(), main.top(), main.width(), main.height(),
                   progress().frameGeometry().width(), progress().frameGeometry().height());
    EXPECT_EQ(progress().frameGeometry().topLeft(), QPoint(expected.left, expected.top));
    EXPECT_EQ(progress().focusWidget(), progress().Btn_Abort);
}

TEST_F(RipProgress, RestoredAfterHideItStaysWhereTheUserPutItWithItsFocus) {
    startBatch();
    const QPoint placed = progress().pos() + QPoint(37, 23);
    progress().move(placed);
    QTest::mouseClick(progress().Btn_Hide, Qt::LeftButton);
    ASSERT_TRUE(progress().isMinimized());
    progress().Btn_Cancel->setFocus();
    progress().showNormal();
    ASSERT_FALSE(progress().isMinimized());
    EXPECT_EQ(progress().pos(), placed);
    EXPECT_EQ(progress().focusWidget(), progress().Btn_Cancel);
}

TEST_F(RipProgress, SkipSetsItsFlagAndStopsTheTrackWithoutAQuestion) {
    startBatch();
    const int whole = wholeTrackChunks();
    ASSERT_GT(whole, 3);
    const int read = ripWhile([this] { QTest::mouseClick(progress().Btn_Cancel, Qt::LeftButton); });
    EXPECT_EQ(skips->count(), 1);
    EXPECT_EQ(aborts->count(), 0);
    EXPECT_LT(read, whole);
    EXPECT_TRUE(modals->messages.empty());
}

TEST_F(RipProgress, AbortAnsweredNoChangesNothing) {
    startBatch();
    const int whole = wholeTrackChunks();
    modals->answer(ModalResult::No);
    const int read = ripWhile([this] { QTest::mouseClick(progress().Btn_Abort, Qt::LeftButton); });
    ASSERT_EQ(modals->messages.size(), 1u);
    EXPECT_EQ(modals->messages[0].text, "Abort Extracts all tracks?");
    EXPECT_EQ(modals->messages[0].type, MsgDlgType::Confirmation);
    EXPECT_EQ(modals->messages[0].buttons, MsgButtons::YesNo);
    EXPECT_EQ(modals->messages[0].owner, &progress());
    EXPECT_TRUE(modals->messages[0].ownerState.visible);
    EXPECT_TRUE(modals->messages[0].ownerState.staysOnTop);
    EXPECT_EQ(aborts->count(), 0);
    EXPECT_EQ(skips->count(), 0);
    EXPECT_EQ(read, whole);
    EXPECT_TRUE(progress().isVisible());
}

// What the modal seam records of a box's owner, for every box it shows.
TEST_F(RipProgress, BoxesRecordHowTheirOwnerStood) {
    const OwnerState none = ownerStateOf(nullptr);
    EXPECT_EQ(none.window, nullptr);
    EXPECT_FALSE(none.visible);

    const OwnerState hidden = ownerStateOf(progress().Btn_Abort);
    EXPECT_EQ(hidden.window, &progress());
    EXPECT_FALSE(hidden.visible);
    EXPECT_TRUE(hidden.staysOnTop);

    startBatch();
    progress().activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&progress()));
    const OwnerState shown = ownerStateOf(progress().Btn_Abort);
    EXPECT_TRUE(shown.visible);
    EXPECT_FALSE(shown.minimized);
    EXPECT_TRUE(shown.active);
    EXPECT_FALSE(ownerStateOf(form).active);

    QTest::mouseClick(progress().Btn_Hide, Qt::LeftButton);
    const OwnerState minimised = ownerStateOf(&progress());
    EXPECT_TRUE(minimised.minimized);
    EXPECT_FALSE(minimised.visible);

    const OwnerState main = ownerStateOf(ui.ListView1);
    EXPECT_EQ(main.window, form);
    EXPECT_FALSE(main.staysOnTop);
}

TEST_F(RipProgress, AbortAnsweredYesStopsTheBatch) {
    startBatch();
    const int whole = wholeTrackChunks();
    modals->answer(ModalResult::Yes);
    const int read = ripWhile([this] { QTest::mouseClick(progress().Btn_Abort, Qt::LeftButton); });
    EXPECT_EQ(aborts->count(), 1);
    EXPECT_LT(read, whole);
    EXPECT_TRUE(progress().isVisible()) << "the batch closes the window when it has wound up";
}

TEST_F(RipProgress, EscapeAsksInsteadOfSkipping) {
    startBatch();
    const int whole = wholeTrackChunks();
    modals->answer(ModalResult::No);
    const int read = ripWhile([this] { QTest::keyClick(progress().Btn_Abort, Qt::Key_Escape); });
    EXPECT_EQ(modals->texts(), std::vector<QString>({"Abort Extracts all tracks?"}));
    EXPECT_EQ(skips->count(), 0);
    EXPECT_EQ(aborts->count(), 0);
    EXPECT_EQ(read, whole);
    EXPECT_TRUE(progress().isVisible());
}

TEST_F(RipProgress, ClosingDuringABatchAsksAndOnYesRestoresTheMainWindow) {
    startBatch();
    modals->answer(ModalResult::No);
    EXPECT_FALSE(progress().close());
    EXPECT_EQ(modals->texts(), std::vector<QString>({"Abort Extracts all tracks?"}));
    EXPECT_TRUE(progress().isVisible());
    EXPECT_FALSE(ui.PageControl1->isEnabled());

    modals->answer(ModalResult::Yes);
    EXPECT_TRUE(progress().close());
    EXPECT_FALSE(progress().isVisible());
    EXPECT_EQ(aborts->count(), 1);
    expectMainWindowGivenBack();
}

TEST_F(RipProgress, ClosingAfterTheBatchAsksNothing) {
    startBatch();
    ripping = false;
    EXPECT_TRUE(progress().close());
    EXPECT_TRUE(modals->messages.empty());
    EXPECT_EQ(aborts->count(), 0);
    EXPECT_TRUE(ui.PageControl1->isEnabled());
    EXPECT_EQ(form->windowTitle(), "Varrow");
}

TEST_F(RipProgress, HideMinimisesEveryWindowAndClosingBringsTheMainWindowBack) {
    startBatch();
    QTest::mouseClick(progress().Btn_Hide, Qt::LeftButton);
    EXPECT_TRUE(form->isMinimized());
    EXPECT_TRUE(progress().isMinimized());
    ripping = false;
    progress().close();
    EXPECT_FALSE(form->isMinimized());
    EXPECT_TRUE(form->isVisible());
}

TEST_F(RipProgress, F1WithoutTheHelpFileSaysSo) {
    startBatch();
    progress().HelpFile = folder.filePath(QStringLiteral("Varrow.chm"));
    modals->answer(ModalResult::Ok);
    QTest::keyClick(progress().Btn_Abort, Qt::Key_F1);
    ASSERT_EQ(modals->messages.size(), 1u);
    EXPECT_EQ(modals->messages[0].text, "The help file " + progress().HelpFile + " is not found!");
    EXPECT_EQ(modals->messages[0].type, MsgDlgType::Error);
    EXPECT_EQ(modals->messages[0].owner, &progress());
    EXPECT_TRUE(modals->helpRequests.empty());

    // A folder of that name is no help file either.
    ASSERT_TRUE(QDir(folder.path()).mkdir(QStringLiteral("Varrow.chm")));
    modals->answer(ModalResult::Ok);
    QTest::keyClick(progress().Btn_Abort, Qt::Key_F1);
    EXPECT_EQ(modals->messages.size(), 2u);
    EXPECT_TRUE(modals->helpRequests.empty());
}

TEST_F(RipProgress, F1OpensTheProgressTopic) {
    startBatch();
    progress().HelpFile = folder.filePath(QStringLiteral("Varrow.chm"));
    QFile help(progress().HelpFile);
    ASSERT_TRUE(help.open(QIODevice::WriteOnly));
    help.close();
    QTest::keyClick(progress().Btn_Abort, Qt::Key_F1);
    EXPECT_EQ(
        modals->helpRequests,
        std::vector<QString>({progress().HelpFile + "::/extractcdtomp3.htm#ExtractionProgress"}));
    EXPECT_TRUE(modals->messages.empty());
}
