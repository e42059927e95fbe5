// SPDX-License-Identifier: GPL-3.0-or-later
// The main window under a real X server and window manager, with keys typed
// on the real keyboard (xdotool): a key acts once however long its action
// runs (F8 writes a whole FLAC file), and the MP3 options dialog asks for no
// window buttons. Skipped, saying why, without the session.
#include "BatchTestSupport.h"
#include "FlacFiles.h"
#include "LocalHttpServer.h"
#include "MusicBrainzAnswers.h"
#include "MusicBrainzDiscId.h"
#include "X11Session.h"

#include <QDialog>
#include <QTableView>
#include <QTest>
#include <QTimer>

using namespace varrow;
using namespace varrow::testing;

namespace {

class WindowUnderX : public Batch {
protected:
    void SetUp() override {
        Batch::SetUp();
        if (!x11::sessionRunning())
            GTEST_SKIP() << x11::sessionProblem().toStdString();
    }

    // Types `key` into the main window, with the track list focused, and
    // waits until the window has seen its release.
    void typeIntoTheWindow(const QString& key) {
        ASSERT_TRUE(QTest::qWaitForWindowExposed(form));
        ASSERT_TRUE(x11::activate(form->winId()));
        ui.ListView1->setFocus();
        ASSERT_TRUE(x11::pressKeys(key)) << "xdotool could not be run (package xdotool)";
        QTest::qWait(300);
    }
};

} // namespace

TEST_F(WindowUnderX, AKeyTypedActsOnceWhileItsActionRunsItsOwnEvents) {
    // While the batch reads, and while a box waits, the key's release comes
    // in; the press then goes on to the parents of the control that had it.
    // The answers are scripted for one action: a second finds none left.
    const auto boxWaitsForTheUser = [this](const ShownMessage&) {
        QTest::qWait(200);
        return ModalResult::Ok;
    };
    const std::vector<std::pair<QString, std::vector<QString>>> cases = {
        {QStringLiteral("F7"), {QStringLiteral("Extract is complete.")}},
        {QStringLiteral("F6"), {QStringLiteral("Extract is complete.")}},
        {QStringLiteral("F8"), {QStringLiteral("Extract is complete.")}},
        {QStringLiteral("F1"), {QStringLiteral("The help file ")}},
    };
    start(1);
    form->setHelpFile(folder.filePath(QStringLiteral("missing/Varrow.chm")));
    for (const auto& [key, boxes] : cases) {
        SCOPED_TRACE(key.toStdString());
        modals->messages.clear();
        modals->saveRequests.clear();
        selectRows({0});
        if (key != QStringLiteral("F1"))
            chooseFolder(out);
        if (key == QStringLiteral("F6"))
            startMp3Dialog();
        modals->messageAnswers.emplace_back(boxWaitsForTheUser);
        typeIntoTheWindow(key);
        ASSERT_EQ(modals->messages.size(), boxes.size()) << "the key acted more than once";
        for (std::size_t box = 0; box < boxes.size(); ++box)
            EXPECT_TRUE(modals->messages[box].text.startsWith(boxes[box]))
                << modals->messages[box].text.toStdString();
        EXPECT_EQ(modals->saveRequests.size(), key == QStringLiteral("F1") ? 0u : 1u);
        EXPECT_EQ(form->state(), WindowState::Idle);
        ui.ListView1->clearSelection();
    }
    EXPECT_TRUE(decodeFlac((out + QStringLiteral("01_Track01.flac")).toStdString()).ok);
}

// The release question shown for real, answered on the keyboard: the arrow
// moves from the preselected release to the next, Enter takes it.
TEST_F(WindowUnderX, TheReleaseQuestionIsAnsweredOnTheKeyboard) {
    LocalHttpServer server;
    server.serve("/ws/2/discid/" +
                     online::MusicBrainzDiscId::of({{{1, 0}, {2, 242}, {3, 433}}, 736}).id,
                 httpAnswer(200, musicBrainzAnswer("disc-two-releases.json")));
    qputenv("VARROW_MUSICBRAINZ_URL", QByteArray::fromStdString(server.url()));
    modals->dialogAnswers.emplace_back([](QDialog& dialog) {
        QTimer::singleShot(0, &dialog, [&dialog] {
            EXPECT_TRUE(QTest::qWaitForWindowExposed(&dialog));
            EXPECT_TRUE(x11::activate(dialog.winId()));
            EXPECT_TRUE(x11::pressKeys(QStringLiteral("Down")));
            EXPECT_TRUE(x11::pressKeys(QStringLiteral("Return")));
        });
        return dialog.exec();
    });
    addDrive("VIRTUAL Names", discOf({audio(242), audio(191), audio(303)}));
    createWindow();
    const auto remastered = [this] {
        return rowTexts(0)[COL_TITLE].endsWith("remaster)");
    };
    EXPECT_TRUE(QTest::qWaitFor(remastered, 20000)) << rowTexts(0)[COL_TITLE].toStdString();
    EXPECT_EQ(modals->dialogsRun, 1);
}

// The dialog asks for no minimise and no close; openbox gives its title bar
// those boxes all the same (it does not let a window take them away), other
// window managers leave them out. No window manager maximises a dialog of
// fixed size.
TEST_F(WindowUnderX, TheMp3DialogAsksForNoWindowButtons) {
    start(1);
    mp3Dlg().show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&mp3Dlg()));
    ASSERT_TRUE(QTest::qWaitFor([this] { return x11::isStacked(mp3Dlg().winId()); }));
    constexpr unsigned long FunctionsGiven = 0x1;
    constexpr unsigned long Minimise = 0x8;
    constexpr unsigned long Close = 0x20;
    const std::vector<unsigned long> hints = x11::motifHints(mp3Dlg().winId());
    ASSERT_GE(hints.size(), 2u) << "the dialog says nothing of its window buttons";
    EXPECT_TRUE(hints[0] & FunctionsGiven);
    EXPECT_FALSE(hints[1] & Minimise);
    EXPECT_FALSE(hints[1] & Close);
    const std::vector<QString> actions = x11::allowedActions(mp3Dlg().winId());
    ASSERT_FALSE(actions.empty()) << "the window manager names no actions";
    for (const char* refused :
         {"_NET_WM_ACTION_MAXIMIZE_HORZ", "_NET_WM_ACTION_MAXIMIZE_VERT", "_NET_WM_ACTION_RESIZE"})
        EXPECT_EQ(std::count(actions.begin(), actions.end(), QLatin1String(refused)), 0) << refused;
    mp3Dlg().hide();
}
