// SPDX-License-Identifier: GPL-3.0-or-later
// Start-up, the display toggles and closing of the main window.
#include "Hints.h"
#include "Platform.h"
#include "ProgramFiles.h"
#include "ShellTestSupport.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QStatusBar>
#include <QTabWidget>
#include <QTableView>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <limits>

using namespace varrow;
using namespace varrow::testing;

namespace {

const QString NoDriveWarning = QStringLiteral("CD-ROM not found !");
const QString SptiQuestion = QStringLiteral("CD-ROM not found !\nuse the SPTI interface (native "
                                            "CD-ROM interface for Windows NT/2000/XP) ?");

class StartUp : public ShellTest {
protected:
    // The library starts on the interface the settings file names; this one
    // starts on the kernel's CD-ROM ioctls.
    void startOnIoctlInterface() {
        ASSERT_EQ(CR_Init(settingsFile.toLocal8Bit().constData()), CR_OK);
        CR_SetTransportLayer(CR_TRANSPORT_IOCTL);
        ASSERT_EQ(CR_GetTransportLayer(), CR_TRANSPORT_IOCTL);
    }
};

using MainWindow = ShellTest;

} // namespace

TEST_F(StartUp, WithDrivesSelectsTheFirstInBothListsAndListsItsTracks) {
    addDrive("  VIRTUAL  One ", discOf({audio(1000), audio(4500)}));
    addDrive("VIRTUAL  Two", std::nullopt);
    createWindow();

    EXPECT_TRUE(modals->messages.empty());
    const QStringList entries = {QStringLiteral("[0]:VIRTUAL  One"),
                                 QStringLiteral("[1]:VIRTUAL  Two")};
    for (QComboBox* list : {ui.ComboBoxDrive, ui.ComboBoxDrive2}) {
        ASSERT_EQ(list->count(), 2);
        EXPECT_EQ(list->itemText(0), entries[0]);
        EXPECT_EQ(list->itemText(1), entries[1]);
        EXPECT_EQ(list->currentIndex(), 0);
        EXPECT_EQ(list->toolTip(), entries[0]);
    }
    ASSERT_EQ(rowCount(), 2);
    EXPECT_EQ(rowTexts(0),
              QStringList({"Track01", "01", "Audio", "0:00:13", "2349648", "0", "999"}));
    EXPECT_EQ(rowTexts(1),
              QStringList({"Track02", "02", "Audio", "0:00:59", "10581648", "1000", "5499"}));
    EXPECT_EQ(statusText(PANEL_DISC), "CD is loaded");
    EXPECT_EQ(statusText(PANEL_TRACKS), "Tracks:2");
    EXPECT_EQ(ui.StatusBar1->toolTip(), "Tracks:2");
    EXPECT_TRUE(ui.ComboBox_DriveType->isEnabled());
    EXPECT_EQ(ui.ComboBox_DriveType->currentText(), "GENERIC");
    EXPECT_FALSE(ui.ComboBox_ReadMethod->isEnabled());
    EXPECT_EQ(ui.ComboBox_ReadMethod->currentText(), "READMMC");
    EXPECT_TRUE(ui.Label_DriveAccess->isHidden());
    EXPECT_TRUE(ui.CheckBox_TransportLayer->isChecked());
    EXPECT_EQ(ui.LabeledEdit_RipSpeed->text(), "0");
}

TEST_F(StartUp, ReadMethodListIsEnabledForACustomDrive) {
    addDrive("VIRTUAL Custom", discOf({audio(300)}));
    {
        // The library remembers the drive type chosen earlier in the run.
        TCDRIP engine;
        engine.setCDRomNum(0);
        engine.DriveTable().setDriveType(CUSTOMDRIVE);
        engine.DriveTable().setReadMethod(READC2);
        ASSERT_TRUE(engine.ApplyParameters());
    }
    createWindow();
    EXPECT_EQ(ui.ComboBox_DriveType->currentIndex(), CustomDriveItem);
    EXPECT_EQ(ui.ComboBox_DriveType->currentText(), "CUSTOMDRIVE");
    EXPECT_TRUE(ui.ComboBox_ReadMethod->isEnabled());
    EXPECT_EQ(ui.ComboBox_ReadMethod->currentText(), "READC2");
}

TEST_F(StartUp, WindowTabsCaptionsAndVersionLabels) {
    addDrive("VIRTUAL One", discOf({audio(300)}));
    createWindow();
    EXPECT_EQ(form->windowTitle(), "Varrow");
    EXPECT_EQ(form->baseCaption(), "Varrow");
    ASSERT_EQ(ui.PageControl1->count(), 3);
    EXPECT_EQ(ui.PageControl1->tabText(0), "CD Extract");
    EXPECT_EQ(ui.PageControl1->tabText(1), "Options   ");
    EXPECT_EQ(ui.PageControl1->tabText(2), "About     ");
    EXPECT_EQ(ui.PageControl1->currentIndex(), 0);
    EXPECT_EQ(ui.Label_Version->text(), QStringLiteral("Version " VARROW_VERSION));
    EXPECT_TRUE(QRegularExpression(R"(^Lame version \[dll ver\.\]: \d+\.\d+ \[\d+\.\d+\]$)")
                    .match(ui.Label_LameVer->text())
                    .hasMatch())
        << ui.Label_LameVer->text().toStdString();
    EXPECT_EQ(ui.ToolButton_RefreshTracks->text(), "Refresh ");
    EXPECT_EQ(ui.ToolButton_RipMP3->toolTip(), "extract & encode to MP3 selected tracks (F6)");
    EXPECT_EQ(ui.ToolButton_RipFlac->text(), "To FLAC");
    EXPECT_EQ(ui.ToolButton_RipFlac->toolTip(), "extract to FLAC selected tracks (F8)");
    // Beside the program, or in its installed data folder.
    EXPECT_EQ(form->helpFile().toStdString(),
              helpFilePath(QCoreApplication::applicationFilePath().toStdString()).string());
    EXPECT_FALSE(ui.Timer1->isActive());
    EXPECT_TRUE(ui.Timer2->isActive());
    EXPECT_EQ(ui.Timer1->interval(), 500);
    EXPECT_EQ(ui.Timer2->interval(), 1000);
    EXPECT_EQ(form->state(), WindowState::Idle);
}

TEST_F(StartUp, WithoutDriveAndAnswerNoOnlyWarnsAndAsks) {
    startOnIoctlInterface();
    modals->answer(ModalResult::Ok);
    modals->answer(ModalResult::No);
    createWindow();

    ASSERT_EQ(modals->messages.size(), 2u);
    EXPECT_EQ(modals->messages[0].text, NoDriveWarning);
    EXPECT_EQ(modals->messages[0].type, MsgDlgType::Warning);
    EXPECT_EQ(modals->messages[1].text, SptiQuestion);
    EXPECT_EQ(modals->messages[1].type, MsgDlgType::Confirmation);
    EXPECT_EQ(modals->messages[1].buttons, MsgButtons::YesNo);
    EXPECT_EQ(CR_GetTransportLayer(), CR_TRANSPORT_IOCTL);
    EXPECT_FALSE(ui.CheckBox_TransportLayer->isChecked());
    EXPECT_EQ(ui.ComboBoxDrive->count(), 0);
    EXPECT_EQ(ui.ComboBoxDrive2->count(), 0);
    EXPECT_EQ(rowCount(), 0);
    EXPECT_FALSE(ui.ComboBox_DriveType->isEnabled());
    EXPECT_FALSE(ui.ComboBox_ReadMethod->isEnabled());
}

TEST_F(StartUp, WithoutDriveAndAnswerYesSwitchesToSptiAndReportsTheMissingDrive) {
    startOnIoctlInterface();
    modals->answer(ModalResult::Ok);
    modals->answer(ModalResult::Yes);
    modals->answer(ModalResult::Ok);
    modals->answer(ModalResult::Ok);
    createWindow();

    EXPECT_EQ(modals->texts(),
              std::vector<QString>({NoDriveWarning, SptiQuestion, NoDriveWarning,
                                    "CD-ROM not found!\nSee Help about Installation and ASPI "
                                    "Drivers."}));
    EXPECT_EQ(modals->messages[3].type, MsgDlgType::Error);
    EXPECT_EQ(CR_GetTransportLayer(), CR_TRANSPORT_SCSI);
    EXPECT_TRUE(ui.CheckBox_TransportLayer->isChecked());
    EXPECT_TRUE(QFileInfo::exists(settingsFile))
        << "the interface switch saves the library settings";
    EXPECT_FALSE(ui.ComboBox_DriveType->isEnabled());
}

TEST_F(StartUp, WithoutDriveOnTheNativeInterfaceOnlyWarns) {
    modals->answer(ModalResult::Ok);
    createWindow();
    EXPECT_EQ(modals->texts(), std::vector<QString>({NoDriveWarning}));
    EXPECT_TRUE(ui.CheckBox_TransportLayer->isChecked());
    // The warning opens over the window, which is on the screen by then,
    // and the About tab says how to get a drive listed.
    EXPECT_EQ(modals->messages[0].owner, form);
    EXPECT_TRUE(modals->messages[0].ownerState.visible);
    EXPECT_FALSE(ui.Label_DriveAccess->isHidden());
    EXPECT_TRUE(ui.Label_DriveAccess->text().contains("VARROW_CD_IMAGES"));
    EXPECT_TRUE(ui.Label_DriveAccess->text().contains("\"cdrom\""));
}

TEST_F(StartUp, WithoutDriveOnAWindows95FamilyHostReportsThatOnlyAspiWorks) {
    overridePlatformInfo(PlatformInfo{PlatformWin95, 4, 10, QStringLiteral("Windows 98")});
    startOnIoctlInterface();
    for (int box = 0; box < 4; ++box)
        modals->answer(ModalResult::Ok);
    createWindow();

    EXPECT_EQ(modals->texts(),
              std::vector<QString>(
                  {NoDriveWarning,
                   "Windows platform is \"WIN32\" (Windows 98)\nOnly ASPI interface is "
                   "enabled.\nVarrow needs ASPI Drivers to work properly!\nSee Help about "
                   "Installation and ASPI Drivers.",
                   NoDriveWarning,
                   "CD-ROM not found!\nWhether are properly established ASPI drivers?\nSee Help "
                   "about Installation and ASPI Drivers."}));
    EXPECT_FALSE(ui.CheckBox_TransportLayer->isChecked());
    EXPECT_EQ(CR_GetTransportLayer(), CR_TRANSPORT_IOCTL);
}

TEST_F(StartUp, WithoutDriveOnAnUnknownPlatformAdvisesAspi) {
    overridePlatformInfo(PlatformInfo{-1, 0, 0, QString()});
    modals->answer(ModalResult::Ok);
    modals->answer(ModalResult::Ok);
    createWindow();
    EXPECT_EQ(modals->texts(),
              std::vector<QString>({NoDriveWarning,
                                    "CD-ROM not found!\nWhether are properly established ASPI "
                                    "drivers?\nSee Help about Installation and ASPI Drivers."}));
}

TEST_F(MainWindow, CanBeMadeAsSmallAs420By360AndNoSmaller) {
    addDrive("VIRTUAL One", discOf({audio(300)}));
    createWindow();
    EXPECT_EQ(form->minimumSize(), QSize(420, 360));
    form->resize(100, 100);
    EXPECT_EQ(form->size(), QSize(420, 360));
    // At that size the options scroll rather than lose their texts.
    ui.PageControl1->setCurrentIndex(1);
    processEvents();
    for (QCheckBox* box : {ui.CheckBox_Hints, ui.CheckBox_ONErrPause, ui.CheckBox_JitterCorrection,
                           ui.CheckBox_TransportLayer})
        EXPECT_GE(box->width(), box->sizeHint().width()) << box->objectName().toStdString();
}

TEST_F(MainWindow, ShowHandlerColoursThePlayTimeByTheTimeMode) {
    addDrive("VIRTUAL One", discOf({audio(300)}));
    createWindow();
    EXPECT_EQ(ui.Panel_PlayTime->palette().color(QPalette::Window), QColor(0, 128, 128));
    EXPECT_EQ(ui.Panel_PlayTime->toolTip(), "track play time");
    // Listing the disc sets up the slider, which shows the position.
    EXPECT_EQ(ui.Panel_PlayTime->text(), "0:00:00");

    QTest::mouseClick(ui.Panel_PlayTime, Qt::LeftButton);
    form->hide();
    form->show();
    EXPECT_EQ(ui.Panel_PlayTime->palette().color(QPalette::Window), QColor(0, 0, 128));
    EXPECT_EQ(ui.Panel_PlayTime->toolTip(), "disk play time");
}

TEST_F(MainWindow, CaptionsToggleShowsAndHidesTheExtractButtonTexts) {
    addDrive("VIRTUAL One", discOf({audio(300)}));
    createWindow();
    QToolButton* const buttons[] = {ui.ToolButton_RipMP3,    ui.ToolButton_RipWav,
                                    ui.ToolButton_RipFlac,   ui.ToolButton_RefreshTracks,
                                    ui.ToolButton_SelectAll, ui.ToolButton_ClearAll,
                                    ui.ToolButton_Help,      ui.ToolButton_Exit};
    for (QToolButton* button : buttons) {
        EXPECT_EQ(button->toolButtonStyle(), Qt::ToolButtonTextUnderIcon);
        EXPECT_GE(button->width(), 51);
        EXPECT_GE(button->height(), 36);
    }
    ui.PageControl1->setCurrentIndex(1);
    clickBox(ui.CheckBox_Captions);
    EXPECT_FALSE(ui.CheckBox_Captions->isChecked());
    for (QToolButton* button : buttons) {
        EXPECT_EQ(button->toolButtonStyle(), Qt::ToolButtonIconOnly);
        EXPECT_EQ(button->minimumSize(), QSize(22, 22));
    }
    clickBox(ui.CheckBox_Captions);
    for (QToolButton* button : buttons)
        EXPECT_EQ(button->toolButtonStyle(), Qt::ToolButtonTextUnderIcon);
}

TEST_F(MainWindow, HintsToggleSilencesBothWindowsButNotItsOwnBox) {
    addDrive("VIRTUAL One", discOf({audio(300)}));
    createWindow();
    EXPECT_TRUE(hintShown(ui.ToolButton_Play));
    ui.PageControl1->setCurrentIndex(1);
    clickBox(ui.CheckBox_Hints);

    EXPECT_FALSE(hintShown(ui.ToolButton_Play));
    EXPECT_FALSE(hintShown(ui.ListView1));
    EXPECT_FALSE(hintShown(progress().Btn_Abort));
    EXPECT_TRUE(hintShown(ui.CheckBox_Hints));
    progress().show();
    EXPECT_FALSE(hintShown(progress().Gauge_Track));
    progress().hide();

    clickBox(ui.CheckBox_Hints);
    EXPECT_TRUE(hintShown(ui.ToolButton_Play));
    EXPECT_TRUE(hintShown(progress().Btn_Abort));
    EXPECT_EQ(ui.ToolButton_Play->toolTipDuration(), 6000);
}

TEST_F(MainWindow, ClosingStopsPlaybackAndUnlocksTheTrayWithoutAQuestion) {
    auto drive = addDrive("VIRTUAL One", discOf({audio(3000)}));
    createWindow();
    ASSERT_EQ(CR_LockCD(CR_TRUE), CR_OK);
    ASSERT_EQ(CR_PlaySection(0, 2000), CR_OK);
    ASSERT_TRUE(drive->locked());
    ASSERT_TRUE(drive->playing());

    QTest::mouseClick(ui.ToolButton_Exit, Qt::LeftButton);
    EXPECT_FALSE(form->isVisible());
    EXPECT_FALSE(drive->locked());
    EXPECT_FALSE(drive->playing());
    EXPECT_TRUE(modals->messages.empty());
}

TEST_F(MainWindow, ClosingDuringABatchAsksOverTheProgressWindow) {
    auto drive = addDrive("VIRTUAL One", discOf({audio(3000)}));
    createWindow();
    clickRow(0);
    form->FreeSpaceQuery = [](const QString&) {
        return std::numeric_limits<int64_t>::max() / 4;
    };
    modals->saveAnswers.emplace_back(folder.path() + QStringLiteral("/filenames"));
    bool closed = true;
    bool locked = false;
    atProgress(0, 10, [&] {
        modals->answer(ModalResult::No);
        closed = form->close();
        locked = drive->locked();
    });
    modals->answer(ModalResult::Ok);
    click(ui.ToolButton_RipWav);

    EXPECT_FALSE(closed);
    EXPECT_TRUE(locked);
    ASSERT_EQ(modals->messages.size(), 2u);
    EXPECT_EQ(modals->messages[0].text, "Abort Extracts all tracks and exit?");
    EXPECT_EQ(modals->messages[0].type, MsgDlgType::Confirmation);
    EXPECT_EQ(modals->messages[0].buttons, MsgButtons::YesNo);
    EXPECT_EQ(modals->messages[0].owner, &progress());
    EXPECT_TRUE(modals->messages[1].text.startsWith("Extract is complete."));
    EXPECT_TRUE(form->isVisible());
    // What the answer Yes does to a batch in hand: Batch tests.
}

TEST_F(MainWindow, AnEngineErrorIsReportedAndTheListStaysAsItWas) {
    auto drive = addDrive("VIRTUAL One", discOf({audio(300), audio(300)}));
    createWindow();
    ASSERT_EQ(rowCount(), 2);
    drive->faults().throwing.insert("CR_ReadToc");

    modals->answer(ModalResult::Ok);
    QTest::mouseClick(ui.ToolButton_RefreshTracks, Qt::LeftButton);

    ASSERT_EQ(modals->messages.size(), 1u);
    EXPECT_EQ(modals->messages[0].text, "TCDRip.SetActiveCD Initialization failure");
    EXPECT_EQ(modals->messages[0].type, MsgDlgType::Error);
    EXPECT_EQ(rowCount(), 0);
    EXPECT_EQ(statusText(PANEL_DISC), "CD is loaded");
    EXPECT_EQ(statusText(PANEL_TRACKS), "Tracks:2");

    // The program goes on: with the fault gone the next refresh lists the disc.
    drive->faults().throwing.clear();
    QTest::mouseClick(ui.ToolButton_RefreshTracks, Qt::LeftButton);
    EXPECT_EQ(rowCount(), 2);
}
