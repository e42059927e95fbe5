// SPDX-License-Identifier: GPL-3.0-or-later
// The settings file: the window's options read once at start, written once
// at close, and "Set All Default" on the Options tab. The file is shared with
// the CD library, which keeps its own sections in it; OptionsText.h decides
// what the window's part of the text says.
#include "FileReplacement.h"
#include "FlacEncoder.h"
#include "Modals.h"
#include "OptionsText.h"
#include "UnitMP3Dlg.h"
#include "UnitMain.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QSpinBox>
#include <string>

using namespace varrow;

namespace {

// Far beyond any settings file the program writes; a larger one is not read
// (nor rewritten), as the CD library does.
constexpr std::size_t MaxSettingsBytes = 16 * 1024 * 1024;

// Writes the window's keys into the file at `path`, replacing it in one
// step: a failure, a full disk or a file the user made read-only among
// them, leaves the file byte for byte as it was.
bool writeSettingsFile(const std::string& path, const WindowOptions& options) {
    std::string existing;
    std::error_code error;
    if (base::readFileText(path, MaxSettingsBytes, existing, error) == base::FileRead::Failed)
        return false;
    const std::optional<std::string> text = writeOptionsText(existing, options);
    return text && !base::replaceFileContents(path, *text);
}

// An index from the file selects its item, or nothing when the list has no
// such item.
void selectItem(QComboBox* list, int32_t index) {
    list->setCurrentIndex(index >= 0 && index < list->count() ? index : -1);
}

QString shownPath(const std::string& path) {
    return QFile::decodeName(QByteArray::fromStdString(path));
}

} // namespace

void TForm1::LoadOptions() {
    const std::string path = settingsFilePath();
    std::string text;
    std::error_code error;
    OptionsRead read;
    switch (base::readFileText(path, MaxSettingsBytes, text, error)) {
    case base::FileRead::Missing:
        read = readOptionsText({});
        break;
    case base::FileRead::Read:
        read = readOptionsText(text);
        break;
    case base::FileRead::Failed:
        break;
    }
    applyOptions(read);
    // The library read the same file when the drives were listed; one
    // message tells of either failure.
    if (!read.complete() || !CR_GetSettingsReadError().empty())
        MessageDlgCentered(this,
                           QLatin1Char('"') + shownPath(path) +
                               QStringLiteral("\" open error!\nOptions may be set by default or is "
                                              "corrupt. Try \"Set All Default\" button on Options "
                                              "tab."),
                           MsgDlgType::Warning, MsgButtons::Ok);
}

void TForm1::applyOptions(const OptionsRead& read) {
    const WindowOptions& values = read.values;
    auto isRead = [&read](OptionKey key) {
        return static_cast<int>(key) < read.keysRead;
    };

    if (isRead(OptionKey::DirTarget))
        TargetFolder = QString::fromStdString(values.dirTarget);
    // The boxes run their handlers as a click would: hints and captions
    // follow at once.
    const struct {
        OptionKey key;
        QCheckBox* box;
        bool checked;
    } boxes[] = {{OptionKey::Hints, CheckBox_Hints, values.hints},
                 {OptionKey::RipCaptions, CheckBox_Captions, values.ripCaptions},
                 {OptionKey::PauseOnReadErr, CheckBox_ONErrPause, values.pauseOnReadErr},
                 {OptionKey::AddNoToFileName, CheckBox_AddNum2FName, values.addNoToFileName},
                 {OptionKey::ReplayGain, CheckBox_ReplayGain, values.replayGain}};
    for (const auto& entry : boxes) {
        if (isRead(entry.key))
            entry.box->setChecked(entry.checked);
    }
    if (isRead(OptionKey::TrackTimeMode))
        TrackTimeMode = values.trackTimeMode;
    // A level FLAC does not have is read as the default.
    if (isRead(OptionKey::FlacCompression))
        SpinBox_FlacCompression->setValue(values.flacCompression >= 0 &&
                                                  values.flacCompression <=
                                                      static_cast<int32_t>(FLAC_MOST_COMPRESSION)
                                              ? values.flacCompression
                                              : static_cast<int>(FLAC_DEFAULT_COMPRESSION));

    if (!mp3Dlg_)
        return;
    const struct {
        OptionKey key;
        QComboBox* list;
        int32_t index;
    } lists[] = {{OptionKey::Bitrate, mp3Dlg_->ComboBox_Bitrate, values.bitrate},
                 {OptionKey::MaxBitrate, mp3Dlg_->ComboBox_MaxBitrate, values.maxBitrate},
                 {OptionKey::Mode, mp3Dlg_->ComboBox_Mode, values.mode},
                 {OptionKey::MixMode, mp3Dlg_->ComboBox_MixMode, values.mixMode},
                 {OptionKey::Quality, mp3Dlg_->ComboBox_Quality, values.quality}};
    for (const auto& entry : lists) {
        if (isRead(entry.key))
            selectItem(entry.list, entry.index);
    }
    if (!isRead(OptionKey::Quality))
        return;
    // The voice quality is for mono only.
    if (mp3Dlg_->ComboBox_Quality->currentIndex() == TMP3Dlg::QualityVoice &&
        mp3Dlg_->ComboBox_Mode->currentIndex() != TMP3Dlg::ModeMono)
        mp3Dlg_->ComboBox_Quality->setCurrentIndex(TMP3Dlg::QualityNormal);
    if (isRead(OptionKey::Vbr))
        mp3Dlg_->CheckBox_VBR->setChecked(values.vbr);
}

WindowOptions TForm1::currentOptions() const {
    WindowOptions options;
    options.dirTarget = TargetFolder.toStdString();
    options.hints = CheckBox_Hints->isChecked();
    options.ripCaptions = CheckBox_Captions->isChecked();
    options.pauseOnReadErr = CheckBox_ONErrPause->isChecked();
    options.addNoToFileName = CheckBox_AddNum2FName->isChecked();
    options.trackTimeMode = TrackTimeMode;
    options.flacCompression = SpinBox_FlacCompression->value();
    options.replayGain = CheckBox_ReplayGain->isChecked();
    if (mp3Dlg_) {
        options.bitrate = mp3Dlg_->ComboBox_Bitrate->currentIndex();
        options.maxBitrate = mp3Dlg_->ComboBox_MaxBitrate->currentIndex();
        options.mode = mp3Dlg_->ComboBox_Mode->currentIndex();
        options.mixMode = mp3Dlg_->ComboBox_MixMode->currentIndex();
        options.quality = mp3Dlg_->ComboBox_Quality->currentIndex();
        options.vbr = mp3Dlg_->CheckBox_VBR->isChecked();
    }
    return options;
}

void TForm1::SaveOptions() {
    const std::string path = settingsFilePath();
    if (writeSettingsFile(path, currentOptions()))
        return;
    MessageDlgCentered(
        this,
        QLatin1Char('"') + shownPath(path) +
            QStringLiteral("\" save error!\nFile may be corrupt, read only or access "
                           "to a folder with a file is forbidden.\nOptions is not "
                           "saved."),
        MsgDlgType::Warning, MsgButtons::Ok);
}

void TForm1::BitBtn_SetDefaultClick() {
    const QString path = shownPath(settingsFilePath());
    const QFileInfo file(path);
    // Only a file is deleted: a folder of that name is no settings file.
    if ((file.exists() || file.isSymLink()) && !file.isDir())
        QFile::remove(path);
    // The library would otherwise write back, at its next save, what it
    // read from the old file or was given earlier in the run.
    CR_ForgetSettings();

    for (QCheckBox* box : {CheckBox_Hints, CheckBox_Captions, CheckBox_ONErrPause,
                           CheckBox_AddNum2FName, CheckBox_ReplayGain})
        box->setChecked(true);
    SpinBox_FlacCompression->setValue(static_cast<int>(FLAC_DEFAULT_COMPRESSION));

    TDriveTableClass& table = CDRIP1.DriveTable();
    table.setDriveType(GENERIC);
    table.setReadMethod(READMMC);
    showDriveParameters();

    // Changing the text runs the speed field's handler as an edit would.
    LabeledEdit_RipSpeed->setText(QStringLiteral("0"));

    CDRIP1.setJitterCorrect(true);
    CDRIP1.setSecureMode(false);
    // The read offset is the drive's own, measured or looked up: it stays.
    CDRIP1.setOverread(false);
    ApplyDriveOption();
    CheckBox_JitterCorrection->setChecked(CDRIP1.JitterCorrect());
    CheckBox_SecureMode->setChecked(CDRIP1.SecureMode());
    showReadOffset();
    RefreshTrackList();
    showDriveParameters();
}
