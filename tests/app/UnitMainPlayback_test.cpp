// SPDX-License-Identifier: GPL-3.0-or-later
// Audio CD playback in the main window, on a virtual drive whose play clock
// the test moves: the play list, Next and Prev, the timers, the slider and
// the time display.
#include "Clock.h"
#include "PositionSlider.h"
#include "ShellTestSupport.h"
#include "SilentSoundServer.h"
#include "TestImages.h"

#include <QLabel>
#include <QTableView>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <chrono>
#include <string>
#include <tuple>

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

    void play() { click(ui.ToolButton_Play); }

    // Moves the drive's clock to `sector` and lets Timer1 look.
    void playTo(int32_t sector) {
        drive_->advancePlayClock(sector - drive_->playPosition());
        tick(ui.Timer1);
    }

    void expectStopped() {
        EXPECT_EQ(form->state(), WindowState::Idle);
        EXPECT_FALSE(ui.ToolButton_Play->isDown());
        EXPECT_FALSE(ui.ToolButton_Pause->isChecked());
        EXPECT_FALSE(ui.Timer1->isActive());
        EXPECT_FALSE(drive_->locked());
        EXPECT_TRUE(ui.ToolButton_RipMP3->isEnabled());
    }

    QColor timeColour() const { return ui.Panel_PlayTime->palette().color(QPalette::WindowText); }

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
    playTo(70);
    // Timer1 is held still, so only the look due at the next second can
    // turn the display; however busy the machine, it does so by itself.
    ui.Timer1->stop();
    EXPECT_EQ(ui.Panel_PlayTime->text(), "0:00:00");
    ASSERT_TRUE(ui.Timer_PlayTime->isActive());
    EXPECT_LE(ui.Timer_PlayTime->remainingTime(), 5 * 1000 / 75 + 20);
    drive_->advancePlayClock(5);
    EXPECT_TRUE(QTest::qWaitFor([&] { return ui.Panel_PlayTime->text() == "0:00:01"; }, 5000));
    EXPECT_EQ(ui.TrackBar1->value(), 75);

    // Paused, the time stands: nothing looks between Timer1's looks.
    click(ui.ToolButton_Pause);
    tick(ui.Timer1);
    EXPECT_FALSE(ui.Timer_PlayTime->isActive());
    click(ui.ToolButton_Stop);
    EXPECT_FALSE(ui.Timer_PlayTime->isActive());
}

TEST_F(PlaybackWindow, PlayAndStopNeverWaitForASoundServerThatDoesNotAnswer) {
    const varrow::testing::SilentSoundServer server(folder.path().toStdString());
    ASSERT_FALSE(server.address().empty());
    qputenv("PULSE_SERVER", QByteArray::fromStdString(server.address()));
    const auto image = cdlib::testing::writeImage(folder.path().toStdString(), "disc",
                                                  {{300, false}, {300, false}});
    writeSettings("[CDLIB]\nIMAGE1=" + image.descriptor.string() + "\n");
    createWindow();
    ASSERT_EQ(rowCount(), 2);
    QToolButton* const clicks[] = {ui.ToolButton_Play, ui.ToolButton_Play, ui.ToolButton_Stop,
                                   ui.ToolButton_Play, ui.ToolButton_Play, ui.ToolButton_Stop,
                                   ui.ToolButton_Play, ui.ToolButton_Stop};
    for (QToolButton* button : clicks) {
        const auto start = std::chrono::steady_clock::now();
        click(button);
        // A wait on the server would last its whole two-second connect
        // timeout; one second leaves room for a busy machine.
        EXPECT_LT(std::chrono::steady_clock::now() - start, 1s)
            << button->text().toStdString() << " kept the window waiting";
        EXPECT_EQ(form->state() == WindowState::Playing, button == ui.ToolButton_Play);
    }
    qunsetenv("PULSE_SERVER");
}

TEST_F(PlaybackWindow, RowsTwoAndFiveJumpOverTheRowsBetweenAndStopAtTheEnd) {
    startWithFiveTracks();
    clickRow(1);
    clickRow(4, Qt::ControlModifier);
    play();
    ASSERT_EQ(form->state(), WindowState::Playing);
    EXPECT_TRUE(ui.ToolButton_Play->isDown());
    EXPECT_TRUE(drive_->locked());
    EXPECT_FALSE(ui.ToolButton_RipMP3->isEnabled());
    EXPECT_EQ(drive_->playFrom(), 100);
    EXPECT_EQ(drive_->playTo(), 499);
    EXPECT_EQ(ui.TrackBar1->minimum(), 100);
    EXPECT_EQ(ui.TrackBar1->maximum(), 499);
    EXPECT_EQ(ui.TrackBar1->ticks(), QList<int>({99, 199, 299, 399}));

    playTo(150);
    EXPECT_EQ(statusText(PANEL_DISC), "Track 2");
    EXPECT_EQ(ui.Panel_PlayTime->text(), "0:00:00");
    EXPECT_EQ(ui.TrackBar1->value(), 150);
    playTo(200); // row 3
    EXPECT_EQ(drive_->playFrom(), 400) << "the timer jumps to row 5";
    EXPECT_EQ(drive_->playTo(), 499);
    playTo(475);
    EXPECT_EQ(statusText(PANEL_DISC), "Track 5");
    EXPECT_EQ(ui.Panel_PlayTime->text(), "0:00:01");
    playTo(499);
    expectStopped();
    EXPECT_EQ(statusText(PANEL_DISC), "CD is loaded");
}

TEST_F(PlaybackWindow, OneSelectedRowSpansTheSliderWithoutTicks) {
    startWithFiveTracks();
    EXPECT_EQ(ui.TrackBar1->maximum(), 499) << "set up when the list is filled";
    EXPECT_EQ(ui.TrackBar1->ticks(), QList<int>({99, 199, 299, 399}));
    clickRow(2);
    play();
    EXPECT_EQ(ui.TrackBar1->minimum(), 200);
    EXPECT_EQ(ui.TrackBar1->maximum(), 299);
    EXPECT_TRUE(ui.TrackBar1->ticks().isEmpty());
    EXPECT_EQ(drive_->playFrom(), 200);
    EXPECT_EQ(drive_->playTo(), 299);
}

TEST_F(PlaybackWindow, NextAndPrevMoveOverThePlayList) {
    startWithFiveTracks();
    click(ui.ToolButton_Next);
    click(ui.ToolButton_Prev);
    EXPECT_FALSE(drive_->playing()) << "nothing happens while stopped";

    play(); // all five rows
    playTo(20);
    click(ui.ToolButton_Prev);
    EXPECT_EQ(drive_->playFrom(), 0) << "Prev on the first entry restarts it";
    playTo(150);
    click(ui.ToolButton_Next);
    EXPECT_EQ(drive_->playFrom(), 200);
    playTo(250);
    click(ui.ToolButton_Prev);
    EXPECT_EQ(drive_->playFrom(), 100) << "Prev goes to the entry before the one playing";
    playTo(450);
    click(ui.ToolButton_Next);
    EXPECT_EQ(drive_->playFrom(), 100) << "Next on the last entry does nothing";
    EXPECT_EQ(drive_->playPosition(), 450);
}

TEST_F(PlaybackWindow, PrevWithOneEntryWhilePausedRestartsItPaused) {
    startWithFiveTracks();
    clickRow(3);
    play();
    playTo(350);
    click(ui.ToolButton_Pause);
    ASSERT_TRUE(drive_->paused());
    click(ui.ToolButton_Prev);
    EXPECT_EQ(drive_->playFrom(), 300);
    EXPECT_EQ(drive_->playPosition(), 300);
    EXPECT_TRUE(drive_->paused());
    EXPECT_TRUE(ui.ToolButton_Pause->isChecked());
}

TEST_F(PlaybackWindow, APausedTimeBlinksAndPlayResumes) {
    startWithFiveTracks();
    const QColor normal = timeColour();
    click(ui.ToolButton_Pause);
    EXPECT_FALSE(ui.ToolButton_Pause->isChecked()) << "no pause while stopped";
    play();
    click(ui.ToolButton_Pause);
    EXPECT_TRUE(drive_->paused());
    EXPECT_EQ(timeColour(), QColor(Qt::red));
    tick(ui.Timer2);
    EXPECT_EQ(timeColour(), normal);
    tick(ui.Timer2);
    EXPECT_EQ(timeColour(), QColor(Qt::red));
    play();
    EXPECT_FALSE(drive_->paused());
    EXPECT_FALSE(ui.ToolButton_Pause->isChecked());
    EXPECT_EQ(timeColour(), normal);
    EXPECT_EQ(drive_->playFrom(), 0) << "resuming keeps the play list";
}

TEST_F(PlaybackWindow, TheStatusBarClockShowsHoursAndMinutes) {
    startWithFiveTracks();
    setTimeOfDaySource([] { return QTime(9, 41, 5); });
    tick(ui.Timer2);
    EXPECT_EQ(statusText(PANEL_CLOCK), "9:41");
    setTimeOfDaySource([] { return QTime(10, 41, 59); });
    tick(ui.Timer2);
    EXPECT_EQ(statusText(PANEL_CLOCK), "10:41");
}

TEST_F(PlaybackWindow, CtrlOnTheSliderSeeksOnlyWhenTheSliderMoved) {
    startWithFiveTracks();
    play();
    playTo(40);
    ui.TrackBar1->setFocus();
    QTest::keyPress(ui.TrackBar1, Qt::Key_Control);
    EXPECT_FALSE(ui.Timer1->isActive()) << "the timer leaves the slider to the user";
    QTest::keyRelease(ui.TrackBar1, Qt::Key_Control);
    EXPECT_EQ(drive_->playFrom(), 0) << "not restarted";
    EXPECT_EQ(drive_->playPosition(), 40);
    EXPECT_TRUE(ui.Timer1->isActive());

    QTest::keyPress(ui.TrackBar1, Qt::Key_Control);
    ui.TrackBar1->setValue(321);
    QTest::keyRelease(ui.TrackBar1, Qt::Key_Control);
    EXPECT_EQ(drive_->playFrom(), 321);
    EXPECT_EQ(drive_->playTo(), 499);
    EXPECT_TRUE(ui.Timer1->isActive());
}

TEST_F(PlaybackWindow, DoubleClickWhilePlayingPlaysTheSelection) {
    startWithFiveTracks();
    play();
    playTo(30);
    // The first click of a double click selects the row.
    clickRow(3);
    const QRect cell = ui.ListView1->visualRect(ui.ListView1->model()->index(3, COL_TRACK));
    QTest::mouseDClick(ui.ListView1->viewport(), Qt::LeftButton, Qt::NoModifier, cell.center());
    EXPECT_EQ(drive_->playFrom(), 300);
    EXPECT_EQ(drive_->playTo(), 399);
    playTo(350);
    EXPECT_EQ(statusText(PANEL_DISC), "Track 4");
}

TEST_F(PlaybackWindow, EjectStopsFirst) {
    startWithFiveTracks();
    play();
    click(ui.ToolButton_Eject);
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
    const QString time = ui.Panel_PlayTime->text();
    play();
    expectStopped();
    EXPECT_FALSE(drive_->playing());
    EXPECT_EQ(ui.Panel_PlayTime->text(), time);
}

TEST_F(PlaybackWindow, NothingPlaysWhileABatchRuns) {
    startWithFiveTracks();
    whileABatchWindsUp(0, [this] {
        play();
        const QRect cell = ui.ListView1->visualRect(ui.ListView1->model()->index(3, COL_TRACK));
        QTest::mouseDClick(ui.ListView1->viewport(), Qt::LeftButton, Qt::NoModifier, cell.center());
        click(ui.ToolButton_Next);
        click(ui.ToolButton_Pause);
        click(ui.ToolButton_Eject);
        EXPECT_FALSE(drive_->playing());
        EXPECT_FALSE(drive_->trayOpen());
        EXPECT_FALSE(ui.ToolButton_Pause->isChecked());
        EXPECT_EQ(form->state(), WindowState::Ripping);
    });

    play();
    playTo(250);
    click(ui.ToolButton_Stop);
    const int stoppedAt = ui.TrackBar1->value();
    drive_->advancePlayClock(50);
    tick(ui.Timer1);
    EXPECT_EQ(ui.TrackBar1->value(), stoppedAt) << "Timer1 does nothing when stopped";
}

TEST_F(PlaybackWindow, ClickingTheTimeDisplaySwitchesBetweenTrackAndDiscTime) {
    startWithFiveTracks();
    play();
    playTo(160);
    ASSERT_EQ(ui.Panel_PlayTime->text(), "0:00:00");
    QTest::mouseClick(ui.Panel_PlayTime, Qt::LeftButton);
    EXPECT_EQ(ui.Panel_PlayTime->toolTip(), "disk play time");
    EXPECT_EQ(ui.Panel_PlayTime->text(), "0:00:02");
    QTest::mouseClick(ui.Panel_PlayTime, Qt::LeftButton);
    EXPECT_EQ(ui.Panel_PlayTime->toolTip(), "track play time");
}

} // namespace

namespace {

// A position in the play list of the five rows, and where Next and Prev
// start playing from it; -1: they do nothing. An entry holds the sectors
// from its start up to, not including, its end sector: its last is end - 1.
struct JumpCase {
    int32_t position;
    int32_t next;
    int32_t prev;
};

const JumpCase JumpCases[] = {
    // Entry 1: 0 .. 98. Prev on the first entry restarts it; at its very
    // first sector nothing plays before it.
    {0, 100, -1},
    {1, 100, 0},
    {98, 100, 0},
    // Entries 2 to 4. At an entry's first sector it has not begun yet: Prev
    // counts the one before it as playing.
    {100, 200, 0},
    {101, 200, 0},
    {198, 200, 0},
    {200, 300, 0},
    {201, 300, 100},
    {298, 300, 100},
    {300, 400, 100},
    {301, 400, 200},
    {398, 400, 200},
    // Entry 5: nothing follows it.
    {400, -1, 200},
    {401, -1, 300},
    {498, -1, 300},
};

// A jump case, Next (true) or Prev, and paused (true) or playing.
using Jump = std::tuple<JumpCase, bool, bool>;

class NextAndPrev : public PlaybackWindow, public ::testing::WithParamInterface<Jump> {};

} // namespace

TEST_P(NextAndPrev, StartTheEntryTheyAimAtAndKeepAPause) {
    const auto& [jump, next, paused] = GetParam();
    startWithFiveTracks();
    play();
    playTo(jump.position);
    if (paused)
        click(ui.ToolButton_Pause);
    ASSERT_EQ(drive_->playPosition(), jump.position);
    click(next ? ui.ToolButton_Next : ui.ToolButton_Prev);
    const int32_t target = next ? jump.next : jump.prev;
    if (target < 0) {
        EXPECT_EQ(drive_->playFrom(), 0) << "nothing plays anew";
        EXPECT_EQ(drive_->playPosition(), jump.position);
    } else {
        EXPECT_EQ(drive_->playFrom(), target);
        EXPECT_EQ(drive_->playPosition(), target);
        EXPECT_EQ(drive_->playTo(), 499);
    }
    EXPECT_EQ(drive_->paused(), paused);
    EXPECT_EQ(form->state(), paused ? WindowState::Paused : WindowState::Playing);
}

INSTANTIATE_TEST_SUITE_P(FiveEntries, NextAndPrev,
                         ::testing::Combine(::testing::ValuesIn(JumpCases), ::testing::Bool(),
                                            ::testing::Bool()),
                         [](const ::testing::TestParamInfo<Jump>& info) {
                             return std::string(std::get<1>(info.param) ? "Next" : "Prev") + "At" +
                                    std::to_string(std::get<0>(info.param).position) +
                                    (std::get<2>(info.param) ? "Paused" : "Playing");
                         });
