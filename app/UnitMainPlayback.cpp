// SPDX-License-Identifier: GPL-3.0-or-later
// Audio CD playback: the play tool bar, the position slider, the time
// display, the play list and the two timers. The CD library plays one
// continuous section; Timer1 follows its position, skips rows that are not
// to be played and stops at the end.
#include "Application.h"
#include "Clock.h"
#include "Modals.h"
#include "PositionSlider.h"
#include "TimeText.h"
#include "TrackList.h"
#include "TrackListText.h"
#include "UnitMain.h"

#include <QCheckBox>
#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QTimer>
#include <QToolButton>
#include <cstdlib>

using namespace varrow;

namespace {

constexpr QColor TrackTimeColour{0, 128, 128};
constexpr QColor DiskTimeColour{0, 0, 128};
constexpr QColor PausedTimeColour{255, 0, 0};
// The time display is looked at again this long after its next second is
// due, so that a position a little late still shows it.
constexpr int PlayTimeMarginMs = 15;

const QString StoppedSliderHint = QStringLiteral("CD play position");
const QString PlayingSliderHint =
    QStringLiteral("to rewind - first press and hold down a Ctrl key, and then move slider");

} // namespace

void TForm1::connectPlayback() {
    connect(ToolButton_Play, &QToolButton::clicked, this,
            handlerCalling(this, &TForm1::ToolButton_PlayClick));
    connect(ToolButton_Pause, &QToolButton::clicked, this,
            handlerCalling(this, &TForm1::ToolButton_PauseClick));
    connect(ToolButton_Stop, &QToolButton::clicked, this,
            handlerCalling(this, &TForm1::ToolButton_StopClick));
    connect(ToolButton_Eject, &QToolButton::clicked, this,
            handlerCalling(this, &TForm1::ToolButton_EjectClick));
    connect(ToolButton_Next, &QToolButton::clicked, this,
            handlerCalling(this, &TForm1::ToolButton_NextClick));
    connect(ToolButton_Prev, &QToolButton::clicked, this,
            handlerCalling(this, &TForm1::ToolButton_PrevClick));
    connect(ListView1, &QAbstractItemView::doubleClicked, this,
            handlerCalling(this, &TForm1::ListView1DblClick));
    connect(Timer1, &QTimer::timeout, this, handlerCalling(this, &TForm1::Timer1Timer));
    connect(Timer2, &QTimer::timeout, this, handlerCalling(this, &TForm1::Timer2Timer));
    connect(Timer_PlayTime, &QTimer::timeout, this,
            handlerCalling(this, &TForm1::Timer_PlayTimeTimer));
    // The slider's Ctrl key and the display's click come through eventFilter.
    TrackBar1->installEventFilter(this);
    Panel_PlayTime->installEventFilter(this);
}

bool TForm1::playbackEvent(QObject* watched, QEvent* event) {
    if (watched == Panel_PlayTime && event->type() == QEvent::MouseButtonRelease &&
        static_cast<const QMouseEvent*>(event)->button() == Qt::LeftButton &&
        Panel_PlayTime->rect().contains(
            static_cast<const QMouseEvent*>(event)->position().toPoint())) {
        runHandler([this] { Panel_PlayTimeClick(); });
        return true;
    }
    if (watched == TrackBar1 &&
        (event->type() == QEvent::KeyPress || event->type() == QEvent::KeyRelease)) {
        const auto& key = static_cast<const QKeyEvent&>(*event);
        // Holding Ctrl repeats both events; only the first press and the
        // real release count.
        if (key.key() == Qt::Key_Control && !key.isAutoRepeat()) {
            if (event->type() == QEvent::KeyPress)
                runHandler([&] { TrackBar1KeyDown(key); });
            else
                runHandler([&] { TrackBar1KeyUp(key); });
        }
    }
    return false;
}

bool TForm1::playing() const {
    return state_ == WindowState::Playing || state_ == WindowState::Paused;
}

void TForm1::ToolButton_PlayClick() {
    if (state_ == WindowState::Ripping || trackModel_->rowCount() == 0)
        return;
    const bool resume = state_ == WindowState::Paused;
    TTrackItemList list;
    if (!resume) {
        const bool anySelected = selectedRowCount() > 0;
        for (int row = 0; row < trackModel_->rowCount(); ++row) {
            if ((!anySelected || isRowSelected(row)) && trackModel_->isAudio(row))
                list.push_back({trackModel_->startSector(row), trackModel_->endSector(row),
                                trackModel_->trackNumber(row)});
        }
        // Nothing to play (only data rows): nothing happens, and what played
        // before ends.
        if (list.empty()) {
            if (playing())
                ToolButton_StopClick();
            return;
        }
    }

    SetUpPositionSlider();
    EnablePlaybackLockedControls(false);
    state_ = WindowState::Playing;
    Timer1->start();
    CR_LockCD(CR_TRUE);
    CtrlSeek = false;
    TrackBar1->setToolTip(PlayingSliderHint);
    TrackBar1->setCursor(Qt::PointingHandCursor);
    ToolButton_Play->setDown(true);

    if (resume) {
        ToolButton_Pause->setChecked(false);
        CR_PauseCD(CR_FALSE);
        showPlayTimeColour(false);
        return;
    }

    PlayList = std::move(list);
    const uint32_t start = PlayList.front().StartSector;
    const uint32_t end = PlayList.back().EndSector;
    if (CR_PlaySection(static_cast<int32_t>(start), static_cast<int32_t>(end)) == CR_ERROR) {
        MessageDlgCentered(
            this,
            QStringLiteral("Start of play error!\nStartPos: %1\nStartPos:%2").arg(start).arg(end),
            MsgDlgType::Error, MsgButtons::Ok);
        ToolButton_StopClick();
    }
}

void TForm1::ToolButton_PauseClick() {
    // The button has already changed its state.
    if (!playing()) {
        ToolButton_Pause->setChecked(false);
        return;
    }
    const bool paused = ToolButton_Pause->isChecked();
    state_ = paused ? WindowState::Paused : WindowState::Playing;
    CR_PauseCD(paused ? CR_TRUE : CR_FALSE);
    showPlayTimeColour(paused);
    if (paused)
        Timer_PlayTime->stop();
}

void TForm1::ToolButton_StopClick() {
    if (state_ == WindowState::Ripping)
        return;
    CR_StopPlayTrack();
    state_ = WindowState::Idle;
    Timer1->stop();
    Timer_PlayTime->stop();
    setStatusText(PANEL_DISC, CDRIP1.TrackCount() > 0 ? CdLoadedText : NoCdText);
    TrackBar1->setToolTip(StoppedSliderHint);
    TrackBar1->unsetCursor();
    ToolButton_Pause->setChecked(false);
    showPlayTimeColour(false);
    ToolButton_Play->setDown(false);
    EnablePlaybackLockedControls(true);
    CR_LockCD(CR_FALSE);
    PlayList.clear();
}

void TForm1::ToolButton_EjectClick() {
    if (state_ == WindowState::Ripping)
        return;
    ToolButton_StopClick();
    CR_EjectCD(CR_TRUE);
}

void TForm1::ToolButton_NextClick() {
    if (state_ == WindowState::Ripping || PlayList.size() < 2)
        return;
    uint32_t inTrack = 0;
    uint32_t absolute = 0;
    CR_GetPlayPosition(&inTrack, &absolute);
    for (const TTrackItem& item : PlayList) {
        if (item.StartSector > absolute) {
            playFrom(item.StartSector);
            return;
        }
    }
}

void TForm1::ToolButton_PrevClick() {
    if (state_ == WindowState::Ripping || PlayList.empty())
        return;
    uint32_t inTrack = 0;
    uint32_t absolute = 0;
    CR_GetPlayPosition(&inTrack, &absolute);
    if (PlayList.size() == 1) {
        playFrom(PlayList.front().StartSector);
        return;
    }
    // The entry being played is the last one that starts before the
    // position; Prev goes to the one before it.
    for (std::size_t index = PlayList.size(); index-- > 0;) {
        if (PlayList[index].StartSector < absolute) {
            playFrom(PlayList[index > 0 ? index - 1 : 0].StartSector);
            return;
        }
    }
}

void TForm1::playFrom(uint32_t start) {
    CR_PlaySection(static_cast<int32_t>(start), TrackBar1->maximum());
    if (state_ == WindowState::Paused)
        CR_PauseCD(CR_TRUE);
}

void TForm1::ListView1DblClick() {
    if (state_ == WindowState::Ripping)
        return;
    ToolButton_PlayClick();
}

bool TForm1::holds(const TTrackItem& item, uint32_t sector) {
    return item.StartSector <= sector && sector < item.EndSector;
}

void TForm1::Timer1Timer() {
    // The batch restarts the timer when it ends, whatever played before.
    if (!playing())
        return;
    uint32_t inTrack = 0;
    uint32_t absolute = 0;
    CR_GetPlayPosition(&inTrack, &absolute);
    showPlayTime(inTrack, absolute);
    bool listed = false;
    for (const TTrackItem& item : PlayList) {
        if (holds(item, absolute)) {
            setStatusText(PANEL_DISC, QStringLiteral("Track %1").arg(item.TrackNumber));
            listed = true;
            break;
        }
    }
    if (!PlayList.empty() && !listed)
        ToolButton_NextClick();
    if (static_cast<int64_t>(absolute) >= TrackBar1->maximum())
        ToolButton_StopClick();
}

void TForm1::Timer2Timer() {
    QString clock = timeOfDay().toString(LongTimeFormat);
    clock.truncate(clock.size() >= 8 ? 5 : 4);
    if (statusText(PANEL_CLOCK) != clock)
        setStatusText(PANEL_CLOCK, clock);
    if (state_ == WindowState::Paused)
        showPlayTimeColour(Panel_PlayTime->palette().color(QPalette::WindowText) !=
                           PausedTimeColour);
}

void TForm1::Panel_PlayTimeClick() {
    TrackTimeMode = !TrackTimeMode;
    showTimeDisplayMode();
    ShowPlayPosition();
}

void TForm1::showTimeDisplayMode() {
    QPalette palette = Panel_PlayTime->palette();
    palette.setColor(QPalette::Window, TrackTimeMode ? TrackTimeColour : DiskTimeColour);
    palette.setColor(QPalette::WindowText, palette.color(QPalette::Base));
    Panel_PlayTime->setPalette(palette);
    Panel_PlayTime->setToolTip(TrackTimeMode ? QStringLiteral("track play time")
                                             : QStringLiteral("disk play time"));
}

void TForm1::showPlayTimeColour(bool red) {
    QPalette palette = Panel_PlayTime->palette();
    palette.setColor(QPalette::WindowText, red ? PausedTimeColour : palette.color(QPalette::Base));
    Panel_PlayTime->setPalette(palette);
}

void TForm1::ShowPlayPosition() {
    uint32_t inTrack = 0;
    uint32_t absolute = 0;
    CR_GetPlayPosition(&inTrack, &absolute);
    if (absolute == 0)
        inTrack = 0;
    showPlayTime(inTrack, absolute);
}

void TForm1::showPlayTime(uint32_t inTrack, uint32_t absolute) {
    const auto shown = static_cast<int32_t>(TrackTimeMode ? inTrack : absolute);
    const bool moved = shown != shownPlayTime_;
    shownPlayTime_ = shown;
    Panel_PlayTime->setText(FormatPlayTime(shown));
    TrackBar1->setValue(static_cast<int>(absolute));
    // The display shows whole seconds and Timer1 looks only twice a second:
    // it is looked at again when the next second is due, so that it turns
    // when the second is heard rather than up to half a second later.
    if (state_ != WindowState::Playing)
        Timer_PlayTime->stop();
    else if (moved)
        Timer_PlayTime->start(SectorsUntilPlayTimeChanges(shown) * 1000 / 75 + PlayTimeMarginMs);
}

void TForm1::Timer_PlayTimeTimer() {
    if (state_ != WindowState::Playing || CtrlSeek)
        return;
    ShowPlayPosition();
}

QString TForm1::FormatPlayTime(int32_t sectors) {
    const int64_t milliseconds = std::abs(static_cast<int64_t>(sectors)) * 1000 / 75;
    int64_t seconds = milliseconds / 1000;
    // Before a track's start the time counts down in whole seconds.
    if (sectors < 0)
        ++seconds;
    const QString text = QStringLiteral("%1:%2:%3")
                             .arg((seconds / 3600) % 24)
                             .arg((seconds / 60) % 60, 2, 10, QLatin1Char('0'))
                             .arg(seconds % 60, 2, 10, QLatin1Char('0'));
    return sectors < 0 ? QStringLiteral("-") + text : text;
}

int32_t TForm1::SectorsUntilPlayTimeChanges(int32_t sectors) {
    if (sectors >= 0)
        return 75 - sectors % 75;
    // Counting down, the shown second drops when the count passes below a
    // whole second, and the minus sign goes at 0.
    const int32_t before = -sectors;
    return before < 75 ? before : before % 75 + 1;
}

void TForm1::SetUpPositionSlider() {
    TrackBar1->setTicks({});
    TrackBar1->setMinimum(0);
    TrackBar1->setValue(0);
    const int rows = trackModel_->rowCount();
    if (rows > 0) {
        const auto start = [this](int row) {
            return static_cast<int>(trackModel_->startSector(row));
        };
        const auto end = [this](int row) {
            return static_cast<int>(trackModel_->endSector(row));
        };
        QList<int> selected;
        for (int row = 0; row < rows; ++row) {
            if (isRowSelected(row))
                selected.append(row);
        }
        QList<int> boundaries;
        for (int row = 0; row + 1 < rows; ++row)
            boundaries.append(end(row));
        if (selected.size() == 1) {
            TrackBar1->setRange(start(selected.front()), end(selected.front()));
        } else {
            TrackBar1->setRange(selected.isEmpty() ? 0 : start(selected.front()),
                                end(selected.isEmpty() ? rows - 1 : selected.back()));
            TrackBar1->setTicks(boundaries);
        }
    }
    TrackBar1->setValue(TrackBar1->minimum());
    ShowPlayPosition();
}

void TForm1::EnablePlaybackLockedControls(bool enabled) {
    for (QWidget* control : std::initializer_list<QWidget*>{
             ToolButton_RipWav, ToolButton_RipMP3, ToolButton_RipFlac, ToolButton_RefreshTracks,
             ComboBox_DriveType, CheckBox_TransportLayer, ComboBoxDrive2, BitBtn_SetDefault,
             LabeledEdit_RipSpeed})
        control->setEnabled(enabled);
    ComboBox_ReadMethod->setEnabled(enabled &&
                                    ComboBox_DriveType->currentIndex() == CustomDriveItem);
}

void TForm1::TrackBar1KeyDown(const QKeyEvent& /*event*/) {
    if (!playing() || CtrlSeek)
        return;
    Timer1->stop();
    Timer_PlayTime->stop();
    CtrlSeek = true;
    SeekStartPosition = TrackBar1->value();
}

void TForm1::TrackBar1KeyUp(const QKeyEvent& /*event*/) {
    if (!playing() || !CtrlSeek)
        return;
    if (TrackBar1->value() != SeekStartPosition)
        playFrom(static_cast<uint32_t>(TrackBar1->value()));
    CtrlSeek = false;
    Timer1->start();
}
