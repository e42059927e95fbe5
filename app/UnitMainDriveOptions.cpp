// SPDX-License-Identifier: GPL-3.0-or-later
// The drive options of the Options tab: each change goes to the engine, is
// applied to the CD library at once and saved by the library.
#include "Modals.h"
#include "Platform.h"
#include "SpeedField.h"
#include "UnitMain.h"

#include <QCheckBox>
#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QSignalBlocker>
#include <QSpinBox>

using namespace varrow;

void TForm1::showDriveParameters() {
    const TDriveTableClass& table = CDRIP1.DriveTable();
    ComboBox_DriveType->setCurrentIndex(table.DriveType());
    ComboBox_ReadMethod->setCurrentIndex(table.ReadMethod());
    ComboBox_ReadMethod->setEnabled(table.DriveType() == CustomDriveItem);
}

bool TForm1::ApplyDriveOption() {
    if (CDRIP1.ApplyParameters()) {
        CR_SaveSettings();
        return true;
    }
    MessageDlgCentered(this, QStringLiteral("Error!"), MsgDlgType::Error, MsgButtons::Ok);
    return false;
}

bool TForm1::confirmAdvancedChange() {
    return MessageDlgCentered(this,
                              QStringLiteral("This options for advanced users! You are ready to "
                                             "change?"),
                              MsgDlgType::Information, MsgButtons::YesNo) == ModalResult::Yes;
}

void TForm1::ComboBox_DriveTypeChange(int index) {
    if (!confirmAdvancedChange())
        return;
    CDRIP1.DriveTable().setDriveType(static_cast<TDriveType>(index));
    ApplyDriveOption();
    RefreshTrackList();
    showDriveParameters();
}

void TForm1::ComboBox_ReadMethodChange(int index) {
    if (!confirmAdvancedChange())
        return;
    CDRIP1.DriveTable().setReadMethod(static_cast<TReadMethod>(index));
    ApplyDriveOption();
    RefreshTrackList();
    showDriveParameters();
}

void TForm1::CheckBox_JitterCorrectionClick() {
    CDRIP1.setJitterCorrect(CheckBox_JitterCorrection->isChecked());
    ApplyDriveOption();
}

void TForm1::CheckBox_SecureModeClick() {
    CDRIP1.setSecureMode(CheckBox_SecureMode->isChecked());
    ApplyDriveOption();
}

void TForm1::SpinEdit_ReadOffsetChange(int samples) {
    CDRIP1.setReadOffset(samples);
    ApplyDriveOption();
}

void TForm1::CheckBox_OverreadClick() {
    CDRIP1.setOverread(CheckBox_Overread->isChecked());
    ApplyDriveOption();
}

void TForm1::showReadOffset() {
    {
        const QSignalBlocker blocker(SpinEdit_ReadOffset);
        SpinEdit_ReadOffset->setValue(CDRIP1.ReadOffset());
    }
    CheckBox_Overread->setChecked(CDRIP1.Overread());
    // A disc image holds nothing before its first sector or past its end.
    CheckBox_Overread->setEnabled(CDRIP1.CanOverread());
}

bool TForm1::LabeledEdit_RipSpeedKeyPress(const QKeyEvent& event) {
    return speedKeyAccepted(event.text());
}

void TForm1::LabeledEdit_RipSpeedChange() {
    const int32_t speed = speedFromText(LabeledEdit_RipSpeed->text());
    CDRIP1.setSpeed(speed);
    const QString shown = QString::number(speed);
    if (LabeledEdit_RipSpeed->text() != shown) {
        // The field shows the speed in use ("" becomes "0", "05" becomes "5");
        // that rewrite is no new change to apply.
        const QSignalBlocker blocker(LabeledEdit_RipSpeed);
        LabeledEdit_RipSpeed->setText(shown);
    }
    CDRIP1.DriveTable().setSetSpeed(speedCommandFor(speed));
    ApplyDriveOption();
}

void TForm1::CheckBox_TransportLayerClick() {
    SwitchInterface();
}

// On Linux the platform answers as the NT family (Platform.h): the box chooses
// between the SCSI pass-through (checked) and the kernel's CD-ROM ioctls.
void TForm1::SwitchInterface() {
    const PlatformInfo platform = GetPlatformInfo();
    const int32_t chosen =
        CheckBox_TransportLayer->isChecked() ? CR_TRANSPORT_SCSI : CR_TRANSPORT_IOCTL;
    int32_t layer = chosen;
    if (platform.family == PlatformWin16 || platform.family == PlatformWin95) {
        MessageDlgCentered(this,
                           QStringLiteral("Windows platform is \"WIN32\" (") + platform.name +
                               QStringLiteral(")\nOnly ASPI interface is enabled.\nVarrow needs "
                                              "ASPI Drivers to work properly!\nSee Help about "
                                              "Installation and ASPI Drivers."),
                           MsgDlgType::Error, MsgButtons::Ok);
        layer = CR_TRANSPORT_IOCTL;
    } else if (platform.family != PlatformNT) {
        MessageDlgCentered(this,
                           QStringLiteral("Windows platform is not determined! (") + platform.name +
                               QStringLiteral(")\nIs recommended: install ASPI Drivers and switch "
                                              "off this check box.\nSee Help about Installation "
                                              "and ASPI Drivers."),
                           MsgDlgType::Error, MsgButtons::Ok);
    }
    try {
        CR_SetTransportLayer(layer);
    } catch (const std::exception&) {
        MessageDlgCentered(this, QStringLiteral("CD-ROM interface settings error!"),
                           MsgDlgType::Error, MsgButtons::Ok);
    }
    // The box shows what the library really uses, whatever was asked.
    CheckBox_TransportLayer->setChecked(CR_GetTransportLayer() == CR_TRANSPORT_SCSI);
    CR_SaveSettings();
    FillDriveList();
    RefreshTrackList();
}
