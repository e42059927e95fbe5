// SPDX-License-Identifier: GPL-3.0-or-later
// The settings file: the window's options read at start and written at
// close, its two messages, and "Set All Default". Every saved value is read
// back from the file on disk.
#include "Hints.h"
#include "ShellTestSupport.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTableView>
#include <QTest>
#include <QToolButton>
#include <functional>
#include <optional>
#include <string_view>

using namespace varrow;
using namespace varrow::testing;

namespace {

class Settings : public ShellTest {
protected:
    QByteArray settingsBytes() const {
        QFile file(settingsFile);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    // Chooses `target` in the folder dialog of a batch that then ends, as
    // the folder is not there: the window remembers it all the same.
    void chooseTargetFolder(const QString& target) {
        clickRow(0);
        modals->saveAnswers.emplace_back(target +
                                         QStringLiteral("filenames will be as a tracks names"));
        click(ui.ToolButton_RipWav);
        ui.ListView1->clearSelection();
    }

    QString timeModeHint() const { return ui.Panel_PlayTime->toolTip(); }

    static void pick(QComboBox* list, Qt::Key key) {
        list->setFocus();
        QTest::keyClick(list, key);
    }

    // Closes the window through its Exit button, as the user would.
    void closeWindow() {
        QTest::mouseClick(ui.ToolButton_Exit, Qt::LeftButton);
        ASSERT_FALSE(form->isVisible());
    }

    // Closes the program and starts it again: the library forgets what it
    // held in memory, the drive is plugged in anew.
    void restart() {
        closeWindow();
        form = nullptr;
        windows_.reset();
        processEvents();
        cdlib::resetLibrary();
        addDrive("VIRTUAL One", discOf({audio(300)}));
        createWindow();
    }

    std::optional<std::string> saved(const std::string& section, const std::string& key) const {
        return settingsOnDisk().value(section, key);
    }

    void expectMessage(std::size_t index, const QString& text) {
        ASSERT_GT(modals->messages.size(), index);
        EXPECT_EQ(modals->messages[index].text, text);
        EXPECT_EQ(modals->messages[index].type, MsgDlgType::Warning);
        EXPECT_EQ(modals->messages[index].buttons, MsgButtons::Ok);
        EXPECT_EQ(modals->messages[index].owner, form);
    }

    QString openError() const {
        return "\"" + settingsFile +
               "\" open error!\nOptions may be set by default or is corrupt. Try \"Set All "
               "Default\" button on Options tab.";
    }

    QString saveError() const {
        return "\"" + settingsFile +
               "\" save error!\nFile may be corrupt, read only or access to a folder with a "
               "file is forbidden.\nOptions is not saved.";
    }

    void expectBuiltInOptions() {
        EXPECT_TRUE(ui.CheckBox_Hints->isChecked());
        EXPECT_TRUE(ui.CheckBox_Captions->isChecked());
        EXPECT_TRUE(ui.CheckBox_ONErrPause->isChecked());
        EXPECT_TRUE(ui.CheckBox_AddNum2FName->isChecked());
        EXPECT_EQ(mp3Dlg().ComboBox_Bitrate->currentIndex(), 6);
        EXPECT_EQ(mp3Dlg().ComboBox_MaxBitrate->currentIndex(), 0);
        EXPECT_EQ(mp3Dlg().ComboBox_Mode->currentIndex(), 1);
        EXPECT_EQ(mp3Dlg().ComboBox_MixMode->currentIndex(), 0);
        EXPECT_EQ(mp3Dlg().ComboBox_Quality->currentIndex(), 0);
        EXPECT_FALSE(mp3Dlg().CheckBox_VBR->isChecked());
        EXPECT_EQ(ui.SpinBox_FlacCompression->value(), 5);
        EXPECT_TRUE(ui.CheckBox_ReplayGain->isChecked());
        EXPECT_TRUE(form->targetFolder().isEmpty());
    }
};

struct LoadCase {
    const char* name;
    const char* file;
    std::function<void(const WindowControls&, TForm1&, TMP3Dlg&)> expect;
};

} // namespace

TEST_F(Settings, WithoutAFileEveryKeyTakesItsDefaultAndCloseWritesThemAll) {
    addDrive("VIRTUAL One", discOf({audio(300)}));
    createWindow();
    EXPECT_TRUE(modals->messages.empty());
    expectBuiltInOptions();
    EXPECT_EQ(timeModeHint(), "track play time");

    closeWindow();
    const std::pair<const char*, const char*> keys[] = {{"HINTS", "1"},
                                                        {"RIPCAPTIONS", "1"},
                                                        {"PAUSEONREADERR", "1"},
                                                        {"ADDNOTOFILENAME", "1"},
                                                        {"TRACKTIMEMODE", "1"}};
    EXPECT_EQ(saved("FILES", "DIRTARGET"), "");
    for (const auto& [key, value] : keys)
        EXPECT_EQ(saved("OPTIONS", key), value) << key;
    const std::pair<const char*, const char*> mp3Keys[] = {{"BITRATE", "6"}, {"MAXBITRATE", "0"},
                                                           {"MODE", "1"},    {"MIXMODE", "0"},
                                                           {"QUALITY", "0"}, {"VBR", "0"}};
    for (const auto& [key, value] : mp3Keys)
        EXPECT_EQ(saved("MP3OPTIONS", key), value) << key;
}

TEST_F(Settings, ValuesAreReadByTheirTypeRules) {
    const LoadCase cases[] = {
        {"hints off in all three windows", "[OPTIONS]\nHINTS=0\n",
         [](const WindowControls& ui, TForm1&, TMP3Dlg& dialog) {
             EXPECT_FALSE(ui.CheckBox_Hints->isChecked());
             EXPECT_FALSE(hintShown(ui.ToolButton_Play));
             EXPECT_FALSE(dialog.ShowHints());
             EXPECT_TRUE(hintShown(ui.CheckBox_Hints));
         }},
        {"a word is no integer", "[options]\nhints=yes\nRIPCAPTIONS=1x\n",
         [](const WindowControls& ui, TForm1&, TMP3Dlg&) {
             EXPECT_TRUE(ui.CheckBox_Hints->isChecked());
             EXPECT_TRUE(hintShown(ui.ToolButton_Play));
             EXPECT_TRUE(ui.CheckBox_Captions->isChecked());
         }},
        {"any non-zero number is true, hexadecimal after 0x",
         "[OPTIONS]\nRIPCAPTIONS=0x0\nPAUSEONREADERR=0\nADDNOTOFILENAME=-7\nTRACKTIMEMODE=0\n"
         "[MP3OPTIONS]\nBITRATE=0x3\nVBR=0x10\n",
         [](const WindowControls& ui, TForm1&, TMP3Dlg& dialog) {
             EXPECT_FALSE(ui.CheckBox_Captions->isChecked());
             EXPECT_EQ(ui.ToolButton_RipMP3->toolButtonStyle(), Qt::ToolButtonIconOnly);
             EXPECT_FALSE(ui.CheckBox_ONErrPause->isChecked());
             EXPECT_TRUE(ui.CheckBox_AddNum2FName->isChecked());
             EXPECT_EQ(ui.Panel_PlayTime->toolTip(), "disk play time");
             EXPECT_EQ(dialog.ComboBox_Bitrate->currentIndex(), 3);
             EXPECT_TRUE(dialog.CheckBox_VBR->isChecked());
             EXPECT_TRUE(dialog.ComboBox_MaxBitrate->isEnabled()) << "the box's rule ran";
         }},
        {"numbers beyond 32 bits take the default",
         "[OPTIONS]\nHINTS=4294967296\n[MP3OPTIONS]\nBITRATE=2147483648\nMODE=0xFFFFFFFFF\n",
         [](const WindowControls& ui, TForm1&, TMP3Dlg& dialog) {
             EXPECT_TRUE(ui.CheckBox_Hints->isChecked());
             EXPECT_EQ(dialog.ComboBox_Bitrate->currentIndex(), 6);
             EXPECT_EQ(dialog.ComboBox_Mode->currentIndex(), 1);
         }},
        {"an index outside its list selects nothing",
         "[MP3OPTIONS]\nBITRATE=99\nMAXBITRATE=-1\nMODE=4\nMIXMODE=2\n",
         [](const WindowControls&, TForm1&, TMP3Dlg& dialog) {
             EXPECT_EQ(dialog.ComboBox_Bitrate->currentIndex(), -1);
             EXPECT_EQ(dialog.ComboBox_MaxBitrate->currentIndex(), -1);
             EXPECT_EQ(dialog.ComboBox_Mode->currentIndex(), -1);
             EXPECT_EQ(dialog.ComboBox_MixMode->currentIndex(), 2);
         }},
        {"a FLAC level beyond 8 is the default", "[FLACOPTIONS]\nCOMPRESSION=9\n",
         [](const WindowControls& ui, TForm1&, TMP3Dlg&) {
             EXPECT_EQ(ui.SpinBox_FlacCompression->value(), 5);
         }},
        {"voice quality with mono stays", "[MP3OPTIONS]\nMODE=3\nQUALITY=3\n",
         [](const WindowControls&, TForm1&, TMP3Dlg& dialog) {
             EXPECT_EQ(dialog.ComboBox_Mode->currentIndex(), 3);
             EXPECT_EQ(dialog.ComboBox_Quality->currentIndex(), 3);
         }},
        {"voice quality without mono is normal", "[MP3OPTIONS]\nMODE=0\nQUALITY=3\n",
         [](const WindowControls&, TForm1&, TMP3Dlg& dialog) {
             EXPECT_EQ(dialog.ComboBox_Mode->currentIndex(), 0);
             EXPECT_EQ(dialog.ComboBox_Quality->currentIndex(), 0);
         }},
        {"the target folder is text, read up to 2047 characters", "[FILES]\nDIRTARGET=/música/",
         [](const WindowControls&, TForm1& form, TMP3Dlg&) {
             EXPECT_EQ(form.targetFolder(), "/música/");
         }},
    };
    for (const LoadCase& test : cases) {
        SCOPED_TRACE(test.name);
        cdlib::resetLibrary();
        addDrive("VIRTUAL One", discOf({audio(300)}));
        writeSettings(test.file);
        createWindow();
        EXPECT_TRUE(modals->messages.empty());
        test.expect(ui, *form, mp3Dlg());
        form = nullptr;
        windows_.reset();
    }
}

TEST_F(Settings, ALongTargetFolderIsReadUpTo2047Characters) {
    addDrive("VIRTUAL One", discOf({audio(300)}));
    const std::string folder = "/" + std::string(2100, 'a');
    writeSettings("[FILES]\nDIRTARGET=" + folder + "\n");
    createWindow();
    EXPECT_EQ(form->targetFolder().size(), 2047);
    EXPECT_EQ(form->targetFolder().toStdString(), folder.substr(0, 2047));
}

TEST_F(Settings, AnUnselectedListIsWrittenAsMinusOne) {
    addDrive("VIRTUAL One", discOf({audio(300)}));
    writeSettings("[MP3OPTIONS]\nBITRATE=99\n");
    createWindow();
    closeWindow();
    EXPECT_EQ(saved("MP3OPTIONS", "BITRATE"), "-1");
}

TEST_F(Settings, OptionsMp3ChoicesAndTargetFolderSurviveARestart) {
    addDrive("VIRTUAL One", discOf({audio(300)}));
    createWindow();
    ui.PageControl1->setCurrentIndex(1);
    for (QCheckBox* box : {ui.CheckBox_Hints, ui.CheckBox_Captions, ui.CheckBox_ONErrPause,
                           ui.CheckBox_AddNum2FName, ui.CheckBox_ReplayGain})
        clickBox(box);
    ui.SpinBox_FlacCompression->setFocus();
    QTest::keyClick(ui.SpinBox_FlacCompression, Qt::Key_PageUp);
    ASSERT_EQ(ui.SpinBox_FlacCompression->value(), 8);
    chooseTargetFolder(folder.path() + "/rips/");
    // The time display's mode flips with a click on it.
    ui.PageControl1->setCurrentIndex(0);
    QTest::mouseClick(ui.Panel_PlayTime, Qt::LeftButton);
    TMP3Dlg& dialog = mp3Dlg();
    dialog.show();
    dialog.ComboBox_Mode->setFocus();
    QTest::keyClick(dialog.ComboBox_Mode, Qt::Key_End);
    dialog.ComboBox_Quality->setFocus();
    QTest::keyClick(dialog.ComboBox_Quality, Qt::Key_End);
    dialog.ComboBox_MixMode->setFocus();
    QTest::keyClick(dialog.ComboBox_MixMode, Qt::Key_End);
    dialog.CheckBox_VBR->setChecked(true);
    dialog.ComboBox_Bitrate->setCurrentIndex(8);
    dialog.hide();
    ASSERT_EQ(dialog.ComboBox_Quality->currentIndex(), TMP3Dlg::QualityVoice);

    restart();
    EXPECT_TRUE(modals->messages.empty());
    EXPECT_FALSE(ui.CheckBox_Hints->isChecked());
    EXPECT_FALSE(hintShown(ui.ToolButton_Play));
    EXPECT_FALSE(hintShown(progress().Btn_Abort));
    EXPECT_FALSE(ui.CheckBox_Captions->isChecked());
    EXPECT_EQ(ui.ToolButton_RipMP3->toolButtonStyle(), Qt::ToolButtonIconOnly);
    EXPECT_FALSE(ui.CheckBox_ONErrPause->isChecked());
    EXPECT_FALSE(ui.CheckBox_AddNum2FName->isChecked());
    EXPECT_FALSE(ui.CheckBox_ReplayGain->isChecked());
    EXPECT_EQ(ui.SpinBox_FlacCompression->value(), 8);
    EXPECT_EQ(timeModeHint(), "disk play time");
    EXPECT_EQ(form->targetFolder(), folder.path() + "/rips/");
    EXPECT_EQ(mp3Dlg().ComboBox_Bitrate->currentIndex(), 8);
    EXPECT_EQ(mp3Dlg().ComboBox_Mode->currentIndex(), TMP3Dlg::ModeMono);
    EXPECT_EQ(mp3Dlg().ComboBox_MixMode->currentIndex(), 2);
    EXPECT_EQ(mp3Dlg().ComboBox_Quality->currentIndex(), TMP3Dlg::QualityVoice);
    EXPECT_TRUE(mp3Dlg().CheckBox_VBR->isChecked());
    EXPECT_TRUE(mp3Dlg().ComboBox_MaxBitrate->isEnabled());
}

TEST_F(Settings, OtherSectionsSurviveALoadAndASave) {
    addDrive("VIRTUAL One", discOf({audio(300)}));
    writeSettings("; kept comment\n[Foreign]\nColour=blue\nempty=\n[OPTIONS]\nHINTS=0\nEXTRA=x\n"
                  "[CDLIB DRIVE Elsewhere]\nSPEED=8\n");
    createWindow();
    closeWindow();
    EXPECT_EQ(saved("Foreign", "Colour"), "blue");
    EXPECT_EQ(saved("Foreign", "empty"), "");
    EXPECT_EQ(saved("OPTIONS", "EXTRA"), "x");
    EXPECT_EQ(saved("OPTIONS", "HINTS"), "0");
    EXPECT_EQ(saved("CDLIB DRIVE Elsewhere", "SPEED"), "8");
    EXPECT_TRUE(settingsBytes().startsWith("; kept comment\n"));
}

TEST_F(Settings, AFolderWithALineBreakIsNotWrittenIntoTheFile) {
    addDrive("VIRTUAL One", discOf({audio(300)}));
    createWindow();
    chooseTargetFolder("/tmp/x\n[Injected]\nKEY=1\n/");
    ASSERT_EQ(form->targetFolder(), "/tmp/x\n[Injected]\nKEY=1\n/");
    closeWindow();
    EXPECT_EQ(saved("FILES", "DIRTARGET"), "");
    EXPECT_EQ(saved("Injected", "KEY"), std::nullopt);
}

TEST_F(Settings, AFileThatEndsEarlyStopsTheReadingAtTheFirstKeyNotFound) {
    addDrive("VIRTUAL One", discOf({audio(300)}));
    // Nothing beyond a NUL byte can be read.
    const char text[] = "[FILES]\nDIRTARGET=/music/\n[OPTIONS]\nHINTS=0\nRIPCAPTIONS=0\n"
                        "TRACKTIMEMODE=1\n\0PAUSEONREADERR=0\nADDNOTOFILENAME=0\n"
                        "[MP3OPTIONS]\nBITRATE=1\n";
    writeSettings(std::string_view(text, sizeof text - 1));
    modals->answer(ModalResult::Ok);
    createWindow();
    expectMessage(0, openError());
    EXPECT_EQ(modals->messages.size(), 1u) << "the library's failure is the same one";
    EXPECT_EQ(form->targetFolder(), "/music/");
    EXPECT_FALSE(ui.CheckBox_Hints->isChecked());
    EXPECT_FALSE(ui.CheckBox_Captions->isChecked());
    // From PAUSEONREADERR on, the values from before the load stay.
    EXPECT_TRUE(ui.CheckBox_ONErrPause->isChecked());
    EXPECT_TRUE(ui.CheckBox_AddNum2FName->isChecked());
    EXPECT_EQ(timeModeHint(), "disk play time") << "read after the failing key: not read";
    EXPECT_EQ(mp3Dlg().ComboBox_Bitrate->currentIndex(), 6);

    // Nothing is overwritten: the save is refused rather than losing what
    // follows the NUL.
    modals->answer(ModalResult::Ok);
    closeWindow();
    expectMessage(1, saveError());
    EXPECT_EQ(settingsBytes(), QByteArray(text, sizeof text - 1));
}

TEST_F(Settings, AFolderNamedLikeTheFileIsReportedOnceAndTheDrivesAreStillListed) {
    addDrive("VIRTUAL One", discOf({audio(300)}));
    ASSERT_TRUE(QDir().mkdir(settingsFile));
    modals->answer(ModalResult::Ok);
    createWindow();
    expectMessage(0, openError());
    EXPECT_EQ(modals->messages.size(), 1u) << "the library's failure is the same one";
    EXPECT_EQ(ui.ComboBoxDrive->count(), 1);
    EXPECT_EQ(rowCount(), 1);
    expectBuiltInOptions();
    EXPECT_EQ(timeModeHint(), "disk play time") << "as before the load";

    modals->answer(ModalResult::Ok);
    closeWindow();
    expectMessage(1, saveError());
    EXPECT_TRUE(QDir(settingsFile).isEmpty());
}

TEST_F(Settings, AFailedWriteIsReportedAndClosingGoesOn) {
    auto drive = addDrive("VIRTUAL One", discOf({audio(300)}));
    createWindow();
    ASSERT_EQ(CR_LockCD(CR_TRUE), CR_OK);
    // A folder named like the file cannot be replaced by it.
    QFile::remove(settingsFile);
    ASSERT_TRUE(QDir().mkdir(settingsFile));
    modals->answer(ModalResult::Ok);
    closeWindow();
    expectMessage(0, saveError());
    EXPECT_FALSE(drive->locked()) << "the close path went on";
    EXPECT_TRUE(QFileInfo(settingsFile).isDir());
    EXPECT_TRUE(QDir(settingsFile).isEmpty());
}

TEST_F(Settings, AFolderThatCannotHoldTheFileFailsTheWrite) {
    addDrive("VIRTUAL One", discOf({audio(300)}));
    createWindow();
    // The folder the file should be in is a file: nothing can be written
    // there, even by a user whose rights override read-only folders.
    QFile plain(folder.filePath("plain"));
    ASSERT_TRUE(plain.open(QIODevice::WriteOnly));
    plain.close();
    settingsFile = folder.filePath("plain/Varrow.INI");
    qputenv("VARROW_SETTINGS_FILE", settingsFile.toLocal8Bit());
    modals->answer(ModalResult::Ok);
    closeWindow();
    expectMessage(0, saveError());
}

// A file the user made read-only: the save fails at close with the one box,
// and the file keeps every byte, the CD library's sections too. A full disk
// fails the same replacement (ReplacingOnAFullDisk).
TEST_F(Settings, AReadOnlyFileKeepsEveryByteAndTheSaveErrorShowsOnce) {
    const std::string text =
        "; mine\r\n[OPTIONS]\r\nHINTS=0\r\n\r\n[CDLIB]\r\nTRANSPORTLAYER=1\r\n";
    writeSettings(text);
    QFile::setPermissions(settingsFile,
                          QFileDevice::ReadOwner | QFileDevice::ReadGroup | QFileDevice::ReadOther);
    addDrive("VIRTUAL One", discOf({audio(300)}));
    createWindow();
    ASSERT_TRUE(modals->messages.empty());

    // The library's own save is refused as well, and reported by the
    // library, not with a box of its own.
    CR_SetTransportLayer(CR_TRANSPORT_IOCTL);
    CR_SaveSettings();
    EXPECT_NE(CR_GetSettingsSaveError(), "");
    EXPECT_TRUE(modals->messages.empty());

    // A changed option, so that closing has something to write.
    ui.PageControl1->setCurrentIndex(1);
    clickBox(ui.CheckBox_Hints);
    modals->answer(ModalResult::Ok);
    closeWindow();
    expectMessage(0, saveError());
    EXPECT_EQ(modals->messages.size(), 1u);
    EXPECT_EQ(settingsBytes(), QByteArray::fromStdString(text));
}

TEST_F(Settings, SetAllDefaultResetsTheOptionsAndTheDriveAndKeepsTheRest) {
    auto drive = addDrive("VIRTUAL One", discOf({audio(300)}));
    writeSettings("[Foreign]\nKEY=1\n[OPTIONS]\nHINTS=0\nRIPCAPTIONS=0\nPAUSEONREADERR=0\n"
                  "ADDNOTOFILENAME=0\nTRACKTIMEMODE=0\nREPLAYGAIN=0\n[FILES]\nDIRTARGET=/music/\n"
                  "[MP3OPTIONS]\nBITRATE=2\nMODE=0\n[FLACOPTIONS]\nCOMPRESSION=0\n");
    createWindow();
    ui.PageControl1->setCurrentIndex(1);
    ui.LabeledEdit_RipSpeed->setText("12");
    modals->answer(ModalResult::Yes);
    pick(ui.ComboBox_DriveType, Qt::Key_End);
    modals->answer(ModalResult::Yes);
    pick(ui.ComboBox_ReadMethod, Qt::Key_End);
    clickBox(ui.CheckBox_JitterCorrection);
    modals->messages.clear();
    ASSERT_EQ(ui.ComboBox_DriveType->currentIndex(), CustomDriveItem);
    ASSERT_EQ(ui.ComboBox_ReadMethod->currentText(), "READMMC4");
    ASSERT_FALSE(ui.CheckBox_JitterCorrection->isChecked());

    QTest::mouseClick(ui.BitBtn_SetDefault, Qt::LeftButton);
    EXPECT_TRUE(modals->messages.empty());
    for (QCheckBox* box : {ui.CheckBox_Hints, ui.CheckBox_Captions, ui.CheckBox_ONErrPause,
                           ui.CheckBox_AddNum2FName, ui.CheckBox_ReplayGain})
        EXPECT_TRUE(box->isChecked()) << box->objectName().toStdString();
    EXPECT_EQ(ui.SpinBox_FlacCompression->value(), 5);
    EXPECT_TRUE(hintShown(ui.ToolButton_Play));
    EXPECT_EQ(ui.ToolButton_RipMP3->toolButtonStyle(), Qt::ToolButtonTextUnderIcon);
    EXPECT_EQ(ui.ComboBox_DriveType->currentText(), "GENERIC");
    EXPECT_EQ(ui.ComboBox_ReadMethod->currentText(), "READMMC");
    EXPECT_FALSE(ui.ComboBox_ReadMethod->isEnabled());
    EXPECT_EQ(ui.LabeledEdit_RipSpeed->text(), "0");
    EXPECT_EQ(form->engine().DriveTable().SetSpeed(), SPEEDNONE);
    EXPECT_TRUE(ui.CheckBox_JitterCorrection->isChecked());
    EXPECT_TRUE(form->engine().JitterCorrect());
    EXPECT_EQ(drive->speed(), 0);

    // The old file is gone; what is there now is the library's reset.
    SettingsOnDisk reset = settingsOnDisk();
    EXPECT_EQ(reset.value("Foreign", "KEY"), std::nullopt);
    EXPECT_EQ(reset.value("OPTIONS", "HINTS"), std::nullopt);
    const std::vector<std::string> drives = reset.sectionsStartingWith("CDLIB DRIVE ");
    ASSERT_EQ(drives.size(), 1u);
    EXPECT_EQ(reset.value(drives[0], "DRIVETYPE"), "0");
    EXPECT_EQ(reset.value(drives[0], "READMETHOD"), "0");
    EXPECT_EQ(reset.value(drives[0], "SPEED"), "0");
    EXPECT_EQ(reset.value(drives[0], "JITTERCORRECTION"), "-1");

    // Not reset: the MP3 options, the time mode and the target folder, which
    // the close writes again.
    closeWindow();
    EXPECT_EQ(saved("MP3OPTIONS", "BITRATE"), "2");
    EXPECT_EQ(saved("MP3OPTIONS", "MODE"), "0");
    EXPECT_EQ(saved("OPTIONS", "TRACKTIMEMODE"), "0");
    EXPECT_EQ(saved("FILES", "DIRTARGET"), "/music/");
    EXPECT_EQ(saved("OPTIONS", "HINTS"), "1");
    EXPECT_EQ(saved(drives[0], "JITTERCORRECTION"), "-1");
}

TEST_F(Settings, SetAllDefaultDropsWhatTheLibraryHeldForOtherDrives) {
    addDrive("VIRTUAL One", discOf({audio(300)}));
    addDrive("VIRTUAL Two", discOf({audio(300)}));
    createWindow();
    // The second drive gets parameters of its own earlier in the run.
    ui.PageControl1->setCurrentIndex(1);
    pick(ui.ComboBoxDrive2, Qt::Key_Down);
    ui.LabeledEdit_RipSpeed->setText("8");
    pick(ui.ComboBoxDrive2, Qt::Key_Up);
    ASSERT_EQ(ui.ComboBoxDrive->currentIndex(), 0);
    ASSERT_EQ(settingsOnDisk().sectionsStartingWith("CDLIB DRIVE ").size(), 2u);

    QTest::mouseClick(ui.BitBtn_SetDefault, Qt::LeftButton);
    const std::vector<std::string> drives = settingsOnDisk().sectionsStartingWith("CDLIB DRIVE ");
    ASSERT_EQ(drives.size(), 1u) << "the deleted file's drives do not come back";
    EXPECT_EQ(drives[0], "CDLIB DRIVE VIRTUAL One");
}

TEST_F(Settings, SetAllDefaultWithoutAFileOrADriveStillResetsTheWindow) {
    modals->answer(ModalResult::Ok); // no drive
    createWindow();
    ui.CheckBox_Hints->setChecked(false);
    ASSERT_NE(ui.LabeledEdit_RipSpeed->text(), "0");
    // "Error!" from the speed field's handler, then from applying the
    // parameters: there is no drive to apply them to.
    modals->answer(ModalResult::Ok);
    modals->answer(ModalResult::Ok);
    QTest::mouseClick(ui.BitBtn_SetDefault, Qt::LeftButton);
    ASSERT_EQ(modals->messages.size(), 3u);
    EXPECT_EQ(modals->messages[1].text, "Error!");
    EXPECT_EQ(modals->messages[2].text, "Error!");
    EXPECT_EQ(modals->messages[2].type, MsgDlgType::Error);
    EXPECT_EQ(ui.LabeledEdit_RipSpeed->text(), "0");
    EXPECT_TRUE(ui.CheckBox_Hints->isChecked());
    EXPECT_TRUE(ui.CheckBox_JitterCorrection->isChecked());
}
