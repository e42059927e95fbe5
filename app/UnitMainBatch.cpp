// SPDX-License-Identifier: GPL-3.0-or-later
// The extraction batch: the three tool buttons, the loop over the selected
// rows, the space checks and overwrite questions, the album's ReplayGain at
// the end, and the engine's events driving the progress window and the
// caption.
#include "Application.h"
#include "Clock.h"
#include "DiscIdentity.h"
#include "DiscNames.h"
#include "DiskSpace.h"
#include "Modals.h"
#include "NumberText.h"
#include "ReleaseNames.h"
#include "TimeText.h"
#include "TrackList.h"
#include "TrackListText.h"
#include "UnitMP3Dlg.h"
#include "UnitMain.h"
#include "UnitRipProgress.h"

#include <QApplication>
#include <QCheckBox>
#include <QCoreApplication>
#include <QDialog>
#include <QFileInfo>
#include <QLabel>
#include <QProgressBar>
#include <QSpinBox>
#include <QStandardPaths>
#include <QTabWidget>
#include <QTimer>
#include <QToolButton>
#include <algorithm>
#include <stdexcept>
#include <utility>

using namespace varrow;

namespace {

const QString FolderFilter =
    QStringLiteral("all files (*.*)|*.*|audio (*.wav;*.mp3;*.pcm;*.faw;*.wma)|*.wav;*.mp3;*.pcm;"
                   "*.faw;*.wma");
const QString FolderFileNameText = QStringLiteral("filenames will be as a tracks names");
// Room for a file's header, tag and file-system overhead, per file.
constexpr int64_t BytesPerFile = 64000;

// The folder the folder dialog's answer names, with its trailing separator:
// the answer itself when it is an existing folder, otherwise the folder part
// of the file name ("" without one).
QString folderOf(const QString& path) {
    if (!path.isEmpty() && QFileInfo(path).isDir())
        return path.endsWith(QLatin1Char('/')) ? path : path + QLatin1Char('/');
    const qsizetype separator = path.lastIndexOf(QLatin1Char('/'));
    return separator < 0 ? QString() : path.left(separator + 1);
}

QString documentsFolder() {
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    return QFileInfo(documents).isDir() ? documents : QString();
}

void setTextColour(QLabel* label, const QColor& colour) {
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, colour);
    label->setPalette(palette);
}

} // namespace

TRipChoices TForm1::batchChoices(TRipFormat format) const {
    TRipChoices choices;
    choices.Format = format == TRipFormat::Wav && !CDRIP1.WriteWAV() ? TRipFormat::Pcm : format;
    choices.Folder = TargetFolder.toStdString();
    choices.NumberInName = CheckBox_AddNum2FName->isChecked();
    choices.ReplayGain = CheckBox_ReplayGain->isChecked();
    for (int row = 0; row < trackModel_->rowCount(); ++row) {
        if (!isRowSelected(row) || !trackModel_->isAudio(row))
            continue;
        const int32_t number = trackModel_->trackNumber(row);
        choices.Tracks.push_back(number);
        if (const std::optional<QString> typed = trackModel_->typedTitle(row))
            choices.TypedTitles[number] = typed->toStdString();
    }
    if (const online::MetadataResult* names = names_->result())
        TakeRelease(choices, *names);
    return choices;
}

void TForm1::connectEngineEvents() {
    FreeSpaceQuery = [](const QString& folder) {
        return volumeFreeBytes(folder.toStdString());
    };
    CDRIP1.OnBeginTrack = [this](TCDRIP&, uint16_t trackNum) {
        CDRIP1BeginTrack(trackNum);
    };
    CDRIP1.OnProgress = [this](TCDRIP&, uint16_t percent, int64_t jitterErrors, long double speed) {
        CDRIP1Progress(percent, jitterErrors, speed);
    };
    CDRIP1.OnEndTrack = [this](TCDRIP&, uint16_t trackNum) {
        CDRIP1EndTrack(trackNum);
    };
    connect(ToolButton_RipMP3, &QToolButton::clicked, this,
            handlerCalling(this, &TForm1::ToolButton_RipMP3Click));
    connect(ToolButton_RipWav, &QToolButton::clicked, this,
            handlerCalling(this, &TForm1::ToolButton_RipWavClick));
    connect(ToolButton_RipFlac, &QToolButton::clicked, this,
            handlerCalling(this, &TForm1::ToolButton_RipFlacClick));
}

void TForm1::ToolButton_RipMP3Click() {
    startBatch(TRipFormat::Mp3);
}

void TForm1::ToolButton_RipWavClick() {
    startBatch(TRipFormat::Wav);
}

void TForm1::ToolButton_RipFlacClick() {
    startBatch(TRipFormat::Flac);
}

bool TForm1::batchAsksBeforeClosing() const {
    return batch_ != nullptr && !batch_->WindowGivenBack;
}

void TForm1::startBatch(TRipFormat format) {
    if (state_ != WindowState::Idle)
        return;
    batch_ = std::make_unique<TBatchRun>();
    state_ = WindowState::Ripping;
    // The batch names its files from what is there now; a lookup still on
    // its way goes on once the batch has ended.
    names_->pause();
    CR_LockCD(CR_TRUE);
    PageControl1->setEnabled(false);
    Timer1->stop();
    Timer2->stop();
    batch_->FolderDialogTitle =
        format == TRipFormat::Mp3    ? QStringLiteral("Select Folder to save MP3 files:")
        : format == TRipFormat::Flac ? QStringLiteral("Select Folder to save FLAC files:")
                                     : QStringLiteral("Select Folder to save WAV files:");
    // An engine error ends the batch at once; the window is given back all
    // the same before the error is reported.
    try {
        RipSelectedTracks(format);
    } catch (...) {
        endBatch();
        throw;
    }
    endBatch();
}

void TForm1::endBatch() {
    closeBatch();
    const bool closeAfterBatch = batch_->CloseAfterBatch;
    batch_.reset();
    state_ = WindowState::Idle;
    names_->resume();
    // A close the user confirmed during the batch takes the normal path now.
    if (closeAfterBatch)
        close();
}

void TForm1::giveWindowBack() {
    if (batch_)
        batch_->WindowGivenBack = true;
    PageControl1->setEnabled(true);
    setEnabled(true);
    showNormal();
    CurrentCaption = BaseCaption;
    showCaption(discCaption());
    Timer1->start();
    Timer2->start();
}

void TForm1::closeBatch() {
    giveWindowBack();
    CR_LockCD(CR_FALSE);
    if (ripProgress_ && ripProgress_->isVisible())
        ripProgress_->close();
    CR_StopPlayTrack();
}

void TForm1::RipSelectedTracks(TRipFormat format) {
    if (!batch_)
        throw std::logic_error("a batch runs only from its tool buttons");
    TBatchRun& run = *batch_;
    const bool Encode = format == TRipFormat::Mp3;
    CDRIP1.setEncode(Encode);
    CDRIP1.setWriteFLAC(format == TRipFormat::Flac);
    CDRIP1.setFlacCompressionLevel(static_cast<uint32_t>(SpinBox_FlacCompression->value()));
    run.OverwriteMode = TOverwriteMode::Write;

    if (TargetFolder.isEmpty())
        TargetFolder = documentsFolder();
    const SaveDialogRequest folderRequest{run.FolderDialogTitle, FolderFilter, FolderFileNameText,
                                          TargetFolder};

    if (selectedRowCount() == 0) {
        MessageDlgCentered(this, QStringLiteral("Track(s) is not selected!"), MsgDlgType::Warning,
                           MsgButtons::Ok);
        return;
    }

    if (Encode) {
        if (!mp3Dlg_)
            throw std::logic_error("the MP3 options dialog was not created");
        if (modals().exec(*mp3Dlg_) != QDialog::Accepted)
            return;
        uint8_t monoDownMixType = CDRIP1.MonoDownMixType();
        const QString rejected = mp3Dlg_->ApplyTo(LameCoder1, monoDownMixType);
        CDRIP1.setMonoDownMixType(monoDownMixType);
        if (!rejected.isEmpty()) {
            MessageDlgCentered(this, rejected, MsgDlgType::Error, MsgButtons::Ok);
            return;
        }
    }

    if (!ripProgress_)
        throw std::logic_error("the progress window was not created");
    const std::optional<QString> chosen = modals().saveFileName(this, folderRequest);
    if (!chosen)
        return;
    TargetFolder = folderOf(*chosen);
    if (!QFileInfo(TargetFolder).isDir())
        return;

    run.BatchTrackCount = selectedRowCount();
    ripProgress_->Gauge_All->setMaximum(run.BatchTrackCount * 100);
    ripProgress_->Gauge_All->setValue(0);

    run.Session = std::make_unique<TRipSession>(CDRIP1, PlanRip(CDRIP1, batchChoices(format)));
    if (!EnoughDiskSpace(TargetFolder, run.BatchTrackCount, run.Session->Plan().EstimatedBytes)) {
        MessageDlgCentered(this,
                           QStringLiteral("Not enough free disk space on \"%1\" to write selected "
                                          "tracks!")
                               .arg(drivePart(TargetFolder)),
                           MsgDlgType::Error, MsgButtons::Ok);
        return;
    }
    // The database is asked while the tracks are read; the batch's end (its
    // session going) stops a lookup still in hand.
    run.Session->StartAccurateRip(OnlineToc(CDRIP1), AccurateRipDatabase());
    run.Session->OnSecondReading = [this](const TTrackPlan&) {
        ripProgress_->showTrackResult(
            QStringLiteral("Not confirmed: reading again with jitter correction"));
    };
    ripProgress_->showTrackResult(QString());

    run.BatchTrackIndex = 0;
    int row = nextSelectedRow(-1);
    run.AbortAll = false;
    run.ElapsedTime = std::chrono::milliseconds::zero();
    ripProgress_->show();
    run.BatchStartTime = steadyNow();

    while (row >= 0 && !run.AbortAll) {
        ripRow(row, format);
        try {
            if (row >= trackModel_->rowCount())
                throw std::out_of_range("the row in hand left the track list");
            if (!run.SkipTrack && !run.AbortAll && run.OverwriteMode != TOverwriteMode::Skip)
                ListView1->selectionModel()->select(trackModel_->index(row, COL_TITLE),
                                                    QItemSelectionModel::Deselect |
                                                        QItemSelectionModel::Rows);
            row = nextSelectedRow(row);
            ++run.BatchTrackIndex;
        } catch (const std::exception&) {
            MessageDlgCentered(ripProgress_, QStringLiteral("Varrow: Internal error 1"),
                               MsgDlgType::Error, MsgButtons::Ok);
            run.AbortAll = true;
        }
    }

    // The last row is done: the album's ReplayGain goes into its files. An
    // aborted batch is no album.
    if (!run.AbortAll)
        run.Session->TagAlbum();

    // The last tracks' results may wait for the database: the window
    // stays responsive, and Abort ends the wait.
    const TRipRecords& records = run.Session->Finish([&run] {
        QCoreApplication::processEvents();
        return !run.AbortAll;
    });
    restoreApplication();
    const TRipSummary summary = run.Session->Summary();
    QString lostText;
    for (const int32_t track : summary.TracksWithLostSectors)
        lostText +=
            (lostText.isEmpty() ? QString() : QStringLiteral(", ")) + QString::number(track);
    // A file that lost sectors is not an exact copy: the summary says so.
    if (!lostText.isEmpty())
        lostText = QStringLiteral("\nSectors could not be read in tracks ") + lostText +
                   QStringLiteral(".");
    // So is a cover that could not be put beside the files.
    if (!summary.CoverNote.empty())
        lostText +=
            QStringLiteral("\n") + QString::fromStdString(summary.CoverNote) + QStringLiteral(".");
    // The files stay whole, with their tracks' ReplayGain.
    QString untaggedText;
    for (const std::string& failure : summary.AlbumGainFailures)
        untaggedText += QStringLiteral("\nThe album's ReplayGain was not set in ") +
                        QString::fromStdString(failure);
    // A batch that read no track has nothing to prove.
    const std::vector<TTrackOutcome>& outcomes = run.Session->Outcomes();
    QString proofText = std::any_of(outcomes.begin(), outcomes.end(),
                                    [](const TTrackOutcome& outcome) { return outcome.Started; })
                            ? QStringLiteral("\n") + QString::fromStdString(summary.AccurateRip)
                            : QString();
    for (const std::string& problem : {run.Session->AccurateRipProblem(), records.Problem}) {
        if (!problem.empty())
            proofText += QStringLiteral("\n") + QString::fromStdString(problem);
    }
    MessageDlgCentered(ripProgress_,
                       QStringLiteral("Extract is complete.\nExtract time: ") +
                           longTimeText(run.ElapsedTime) + proofText + lostText + untaggedText,
                       MsgDlgType::Information, MsgButtons::Ok);
}

void TForm1::ripRow(int row, TRipFormat format) {
    TBatchRun& run = *batch_;
    run.SkipTrack = false;
    if (run.OverwriteMode != TOverwriteMode::WriteAll)
        run.OverwriteMode = TOverwriteMode::Write;
    if (!trackModel_->isAudio(row))
        return;

    TRipSession& session = *run.Session;
    const TTrackPlan& track = session.Plan().Track(trackModel_->trackNumber(row));
    const QString fileName = QString::fromStdString(track.FileName);
    run.OutputFileName = QString::fromStdString(track.Path);
    const bool encoded = format == TRipFormat::Mp3 || format == TRipFormat::Flac;
    ripProgress_->showTrack(encoded ? QStringLiteral("Exctract and Encode \"%1\" to \"%2\"")
                                    : QStringLiteral("Exctract \"%1\" to \"%2\""),
                            trackModel_->title(row), fileName);

    if (!EnoughDiskSpace(TargetFolder, 1, track.EstimatedBytes)) {
        restoreApplication();
        MessageDlgCentered(batchBoxOwner(),
                           QStringLiteral("Not enough free disk space on \"%1\" to write \"%2\"!")
                               .arg(drivePart(TargetFolder), fileName),
                           MsgDlgType::Error, MsgButtons::Ok);
        session.Skip(track.Number, "does not fit on the disk");
        return;
    }

    if (run.OverwriteMode != TOverwriteMode::WriteAll && session.NameTaken(track.Number)) {
        restoreApplication();
        // Closing the question without one of its buttons keeps the file,
        // as No does.
        switch (MessageDlgCentered(
            batchBoxOwner(),
            QStringLiteral("File \"%1\" already exists!\nOverwrite?").arg(run.OutputFileName),
            MsgDlgType::Confirmation, MsgButtons::YesNoYesToAll)) {
        case ModalResult::Yes:
            run.OverwriteMode = TOverwriteMode::Write;
            break;
        case ModalResult::YesToAll:
            run.OverwriteMode = TOverwriteMode::WriteAll;
            break;
        default:
            run.OverwriteMode = TOverwriteMode::Skip;
            break;
        }
    }
    if (run.OverwriteMode != TOverwriteMode::Skip) {
        const TTrackOutcome& outcome = session.RipTrack(track.Number);
        ripProgress_->showTrackResult(QString::fromStdString(TrackResultText(outcome)));
    } else
        session.Keep(track.Number);
}

int TForm1::nextSelectedRow(int row) const {
    for (int next = row + 1; next < trackModel_->rowCount(); ++next) {
        if (isRowSelected(next))
            return next;
    }
    return -1;
}

QWidget* TForm1::batchBoxOwner() {
    // The progress window stays on top: a box owned by this window would
    // open underneath it, unread, with the keyboard focus on its default.
    if (ripProgress_ && ripProgress_->isVisible())
        return ripProgress_;
    return this;
}

// Linux has no minimised application as such: the Hide button minimises
// every window of the program, and this brings them back.
void TForm1::restoreApplication() {
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (window->isVisible() && window->isMinimized())
            window->showNormal();
    }
}

QString TForm1::drivePart(const QString& folder) const {
    return QString::fromStdString(volumeMountPoint(folder.toStdString()));
}

bool TForm1::EnoughDiskSpace(const QString& Folder, int32_t FileCount, int64_t Bytes) {
    if (!QFileInfo(Folder).isDir())
        return false;
    int64_t freeBytes = -1;
    try {
        freeBytes = FreeSpaceQuery ? FreeSpaceQuery(Folder) : -1;
    } catch (const std::exception&) {
        MessageDlgCentered(batchBoxOwner(),
                           QStringLiteral("Disk access error!\nFolder:\n") + Folder,
                           MsgDlgType::Error, MsgButtons::Ok);
        return false;
    }
    const int64_t need = Bytes + int64_t{FileCount} * BytesPerFile;
    return need < freeBytes;
}

void TForm1::CDRIP1BeginTrack(uint16_t) {
    // A track the engine extracts outside a batch moves nothing here.
    if (!ripProgress_ || !batch_)
        return;
    CurrentCaption = BaseCaption + QStringLiteral(" - ");
    TDlg_RipProgress& window = *ripProgress_;
    window.Gauge_Track->setValue(0);
    const QColor normal = window.palette().color(QPalette::WindowText);
    setTextColour(window.Label_JittError, normal);
    setTextColour(window.Label_JittCount, normal);
    const bool jitterCorrect = CDRIP1.JitterCorrect();
    window.Label_JittError->setEnabled(jitterCorrect);
    window.Label_JittCount->setEnabled(jitterCorrect);
    window.Label_JittCount->setText(jitterCorrect ? QStringLiteral("0") : QStringLiteral("OFF"));
}

void TForm1::showBatchPercentage() {
    // Once the progress window has closed, the caption is the window's own
    // again while the track in hand winds up.
    if (batch_->WindowGivenBack)
        return;
    const int overall = ripProgress_->Gauge_All->value() / std::max(batch_->BatchTrackCount, 1);
    showCaption(CurrentCaption + QString::number(overall) + QStringLiteral("%"));
}

void TForm1::CDRIP1Progress(uint16_t PercentComplete, int64_t JittErrCount,
                            long double RippingSpeed) {
    if (!ripProgress_ || !batch_)
        return;
    TBatchRun& run = *batch_;
    TDlg_RipProgress& window = *ripProgress_;
    window.Gauge_Track->setValue(PercentComplete);
    window.Gauge_All->setValue(run.BatchTrackIndex * 100 + PercentComplete);
    showBatchPercentage();
    run.ElapsedTime =
        std::chrono::duration_cast<std::chrono::milliseconds>(steadyNow() - run.BatchStartTime);
    window.Label_RipTime->setText(longTimeText(run.ElapsedTime));
    // The engine measures the speed once a second of reading has passed;
    // before its first figure of the batch there is none to show, and a new
    // track's first second keeps the last one.
    if (RippingSpeed > 0) {
        run.SpeedMeasured = true;
        window.Label_Speed->setText(QStringLiteral("x") +
                                    groupedNumberText(static_cast<double>(RippingSpeed), 1));
    } else if (!run.SpeedMeasured) {
        window.Label_Speed->setText(QStringLiteral("-"));
    }
    if (CDRIP1.JitterCorrect() && JittErrCount != 0) {
        setTextColour(window.Label_JittCount, Qt::red);
        window.Label_JittCount->setText(QString::number(JittErrCount));
    }
}

void TForm1::CDRIP1EndTrack(uint16_t) {
    if (!ripProgress_ || !batch_)
        return;
    TBatchRun& run = *batch_;
    TDlg_RipProgress& window = *ripProgress_;
    window.Gauge_Track->setValue(100);
    window.Gauge_All->setValue(run.BatchTrackIndex * 100 + 100);
    showBatchPercentage();
    run.ElapsedTime =
        std::chrono::duration_cast<std::chrono::milliseconds>(steadyNow() - run.BatchStartTime);
    // Beside its title "Extract Time:", the time alone.
    window.Label_RipTime->setText(longTimeText(run.ElapsedTime));
    if (CDRIP1.JitterErrors() != 0 && CheckBox_ONErrPause->isChecked())
        MessageDlgCentered(&window,
                           QFileInfo(run.OutputFileName).fileName() + QStringLiteral(": ") +
                               QString::number(CDRIP1.JitterErrors()) +
                               QStringLiteral(" synchronization (jitter) errors are possible!"),
                           MsgDlgType::Warning, MsgButtons::Ok);
    // Unreadable sectors are worse than jitter: the same option pauses.
    if (CDRIP1.LostSectors() != 0 && CheckBox_ONErrPause->isChecked())
        MessageDlgCentered(&window,
                           QFileInfo(run.OutputFileName).fileName() + QStringLiteral(": ") +
                               QString::number(CDRIP1.LostSectors()) +
                               QStringLiteral(" sectors could not be read!"),
                           MsgDlgType::Warning, MsgButtons::Ok);
}

void TForm1::skipTrack() {
    if (batch_)
        batch_->SkipTrack = true;
    CDRIP1.AbortRip();
}

void TForm1::abortAll() {
    if (batch_)
        batch_->AbortAll = true;
    CDRIP1.AbortRip();
}
