// SPDX-License-Identifier: GPL-3.0-or-later
// TMP3Dlg is the modal dialog in which the user chooses the MP3 settings
// before an MP3 extraction batch: bitrate, optional variable bitrate with its
// maximum, channel mode, mono mix source and encoder quality. It keeps the
// choices consistent while the user edits them, shows the size the selected
// tracks will take, and refuses Start while the choices contradict each other.
//
// One instance lives for the whole run, so the choices persist between
// batches. The batch runs it through varrow::modals().exec(dialog) and reads
// the controls afterwards (or calls ApplyTo).
//
// Owner interface: the main window passes itself as the parent (the dialog
// centres over it when shown) and tells the dialog, once, where the help file
// is and how to ask for its current hint state and selection total:
//
//   dlg->setHelpFile(helpPath);
//   dlg->setHintsSource([this] { return showsHints(); });
//   dlg->setSelectionTotalSource([this] { return selectedBytes(); });
//
// and calls setShowHints() whenever its own hint state changes.
//
// The list rules run only on the user's own choices (QComboBox::activated).
// Code that restores the choices, such as the settings file, sets the named
// controls directly: setCurrentIndex() on a list runs no rule, setChecked()
// on CheckBox_VBR runs the check box rule, which warns only while the dialog
// is visible.
#pragma once

#include "LameCoder.h"

#include <QDialog>
#include <QString>
#include <cstdint>
#include <functional>
#include <utility>

class QCheckBox;
class QComboBox;
class QFrame;
class QKeyEvent;
class QLabel;
class QPushButton;
class QShowEvent;

class TMP3Dlg final : public QDialog {
    Q_OBJECT

public:
    // Positions in the lists that the rules refer to.
    static constexpr int ModeMono = 3;
    static constexpr int QualityNormal = 0;
    static constexpr int QualityVoice = 3;
    static constexpr int LastStereoBitrate = 3; // indexes 0..3 are 320..192 kbit/s
    static constexpr int DefaultBitrate = 6;    // "128 - good sound quality / small file size"
    static constexpr int DefaultMode = 1;       // "JOINT STEREO"

    static inline const QString HelpTopic =
        QStringLiteral("::/extractcdtomp3.htm#MP3CompressionOptions");

    // `mainWindow` owns the dialog; the dialog is modal over it and centres
    // over it each time it is shown.
    explicit TMP3Dlg(QWidget* mainWindow, const QString& caption = QStringLiteral("Varrow"));
    Q_DISABLE_COPY_MOVE(TMP3Dlg)

    void setHelpFile(const QString& path) { helpFile_ = path; }
    const QString& HelpFile() const { return helpFile_; }
    // Asked on every show: the main window's hint state.
    void setHintsSource(std::function<bool()> source) { hintsSource_ = std::move(source); }
    // Asked on every show: total bytes of the tracks selected in the track list.
    void setSelectionTotalSource(std::function<int64_t()> source) {
        selectionTotalSource_ = std::move(source);
    }

    // Hints (tool tips) of every control on or off, as for every window of
    // the program (Hints.h).
    void setShowHints(bool show);
    bool ShowHints() const;

    // True when the Max Bitrate is higher than the Bitrate (a smaller index
    // in the list); otherwise warns and returns false.
    bool CheckMaxBitrate();
    // Recomputes the size label from `selectedBytes`, the total size of the
    // selected tracks.
    void UpdateSizeEstimate(int64_t selectedBytes);
    // The bitrate a list item's text stands for: its leading decimal digits,
    // or 1 when the text does not start with a digit.
    static int BitrateFromText(const QString& text);

    // Copies the choices into the encoder settings and gives the mono mix
    // source for the engine, as the batch does right after Start. Returns the
    // error the batch shows before it ends ("Wrong Max Bitrate value!",
    // "Wrong Bitrate value!"), or an empty text on success. After an error
    // the settings past the failing one are left alone.
    QString ApplyTo(TLameCoder& coder, uint8_t& monoDownMixType) const;

    // Controls under the names the rest of the program uses.
    QFrame* const Bevel1;
    QLabel* const Label1;
    QLabel* const Label_Bitrate;
    QComboBox* const ComboBox_Bitrate;
    QFrame* const Bevel2;
    QCheckBox* const CheckBox_VBR;
    QLabel* const Label_MaxBitrate;
    QComboBox* const ComboBox_MaxBitrate;
    QLabel* const Label_Mode;
    QComboBox* const ComboBox_Mode;
    QComboBox* const ComboBox_MixMode;
    QLabel* const Label_Quality;
    QComboBox* const ComboBox_Quality;
    QLabel* const Label_Size;
    QLabel* const Label_CompSize;
    QPushButton* const OKBtn;
    QPushButton* const CancelBtn;

    // How much the design layout grew so that every text shows whole with
    // the desktop's font (1 when it fits as designed).
    double layoutScale() const { return layoutScale_; }

protected:
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void FormCreate();
    void FormShow();
    void ComboBox_BitrateChange();
    void ComboBox_MaxBitrateChange();
    void CheckBox_VBRClick();
    void ComboBox_ModeChange();
    void ComboBox_QualityChange();
    void OKBtnClick();
    void ShowHelp();

    void warn(const QString& text);
    int64_t currentSelectionTotal() const;

    QString helpFile_;
    std::function<bool()> hintsSource_;
    std::function<int64_t()> selectionTotalSource_;
    double layoutScale_ = 1.0;
};
