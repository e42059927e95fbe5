// SPDX-License-Identifier: GPL-3.0-or-later
// TDlg_RipProgress, the small always-on-top window a batch shows while it
// runs: the file being written, the progress of the track and of the whole
// batch, jitter errors, speed and time, and three buttons. It holds no batch
// state of its own: its buttons and its close are signals that the main
// window's batch acts on, and it asks the main window whether a batch runs.
#pragma once

#include <QString>
#include <QWidget>
#include <cstdint>
#include <functional>

class QFrame;
class QLabel;
class QProgressBar;
class QPushButton;

class TDlg_RipProgress final : public QWidget {
    Q_OBJECT
public:
    // Placed over `mainWindow` and following its hints; the caption is
    // `baseCaption` + " - Extraction...".
    TDlg_RipProgress(QWidget& mainWindow, const QString& baseCaption, const QString& helpFile);
    Q_DISABLE_COPY_MOVE(TDlg_RipProgress)

    static inline const QString HelpTopic =
        QStringLiteral("::/extractcdtomp3.htm#ExtractionProgress");

    QString HelpFile;

    // What the figures are laid out for: the most jitter errors of one track
    // (a full disc's sectors) and the fastest speed.
    static constexpr int64_t MostJitterErrors = 9'999'999;
    static constexpr double FastestSpeedShown = 99'999.9;

    // Shows the track being written: `format` with "%1" for the title and
    // "%2" for the file name, both shortened in the middle as far as needed
    // for the text to fit the label's two lines.
    void showTrack(const QString& format, const QString& title, const QString& fileName);
    // Shows how the track that just ended came out ("Accurately ripped
    // (confidence 7) [v2]"), shortened at its end to fit; empty clears it.
    void showTrackResult(const QString& result);

    // Asked when the user closes the window: whether a batch runs, so that
    // closing it means aborting. Without a source the window just closes.
    void setRippingSource(std::function<bool()> source);

    QFrame* Bevel1 = nullptr;
    QLabel* Label_Track = nullptr;
    QProgressBar* Gauge_Track = nullptr;
    QLabel* Label_All = nullptr;
    QProgressBar* Gauge_All = nullptr;
    QLabel* Label_JittError = nullptr;
    QLabel* Label_JittCount = nullptr;
    QLabel* Label_SpeedTitle = nullptr;
    QLabel* Label_Speed = nullptr;
    QLabel* Label_RipTimeTitle = nullptr;
    QLabel* Label_RipTime = nullptr;
    QLabel* Label_TrackResultTitle = nullptr;
    QLabel* Label_TrackResult = nullptr;
    QPushButton* Btn_Cancel = nullptr;
    QPushButton* Btn_Abort = nullptr;
    QPushButton* Btn_Hide = nullptr;

Q_SIGNALS:
    // "Skip Track": the track in hand is to stop, the batch goes on.
    void SkipTrackClicked();
    // The user confirmed "Abort Extracts all tracks?" (Abort, Escape or the
    // close box during a batch).
    void AbortAllConfirmed();
    // The window has closed, by the user or by the batch: the main window is
    // to be given back.
    void Closed();

protected:
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void createControls();
    void FormCreate(const QString& baseCaption, const QString& helpFile);
    void FormShow();
    bool FormKeyDown(const QKeyEvent& event);
    bool FormCloseQuery();
    void FormClose();
    void SkipBtnClick();
    void Btn_AbortClick();
    void Btn_HideClick();
    bool confirmAbort();

    QWidget& mainWindow_;
    std::function<bool()> rippingSource_;
};
