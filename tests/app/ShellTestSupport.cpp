// SPDX-License-Identifier: GPL-3.0-or-later
#include "ShellTestSupport.h"

#include "Application.h"
#include "CdRip_dll.h"
#include "Clock.h"
#include "Platform.h"
#include "PositionSlider.h"
#include "TrackTableModel.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QSpinBox>
#include <QStatusBar>
#include <QTabWidget>
#include <QTableView>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <limits>

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

namespace {

template <typename Control> void find(TForm1& window, Control*& control, const char* name) {
    control = window.findChild<Control*>(QString::fromLatin1(name));
    EXPECT_NE(control, nullptr) << "the main window has no " << name;
}

} // namespace

WindowControls WindowControls::of(TForm1& window) {
    WindowControls c;
#define VARROW_FIND_CONTROL(Type, name) find(window, c.name, #name);
    VARROW_WINDOW_CONTROLS(VARROW_FIND_CONTROL)
#undef VARROW_FIND_CONTROL
    for (int panel = 0; panel < STATUS_PANELS; ++panel)
        find(window, c.StatusPanels[panel], QStringLiteral("StatusPanel%1").arg(panel).toLatin1());
    return c;
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
    // Nothing is looked up on the internet: the services (AccurateRip,
    // MusicBrainz, the covers) are a closed port unless a test serves them,
    // and what they answer is kept in the test's folder, never the user's
    // cache.
    qputenv("VARROW_ACCURATERIP_URL", "http://127.0.0.1:1");
    qputenv("VARROW_MUSICBRAINZ_URL", "http://127.0.0.2:1");
    qputenv("VARROW_COVERART_URL", "http://127.0.0.2:1");
    qputenv("XDG_CACHE_HOME", folder.filePath(QStringLiteral("cache")).toLocal8Bit());
}

void ShellTest::TearDown() {
    form = nullptr;
    ui = {};
    windows_.reset();
    processEvents();
    overridePlatformInfo(std::nullopt);
    setTimeOfDaySource({});
    cdlib::resetLibrary();
    for (const char* variable : {"VARROW_SETTINGS_FILE", "VARROW_MUSICBRAINZ_URL",
                                 "VARROW_COVERART_URL", "VARROW_ACCURATERIP_URL", "XDG_CACHE_HOME"})
        qunsetenv(variable);
}

std::shared_ptr<cdlib::VirtualDrive> ShellTest::addDrive(const std::string& id,
                                                         std::optional<cdlib::VirtualDisc> disc) {
    auto drive = std::make_shared<cdlib::VirtualDrive>(id, std::move(disc));
    cdlib::addVirtualDrive(drive);
    return drive;
}

TForm1& ShellTest::createWindow() {
    // One program's windows at a time, as the signal handlers are the
    // process's.
    form = nullptr;
    windows_.reset();
    windows_ = std::make_unique<ProgramWindows>();
    form = &windows_->mainForm;
    ui = WindowControls::of(*form);
    form->show();
    processEvents();
    return *form;
}

int ShellTest::rowCount() const {
    return ui.ListView1->model()->rowCount();
}

QStringList ShellTest::rowTexts(int row) const {
    QStringList texts;
    const QAbstractItemModel* model = ui.ListView1->model();
    for (int column = 0; column < model->columnCount(); ++column)
        texts << model->data(model->index(row, column)).toString();
    return texts;
}

QVariant ShellTest::titleData(int row, int role) const {
    const QAbstractItemModel* model = ui.ListView1->model();
    return model->data(model->index(row, COL_TITLE), role);
}

void ShellTest::clickRow(int row, Qt::KeyboardModifiers modifiers) {
    QTableView* list = ui.ListView1;
    const QRect cell = list->visualRect(list->model()->index(row, COL_TRACK));
    ASSERT_TRUE(cell.isValid()) << "row " << row << " is not on the screen";
    QTest::mouseClick(list->viewport(), Qt::LeftButton, modifiers, cell.center());
}

bool ShellTest::isRowSelected(int row) const {
    return ui.ListView1->selectionModel()->isRowSelected(row, QModelIndex());
}

std::vector<int> ShellTest::selectedRows() const {
    std::vector<int> rows;
    for (int row = 0; row < rowCount(); ++row) {
        if (isRowSelected(row))
            rows.push_back(row);
    }
    return rows;
}

void ShellTest::editTitle(int row, const QString& title) {
    QAbstractItemModel* model = ui.ListView1->model();
    ASSERT_TRUE(model->setData(model->index(row, COL_TITLE), title));
}

QString ShellTest::statusText(StatusPanel panel) const {
    return ui.StatusPanels[panel]->text();
}

void ShellTest::clickBox(QCheckBox* box) {
    ASSERT_TRUE(box->isVisible());
    QTest::mouseClick(box, Qt::LeftButton, Qt::NoModifier, QPoint(6, box->height() / 2));
}

void ShellTest::click(QToolButton* button) {
    QTest::mouseClick(button, Qt::LeftButton);
}

void ShellTest::tick(QTimer* timer) {
    ASSERT_TRUE(QMetaObject::invokeMethod(timer, "timeout"));
}

void ShellTest::writeSettings(std::string_view text) const {
    QFile file(settingsFile);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    ASSERT_EQ(file.write(text.data(), static_cast<qint64>(text.size())),
              static_cast<qint64>(text.size()));
}

void ShellTest::expectMainWindowGivenBack() const {
    EXPECT_NE(form->state(), WindowState::Ripping);
    EXPECT_TRUE(ui.PageControl1->isEnabled());
    EXPECT_TRUE(form->isEnabled());
    EXPECT_TRUE(form->isVisible());
    EXPECT_FALSE(form->isMinimized());
    EXPECT_EQ(form->windowTitle(), "Varrow");
    EXPECT_TRUE(ui.Timer1->isActive());
    EXPECT_TRUE(ui.Timer2->isActive());
}

void ShellTest::processEvents() {
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
}

void ShellTest::atProgress(int batchIndex, int percent, std::function<void()> action) {
    auto handled = std::make_shared<bool>(false);
    ProgressTrackEvent original = form->engine().OnProgress;
    form->engine().OnProgress = [this, original, batchIndex, percent, handled,
                                 action](TCDRIP& sender, uint16_t complete, int64_t errors,
                                         long double speed) {
        original(sender, complete, errors, speed);
        if (!*handled && form->batch() != nullptr && form->batch()->BatchTrackIndex == batchIndex &&
            complete >= percent) {
            *handled = true;
            action();
        }
    };
}

void ShellTest::whileABatchWindsUp(int row, const std::function<void()>& action) {
    const std::vector<int> selectedBefore = selectedRows();
    clickRow(row);
    form->FreeSpaceQuery = [](const QString&) {
        return std::numeric_limits<int64_t>::max() / 4;
    };
    modals->saveAnswers.emplace_back(folder.path() + QStringLiteral("/filenames"));
    bool acted = false;
    atProgress(0, 1, [&] {
        modals->messageAnswers.emplace_front([](const ShownMessage&) { return ModalResult::Yes; });
        ASSERT_TRUE(progress().close());
        ASSERT_EQ(form->state(), WindowState::Ripping);
        acted = true;
        action();
    });
    modals->answer(ModalResult::Ok);
    click(ui.ToolButton_RipWav);
    EXPECT_TRUE(acted) << "the batch ended before its progress window could be closed";
    EXPECT_EQ(form->state(), WindowState::Idle);
    ui.ListView1->clearSelection();
    for (const int selected : selectedBefore)
        clickRow(selected, Qt::ControlModifier);
}

} // namespace varrow::testing
