// TDlg_RipProgress, the small always-on-top window a batch shows while it
// runs: the file being written, the progress of the track and of the whole
// batch, jitter errors, speed and time, and three buttons. It holds no batch
// state of its own; its buttons set the main window's batch flags and ask the
// engine to stop, which the engine honours after the chunk it is reading.
#pragma once

#include <QString>
#include <QWidget>

class QFrame;
class QLabel;
class QProgressBar;
class QPushButton;
class TForm1;

class TDlg_RipProgress final : public QWidget {
    Q_OBJECT
public:
    explicit TDlg_RipProgress(TForm1& mainForm);
    Q_DISABLE_COPY_MOVE(TDlg_RipProgress)

    static inline const QString HelpTopic =
        QStringLiteral("::/extractcdtomp3.htm#ExtractionProgress");

    QString HelpFile;

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
    QPushButton* Btn_Cancel = nullptr;
    QPushButton* Btn_Abort = nullptr;
    QPushButton* Btn_Hide = nullptr;

protected:
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void createControls();
    void FormCreate();
    void FormShow();
    bool FormKeyDown(const QKeyEvent& event);
    bool FormCloseQuery();
    void FormClose();
    void SkipBtnClick();
    void Btn_AbortClick();
    void Btn_HideClick();
    bool confirmAbort();

    TForm1& mainForm_;
};
