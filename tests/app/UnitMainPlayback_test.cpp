// Audio CD playback in the main window, on a virtual drive whose play clock
// the test moves: the play list, Next and Prev, the timers, the slider and
// the time display.
#include "Clock.h"
#include "PositionSlider.h"
#include "ShellTestSupport.h"
#include "SilentSoundServer.h"
#include "TestImages.h"

#include <QLabel>
#include <QTableWidget>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <chrono>
#include <fstream>

using namespace varrow;
using namespace varrow::testing;

namespace {

using namespace std::chrono_literals;

class PlaybackWindow : public ShellTest {
protected:
    // Five audio rows of 100 sectors: row r (from 1) holds sectors
    // 100(r-1) .. 100r - 1.
    std::shared_ptr<cdlib::VirtualDrive> startWithFiveTracks() {
        drive_ = addDrive("VIRTUAL Five",
                          discOf({audio(100), audio(100), audio(100), audio(100), audio(100)}));
        createWindow();
        return drive_;
    }

    void TearDown() override {
        setTimeOfDaySource({});
        ShellTest::TearDown();
    }

    void click(QToolButton* button) { QTest::mouseClick(button, Qt::LeftButton); }
    void play() { click(form->ToolButton_Play); }

    // Moves the drive's clock to `sector` and lets Timer1 look.
    void playTo(int32_t sector) {
        drive_->advancePlayClock(sector - drive_->playPosition());
        form->Timer1Timer();
    }

    void expectStopped() {
        EXPECT_FALSE(form->IsPlaying);
        EXPECT_FALSE(form->ToolButton_Play->isDown());
        EXPECT_FALSE(form->ToolButton_Pause->isChecked());
        EXPECT_FALSE(form->Timer1->isActive());
        EXPECT_FALSE(drive_->locked());
        EXPECT_TRUE(form->PlayList.empty());
        EXPECT_TRUE(form->ToolButton_RipMP3->isEnabled());
    }

    QColor timeColour() const {
        return form->Panel_PlayTime->palette().color(QPalette::WindowText);
    }

    std::shared_ptr<cdlib::VirtualDrive> drive_;
};

TEST_F(PlaybackWindow, PlayTimeTexts) {
    for (const auto& [sectors, text] :
         std::vector<std::pair<int32_t, QString>>{{0, "0:00:00"},
                                                  {74, "0:00:00"},
                                                  {75, "0:00:01"},
                                                  {4500, "0:01:00"},
                                                  {270000, "1:00:00"},
                                                  {-1, "-0:00:01"},
                                                  {-149, "-0:00:02"},
                                                  {-150, "-0:00:03"},
                                                  {-4425, "-0:01:00"}})
        EXPECT_EQ(TForm1::FormatPlayTime(sectors), text) << sectors;
}

TEST_F(PlaybackWindow, PlayTimeChangesWhereItIsCounted) {
    // From every count, the sectors until the text changes, as the text
    // itself has it.
    for (int32_t sectors = -400; sectors <= 400; ++sectors) {
        int32_t expected = 1;
        while (TForm1::FormatPlayTime(sectors + expected) == TForm1::FormatPlayTime(sectors))
            ++expected;
        EXPECT_EQ(TForm1::SectorsUntilPlayTimeChanges(sectors), expected) << sectors;
    }
}

TEST_F(PlaybackWindow, TheTimeTurnsWhenTheNextSecondIsHeardNotAtTimer1sNextLook) {
    startWithFiveTracks();
    play();
    form->Timer1->start(); // its next look is half a second away
    playTo(70);
    EXPECT_EQ(form->Panel_PlayTime->text(), "0:00:00");
    ASSERT_TRUE(form->Timer_PlayTime->isActive());
    EXPECT_LE(form->Timer_PlayTime->remainingTime(), 5 * 1000 / 75 + 20);
    drive_->advancePlayClock(5);
    EXPECT_TRUE(QTest::qWaitFor([&] { return form->Panel_PlayTime->text() == "0:00:01"; }, 200));
    EXPECT_EQ(form->TrackBar1->value(), 75);
    EXPECT_GT(form->Timer1->remainingTime(), 0) << "before Timer1 looked again";

    // Paused, the time stands: nothing looks between Timer1's looks.
    click(form->ToolButton_Pause);
    form->Timer1Timer();
    EXPECT_FALSE(form->Timer_PlayTime->isActive());
    click(form->ToolButton_Stop);
    EXPECT_FALSE(form->Timer_PlayTime->isActive());
}

TEST_F(PlaybackWindow, PlayAndStopNeverWaitForASoundServerThatDoesNotAnswer) {
    const varrow::testing::SilentSoundServer server(folder.path().toStdString());
    ASSERT_FALSE(server.address().empty());
    qputenv("PULSE_SERVER", QByteArray::fromStdString(server.address()));
    const auto image = cdlib::testing::writeImage(folder.path().toStdString(), "disc",
                                                  {{300, false}, {300, false}});
    std::ofstream(settingsFile.toStdString())
        << "[CDLIB]\nIMAGE1=" << image.descriptor.string() << "\n";
    createWindow();
    ASSERT_EQ(form->ListView1->rowCount(), 2);
    QToolButton* const clicks[] = {
        form->ToolButton_Play, form->ToolButton_Play, form->ToolButton_Stop, form->ToolButton_Play,
        form->ToolButton_Play, form->ToolButton_Stop, form->ToolButton_Play, form->ToolButton_Stop};
    for (QToolButton* button : clicks) {
        const auto start = std::chrono::steady_clock::now();
        click(button);
        EXPECT_LT(std::chrono::steady_clock::now() - start, 250ms)
            << button->text().toStdString() << " kept the window waiting";
        EXPECT_EQ(form->IsPlaying, button == form->ToolButton_Play);
    }
    qunsetenv("PULSE_SERVER");
}

TEST_F(PlaybackWindow, RowsTwoAndFiveJumpOverTheRowsBetweenAndStopAtTheEnd) {
    startWithFiveTracks();
    clickRow(1);
    clickRow(4, Qt::ControlModifier);
    play();
    ASSERT_TRUE(form->IsPlaying);
    EXPECT_TRUE(form->ToolButton_Play->isDown());
    EXPECT_TRUE(drive_->locked());
    EXPECT_FALSE(form->ToolButton_RipMP3->isEnabled());
    EXPECT_EQ(drive_->playFrom(), 100);
    EXPECT_EQ(drive_->playTo(), 499);
    EXPECT_EQ(form->TrackBar1->minimum(), 100);
    EXPECT_EQ(form->TrackBar1->maximum(), 499);
    EXPECT_EQ(form->TrackBar1->ticks(), QList<int>({99, 199, 299, 399}));

    playTo(150);
    EXPECT_EQ(form->statusText(PANEL_DISC), "Track 2");
    EXPECT_EQ(form->Panel_PlayTime->text(), "0:00:00");
    EXPECT_EQ(form->TrackBar1->value(), 150);
    playTo(200); // row 3
    EXPECT_EQ(drive_->playFrom(), 400) << "the timer jumps to row 5";
    EXPECT_EQ(drive_->playTo(), 499);
    playTo(475);
    EXPECT_EQ(form->statusText(PANEL_DISC), "Track 5");
    EXPECT_EQ(form->Panel_PlayTime->text(), "0:00:01");
    playTo(499);
    expectStopped();
    EXPECT_EQ(form->statusText(PANEL_DISC), "CD is loaded");
}

TEST_F(PlaybackWindow, OneSelectedRowSpansTheSliderWithoutTicks) {
    startWithFiveTracks();
    EXPECT_EQ(form->TrackBar1->maximum(), 499) << "set up when the list is filled";
    EXPECT_EQ(form->TrackBar1->ticks(), QList<int>({99, 199, 299, 399}));
    clickRow(2);
    play();
    EXPECT_EQ(form->TrackBar1->minimum(), 200);
    EXPECT_EQ(form->TrackBar1->maximum(), 299);
    EXPECT_TRUE(form->TrackBar1->ticks().isEmpty());
    EXPECT_EQ(drive_->playFrom(), 200);
    EXPECT_EQ(drive_->playTo(), 299);
}

TEST_F(PlaybackWindow, NextAndPrevMoveOverThePlayList) {
    startWithFiveTracks();
    click(form->ToolButton_Next);
    click(form->ToolButton_Prev);
    EXPECT_FALSE(drive_->playing()) << "nothing happens while stopped";

    play(); // all five rows
    playTo(20);
    click(form->ToolButton_Prev);
    EXPECT_EQ(drive_->playFrom(), 0) << "Prev on the first entry restarts it";
    playTo(150);
    click(form->ToolButton_Next);
    EXPECT_EQ(drive_->playFrom(), 200);
    playTo(250);
    click(form->ToolButton_Prev);
    EXPECT_EQ(drive_->playFrom(), 100) << "Prev goes to the entry before the one playing";
    playTo(450);
    click(form->ToolButton_Next);
    EXPECT_EQ(drive_->playFrom(), 100) << "Next on the last entry does nothing";
    EXPECT_EQ(drive_->playPosition(), 450);
}

TEST_F(PlaybackWindow, PrevWithOneEntryWhilePausedRestartsItPaused) {
    startWithFiveTracks();
    clickRow(3);
    play();
    playTo(350);
    click(form->ToolButton_Pause);
    ASSERT_TRUE(drive_->paused());
    click(form->ToolButton_Prev);
    EXPECT_EQ(drive_->playFrom(), 300);
    EXPECT_EQ(drive_->playPosition(), 300);
    EXPECT_TRUE(drive_->paused());
    EXPECT_TRUE(form->ToolButton_Pause->isChecked());
}

TEST_F(PlaybackWindow, APausedTimeBlinksAndPlayResumes) {
    startWithFiveTracks();
    const QColor normal = timeColour();
    click(form->ToolButton_Pause);
    EXPECT_FALSE(form->ToolButton_Pause->isChecked()) << "no pause while stopped";
    play();
    click(form->ToolButton_Pause);
    EXPECT_TRUE(drive_->paused());
    EXPECT_EQ(timeColour(), QColor(Qt::red));
    form->Timer2Timer();
    EXPECT_EQ(timeColour(), normal);
    form->Timer2Timer();
    EXPECT_EQ(timeColour(), QColor(Qt::red));
    play();
    EXPECT_FALSE(drive_->paused());
    EXPECT_FALSE(form->ToolButton_Pause->isChecked());
    EXPECT_EQ(timeColour(), normal);
    EXPECT_EQ(drive_->playFrom(), 0) << "resuming keeps the play list";
}

TEST_F(PlaybackWindow, TheStatusBarClockShowsHoursAndMinutes) {
    startWithFiveTracks();
    setTimeOfDaySource([] { return QTime(9, 41, 5); });
    form->Timer2Timer();
    EXPECT_EQ(form->statusText(PANEL_CLOCK), "9:41");
    setTimeOfDaySource([] { return QTime(10, 41, 59); });
    form->Timer2Timer();
    EXPECT_EQ(form->statusText(PANEL_CLOCK), "10:41");
}

TEST_F(PlaybackWindow, CtrlOnTheSliderSeeksOnlyWhenTheSliderMoved) {
    startWithFiveTracks();
    play();
    playTo(40);
    form->TrackBar1->setFocus();
    QTest::keyPress(form->TrackBar1, Qt::Key_Control);
    EXPECT_TRUE(form->CtrlSeek);
    EXPECT_FALSE(form->Timer1->isActive());
    QTest::keyRelease(form->TrackBar1, Qt::Key_Control);
    EXPECT_EQ(drive_->playFrom(), 0) << "not restarted";
    EXPECT_EQ(drive_->playPosition(), 40);
    EXPECT_TRUE(form->Timer1->isActive());

    QTest::keyPress(form->TrackBar1, Qt::Key_Control);
    form->TrackBar1->setValue(321);
    QTest::keyRelease(form->TrackBar1, Qt::Key_Control);
    EXPECT_EQ(drive_->playFrom(), 321);
    EXPECT_EQ(drive_->playTo(), 499);
    EXPECT_FALSE(form->CtrlSeek);
}

TEST_F(PlaybackWindow, DoubleClickWhilePlayingPlaysTheSelection) {
    startWithFiveTracks();
    play();
    playTo(30);
    // The first click of a double click selects the row.
    clickRow(3);
    const QRect cell = form->ListView1->visualRect(form->ListView1->model()->index(3, COL_TRACK));
    QTest::mouseDClick(form->ListView1->viewport(), Qt::LeftButton, Qt::NoModifier, cell.center());
    EXPECT_EQ(drive_->playFrom(), 300);
    EXPECT_EQ(drive_->playTo(), 399);
    ASSERT_EQ(form->PlayList.size(), 1u);
    EXPECT_EQ(form->PlayList.front().TrackNumber, 4);
}

TEST_F(PlaybackWindow, EjectStopsFirst) {
    startWithFiveTracks();
    play();
    click(form->ToolButton_Eject);
    expectStopped();
    EXPECT_FALSE(drive_->playing());
    EXPECT_TRUE(drive_->trayOpen()) << "the tray was unlocked before it opened";
}

TEST_F(PlaybackWindow, AFailedStartIsReportedAndEndsStopped) {
    startWithFiveTracks();
    drive_->faults().failing.insert("CR_PlaySection");
    modals->answer(ModalResult::Ok);
    play();
    ASSERT_EQ(modals->messages.size(), 1u);
    EXPECT_EQ(modals->messages[0].text, "Start of play error!\nStartPos: 0\nStartPos:499");
    EXPECT_EQ(modals->messages[0].type, MsgDlgType::Error);
    expectStopped();
}

TEST_F(PlaybackWindow, ADataOnlyDiscPlaysNothing) {
    drive_ = addDrive("VIRTUAL Data", discOf({data(300)}));
    createWindow();
    const QString time = form->Panel_PlayTime->text();
    play();
    expectStopped();
    EXPECT_FALSE(drive_->playing());
    EXPECT_EQ(form->Panel_PlayTime->text(), time);
}

TEST_F(PlaybackWindow, NothingPlaysWhileABatchRuns) {
    startWithFiveTracks();
    form->IsRipping = true;
    play();
    form->ListView1DblClick();
    EXPECT_FALSE(drive_->playing());
    form->IsRipping = false;

    play();
    form->IsRipping = true;
    playTo(250);
    click(form->ToolButton_Next);
    click(form->ToolButton_Stop);
    EXPECT_EQ(drive_->playFrom(), 0);
    EXPECT_TRUE(form->IsPlaying);
    EXPECT_EQ(form->TrackBar1->value(), 0) << "Timer1 does nothing during a batch";
    form->IsRipping = false;

    click(form->ToolButton_Stop);
    form->Timer1Timer();
    EXPECT_EQ(form->TrackBar1->value(), 0) << "nor when stopped";
}

TEST_F(PlaybackWindow, ClickingTheTimeDisplaySwitchesBetweenTrackAndDiscTime) {
    startWithFiveTracks();
    play();
    playTo(160);
    ASSERT_EQ(form->Panel_PlayTime->text(), "0:00:00");
    QTest::mouseClick(form->Panel_PlayTime, Qt::LeftButton);
    EXPECT_FALSE(form->TrackTimeMode);
    EXPECT_EQ(form->Panel_PlayTime->toolTip(), "disk play time");
    EXPECT_EQ(form->Panel_PlayTime->text(), "0:00:02");
    QTest::mouseClick(form->Panel_PlayTime, Qt::LeftButton);
    EXPECT_TRUE(form->TrackTimeMode);
    EXPECT_EQ(form->Panel_PlayTime->toolTip(), "track play time");
}

} // namespace
