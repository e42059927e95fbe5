// SPDX-License-Identifier: GPL-3.0-or-later
// The batch's boxes and the progress window's figures as the user meets
// them: every box above the progress window while it is shown, the folder
// the user picked, and what the window shows from one batch to the next.
#include "BatchTestSupport.h"
#include "CdRip_dll.h"
#include "DiskSpace.h"

#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <stdexcept>
#include <vector>

using namespace varrow;
using namespace varrow::testing;

namespace {

// Free-space answers in order: a number, or a failing query.
struct SpaceAnswer {
    int64_t bytes;
    bool fails = false;
};

} // namespace

TEST_F(Batch, EveryBoxOfTheLoopOpensAboveTheShownProgressWindow) {
    start(3, 100);
    writeFile(out + "01_Track01.wav", "old");
    selectRows({0, 1, 2});
    // The whole batch; row 1 fits; row 2 does not; row 3's query fails.
    std::vector<SpaceAnswer> answers = {{Plenty}, {Plenty}, {0}, {0, true}};
    form->FreeSpaceQuery = [&](const QString& asked) -> int64_t {
        const SpaceAnswer answer = answers.empty() ? SpaceAnswer{Plenty} : answers.front();
        if (!answers.empty())
            answers.erase(answers.begin());
        if (answer.fails)
            throw std::runtime_error(asked.toStdString());
        return answer.bytes;
    };
    chooseFolder(out);
    modals->answer(ModalResult::Yes);
    modals->answer(ModalResult::Ok);
    modals->answer(ModalResult::Ok);
    modals->answer(ModalResult::Ok);
    expectCompletion();
    clickWav();
    ASSERT_EQ(modals->messages.size(), 5u);
    EXPECT_EQ(modals->messages[0].text, overwriteQuestion(out + "01_Track01.wav"));
    EXPECT_TRUE(modals->messages[1].text.endsWith("to write \"02_Track02.wav\"!"));
    EXPECT_EQ(modals->messages[2].text, "Disk access error!\nFolder:\n" + out);
    EXPECT_TRUE(modals->messages[3].text.endsWith("to write \"03_Track03.wav\"!"));
    for (const ShownMessage& shown : modals->messages) {
        EXPECT_EQ(shown.owner, &progress()) << shown.text.toStdString();
        EXPECT_TRUE(shown.ownerState.visible) << shown.text.toStdString();
        EXPECT_TRUE(shown.ownerState.staysOnTop) << shown.text.toStdString();
    }
    EXPECT_EQ(QFileInfo(out + "01_Track01.wav").size(), 44 + 100 * 2352);
    expectWindowGivenBack();
}

TEST_F(Batch, BoxesBeforeTheLoopOpenOverTheMainWindow) {
    start(1, 100);
    selectRows({0});
    form->FreeSpaceQuery = [](const QString& asked) -> int64_t {
        throw std::runtime_error(asked.toStdString());
    };
    chooseFolder(out);
    modals->answer(ModalResult::Ok);
    modals->answer(ModalResult::Ok);
    clickWav();
    ASSERT_EQ(modals->messages.size(), 2u);
    EXPECT_EQ(modals->messages[0].text, "Disk access error!\nFolder:\n" + out);
    for (const ShownMessage& shown : modals->messages) {
        EXPECT_EQ(shown.owner, form) << shown.text.toStdString();
        EXPECT_TRUE(shown.ownerState.visible) << shown.text.toStdString();
    }
}

TEST_F(Batch, AFolderTheDialogReturnsIsTheTarget) {
    start(1, 100);
    ASSERT_TRUE(QDir(out).mkdir("mp3b"));
    // The folder typed, with and without its separator; a file name in it.
    const QString answers[] = {out + "mp3b", out + "mp3b/",
                               out + "mp3b/filenames will be as a tracks names"};
    for (const QString& answer : answers) {
        selectRows({0});
        modals->saveAnswers.emplace_back(answer);
        expectCompletion();
        clickWav();
        EXPECT_EQ(form->targetFolder(), out + "mp3b/") << answer.toStdString();
        EXPECT_TRUE(QFileInfo::exists(out + "mp3b/01_Track01.wav")) << answer.toStdString();
        EXPECT_FALSE(QFileInfo::exists(out + "01_Track01.wav")) << answer.toStdString();
        ASSERT_TRUE(QFile::remove(out + "mp3b/01_Track01.wav"));
    }
}

TEST_F(Batch, SkipOnTheLastTrackEndsTheBatchNormally) {
    start(2);
    selectRows({0, 1});
    chooseFolder(out);
    atProgress(1, 30, [this] { QTest::mouseClick(progress().Btn_Cancel, Qt::LeftButton); });
    expectCompletion();
    clickWav();
    ASSERT_EQ(modals->messages.size(), 1u);
    EXPECT_TRUE(modals->messages[0].text.startsWith("Extract is complete."));
    EXPECT_EQ(modals->messages[0].owner, &progress());
    EXPECT_EQ(QFileInfo(out + "01_Track01.wav").size(), 44 + TrackBytes);
    EXPECT_LT(QFileInfo(out + "02_Track02.wav").size(), 44 + TrackBytes);
    EXPECT_EQ(selectedRows(), std::vector<int>({1}));
    expectWindowGivenBack();
}

TEST_F(Batch, ClosingStepsStopPlayback) {
    start(1, 100);
    selectRows({0});
    chooseFolder(out);
    // Something set the drive playing while the track was read.
    TProcessTrackEvent originalEnd = form->engine().OnEndTrack;
    form->engine().OnEndTrack = [&](TCDRIP& sender, uint16_t track) {
        originalEnd(sender, track);
        ASSERT_NE(CR_PlaySection(0, 99), CR_ERROR);
        ASSERT_TRUE(drive->playing());
    };
    expectCompletion();
    clickWav();
    EXPECT_FALSE(drive->playing());
    expectWindowGivenBack();
}

TEST_F(Batch, ClosingTheMainWindowStopsTheTrackInHand) {
    bool aborted = false;
    closeTheMainWindowDuringABatch(ModalResult::Yes, aborted);
    const qint64 written = QFileInfo(out + "01_Track01.wav").size();
    EXPECT_GT(written, 44);
    EXPECT_LT(written, 44 + TrackBytes / 2);
}

TEST_F(Batch, ASecondBatchShowsThePreviousFiguresUntilItsFirstProgress) {
    start(2, 300);
    selectRows({0});
    chooseFolder(out);
    expectCompletion();
    clickWav();
    const QString speed = progress().Label_Speed->text();
    const QString time = progress().Label_RipTime->text();
    // Read in a fraction of a second: no speed was measured.
    ASSERT_EQ(speed, "-");
    ASSERT_TRUE(time.startsWith("0:00:0"));

    QString speedAtBegin;
    QString timeAtBegin;
    int gaugeAtBegin = -1;
    TProcessTrackEvent originalBegin = form->engine().OnBeginTrack;
    form->engine().OnBeginTrack = [&](TCDRIP& sender, uint16_t track) {
        originalBegin(sender, track);
        speedAtBegin = progress().Label_Speed->text();
        timeAtBegin = progress().Label_RipTime->text();
        gaugeAtBegin = progress().Gauge_All->value();
    };
    QString timeAtProgress;
    atProgress(0, 10, [&] { timeAtProgress = progress().Label_RipTime->text(); });
    selectRows({1});
    chooseFolder(out);
    expectCompletion();
    clickWav();
    EXPECT_EQ(speedAtBegin, speed);
    EXPECT_EQ(timeAtBegin, time);
    EXPECT_EQ(gaugeAtBegin, 0);
    EXPECT_TRUE(QRegularExpression("^\\d+:\\d\\d:\\d\\d$").match(timeAtProgress).hasMatch())
        << timeAtProgress.toStdString();
}

TEST_F(Batch, ATrackStartsWithTheJitterFiguresInTheNormalColour) {
    start(1, 100);
    selectRows({0});
    chooseFolder(out);
    QPalette red = progress().Label_JittCount->palette();
    red.setColor(QPalette::WindowText, Qt::red);
    progress().Label_JittCount->setPalette(red);
    progress().Label_JittError->setPalette(red);
    QColor countColour;
    QColor titleColour;
    atProgress(0, 10, [&] {
        countColour = progress().Label_JittCount->palette().color(QPalette::WindowText);
        titleColour = progress().Label_JittError->palette().color(QPalette::WindowText);
    });
    expectCompletion();
    clickWav();
    const QColor normal = progress().palette().color(QPalette::WindowText);
    ASSERT_NE(normal, QColor(Qt::red));
    EXPECT_EQ(countColour, normal);
    EXPECT_EQ(titleColour, normal);
}

TEST_F(Batch, HiddenWindowsComeBackBeforeATrackThatDoesNotFit) {
    start(2, 300);
    selectRows({0, 1});
    std::vector<int64_t> answers = {Plenty, Plenty, 0};
    form->FreeSpaceQuery = [&](const QString&) {
        const int64_t answer = answers.empty() ? Plenty : answers.front();
        if (!answers.empty())
            answers.erase(answers.begin());
        return answer;
    };
    chooseFolder(out);
    atProgress(0, 50, [this] { QTest::mouseClick(progress().Btn_Hide, Qt::LeftButton); });
    modals->messageAnswers.emplace_back([this](const ShownMessage& shown) {
        EXPECT_TRUE(shown.text.endsWith("to write \"02_Track02.wav\"!"));
        EXPECT_FALSE(form->isMinimized());
        EXPECT_FALSE(progress().isMinimized());
        EXPECT_TRUE(shown.ownerState.visible);
        return ModalResult::Ok;
    });
    expectCompletion();
    clickWav();
    EXPECT_EQ(modals->messages.size(), 2u);
}
