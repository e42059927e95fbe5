// SPDX-License-Identifier: GPL-3.0-or-later
// The drive lists, the track list built from the engine's track table, the
// selection summary in the status bar, and the list following disc changes.
#include "Application.h"
#include "DeviceMonitor.h"
#include "DiscNames.h"
#include "Modals.h"
#include "TrackList.h"
#include "TrackListText.h"
#include "UnitMain.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QSignalBlocker>
#include <QStatusBar>
#include <set>

using namespace varrow;

void TForm1::connectDeviceNotifications() {
    // Physical drives: udev. Images and virtual drives: the library's own
    // notification, which may come from any thread while this window is
    // being destroyed on its own. It is queued to the application object,
    // which outlives every window, and only there, on the user-interface
    // thread, is the window looked at. The guard is copied, never read, on
    // the calling thread.
    deviceMonitor_ = new DeviceMonitor(this);
    connect(deviceMonitor_, &DeviceMonitor::deviceChanged, this,
            [this](uint32_t event) { runHandler([&] { WMDeviceChange(event); }); });
    const QPointer<TForm1> window(this);
    QCoreApplication* application = QCoreApplication::instance();
    CR_SetDeviceChangeHandler([window, application](uint32_t event) {
        QMetaObject::invokeMethod(
            application,
            [window, event] {
                if (window)
                    runHandler([&] { window->WMDeviceChange(event); });
            },
            Qt::QueuedConnection);
    });
}

void TForm1::WMDeviceChange(uint32_t event) {
    if (event != CR_DEVICE_ARRIVAL && event != CR_DEVICE_REMOVE_COMPLETE)
        return;
    // The disc the database is asked about may be gone.
    if (batch_ && batch_->Session)
        batch_->Session->StopAccurateRip();
    if (state_ != WindowState::Idle)
        return;
    RefreshTrackList();
}

void TForm1::FillDriveList() {
    ComboBoxDrive->clear();
    ComboBoxDrive2->clear();
    CDRIP1.setCDRomNum(0);
    const int32_t drives = CR_GetNumCDROM();
    Label_DriveAccess->setVisible(drives <= 0);
    if (drives <= 0) {
        ComboBox_DriveType->setEnabled(false);
        ComboBox_ReadMethod->setEnabled(false);
        MessageDlgCentered(this, QStringLiteral("CD-ROM not found !"), MsgDlgType::Warning,
                           MsgButtons::Ok);
        return;
    }
    for (int32_t drive = 0; drive < drives; ++drive) {
        CDRIP1.setCDRomNum(drive);
        const QString entry = driveEntryText(CDRIP1.CDRomNum(), CDRIP1.CDRomName());
        ComboBoxDrive->addItem(entry);
        ComboBoxDrive2->addItem(entry);
    }
    ComboBoxDrive->setCurrentIndex(0);
    ComboBoxDrive2->setCurrentIndex(0);
    ComboBox_DriveType->setEnabled(true);
}

void TForm1::RefreshTrackList() {
    if (state_ == WindowState::Ripping)
        return;
    {
        // Emptying the list is no change of selection the user made.
        const QSignalBlocker blocker(ListView1->selectionModel());
        trackModel_->clear();
    }
    SelectedBytes = 0;
    const int drive = ComboBoxDrive->currentIndex();
    if (drive < 0) {
        lookUpNames();
        return;
    }
    CDRIP1.setCDRomNum(drive);

    const QString driveText = ComboBoxDrive->currentText();
    ComboBoxDrive->setToolTip(driveText);
    ComboBoxDrive2->setToolTip(driveText);

    showDriveParameters();
    // Changing the text runs the speed handler, which applies it again.
    LabeledEdit_RipSpeed->setText(QString::number(CDRIP1.Speed()));
    CheckBox_JitterCorrection->setChecked(CDRIP1.JitterCorrect());
    CheckBox_SecureMode->setChecked(CDRIP1.SecureMode());
    showReadOffset();

    {
        const QSignalBlocker blocker(ListView1->selectionModel());
        trackModel_->showDisc(CDRIP1);
    }
    if (trackModel_->rowCount() > 0) {
        CR_SetPlayPosition(0);
        setStatusText(PANEL_DISC, CdLoadedText);
    } else {
        setStatusText(PANEL_DISC, NoCdText);
    }
    writeTracksStatus(tracksStatusText(trackModel_->rowCount(), 0, 0));
    CR_SetPlayPosition(0);
    SetUpPositionSlider();
    // The caption and the titles from the disc now, its names online when
    // they arrive.
    showCaption(discCaption());
    lookUpNames();
}

void TForm1::setStatusText(StatusPanel panel, const QString& text) {
    statusPanels_[panel]->setText(text);
}

QString TForm1::statusText(StatusPanel panel) const {
    return statusPanels_[panel]->text();
}

void TForm1::writeTracksStatus(const QString& text) {
    setStatusText(PANEL_TRACKS, text);
    StatusBar1->setToolTip(text);
}

bool TForm1::isRowSelected(int row) const {
    return ListView1->selectionModel()->isSelected(trackModel_->index(row, COL_TITLE));
}

int TForm1::selectedRowCount() const {
    int count = 0;
    for (int row = 0; row < trackModel_->rowCount(); ++row)
        count += isRowSelected(row) ? 1 : 0;
    return count;
}

void TForm1::ComboBoxDriveChange() {
    if (state_ != WindowState::Idle)
        ComboBoxDrive->setCurrentIndex(CDRIP1.CDRomNum());
    else
        RefreshTrackList();
    ComboBoxDrive2->setCurrentIndex(ComboBoxDrive->currentIndex());
}

void TForm1::ComboBoxDrive2Change() {
    if (state_ != WindowState::Idle) {
        ComboBoxDrive2->setCurrentIndex(ComboBoxDrive->currentIndex());
        return;
    }
    ComboBoxDrive->setCurrentIndex(ComboBoxDrive2->currentIndex());
    RefreshTrackList();
}

void TForm1::ToolButton_RefreshTracksClick() {
    if (state_ != WindowState::Idle)
        return;
    RefreshTrackList();
    // The user's refresh asks MusicBrainz again too.
    names_->refresh();
}

void TForm1::ToolButton_SelectAllClick() {
    if (state_ == WindowState::Ripping)
        return;
    ListView1->selectAll();
}

void TForm1::ToolButton_ClearAllClick() {
    if (state_ == WindowState::Ripping)
        return;
    ListView1->clearSelection();
}

void TForm1::ListView1SelectItem(const QItemSelection& selected) {
    // Data rows cannot be selected: one that was is deselected at once.
    std::set<int> refusedRows;
    for (const QItemSelectionRange& range : selected) {
        for (int row = range.top(); row <= range.bottom(); ++row) {
            if (!trackModel_->isAudio(row))
                refusedRows.insert(row);
        }
    }
    if (!refusedRows.empty()) {
        QItemSelection refused;
        for (const int row : refusedRows)
            refused.select(trackModel_->index(row, 0), trackModel_->index(row, TRACK_COLUMNS - 1));
        ListView1->selectionModel()->select(refused, QItemSelectionModel::Deselect);
    }

    // The sum is taken over the whole selection, so no sequence of partial
    // changes can make it drift from what the list shows.
    int64_t bytes = 0;
    int selectedRows = 0;
    for (int row = 0; row < trackModel_->rowCount(); ++row) {
        if (!isRowSelected(row) || !trackModel_->isAudio(row))
            continue;
        ++selectedRows;
        bytes += trackModel_->size(row);
    }
    SelectedBytes = bytes;
    writeTracksStatus(tracksStatusText(trackModel_->rowCount(), selectedRows, SelectedBytes));
}

bool TForm1::ListView1MouseDown(const QMouseEvent& event) {
    if (event.button() != Qt::RightButton)
        return false;
    // The right button only takes the focused row out of the selection.
    const QModelIndex focused = ListView1->currentIndex();
    if (focused.isValid() && isRowSelected(focused.row()))
        ListView1->selectionModel()->select(focused, QItemSelectionModel::Deselect |
                                                         QItemSelectionModel::Rows);
    return true;
}
