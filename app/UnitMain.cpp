// SPDX-License-Identifier: GPL-3.0-or-later
// The main window's creation, first display and close, the window's links to
// the MP3 options dialog and the progress window, and the display toggles.
#include "UnitMain.h"

#include "Application.h"
#include "Hints.h"
#include "Modals.h"
#include "Platform.h"
#include "ProgramFiles.h"
#include "TrackList.h"
#include "UnitMP3Dlg.h"
#include "UnitRipProgress.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QDialog>
#include <QFile>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QScreen>
#include <QSpinBox>
#include <QTabWidget>
#include <QTimer>
#include <QToolButton>

using namespace varrow;

namespace {

constexpr QSize PlainButtonSize{22, 22};

// Dismisses, as its close box would, every modal box that opens while the
// program ends on a signal, so that nothing waits for an answer that no one
// is there to give.
class BoxDismisser final : public QObject {
public:
    explicit BoxDismisser(QObject* parent)
        : QObject(parent) {
        qApp->installEventFilter(this);
    }

    static void dismiss(QWidget* box) {
        if (auto* dialog = qobject_cast<QDialog*>(box))
            dialog->reject();
        else
            box->close();
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Show && watched->isWidgetType()) {
            auto* widget = static_cast<QWidget*>(watched);
            // Rejected once its own event loop runs: a dialog's exec shows
            // it first and then waits.
            if (widget->isWindow() && widget->isModal())
                QTimer::singleShot(0, widget, [widget] { dismiss(widget); });
        }
        return false;
    }
};

} // namespace

TForm1::TForm1(QWidget* parent)
    : QMainWindow(parent) {
    setObjectName(QStringLiteral("Form1"));
    createControls();
    connectHandlers();
    connectPlayback();
    connectEngineEvents();
    connectDeviceNotifications();
    connectNames();
    connectKeys();
    // A failure of the engine while the window is set up is reported like
    // any other; the window still opens, with what was set up before it.
    runHandler([this] {
        setUpEngine();
        FormCreate();
    });
}

TForm1::~TForm1() {
    CR_SetDeviceChangeHandler({});
    // A search for the read offset stops before the library goes.
    offsetSearch_.reset();
    // The controls die after this window's own members: none of their last
    // signals may reach a handler.
    for (QObject* child : findChildren<QObject*>())
        child->disconnect(this);
}

void TForm1::setUpEngine() {
    CDRIP1.setCDRomNum(0);
    TDriveTableClass& table = CDRIP1.DriveTable();
    table.setDriveType(GENERIC);
    table.setReadMethod(READMMC);
    table.setSetSpeed(SPEEDMMC);
    table.setEndian(BIGENDIAN);
    table.setEnableMode(ENABLENONE);
    table.setDensity(0);
    table.setAtapi(true);
    CDRIP1.setWriteWAV(true);
    CDRIP1.setJitterCorrect(false);
    CDRIP1.setSecureMode(false);
    CDRIP1.setSpeed(0);
    CDRIP1.setMonoDownMixType(0);
    CDRIP1.setCoder(&LameCoder1);
}

void TForm1::connectHandlers() {
    connect(ComboBoxDrive, &QComboBox::activated, this,
            handlerCalling(this, &TForm1::ComboBoxDriveChange));
    connect(ComboBoxDrive2, &QComboBox::activated, this,
            handlerCalling(this, &TForm1::ComboBoxDrive2Change));
    connect(ToolButton_RefreshTracks, &QToolButton::clicked, this,
            handlerCalling(this, &TForm1::ToolButton_RefreshTracksClick));
    connect(ToolButton_SelectAll, &QToolButton::clicked, this,
            handlerCalling(this, &TForm1::ToolButton_SelectAllClick));
    connect(ToolButton_ClearAll, &QToolButton::clicked, this,
            handlerCalling(this, &TForm1::ToolButton_ClearAllClick));
    connect(ToolButton_Exit, &QToolButton::clicked, this,
            handlerCalling(this, &TForm1::ToolButton_ExitClick));
    connect(ListView1->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this](const QItemSelection& selected) {
                runHandler([&] { ListView1SelectItem(selected); });
            });

    connect(ComboBox_DriveType, &QComboBox::activated, this,
            [this](int index) { runHandler([&] { ComboBox_DriveTypeChange(index); }); });
    connect(ComboBox_ReadMethod, &QComboBox::activated, this,
            [this](int index) { runHandler([&] { ComboBox_ReadMethodChange(index); }); });
    connect(CheckBox_JitterCorrection, &QCheckBox::clicked, this,
            handlerCalling(this, &TForm1::CheckBox_JitterCorrectionClick));
    connect(CheckBox_SecureMode, &QCheckBox::clicked, this,
            handlerCalling(this, &TForm1::CheckBox_SecureModeClick));
    connect(SpinEdit_ReadOffset, &QSpinBox::valueChanged, this,
            [this](int samples) { runHandler([&] { SpinEdit_ReadOffsetChange(samples); }); });
    connect(Button_DetectOffset, &QPushButton::clicked, this,
            handlerCalling(this, &TForm1::Button_DetectOffsetClick));
    connect(CheckBox_Overread, &QCheckBox::clicked, this,
            handlerCalling(this, &TForm1::CheckBox_OverreadClick));
    connect(LabeledEdit_RipSpeed, &QLineEdit::textChanged, this,
            handlerCalling(this, &TForm1::LabeledEdit_RipSpeedChange));
    connect(CheckBox_TransportLayer, &QCheckBox::clicked, this,
            handlerCalling(this, &TForm1::CheckBox_TransportLayerClick));
    connect(BitBtn_SetDefault, &QPushButton::clicked, this,
            handlerCalling(this, &TForm1::BitBtn_SetDefaultClick));

    // The two display toggles follow every change of their boxes, also the
    // changes the settings file makes.
    connect(CheckBox_Hints, &QCheckBox::toggled, this,
            handlerCalling(this, &TForm1::CheckBox_HintsClick));
    connect(CheckBox_Captions, &QCheckBox::toggled, this,
            handlerCalling(this, &TForm1::CheckBox_CaptionsClick));
}

void TForm1::FormCreate() {
    state_ = WindowState::Idle;
    setHintDuration(this, HintDurationMs);

    Label_Version->setText(QStringLiteral("Version ") + QStringLiteral(VARROW_VERSION));
    const TLameVersion& lame = LameCoder1.LameVersion();
    Label_LameVer->setText(QStringLiteral("Lame version [dll ver.]: %1.%2 [%3.%4]")
                               .arg(lame.MajorVersion())
                               .arg(lame.MinorVersion())
                               .arg(lame.DLLMajorVersion())
                               .arg(lame.DLLMinorVersion()));

    BaseCaption = QStringLiteral("Varrow");
    CurrentCaption = BaseCaption;
    showCaption(BaseCaption);

    setWindowHints(this, CheckBox_Hints->isChecked());
    for (QToolButton* button : extractButtons())
        button->setToolButtonStyle(extractButtonStyle());

    // Beside the program, or where an installed program keeps its data.
    HelpFile = QFile::decodeName(
        helpFilePath(QFile::encodeName(QCoreApplication::applicationFilePath()).toStdString())
            .string()
            .c_str());

    PageControl1->setCurrentIndex(0);
    ListView1->setFocus();
}

void TForm1::listDrivesAtStart() {
    FillDriveList();
    if (ComboBoxDrive->count() == 0)
        DecideInterface();
    CheckBox_TransportLayer->setChecked(CR_GetTransportLayer() == CR_TRANSPORT_SCSI);
    if (ComboBoxDrive->count() == 0) {
        ComboBox_DriveType->setEnabled(false);
        ComboBox_ReadMethod->setEnabled(false);
    } else {
        RefreshTrackList();
        showDriveParameters();
    }
}

// With no drive found the user is offered the other CD interface. On Linux the
// platform always answers as the NT family (Platform.h), so the SCSI
// pass-through is what is offered; the texts are the program's own.
void TForm1::DecideInterface() {
    const PlatformInfo platform = GetPlatformInfo();
    if (platform.family == PlatformNT) {
        if (CR_GetTransportLayer() != CR_TRANSPORT_IOCTL)
            return;
        const ModalResult answer = MessageDlgCentered(
            this,
            QStringLiteral("CD-ROM not found !\nuse the SPTI interface (native CD-ROM interface "
                           "for Windows NT/2000/XP) ?"),
            MsgDlgType::Confirmation, MsgButtons::YesNo);
        if (answer != ModalResult::Yes)
            return;
        CheckBox_TransportLayer->setChecked(true);
        SwitchInterface();
        if (ComboBoxDrive->count() == 0)
            MessageDlgCentered(
                this,
                QStringLiteral("CD-ROM not found!\nSee Help about Installation and ASPI Drivers."),
                MsgDlgType::Error, MsgButtons::Ok);
        return;
    }
    if (CR_GetTransportLayer() == CR_TRANSPORT_IOCTL) {
        CheckBox_TransportLayer->setChecked(false);
        SwitchInterface();
    }
    if (ComboBoxDrive->count() == 0)
        MessageDlgCentered(this,
                           QStringLiteral("CD-ROM not found!\nWhether are properly established "
                                          "ASPI drivers?\nSee Help about Installation and ASPI "
                                          "Drivers."),
                           MsgDlgType::Error, MsgButtons::Ok);
}

void TForm1::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (!shownBefore_) {
        shownBefore_ = true;
        if (const QScreen* screen = this->screen())
            move(screen->availableGeometry().center() - rect().center());
        // Once the window is on the screen: a box about a missing drive
        // then opens over it rather than alone in a corner of the screen.
        QTimer::singleShot(0, this, [this] { runHandler([this] { listDrivesAtStart(); }); });
    }
    FormShow();
}

void TForm1::FormShow() {
    showTimeDisplayMode();
}

void TForm1::closeEvent(QCloseEvent* event) {
    if (!FormCloseQuery()) {
        event->ignore();
        return;
    }
    // Closing the last window makes Qt quit, which closes every window: with
    // the batch still on the stack, the window closes once it has wound up.
    if (batch_) {
        batch_->CloseAfterBatch = true;
        event->ignore();
        return;
    }
    runHandler([this] { FormClose(); });
    event->accept();
}

bool TForm1::FormCloseQuery() {
    if (!batchAsksBeforeClosing())
        return true;
    if (closingWithoutAsking_) {
        abortAll();
        return true;
    }
    QWidget* owner = ripProgress_ ? ripProgress_.data() : static_cast<QWidget*>(this);
    if (MessageDlgCentered(owner, QStringLiteral("Abort Extracts all tracks and exit?"),
                           MsgDlgType::Confirmation, MsgButtons::YesNo) != ModalResult::Yes)
        return false;
    abortAll();
    return true;
}

void TForm1::FormClose() {
    SaveOptions();
    CDRIP1.AbortRip();
    CR_StopPlayTrack();
    CR_LockCD(CR_FALSE);
}

void TForm1::closeWithoutAsking() {
    if (closingWithoutAsking_)
        return;
    closingWithoutAsking_ = true;
    new BoxDismisser(this);
    dismissBoxes();
    close();
}

void TForm1::dismissBoxes() {
    // The innermost box first: each one's event loop ends before the one
    // that opened it.
    while (QWidget* box = QApplication::activeModalWidget()) {
        BoxDismisser::dismiss(box);
        if (QApplication::activeModalWidget() == box)
            break;
    }
}

void TForm1::setRipProgress(TDlg_RipProgress* dialog) {
    if (ripProgress_)
        ripProgress_->disconnect(this);
    ripProgress_ = dialog;
    if (!dialog)
        return;
    dialog->setRippingSource([this] { return batchAsksBeforeClosing(); });
    dialog->HelpFile = HelpFile;
    connect(dialog, &TDlg_RipProgress::SkipTrackClicked, this,
            handlerCalling(this, &TForm1::skipTrack));
    connect(dialog, &TDlg_RipProgress::AbortAllConfirmed, this,
            handlerCalling(this, &TForm1::abortAll));
    connect(dialog, &TDlg_RipProgress::Closed, this, handlerCalling(this, &TForm1::giveWindowBack));
}

TDlg_RipProgress* TForm1::ripProgress() const {
    return ripProgress_;
}

void TForm1::setMP3Dlg(TMP3Dlg* dialog) {
    mp3Dlg_ = dialog;
    if (!dialog)
        return;
    dialog->setHelpFile(HelpFile);
    dialog->setHintsSource([this] { return CheckBox_Hints->isChecked(); });
    dialog->setSelectionTotalSource([this] { return SelectedBytes; });
    dialog->setShowHints(CheckBox_Hints->isChecked());
}

TMP3Dlg* TForm1::mp3Dlg() const {
    return mp3Dlg_;
}

void TForm1::setHelpFile(const QString& path) {
    HelpFile = path;
    if (mp3Dlg_)
        mp3Dlg_->setHelpFile(path);
    if (ripProgress_)
        ripProgress_->HelpFile = path;
}

void TForm1::showCaption(const QString& caption) {
    // Linux has no title of its own for an application: the desktop shows
    // the main window's caption.
    setWindowTitle(caption);
}

void TForm1::CheckBox_HintsClick() {
    const bool shown = CheckBox_Hints->isChecked();
    setWindowHints(this, shown);
    if (ripProgress_)
        setWindowHints(ripProgress_, shown);
    if (mp3Dlg_)
        mp3Dlg_->setShowHints(shown);
}

void TForm1::CheckBox_CaptionsClick() {
    // Once toggled the buttons are only as large as icon and caption need.
    for (QToolButton* button : extractButtons()) {
        button->setToolButtonStyle(extractButtonStyle());
        button->setMinimumSize(PlainButtonSize);
    }
}

void TForm1::ToolButton_ExitClick() {
    close();
}

Qt::ToolButtonStyle TForm1::extractButtonStyle() const {
    return CheckBox_Captions->isChecked() ? Qt::ToolButtonTextUnderIcon : Qt::ToolButtonIconOnly;
}

QList<QToolButton*> TForm1::extractButtons() const {
    return {ToolButton_RipMP3,    ToolButton_RipWav,   ToolButton_RipFlac, ToolButton_RefreshTracks,
            ToolButton_SelectAll, ToolButton_ClearAll, ToolButton_Help,    ToolButton_Exit};
}

bool TForm1::eventFilter(QObject* watched, QEvent* event) {
    if (playbackEvent(watched, event))
        return true;
    if (watched == ListView1->viewport() && event->type() == QEvent::MouseButtonPress)
        return ListView1MouseDown(static_cast<const QMouseEvent&>(*event));
    if (watched == LabeledEdit_RipSpeed && event->type() == QEvent::KeyPress)
        return !LabeledEdit_RipSpeedKeyPress(static_cast<const QKeyEvent&>(*event));
    return QMainWindow::eventFilter(watched, event);
}
