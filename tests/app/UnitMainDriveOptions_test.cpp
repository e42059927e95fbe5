// SPDX-License-Identifier: GPL-3.0-or-later
// The drive options of the Options tab: drive type and read method behind
// their question, the speed field, jitter correction and the interface.
#include "Platform.h"
#include "ShellTestSupport.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QTabWidget>
#include <QTableWidget>
#include <QTest>

using namespace varrow;
using namespace varrow::testing;

namespace {

const QString AdvancedQuestion =
    QStringLiteral("This options for advanced users! You are ready to change?");

class DriveOptions : public ShellTest {
protected:
    std::shared_ptr<cdlib::VirtualDrive> drive;

    void SetUp() override {
        ShellTest::SetUp();
        drive = addDrive("VIRTUAL One", discOf({audio(300), audio(600)}));
        createWindow();
        ui.PageControl1->setCurrentIndex(1);
    }

    void pick(QComboBox* list, Qt::Key key) {
        list->setFocus();
        QTest::keyClick(list, key);
    }

    struct DriveValues {
        TDriveType driveType;
        TReadMethod readMethod;
        int32_t speed;
    };

    // What a fresh selection of the drive reads back from the library.
    static DriveValues reread() {
        TCDRIP engine;
        engine.setCDRomNum(0);
        return {engine.DriveTable().DriveType(), engine.DriveTable().ReadMethod(), engine.Speed()};
    }

    // A key of the drive's section in the settings file on disk, where the
    // next run finds it.
    std::optional<std::string> saved(const char* key) const {
        const SettingsOnDisk file = settingsOnDisk();
        const std::vector<std::string> drives = file.sectionsStartingWith("CDLIB DRIVE ");
        if (drives.size() != 1)
            return std::nullopt;
        return file.value(drives[0], key);
    }

    void expectAdvancedQuestion(std::size_t index) {
        ASSERT_GT(modals->messages.size(), index);
        EXPECT_EQ(modals->messages[index].text, AdvancedQuestion);
        EXPECT_EQ(modals->messages[index].type, MsgDlgType::Information);
        EXPECT_EQ(modals->messages[index].buttons, MsgButtons::YesNo);
    }
};

} // namespace

TEST_F(DriveOptions, DriveTypeAnsweredNoChangesNothing) {
    modals->answer(ModalResult::No);
    pick(ui.ComboBox_DriveType, Qt::Key_End);
    expectAdvancedQuestion(0);
    EXPECT_EQ(ui.ComboBox_DriveType->currentText(), "CUSTOMDRIVE");
    EXPECT_EQ(form->engine().DriveTable().DriveType(), GENERIC);
    EXPECT_FALSE(ui.ComboBox_ReadMethod->isEnabled());
    EXPECT_EQ(reread().driveType, GENERIC);
    EXPECT_NE(saved("DRIVETYPE"), "19");
}

TEST_F(DriveOptions, CustomDriveEnablesTheReadMethodAndAnotherTypeDisablesIt) {
    modals->answer(ModalResult::Yes);
    pick(ui.ComboBox_DriveType, Qt::Key_End);
    expectAdvancedQuestion(0);
    EXPECT_EQ(form->engine().DriveTable().DriveType(), CUSTOMDRIVE);
    EXPECT_EQ(ui.ComboBox_DriveType->currentIndex(), CustomDriveItem);
    EXPECT_TRUE(ui.ComboBox_ReadMethod->isEnabled());
    EXPECT_EQ(reread().driveType, CUSTOMDRIVE);
    EXPECT_EQ(saved("DRIVETYPE"), "19");
    EXPECT_EQ(rowCount(), 2);

    modals->answer(ModalResult::Yes);
    pick(ui.ComboBox_ReadMethod, Qt::Key_Down);
    expectAdvancedQuestion(1);
    EXPECT_EQ(form->engine().DriveTable().ReadMethod(), READ10);
    EXPECT_EQ(ui.ComboBox_ReadMethod->currentText(), "READ10");
    EXPECT_EQ(reread().readMethod, READ10);
    EXPECT_EQ(saved("READMETHOD"), "1");

    modals->answer(ModalResult::Yes);
    pick(ui.ComboBox_DriveType, Qt::Key_Home);
    EXPECT_EQ(form->engine().DriveTable().DriveType(), GENERIC);
    EXPECT_FALSE(ui.ComboBox_ReadMethod->isEnabled());
}

TEST_F(DriveOptions, RejectedParametersShowErrorAndTheListsShowTheLibrary) {
    drive->faults().failing.insert("CR_SetCDROMParameters");
    modals->answer(ModalResult::Yes);
    modals->answer(ModalResult::Ok);
    pick(ui.ComboBox_DriveType, Qt::Key_End);
    expectAdvancedQuestion(0);
    ASSERT_EQ(modals->messages.size(), 2u);
    EXPECT_EQ(modals->messages[1].text, "Error!");
    EXPECT_EQ(modals->messages[1].type, MsgDlgType::Error);
    EXPECT_EQ(modals->messages[1].buttons, MsgButtons::Ok);
    EXPECT_EQ(ui.ComboBox_DriveType->currentText(), "GENERIC");
    EXPECT_FALSE(ui.ComboBox_ReadMethod->isEnabled());
}

TEST_F(DriveOptions, DriveSwitchesAreAppliedAndSaved) {
    const struct {
        QCheckBox* box;
        bool (TCDRIP::*engineValue)() const;
        const char* key;
    } switches[] = {
        {ui.CheckBox_JitterCorrection, &TCDRIP::JitterCorrect, "JITTERCORRECTION"},
        {ui.CheckBox_SecureMode, &TCDRIP::SecureMode, "SECUREMODE"},
    };
    for (const auto& option : switches) {
        SCOPED_TRACE(option.key);
        const bool before = option.box->isChecked();
        clickBox(option.box);
        EXPECT_EQ((form->engine().*option.engineValue)(), !before);
        TCDRIP fresh;
        fresh.setCDRomNum(0);
        EXPECT_EQ((fresh.*option.engineValue)(), !before);
        EXPECT_TRUE(modals->messages.empty());
        // Saved in the file, where the next run finds it.
        EXPECT_EQ(saved(option.key), before ? "0" : "-1");
    }
}

TEST_F(DriveOptions, SpeedFieldTakesDigitsOnly) {
    QLineEdit* field = ui.LabeledEdit_RipSpeed;
    field->setFocus();
    field->end(false);
    QTest::keyClick(field, Qt::Key_Backspace);
    EXPECT_EQ(field->text(), "0") << "an emptied field shows 0 at once";
    QTest::keyClicks(field, "x");
    EXPECT_EQ(field->text(), "0");
    QTest::keyClicks(field, "1");
    EXPECT_EQ(field->text(), "1") << "01 reads as 1";
    QTest::keyClicks(field, "-a2 ");
    EXPECT_EQ(field->text(), "12");
    EXPECT_EQ(form->engine().Speed(), 12);
    EXPECT_EQ(form->engine().DriveTable().SetSpeed(), SPEEDMMC);
    EXPECT_EQ(reread().speed, 12);
    EXPECT_EQ(saved("SPEED"), "12");

    QTest::keyClick(field, Qt::Key_Backspace);
    QTest::keyClick(field, Qt::Key_Backspace);
    EXPECT_EQ(field->text(), "0");
    EXPECT_EQ(form->engine().Speed(), 0);
    EXPECT_EQ(form->engine().DriveTable().SetSpeed(), SPEEDNONE);
    EXPECT_EQ(reread().speed, 0);
    EXPECT_EQ(saved("SPEED"), "0");
    EXPECT_EQ(saved("SETSPEED"), std::to_string(SPEEDNONE));
    EXPECT_TRUE(modals->messages.empty());
}

TEST_F(DriveOptions, SpeedFieldLeavesControlKeysToTheirUsualWork) {
    form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form));
    QLineEdit* field = ui.LabeledEdit_RipSpeed;
    field->setFocus();
    field->selectAll();
    QTest::keyClicks(field, "4b2");
    EXPECT_EQ(field->text(), "42");
    field->home(false);
    QTest::keyClick(field, Qt::Key_Delete);
    EXPECT_EQ(field->text(), "2");
    EXPECT_EQ(form->engine().Speed(), 2);

    QTest::keyClick(field, Qt::Key_Tab);
    EXPECT_NE(QApplication::focusWidget(), field);
    field->setFocus();
    QTest::keyClick(field, Qt::Key_Tab, Qt::ShiftModifier);
    EXPECT_NE(QApplication::focusWidget(), field);
    EXPECT_TRUE(modals->messages.empty());
}

TEST_F(DriveOptions, SpeedFieldHoldsTwoDigits) {
    QLineEdit* field = ui.LabeledEdit_RipSpeed;
    field->setFocus();
    field->selectAll();
    QTest::keyClicks(field, "487");
    EXPECT_EQ(field->text(), "48");
    EXPECT_EQ(form->engine().Speed(), 48);
}

TEST_F(DriveOptions, InterfaceSwitchFollowsTheBoxOnTheNativeFamily) {
    ASSERT_TRUE(ui.CheckBox_TransportLayer->isChecked());
    clickBox(ui.CheckBox_TransportLayer);
    EXPECT_EQ(CR_GetTransportLayer(), CR_TRANSPORT_IOCTL);
    EXPECT_FALSE(ui.CheckBox_TransportLayer->isChecked());
    EXPECT_EQ(ui.ComboBoxDrive->count(), 1);
    EXPECT_EQ(rowCount(), 2);

    clickBox(ui.CheckBox_TransportLayer);
    EXPECT_EQ(CR_GetTransportLayer(), CR_TRANSPORT_SCSI);
    EXPECT_TRUE(ui.CheckBox_TransportLayer->isChecked());
    EXPECT_TRUE(modals->messages.empty());
}

TEST_F(DriveOptions, TheBoxShowsTheInterfaceTheLibraryKeeps) {
    drive->faults().transportLayerFixed = true;
    clickBox(ui.CheckBox_TransportLayer);
    EXPECT_EQ(CR_GetTransportLayer(), CR_TRANSPORT_SCSI);
    EXPECT_TRUE(ui.CheckBox_TransportLayer->isChecked());
}

TEST_F(DriveOptions, AnInterfaceErrorIsReportedAndTheSwitchGoesOn) {
    drive->faults().throwing.insert("CR_SetTransportLayer");
    modals->answer(ModalResult::Ok);
    clickBox(ui.CheckBox_TransportLayer);
    EXPECT_EQ(modals->texts(), std::vector<QString>({"CD-ROM interface settings error!"}));
    EXPECT_EQ(modals->messages[0].type, MsgDlgType::Error);
    EXPECT_TRUE(ui.CheckBox_TransportLayer->isChecked());
    EXPECT_EQ(rowCount(), 2);
}

TEST_F(DriveOptions, OnAWindows95FamilyOnlyAspiIsAllowed) {
    overridePlatformInfo(PlatformInfo{PlatformWin95, 4, 0, QStringLiteral("Windows 95")});
    ui.CheckBox_TransportLayer->setChecked(false);
    modals->answer(ModalResult::Ok);
    clickBox(ui.CheckBox_TransportLayer);
    EXPECT_EQ(modals->texts(),
              std::vector<QString>({"Windows platform is \"WIN32\" (Windows 95)\nOnly ASPI "
                                    "interface is enabled.\nVarrow needs ASPI Drivers to work "
                                    "properly!\nSee Help about Installation and ASPI Drivers."}));
    EXPECT_EQ(CR_GetTransportLayer(), CR_TRANSPORT_IOCTL);
    EXPECT_FALSE(ui.CheckBox_TransportLayer->isChecked());
}

TEST_F(DriveOptions, OnAnUnknownPlatformTheBoxIsObeyedAfterTheAdvice) {
    overridePlatformInfo(PlatformInfo{7, 1, 0, QStringLiteral("Plan 9")});
    modals->answer(ModalResult::Ok);
    clickBox(ui.CheckBox_TransportLayer);
    EXPECT_EQ(modals->texts(),
              std::vector<QString>({"Windows platform is not determined! (Plan 9)\nIs "
                                    "recommended: install ASPI Drivers and switch off this check "
                                    "box.\nSee Help about Installation and ASPI Drivers."}));
    EXPECT_EQ(CR_GetTransportLayer(), CR_TRANSPORT_IOCTL);
    EXPECT_FALSE(ui.CheckBox_TransportLayer->isChecked());
}
