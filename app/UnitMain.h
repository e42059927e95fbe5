// SPDX-License-Identifier: GPL-3.0-or-later
// TForm1, the main window: three tabs (the drive and track list with the play
// and extract tool bars, the options, the about page) above a status bar. It
// owns the extraction engine and the encoder, lists the drives and the tracks
// of the disc in the chosen drive, and carries the drive options to the CD
// library. Everything runs on the user-interface thread; a long batch lets
// events through between chunks, so every handler asks the window's one state
// (idle, playing, paused, ripping) before it changes the drive, the list or
// what plays. The track list shows a model of the disc's tracks; its values
// are read there, never back from the cells. The controls are private: tests
// find them by their object names, as the user finds them by their captions.
//
// One file per concern: UnitMain.cpp (creation, first show, close, the links
// to the other windows), UnitMainLayout.cpp (the controls),
// UnitMainTracks.cpp (drives and track list), UnitMainNames.cpp (the disc's
// names from MusicBrainz), UnitMainBatch.cpp (extraction batch),
// UnitMainDriveOptions.cpp (drive options tab), UnitMainPlayback.cpp (audio
// CD playback), UnitMainKeys.cpp (keyboard shortcuts and help),
// UnitMainSettings.cpp (the settings file and "Set All Default"). The private
// declarations below are grouped the same way.
#pragma once

#include "BatchRun.h"
#include "CDRIP.h"
#include "LameCoder.h"
#include "OffsetSearch.h"
#include "TrackTableModel.h"
#include "WindowState.h"

#include <QIcon>
#include <QList>
#include <QMainWindow>
#include <QPointer>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QItemSelection;
class QKeyEvent;
class QLabel;
class QLineEdit;
class QMouseEvent;
class QProgressDialog;
class QPushButton;
class QSpinBox;
class QStatusBar;
class QTabWidget;
class QTimer;
class QToolBar;
class QToolButton;

class PositionSlider;
class TDlg_RipProgress;
class TMP3Dlg;
class TTrackList;

namespace varrow {
class DeviceMonitor;
class DiscNames;
struct KeyMapState;
struct OptionsRead;
struct WindowOptions;
} // namespace varrow

// One entry of the play list: a track-list row to be played.
struct TTrackItem {
    uint32_t StartSector = 0;
    uint32_t EndSector = 0;
    int32_t TrackNumber = 0;
};
using TTrackItemList = std::vector<TTrackItem>;

// Status bar panels; panel n is the label named "StatusPanel<n>".
enum StatusPanel : int { PANEL_CLOCK, PANEL_DISC, PANEL_TRACKS, STATUS_PANELS };

// The item index of CUSTOMDRIVE, the only drive type whose read method the
// user may choose.
inline constexpr int CustomDriveItem = CUSTOMDRIVE;

class TForm1 final : public QMainWindow {
    Q_OBJECT
public:
    explicit TForm1(QWidget* parent = nullptr);
    ~TForm1() override;
    Q_DISABLE_COPY_MOVE(TForm1)

    // What the window is doing.
    varrow::WindowState state() const { return state_; }
    // The tracks of the disc the list shows.
    const varrow::TrackTableModel& tracks() const { return *trackModel_; }
    // The batch in hand, or none once it has wound up.
    const TBatchRun* batch() const { return batch_.get(); }
    // The extraction engine, and the encoder it writes MP3 files with.
    TCDRIP& engine() { return CDRIP1; }
    const TLameCoder& encoder() const { return LameCoder1; }

    // The product title, the caption when no disc names itself.
    const QString& baseCaption() const { return BaseCaption; }
    // The folder the last batch wrote to (or the settings file named).
    const QString& targetFolder() const { return TargetFolder; }
    // The help file every window of the program opens, found at start
    // beside the program or in its installed data folder; the MP3 options
    // dialog and the progress window are given the same.
    const QString& helpFile() const { return HelpFile; }
    void setHelpFile(const QString& path);

    // The free bytes of the volume that holds a folder, -1 when unknown;
    // throws when the volume cannot be reached. Tests replace it.
    std::function<int64_t(const QString& folder)> FreeSpaceQuery;

    // The settings file (UnitMainSettings.cpp). LoadOptions runs once the
    // MP3 options dialog and the progress window exist; a file that cannot
    // be read is reported, and what was read before the failure stays.
    // SaveOptions writes the window's keys and keeps the rest of the file;
    // a failed write is reported and leaves the file as it was.
    void LoadOptions();
    void SaveOptions();

    // The device-change notification: CR_DEVICE_ARRIVAL or
    // CR_DEVICE_REMOVE_COMPLETE refreshes the list while the window is idle.
    void WMDeviceChange(uint32_t event);

    // Ends the program as closing the window does, but asks nothing: the
    // desktop is ending the session (SIGTERM, SIGHUP). A batch in hand is
    // aborted and the window closes once it has wound up; every box that
    // is open or opens meanwhile is dismissed as its close box would.
    void closeWithoutAsking();

    // The progress window, created after this window. Its buttons and its
    // close reach the batch through its signals.
    void setRipProgress(TDlg_RipProgress* dialog);
    TDlg_RipProgress* ripProgress() const;

    // The MP3 options dialog, created after this window and before the
    // progress window; this window is its parent.
    void setMP3Dlg(TMP3Dlg* dialog);
    TMP3Dlg* mp3Dlg() const;

    // A sector count as play time ("0:01:00"); counts before a track's start
    // are negative and count down ("-0:00:03").
    static QString FormatPlayTime(int32_t sectors);
    // How many sectors on from `sectors` FormatPlayTime shows another text.
    static int32_t SectorsUntilPlayTimeChanges(int32_t sectors);

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // The encoder is declared first: the engine refers to it.
    TLameCoder LameCoder1;
    TCDRIP CDRIP1;

    varrow::WindowState state_ = varrow::WindowState::Idle;
    // The product title: the window's caption, with a batch's progress behind it.
    QString BaseCaption;
    QString CurrentCaption;
    QString HelpFile;
    // False until the settings file says otherwise.
    bool TrackTimeMode = false;
    // The user holds Ctrl on the position slider, which stood at
    // SeekStartPosition when Ctrl went down.
    bool CtrlSeek = false;
    int32_t SeekStartPosition = 0;
    // The rows that play, copied from the track list when play starts.
    TTrackItemList PlayList;
    QString TargetFolder;
    // The sum of the sizes of the selected audio rows.
    int64_t SelectedBytes = 0;

    QTabWidget* PageControl1 = nullptr;
    QWidget* TabSheet_CDExtract = nullptr;
    QWidget* TabSheet_Options = nullptr;
    QWidget* TabSheet_About = nullptr;

    QToolBar* ToolBar_CDPlay = nullptr;
    QLabel* Panel_PlayTime = nullptr;
    QToolButton* ToolButton_Eject = nullptr;
    QToolButton* ToolButton_Prev = nullptr;
    QToolButton* ToolButton_Next = nullptr;
    QToolButton* ToolButton_Pause = nullptr;
    QToolButton* ToolButton_Stop = nullptr;
    QToolButton* ToolButton_Play = nullptr;
    QComboBox* ComboBoxDrive = nullptr;
    PositionSlider* TrackBar1 = nullptr;

    QToolBar* ToolBar_CDRip = nullptr;
    QToolButton* ToolButton_RipMP3 = nullptr;
    QToolButton* ToolButton_RipWav = nullptr;
    QToolButton* ToolButton_RipFlac = nullptr;
    QToolButton* ToolButton_RefreshTracks = nullptr;
    QToolButton* ToolButton_SelectAll = nullptr;
    QToolButton* ToolButton_ClearAll = nullptr;
    QToolButton* ToolButton_Help = nullptr;
    QToolButton* ToolButton_Exit = nullptr;

    TTrackList* ListView1 = nullptr;
    varrow::TrackTableModel* trackModel_ = nullptr;

    QGroupBox* GroupBox_Interface = nullptr;
    QCheckBox* CheckBox_Hints = nullptr;
    QCheckBox* CheckBox_Captions = nullptr;
    QCheckBox* CheckBox_ONErrPause = nullptr;
    QCheckBox* CheckBox_AddNum2FName = nullptr;
    // The FLAC files' compression level and the ReplayGain of FLAC and MP3
    // files.
    QGroupBox* GroupBox_Encoding = nullptr;
    QSpinBox* SpinBox_FlacCompression = nullptr;
    QCheckBox* CheckBox_ReplayGain = nullptr;
    QGroupBox* GroupBox_DriveParameters = nullptr;
    QComboBox* ComboBoxDrive2 = nullptr;
    QComboBox* ComboBox_DriveType = nullptr;
    QComboBox* ComboBox_ReadMethod = nullptr;
    QLineEdit* LabeledEdit_RipSpeed = nullptr;
    QCheckBox* CheckBox_JitterCorrection = nullptr;
    QCheckBox* CheckBox_SecureMode = nullptr;
    QSpinBox* SpinEdit_ReadOffset = nullptr;
    QPushButton* Button_DetectOffset = nullptr;
    QCheckBox* CheckBox_Overread = nullptr;
    QCheckBox* CheckBox_TransportLayer = nullptr;
    QPushButton* BitBtn_SetDefault = nullptr;

    QLabel* Label_PRGName = nullptr;
    QLabel* Label_Version = nullptr;
    QLabel* Label_LameVer = nullptr;
    // How to give the program a drive, shown while none is listed.
    QLabel* Label_DriveAccess = nullptr;
    // Under the track list: the lookup of the disc's names in progress, or
    // why they are not there (with the link that adds an unknown disc to
    // MusicBrainz); hidden when there is nothing to say.
    QLabel* Label_Names = nullptr;

    QStatusBar* StatusBar1 = nullptr;
    QTimer* Timer1 = nullptr;
    QTimer* Timer2 = nullptr;
    // Turns the time display to the next second when that is heard, between
    // two looks of Timer1 (single shot).
    QTimer* Timer_PlayTime = nullptr;

    // The controls (UnitMainLayout.cpp).
    void createControls();
    QWidget* createExtractTab();
    QWidget* createOptionsTab();
    QGroupBox* createEncodingGroup(QWidget* tab);
    QWidget* createAboutTab();
    void createStatusBar();

    // Creation, first display and close (UnitMain.cpp).
    void connectHandlers();
    void setUpEngine();
    void FormCreate();
    // The drives of the machine listed at start, once the window is on the
    // screen, so that a box about a missing drive opens over it.
    void listDrivesAtStart();
    void DecideInterface();
    void FormShow();
    bool FormCloseQuery();
    void FormClose();
    void CheckBox_HintsClick();
    void CheckBox_CaptionsClick();
    void ToolButton_ExitClick();
    QList<QToolButton*> extractButtons() const;
    // The extract tool bar's buttons show their captions as the option says.
    Qt::ToolButtonStyle extractButtonStyle() const;
    // The window caption, which is also what the desktop shows for the
    // application.
    void showCaption(const QString& caption);
    // Every box that is open, or opens while the program ends on a signal,
    // is dismissed as its close box would.
    void dismissBoxes();

    // Drives and tracks (UnitMainTracks.cpp).
    void connectDeviceNotifications();
    void FillDriveList();
    void RefreshTrackList();
    void writeTracksStatus(const QString& text);
    void setStatusText(StatusPanel panel, const QString& text);
    QString statusText(StatusPanel panel) const;
    bool isRowSelected(int row) const;
    int selectedRowCount() const;
    void ComboBoxDriveChange();
    void ComboBoxDrive2Change();
    void ToolButton_RefreshTracksClick();
    void ToolButton_SelectAllClick();
    void ToolButton_ClearAllClick();
    void ListView1SelectItem(const QItemSelection& selected);
    bool ListView1MouseDown(const QMouseEvent& event);

    // The disc's names from MusicBrainz (UnitMainNames.cpp).
    void connectNames();
    // The disc just listed is looked up (or keeps the names it has); an
    // empty list forgets them.
    void lookUpNames();
    // The names as they stand: the list's titles, the caption, the notice;
    // the release question when it is due.
    void showNames();
    void askForRelease();
    // The caption without a batch: the product title, then the release's or
    // the disc's performer and album.
    QString discCaption() const;

    // Drive options (UnitMainDriveOptions.cpp).
    void showDriveParameters();
    // Hands the engine's parameters to the library and saves them, or shows
    // "Error!"; true when the library took them.
    bool ApplyDriveOption();
    // Applies the interface check box to the library and relists the drives.
    void SwitchInterface();
    bool confirmAdvancedChange();
    void ComboBox_DriveTypeChange(int index);
    void ComboBox_ReadMethodChange(int index);
    void CheckBox_JitterCorrectionClick();
    void CheckBox_SecureModeClick();
    void SpinEdit_ReadOffsetChange(int samples);
    void CheckBox_OverreadClick();
    // Shows the selected drive's read offset and overread choice.
    void showReadOffset();
    // Finds the drive's read offset (UnitMainOffset.cpp).
    void Button_DetectOffsetClick();
    void offsetSearchEnded(const TOffsetResult& result);
    bool LabeledEdit_RipSpeedKeyPress(const QKeyEvent& event);
    void LabeledEdit_RipSpeedChange();
    void CheckBox_TransportLayerClick();

    // Audio CD playback (UnitMainPlayback.cpp).
    void connectPlayback();
    bool playing() const;
    void ToolButton_PlayClick();
    void ToolButton_PauseClick();
    void ToolButton_StopClick();
    void ToolButton_EjectClick();
    void ToolButton_NextClick();
    void ToolButton_PrevClick();
    void ListView1DblClick();
    void Timer1Timer();
    void Timer2Timer();
    void Panel_PlayTimeClick();
    // Range and tick marks of the slider from the track list; called by Play
    // and by every refresh of the list.
    void SetUpPositionSlider();
    void ShowPlayPosition();
    // False disables the controls that must not change while the drive
    // plays; true enables them again.
    void EnablePlaybackLockedControls(bool enabled);
    // The slider's Ctrl key and the time display's click; true when the
    // event is used up.
    bool playbackEvent(QObject* watched, QEvent* event);
    void showTimeDisplayMode();
    void TrackBar1KeyDown(const QKeyEvent& event);
    void TrackBar1KeyUp(const QKeyEvent& event);
    void showPlayTimeColour(bool red);
    // Shows a play position in the time display and the slider; while the
    // position moves, the display is looked at again when its text changes.
    void showPlayTime(uint32_t inTrack, uint32_t absolute);
    void Timer_PlayTimeTimer();
    // Plays from `start` to the slider's maximum, paused again when the
    // window is paused.
    void playFrom(uint32_t start);
    // True when `sector` lies in `item`.
    static bool holds(const TTrackItem& item, uint32_t sector);

    // The settings file (UnitMainSettings.cpp).
    void applyOptions(const varrow::OptionsRead& read);
    varrow::WindowOptions currentOptions() const;
    void BitBtn_SetDefaultClick();

    // Extraction batch (UnitMainBatch.cpp).
    void connectEngineEvents();
    void ToolButton_RipMP3Click();
    void ToolButton_RipWavClick();
    void ToolButton_RipFlacClick();
    // `format`: Mp3, Flac, or Wav for uncompressed files (WAV or PCM as
    // the engine's WriteWAV says).
    void startBatch(TRipFormat format);
    // The rip of the selected audio rows into TargetFolder, as the user
    // chose it: format, number in the names, the titles typed in place,
    // ReplayGain.
    TRipChoices batchChoices(TRipFormat format) const;
    // Extracts every selected audio row into TargetFolder; returns when the
    // batch has ended for any reason. Engine errors propagate.
    void RipSelectedTracks(TRipFormat format);
    // True when `Bytes` plus 64000 per file fit strictly into the free space
    // of the volume that holds `Folder`.
    bool EnoughDiskSpace(const QString& Folder, int32_t FileCount, int64_t Bytes);
    void closeBatch();
    void endBatch();
    // Hands the window back to the user after a batch, or when the progress
    // window closes during one: the tabs and the window enabled, shown in
    // its normal state, the product title as caption, the timers running.
    void giveWindowBack();
    // True while closing a window means aborting the batch in hand: until
    // the progress window has closed.
    bool batchAsksBeforeClosing() const;
    void ripRow(int row, TRipFormat format);
    int nextSelectedRow(int row) const;
    void restoreApplication();
    // The owner of a box the batch shows: the progress window while it is
    // shown, so that the box opens above it; this window otherwise.
    QWidget* batchBoxOwner();
    // The progress window's Skip Track, and its or this window's confirmed
    // abort: the batch's flag, and the engine stops after its chunk.
    void skipTrack();
    void abortAll();
    QString drivePart(const QString& folder) const;
    void showBatchPercentage();
    void CDRIP1BeginTrack(uint16_t TrackNum);
    void CDRIP1Progress(uint16_t PercentComplete, int64_t JittErrCount, long double RippingSpeed);
    void CDRIP1EndTrack(uint16_t TrackNum);

    // Keyboard shortcuts and help (UnitMainKeys.cpp).
    void connectKeys();
    // Every key press of the application, once, before its receiver: the
    // window's own go to FormKeyDown.
    void previewKey(QWidget* receiver, const QKeyEvent& event);
    varrow::KeyMapState keyMapState() const;
    void FormKeyDown(const QKeyEvent& event);
    // True while `event`, which the shortcuts acted on, is being delivered;
    // the track list then leaves it alone.
    bool keyTakenByShortcut(const QKeyEvent& event) const;
    void ToolButton_HelpClick();

    QLabel* statusPanels_[STATUS_PANELS] = {};
    QPointer<TDlg_RipProgress> ripProgress_;
    QPointer<TMP3Dlg> mp3Dlg_;
    std::unique_ptr<TBatchRun> batch_;
    // The search for the drive's read offset while it runs, and its box.
    std::unique_ptr<varrow::OffsetSearch> offsetSearch_;
    QPointer<QProgressDialog> offsetProgress_;
    varrow::DeviceMonitor* deviceMonitor_ = nullptr;
    varrow::DiscNames* names_ = nullptr;
    bool shownBefore_ = false;
    // The program ends on a signal: nothing asks, every box is dismissed.
    bool closingWithoutAsking_ = false;
    // The sector count the time display shows.
    int32_t shownPlayTime_ = 0;
    // The key press the shortcuts acted on last.
    const QKeyEvent* keyTaken_ = nullptr;
};
