// SPDX-License-Identifier: GPL-3.0-or-later
// The Detect button beside the read offset: the drive's read offset found
// with the disc and the AccurateRip database, on a thread of its own behind
// a progress box the user may cancel, then offered for the drive.
#include "DiscIdentity.h"
#include "Modals.h"
#include "UnitMain.h"

#include <QProgressDialog>
#include <QSpinBox>

using namespace varrow;

void TForm1::Button_DetectOffsetClick() {
    if (offsetSearch_) {
        return;
    }
    online::DiscToc toc = OnlineToc(CDRIP1);
    if (toc.tracks.empty()) {
        MessageDlgCentered(this,
                           QStringLiteral("There is no disc in the drive: the read offset is "
                                          "found with a disc the AccurateRip database knows."),
                           MsgDlgType::Information, MsgButtons::Ok);
        return;
    }
    // The search reads the disc: a section playing would be ended anyway.
    if (playing()) {
        ToolButton_StopClick();
    }
    auto* progress = new QProgressDialog(QStringLiteral("Finding the drive's read offset\u2026"),
                                         QStringLiteral("Cancel"), 0, 100, this);
    progress->setObjectName(QStringLiteral("ProgressDialog_DetectOffset"));
    progress->setWindowTitle(QStringLiteral("Read Offset"));
    progress->setWindowModality(Qt::WindowModal);
    progress->setAutoClose(false);
    progress->setAutoReset(false);
    progress->setMinimumDuration(0);
    progress->setAttribute(Qt::WA_DeleteOnClose);
    offsetProgress_ = progress;
    connect(progress, &QProgressDialog::canceled, this, [this] {
        if (offsetSearch_) {
            offsetSearch_->cancel();
        }
    });
    offsetSearch_ = std::make_unique<OffsetSearch>(
        std::move(toc),
        [this](int percent) {
            QMetaObject::invokeMethod(
                this,
                [this, percent] {
                    if (offsetProgress_) {
                        offsetProgress_->setValue(percent);
                    }
                },
                Qt::QueuedConnection);
        },
        [this](const TOffsetResult& result) {
            QMetaObject::invokeMethod(
                this, [this, result] { offsetSearchEnded(result); }, Qt::QueuedConnection);
        });
    progress->show();
}

void TForm1::offsetSearchEnded(const TOffsetResult& result) {
    // The thread has said its last: joining it takes no time.
    offsetSearch_.reset();
    if (offsetProgress_) {
        offsetProgress_->close();
    }
    const QString text = QString::fromStdString(OffsetResultText(result));
    switch (result.Kind) {
    case TOffsetResult::TKind::Cancelled:
        return;
    case TOffsetResult::TKind::Found:
        if (MessageDlgCentered(this,
                               text + QStringLiteral("\n\nStore this read offset for the drive?"),
                               MsgDlgType::Confirmation, MsgButtons::YesNo) == ModalResult::Yes) {
            CDRIP1.setReadOffset(result.Offset);
            ApplyDriveOption();
            showReadOffset();
        }
        return;
    default:
        MessageDlgCentered(this, text, MsgDlgType::Information, MsgButtons::Ok);
    }
}
