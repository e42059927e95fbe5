// SPDX-License-Identifier: GPL-3.0-or-later
// The disc's names from MusicBrainz: looked up in the background when a disc
// is listed, shown in the track list and the caption when they arrive, the
// release asked for when the disc is on several, and a one-line notice when
// there are none.
#include "Application.h"
#include "DiscNames.h"
#include "Modals.h"
#include "ReleaseDialog.h"
#include "ReleaseNames.h"
#include "TrackListText.h"
#include "UnitMain.h"

#include <QDialog>
#include <QLabel>

using namespace varrow;

namespace {

const QString LookingUpText = QStringLiteral("Looking the disc up in MusicBrainz...");

// The notice under the track list for `result`: its message, and for a disc
// MusicBrainz does not know, the link that adds it.
QString noticeOf(const online::MetadataResult& result) {
    QString notice = QString::fromStdString(result.message).toHtmlEscaped();
    if (result.outcome == online::MusicBrainzLookup::Outcome::NotFound &&
        !result.disc.submissionUrl.empty()) {
        notice += QStringLiteral(" <a href=\"%1\">Add this disc to MusicBrainz</a>")
                      .arg(QString::fromStdString(result.disc.submissionUrl).toHtmlEscaped());
    }
    return notice;
}

} // namespace

void TForm1::connectNames() {
    names_ = new DiscNames(online::MetadataLookup::forProgram(), this);
    connect(names_, &DiscNames::changed, this, handlerCalling(this, &TForm1::showNames));
}

void TForm1::lookUpNames() {
    if (trackModel_->rowCount() > 0) {
        names_->discRead(MetadataRequestOf(CDRIP1));
        return;
    }
    names_->clear();
    showNames();
}

void TForm1::showNames() {
    const online::MetadataResult* result = names_->result();
    trackModel_->setRelease(result && result->metadata ? &*result->metadata : nullptr);
    if (state_ != WindowState::Ripping)
        showCaption(discCaption());

    QString notice;
    if (names_->running())
        notice = LookingUpText;
    else if (result)
        notice = noticeOf(*result);
    Label_Names->setText(notice);
    Label_Names->setVisible(!notice.isEmpty());

    if (names_->choiceWanted() && state_ != WindowState::Ripping)
        askForRelease();
}

void TForm1::askForRelease() {
    names_->asking();
    const online::MetadataResult& result = *names_->result();
    ReleaseDialog dialog(result.releases, *result.chosen, this);
    const uint64_t disc = names_->discSerial();
    const int answer = modals().exec(dialog);
    // Another disc read while the question was open has names of its own.
    if (names_->discSerial() != disc || !names_->result())
        return;
    names_->choose(answer == QDialog::Accepted ? std::optional(dialog.chosenRelease())
                                               : std::nullopt);
}

QString TForm1::discCaption() const {
    const online::MetadataResult* result = names_->result();
    if (result == nullptr || !result->metadata)
        return discCaptionText(BaseCaption, CDRIP1.DiscText());
    TDiscText release;
    release.Title = result->metadata->album;
    release.Performer = result->metadata->albumArtist;
    return discCaptionText(BaseCaption, release);
}
