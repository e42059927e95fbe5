// The fixture of the window tests: the CD library with virtual drives only, a
// settings file of the test's own, the application's engine hooks and every
// box answered from a script.
#pragma once

#include "ProgramWindows.h"
#include "ScriptedModals.h"
#include "SettingsOnDisk.h"
#include "VirtualDrive.h"

#include <QCheckBox>
#include <QStringList>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace varrow::testing {

cdlib::VirtualTrack audio(int32_t sectors);
cdlib::VirtualTrack data(int32_t sectors);
cdlib::VirtualDisc discOf(std::vector<cdlib::VirtualTrack> tracks);

class ShellTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    std::shared_ptr<cdlib::VirtualDrive> addDrive(const std::string& id,
                                                  std::optional<cdlib::VirtualDisc> disc);
    // Creates and shows the main window (its creation handler runs now),
    // the MP3 options dialog and the progress window, as the program starts
    // them.
    TForm1& createWindow();
    TDlg_RipProgress& progress() { return windows_->ripProgress; }
    TMP3Dlg& mp3Dlg() { return windows_->mp3Dlg; }

    // The seven column texts of a row, hidden columns included.
    QStringList rowTexts(int row) const;
    // A left click on the row's "Track" cell, with `modifiers` held.
    void clickRow(int row, Qt::KeyboardModifiers modifiers = Qt::NoModifier);
    // A click on the box's indicator, which toggles it.
    static void clickBox(QCheckBox* box);
    // The test's settings file as it is on disk now.
    SettingsOnDisk settingsOnDisk() const { return SettingsOnDisk(settingsFile.toStdString()); }
    // Lets queued calls (device notifications, deferred edits) run.
    static void processEvents();
    // The main window handed back after a batch: no batch flag, the tabs
    // and the window enabled and shown normally, the product title as
    // caption, the timers running.
    void expectMainWindowGivenBack() const;

    ModalsScope modals;
    QTemporaryDir folder;
    QString settingsFile;
    std::unique_ptr<ProgramWindows> windows_;
    TForm1* form = nullptr; // the main window of windows_
};

} // namespace varrow::testing
