// SPDX-License-Identifier: GPL-3.0-or-later
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
#include <QDir>
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
class QSpinBox;
class QTabWidget;
class QTableView;
class QTimer;
class QToolBar;
class QToolButton;
class PositionSlider;

namespace varrow::testing {

// The track files in `folder`, by name: the rip's log and cue sheet beside
// them are left out.
inline QStringList trackFilesIn(const QString& folder) {
    return QDir(folder).entryList(
        {QStringLiteral("*.wav"), QStringLiteral("*.mp3"), QStringLiteral("*.pcm")}, QDir::Files,
        QDir::Name);
}

cdlib::VirtualTrack audio(int32_t sectors);
cdlib::VirtualTrack data(int32_t sectors);
cdlib::VirtualDisc discOf(std::vector<cdlib::VirtualTrack> tracks);

// The main window's controls under the names the program gives them.
#define VARROW_WINDOW_CONTROLS(CONTROL)                                                            \
    CONTROL(QTabWidget, PageControl1)                                                              \
    CONTROL(QLabel, Panel_PlayTime)                                                                \
    CONTROL(QToolButton, ToolButton_Eject)                                                         \
    CONTROL(QToolButton, ToolButton_Prev)                                                          \
    CONTROL(QToolButton, ToolButton_Next)                                                          \
    CONTROL(QToolButton, ToolButton_Pause)                                                         \
    CONTROL(QToolButton, ToolButton_Stop)                                                          \
    CONTROL(QToolButton, ToolButton_Play)                                                          \
    CONTROL(QComboBox, ComboBoxDrive)                                                              \
    CONTROL(PositionSlider, TrackBar1)                                                             \
    CONTROL(QToolButton, ToolButton_RipMP3)                                                        \
    CONTROL(QToolButton, ToolButton_RipWav)                                                        \
    CONTROL(QToolButton, ToolButton_RipFlac)                                                       \
    CONTROL(QToolButton, ToolButton_RefreshTracks)                                                 \
    CONTROL(QToolButton, ToolButton_SelectAll)                                                     \
    CONTROL(QToolButton, ToolButton_ClearAll)                                                      \
    CONTROL(QToolButton, ToolButton_Help)                                                          \
    CONTROL(QToolButton, ToolButton_Exit)                                                          \
    CONTROL(QTableView, ListView1)                                                                 \
    CONTROL(QCheckBox, CheckBox_Hints)                                                             \
    CONTROL(QCheckBox, CheckBox_Captions)                                                          \
    CONTROL(QCheckBox, CheckBox_ONErrPause)                                                        \
    CONTROL(QCheckBox, CheckBox_AddNum2FName)                                                      \
    CONTROL(QSpinBox, SpinBox_FlacCompression)                                                     \
    CONTROL(QCheckBox, CheckBox_ReplayGain)                                                        \
    CONTROL(QComboBox, ComboBoxDrive2)                                                             \
    CONTROL(QComboBox, ComboBox_DriveType)                                                         \
    CONTROL(QComboBox, ComboBox_ReadMethod)                                                        \
    CONTROL(QLineEdit, LabeledEdit_RipSpeed)                                                       \
    CONTROL(QCheckBox, CheckBox_JitterCorrection)                                                  \
    CONTROL(QCheckBox, CheckBox_SecureMode)                                                        \
    CONTROL(QCheckBox, CheckBox_TransportLayer)                                                    \
    CONTROL(QPushButton, BitBtn_SetDefault)                                                        \
    CONTROL(QLabel, Label_Version)                                                                 \
    CONTROL(QLabel, Label_LameVer)                                                                 \
    CONTROL(QLabel, Label_DriveAccess)                                                             \
    CONTROL(QStatusBar, StatusBar1)                                                                \
    CONTROL(QTimer, Timer1)                                                                        \
    CONTROL(QTimer, Timer2)                                                                        \
    CONTROL(QTimer, Timer_PlayTime)

struct WindowControls {
    // Finds every control of `window`; a missing one fails the test.
    static WindowControls of(TForm1& window);

#define VARROW_DECLARE_CONTROL(Type, name) Type* name = nullptr;
    VARROW_WINDOW_CONTROLS(VARROW_DECLARE_CONTROL)
#undef VARROW_DECLARE_CONTROL
    QLabel* StatusPanels[STATUS_PANELS] = {};
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
