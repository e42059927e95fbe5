#include "ShellTestSupport.h"

#include "Application.h"
#include "CdRip_dll.h"
#include "Clock.h"
#include "Platform.h"

#include <QCoreApplication>
#include <QLocale>
#include <QTabWidget>
#include <QTableWidget>
#include <QTest>
#include <QTimer>

namespace varrow::testing {

cdlib::VirtualTrack audio(int32_t sectors) {
    return {sectors, false};
}

cdlib::VirtualTrack data(int32_t sectors) {
    return {sectors, true};
}

cdlib::VirtualDisc discOf(std::vector<cdlib::VirtualTrack> tracks) {
    cdlib::VirtualDisc disc;
    disc.tracks = std::move(tracks);
    return disc;
}

void ShellTest::SetUp() {
    ASSERT_TRUE(folder.isValid());
    settingsFile = folder.filePath(QStringLiteral("Varrow.INI"));
    qputenv("VARROW_SETTINGS_FILE", settingsFile.toLocal8Bit());
    cdlib::resetLibrary();
    cdlib::setHostDrivesEnabled(false);
    overridePlatformInfo(std::nullopt);
    installEngineHooks();
    // The status texts use the locale's separators; the tests expect English.
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
}

void ShellTest::TearDown() {
    form = nullptr;
    windows_.reset();
    processEvents();
    overridePlatformInfo(std::nullopt);
    setTimeOfDaySource({});
    cdlib::resetLibrary();
    qunsetenv("VARROW_SETTINGS_FILE");
}

std::shared_ptr<cdlib::VirtualDrive> ShellTest::addDrive(const std::string& id,
                                                         std::optional<cdlib::VirtualDisc> disc) {
    auto drive = std::make_shared<cdlib::VirtualDrive>(id, std::move(disc));
    cdlib::addVirtualDrive(drive);
    return drive;
}

TForm1& ShellTest::createWindow() {
    windows_ = std::make_unique<ProgramWindows>();
    form = &windows_->mainForm;
    form->show();
    processEvents();
    return *form;
}

QStringList ShellTest::rowTexts(int row) const {
    QStringList texts;
    for (int column = 0; column < TRACK_COLUMNS; ++column) {
        const QTableWidgetItem* item = form->ListView1->item(row, column);
        texts << (item != nullptr ? item->text() : QStringLiteral("<none>"));
    }
    return texts;
}

void ShellTest::clickRow(int row, Qt::KeyboardModifiers modifiers) {
    QTableWidget* list = form->ListView1;
    const QRect cell = list->visualRect(list->model()->index(row, COL_TRACK));
    ASSERT_TRUE(cell.isValid()) << "row " << row << " is not on the screen";
    QTest::mouseClick(list->viewport(), Qt::LeftButton, modifiers, cell.center());
}

void ShellTest::clickBox(QCheckBox* box) {
    ASSERT_TRUE(box->isVisible());
    QTest::mouseClick(box, Qt::LeftButton, Qt::NoModifier, QPoint(6, box->height() / 2));
}

void ShellTest::expectMainWindowGivenBack() const {
    EXPECT_FALSE(form->IsRipping);
    EXPECT_TRUE(form->PageControl1->isEnabled());
    EXPECT_TRUE(form->isEnabled());
    EXPECT_TRUE(form->isVisible());
    EXPECT_FALSE(form->isMinimized());
    EXPECT_EQ(form->windowTitle(), "Varrow");
    EXPECT_EQ(form->CurrentCaption, "Varrow");
    EXPECT_TRUE(form->Timer1->isActive());
    EXPECT_TRUE(form->Timer2->isActive());
}

void ShellTest::processEvents() {
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
}

} // namespace varrow::testing
