// The fixture of the window tests: the CD library with virtual drives only, a
// settings file of the test's own, the application's engine hooks and every
// box answered from a script. The main window's controls are found by their
// object names, as a user finds them by their captions; the rows are read
// from the list's model.
#pragma once

#include "ProgramWindows.h"
#include "ScriptedModals.h"
#include "SettingsOnDisk.h"
#include "VirtualDrive.h"

#include <QCheckBox>
#include <QStringList>
#include <QTemporaryDir>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QStatusBar;
class QTabWidget;
class QTableView;
class QTimer;
class QToolBar;
class QToolButton;
class PositionSlider;

namespace varrow::testing {

cdlib::VirtualTrack audio(int32_t sectors);
cdlib::VirtualTrack data(int32_t sectors);
cdlib::VirtualDisc discOf(std::vector<cdlib::VirtualTrack> tracks);

// The main window's controls under the names the program gives them.
struct WindowControls {
    // Finds every control of `window`; a missing one fails the test.
    static WindowControls of(TForm1& window);

    QTabWidget* PageControl1 = nullptr;
    QLabel* Panel_PlayTime = nullptr;
    QToolButton* ToolButton_Eject = nullptr;
    QToolButton* ToolButton_Prev = nullptr;
    QToolButton* ToolButton_Next = nullptr;
    QToolButton* ToolButton_Pause = nullptr;
    QToolButton* ToolButton_Stop = nullptr;
    QToolButton* ToolButton_Play = nullptr;
    QComboBox* ComboBoxDrive = nullptr;
    PositionSlider* TrackBar1 = nullptr;
    QToolButton* ToolButton_RipMP3 = nullptr;
    QToolButton* ToolButton_RipWav = nullptr;
    QToolButton* ToolButton_RefreshTracks = nullptr;
    QToolButton* ToolButton_SelectAll = nullptr;
    QToolButton* ToolButton_ClearAll = nullptr;
    QToolButton* ToolButton_Help = nullptr;
    QToolButton* ToolButton_Exit = nullptr;
    QTableView* ListView1 = nullptr;
    QCheckBox* CheckBox_Hints = nullptr;
    QCheckBox* CheckBox_Captions = nullptr;
    QCheckBox* CheckBox_ONErrPause = nullptr;
    QCheckBox* CheckBox_AddNum2FName = nullptr;
    QComboBox* ComboBoxDrive2 = nullptr;
    QComboBox* ComboBox_DriveType = nullptr;
    QComboBox* ComboBox_ReadMethod = nullptr;
    QLineEdit* LabeledEdit_RipSpeed = nullptr;
    QCheckBox* CheckBox_JitterCorrection = nullptr;
    QCheckBox* CheckBox_TransportLayer = nullptr;
    QPushButton* BitBtn_SetDefault = nullptr;
    QLabel* Label_Version = nullptr;
    QLabel* Label_LameVer = nullptr;
    QLabel* Label_DriveAccess = nullptr;
    QStatusBar* StatusBar1 = nullptr;
    QLabel* StatusPanels[STATUS_PANELS] = {};
    QTimer* Timer1 = nullptr;
    QTimer* Timer2 = nullptr;

    // The extract tool bar's buttons, in their order.
    QList<QToolButton*> extractButtons() const;
};

class ShellTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    std::shared_ptr<cdlib::VirtualDrive> addDrive(const std::string& id,
                                                  std::optional<cdlib::VirtualDisc> disc);
    // Creates and shows the main window (its creation handler runs now,
    // the drives are listed once it is on the screen), the MP3 options
    // dialog and the progress window, as the program starts them.
    TForm1& createWindow();
    TDlg_RipProgress& progress() { return windows_->ripProgress; }
    TMP3Dlg& mp3Dlg() { return windows_->mp3Dlg; }

    // The rows of the track list, read from its model.
    int rowCount() const;
    // The seven column texts of a row, hidden columns included.
    QStringList rowTexts(int row) const;
    // A value of the title cell of `row` in `role`.
    QVariant titleData(int row, int role) const;
    // A left click on the row's "Track" cell, with `modifiers` held.
    void clickRow(int row, Qt::KeyboardModifiers modifiers = Qt::NoModifier);
    bool isRowSelected(int row) const;
    std::vector<int> selectedRows() const;
    // Gives `row` the title `title`, as editing it in place does.
    void editTitle(int row, const QString& title);
    QString statusText(StatusPanel panel) const;
    // A click on the box's indicator, which toggles it.
    static void clickBox(QCheckBox* box);
    static void click(QToolButton* button);
    // One tick of `timer`, whether it runs or not.
    static void tick(QTimer* timer);
    // The test's settings file as it is on disk now.
    SettingsOnDisk settingsOnDisk() const { return SettingsOnDisk(settingsFile.toStdString()); }
    // Writes `text` as the settings file the next window starts with.
    void writeSettings(std::string_view text) const;
    // Lets queued calls (device notifications, deferred edits) run.
    static void processEvents();
    // The main window handed back after a batch: no batch in hand, the tabs
    // and the window enabled and shown normally, the product title as
    // caption, the timers running.
    void expectMainWindowGivenBack() const;

    // Runs `action` once, the first time a progress event of row
    // `batchIndex` reaches `percent`, after the window has handled it.
    void atProgress(int batchIndex, int percent, std::function<void()> action);
    // Runs `action` while a WAV batch of `row` is still in hand but its
    // progress window has been closed: the window is the user's again
    // while the batch winds up its track.
    void whileABatchWindsUp(int row, const std::function<void()>& action);

    ModalsScope modals;
    QTemporaryDir folder;
    QString settingsFile;
    std::unique_ptr<ProgramWindows> windows_;
    TForm1* form = nullptr; // the main window of windows_
    WindowControls ui;      // its controls
};

} // namespace varrow::testing
