// SPDX-License-Identifier: GPL-3.0-or-later
// A batch while it runs: skipping and aborting, closing its windows, and
// what the engine's events show in the caption and the progress window.
#include "AccurateRipFiles.h"
#include "BatchTestSupport.h"
#include "DiscIdentity.h"
#include "LocalHttpServer.h"
#include "RipLog.h"
#include "TrackChecksums.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>

using namespace varrow;
using namespace varrow::testing;

TEST_F(Batch, SkipLeavesThePartialFileAndItsRowAndGoesOn) {
    start(3);
    selectRows({0, 1, 2});
    chooseFolder(out);
    int gaugeAtEndOfSkipped = -1;
    atProgress(1, 30, [this] { QTest::mouseClick(progress().Btn_Cancel, Qt::LeftButton); });
    TProcessTrackEvent originalEnd = form->engine().OnEndTrack;
    form->engine().OnEndTrack = [&](TCDRIP& sender, uint16_t track) {
        originalEnd(sender, track);
        if (track == 2)
            gaugeAtEndOfSkipped = progress().Gauge_All->value();
    };
    expectCompletion();
    clickWav();
    EXPECT_EQ(gaugeAtEndOfSkipped, 200);
    const qint64 whole = 44 + TrackBytes;
    EXPECT_EQ(QFileInfo(out + "01_Track01.wav").size(), whole);
    const qint64 partial = QFileInfo(out + "02_Track02.wav").size();
    EXPECT_GT(partial, 44);
    EXPECT_LT(partial, whole / 2);
    EXPECT_EQ(QFileInfo(out + "03_Track03.wav").size(), whole);
    EXPECT_EQ(selectedRows(), std::vector<int>({1}));
    ASSERT_EQ(modals->messages.size(), 1u);
    EXPECT_TRUE(modals->messages[0].text.startsWith("Extract is complete."));
}

TEST_F(Batch, AbortLeavesTheRestSelectedAndStillReportsCompletion) {
    start(3);
    selectRows({0, 1, 2});
    chooseFolder(out);
    atProgress(1, 30, [this] {
        modals->messageAnswers.emplace_front([](const ShownMessage&) { return ModalResult::Yes; });
        QTest::mouseClick(progress().Btn_Abort, Qt::LeftButton);
    });
    expectCompletion();
    clickWav();
    ASSERT_EQ(modals->messages.size(), 2u);
    EXPECT_EQ(modals->messages[0].text, "Abort Extracts all tracks?");
    EXPECT_TRUE(modals->messages[1].text.startsWith("Extract is complete."));
    EXPECT_EQ(modals->messages[1].owner, &progress());
    EXPECT_TRUE(QFileInfo::exists(out + "02_Track02.wav"));
    EXPECT_FALSE(QFileInfo::exists(out + "03_Track03.wav"));
    EXPECT_EQ(selectedRows(), std::vector<int>({1, 2}));
    expectWindowGivenBack();
}

// Closing the progress window gives the main window back while the track in
// hand is still being read: a click or a disc change in that time must
// neither start a second batch nor rebuild the list under the first.
TEST_F(Batch, NothingRestartsOrRelistsWhileTheClosedBatchWindsUp) {
    start(2);
    selectRows({0, 1});
    chooseFolder(out);
    atProgress(0, 30, [this] {
        modals->messageAnswers.emplace_front([](const ShownMessage&) { return ModalResult::Yes; });
        ASSERT_TRUE(progress().close());
        ASSERT_TRUE(ui.PageControl1->isEnabled()) << "the window is the user's again";
        clickWav();
        form->WMDeviceChange(CR_DEVICE_ARRIVAL);
        ui.ComboBoxDrive2->activated(0);
    });
    // The end of the track in hand moves no percentage into the caption of
    // the window given back.
    QString captionAtTheEnd;
    modals->messageAnswers.emplace_back([&](const ShownMessage&) {
        captionAtTheEnd = form->windowTitle();
        return ModalResult::Ok;
    });
    clickWav();
    EXPECT_EQ(captionAtTheEnd, "Varrow");
    EXPECT_EQ(modals->saveRequests.size(), 1u);
    ASSERT_EQ(modals->messages.size(), 2u);
    EXPECT_EQ(modals->messages[0].text, "Abort Extracts all tracks?");
    EXPECT_TRUE(modals->messages[1].text.startsWith("Extract is complete."));
    EXPECT_EQ(selectedRows(), std::vector<int>({0, 1}));
    EXPECT_FALSE(QFileInfo::exists(out + "02_Track02.wav"));
    expectWindowGivenBack();
}

TEST_F(Batch, ClosingTheMainWindowAsksOnceAndClosesItWhenTheBatchHasWoundUp) {
    bool aborted = false;
    closeTheMainWindowDuringABatch(ModalResult::Yes, aborted);
    EXPECT_TRUE(aborted);
    EXPECT_EQ(form->batch(), nullptr);
    EXPECT_FALSE(QFileInfo::exists(out + "02_Track02.wav"));
    EXPECT_FALSE(form->isVisible());
    EXPECT_EQ(form->state(), WindowState::Idle);
    EXPECT_FALSE(progress().isVisible());
    EXPECT_FALSE(drive->locked());
}

TEST_F(Batch, ClosingTheMainWindowAnsweredNoLetsTheBatchFinish) {
    bool aborted = true;
    closeTheMainWindowDuringABatch(ModalResult::No, aborted);
    EXPECT_FALSE(aborted);
    EXPECT_TRUE(QFileInfo::exists(out + "02_Track02.wav"));
    EXPECT_TRUE(selectedRows().empty());
    expectWindowGivenBack();
}

TEST_F(Batch, CaptionShowsTheWholeBatchPercentage) {
    start(4);
    selectRows({0, 1, 2, 3});
    chooseFolder(out);
    QString captionHalfWayThroughSecond;
    QString trackCaption;
    atProgress(1, 50, [&] {
        captionHalfWayThroughSecond = form->windowTitle();
        trackCaption = QString::number(progress().Gauge_Track->value());
    });
    expectCompletion();
    clickWav();
    EXPECT_EQ(trackCaption, "50");
    EXPECT_EQ(captionHalfWayThroughSecond, "Varrow - 37%");
}

TEST_F(Batch, ProgressShowsSpeedTimeAndJitterState) {
    start(1);
    // Read without jitter correction, which a drive has on by default.
    toggleOption(ui.CheckBox_JitterCorrection);
    ASSERT_FALSE(form->engine().JitterCorrect());
    selectRows({0});
    chooseFolder(out);
    // A clock that moves 100 ms a chunk: 2.5 s for the track.
    auto clock = std::make_shared<std::chrono::steady_clock::time_point>();
    EngineHooks hooks = engineHooks();
    hooks.now = [clock] {
        return *clock += std::chrono::milliseconds(50);
    };
    setEngineHooks(hooks);
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    QString speedText;
    QString jitterText;
    bool jitterEnabled = true;
    atProgress(0, 60, [&] {
        speedText = progress().Label_Speed->text();
        jitterText = progress().Label_JittCount->text();
        jitterEnabled = progress().Label_JittError->isEnabled();
    });
    expectCompletion();
    clickWav();
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    EXPECT_TRUE(speedText.startsWith('x'));
    EXPECT_TRUE(speedText.contains(',')) << speedText.toStdString();
    EXPECT_EQ(jitterText, "OFF");
    EXPECT_FALSE(jitterEnabled);
    EXPECT_TRUE(progress().Label_RipTime->text().startsWith("0:00:"));
}

TEST_F(Batch, JitterErrorsPauseOnlyWhenCountedAndAsked) {
    start(2, 300);
    drive->faults().jitterSectors = {120};
    ASSERT_TRUE(form->engine().JitterCorrect()) << "a drive without settings reads securely";
    selectRows({0, 1});
    chooseFolder(out);
    QString countShown;
    QColor countColour;
    atProgress(0, 100, [&] {
        countShown = progress().Label_JittCount->text();
        countColour = progress().Label_JittCount->palette().color(QPalette::WindowText);
    });
    modals->answer(ModalResult::Ok);
    expectCompletion();
    clickWav();
    EXPECT_EQ(countShown, "1");
    EXPECT_EQ(countColour, QColor(Qt::red));
    ASSERT_EQ(modals->messages.size(), 2u);
    EXPECT_EQ(modals->messages[0].text,
              "01_Track01.wav: 1 synchronization (jitter) errors are possible!");
    EXPECT_EQ(modals->messages[0].type, MsgDlgType::Warning);
    EXPECT_EQ(modals->messages[0].owner, &progress());
    EXPECT_TRUE(modals->messages[1].text.startsWith("Extract is complete."));

    // Without the option the batch does not stop.
    toggleOption(ui.CheckBox_ONErrPause);
    selectRows({0, 1});
    chooseFolder(out);
    modals->answer(ModalResult::YesToAll);
    expectCompletion();
    clickWav();
    ASSERT_EQ(modals->messages.size(), 4u);
    EXPECT_TRUE(modals->messages[3].text.startsWith("Extract is complete."));

    // The pause depends on the count, not on jitter correction.
    toggleOption(ui.CheckBox_ONErrPause);
    toggleOption(ui.CheckBox_JitterCorrection);
    ASSERT_FALSE(form->engine().JitterCorrect());
    selectRows({0});
    chooseFolder(out);
    modals->answer(ModalResult::Yes);
    modals->answer(ModalResult::Ok);
    expectCompletion();
    clickWav();
    ASSERT_EQ(modals->messages.size(), 7u);
    EXPECT_EQ(modals->messages[5].text,
              "01_Track01.wav: 1 synchronization (jitter) errors are possible!");
    EXPECT_EQ(progress().Label_JittCount->text(), "OFF");
}

TEST_F(Batch, EngineErrorEndsTheBatchAndGivesTheWindowBack) {
    start(3, 100);
    editTitle(1, QStringLiteral("AC/DC"));
    selectRows({0, 1, 2});
    chooseFolder(out);
    modals->answer(ModalResult::Ok);
    clickWav();
    ASSERT_EQ(modals->messages.size(), 1u);
    EXPECT_EQ(modals->messages[0].text, "Cannot create file " + out + "02_AC/DC.wav");
    EXPECT_EQ(modals->messages[0].type, MsgDlgType::Error);
    EXPECT_EQ(trackFilesIn(out), QStringList({"01_Track01.wav"}));
    EXPECT_FALSE(QFileInfo::exists(folder.filePath(QStringLiteral("out/02_AC"))));
    EXPECT_EQ(selectedRows(), std::vector<int>({1, 2}));
    expectWindowGivenBack();
}

TEST_F(Batch, RowLostUnderTheBatchIsAnInternalError) {
    start(2, 300);
    selectRows({0, 1});
    chooseFolder(out);
    // Nothing the user can do empties the list during a batch; the list's
    // model is emptied behind the window's back.
    atProgress(0, 50, [this] { qobject_cast<TrackTableModel*>(ui.ListView1->model())->clear(); });
    modals->answer(ModalResult::Ok);
    expectCompletion();
    clickWav();
    ASSERT_EQ(modals->messages.size(), 2u);
    EXPECT_EQ(modals->messages[0].text, "Varrow: Internal error 1");
    EXPECT_EQ(modals->messages[0].type, MsgDlgType::Error);
    EXPECT_EQ(modals->messages[0].owner, &progress());
    EXPECT_TRUE(modals->messages[1].text.startsWith("Extract is complete."));
    EXPECT_EQ(trackFilesIn(out), QStringList({"01_Track01.wav"}));
    expectWindowGivenBack();
}

TEST_F(Batch, LostSectorsPauseAndTheSummaryNamesTheirTracks) {
    start(2, 300);
    drive->faults().unreadableSectors = {400, 401, 402};
    selectRows({0, 1});
    chooseFolder(out);
    modals->answer(ModalResult::Ok);
    expectCompletion();
    clickWav();
    ASSERT_EQ(modals->messages.size(), 2u);
    EXPECT_EQ(modals->messages[0].text, "02_Track02.wav: 3 sectors could not be read!");
    EXPECT_EQ(modals->messages[0].type, MsgDlgType::Warning);
    EXPECT_EQ(modals->messages[0].owner, &progress());
    EXPECT_TRUE(modals->messages[1].text.startsWith("Extract is complete.\nExtract time: "));
    EXPECT_TRUE(modals->messages[1].text.endsWith("\nSectors could not be read in tracks 2."))
        << modals->messages[1].text.toStdString();

    // Without the option the batch goes on, and still says which track.
    toggleOption(ui.CheckBox_ONErrPause);
    selectRows({0, 1});
    chooseFolder(out);
    modals->answer(ModalResult::YesToAll);
    expectCompletion();
    clickWav();
    ASSERT_EQ(modals->messages.size(), 4u);
    EXPECT_TRUE(modals->messages[3].text.endsWith("\nSectors could not be read in tracks 2."));
}

TEST_F(Batch, EachTrackIsProvedAgainstTheDatabaseAndTheLogWrittenBeside) {
    LocalHttpServer server;
    qputenv("VARROW_ACCURATERIP_URL", server.url().c_str());
    start(2, 300);
    // The database confirms track 1 and knows another reading of track 2.
    const online::AccurateRipDisc disc = online::accurateRipDisc(OnlineToc(form->engine()));
    online::AccurateRipEntry entry{disc.id1, disc.id2, disc.cddb, {}};
    TrackChecksums first(300, true, false);
    for (int32_t sector = 0; sector < 300; ++sector)
        first.add(cdlib::VirtualDrive::audioSector(sector));
    entry.tracks = {{5, first.accurateRipV2(), 0}, {2, 1, 0}};
    server.serve("/" + disc.urlPath(), httpAnswer(200, accurateRipFileBytes({entry})));

    selectRows({0, 1});
    chooseFolder(out);
    QString lastTrack;
    modals->messageAnswers.emplace_back([&](const ShownMessage&) {
        lastTrack = progress().Label_TrackResult->toolTip();
        return ModalResult::Ok;
    });
    clickWav();
    EXPECT_EQ(lastTrack, "Not matched (database confidence 2)");
    ASSERT_EQ(modals->messages.size(), 1u);
    EXPECT_TRUE(modals->messages[0].text.contains("\nAccurateRip: 1 of 2 tracks matched"))
        << modals->messages[0].text.toStdString();
    std::string problem;
    EXPECT_EQ(CheckLogFile((out + "disc.log").toStdString(), problem), TLogCheck::Intact);
    EXPECT_TRUE(contents(out + "disc.cue").contains("FILE \"02_Track02.wav\" WAVE"));
}
