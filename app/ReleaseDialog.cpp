// SPDX-License-Identifier: GPL-3.0-or-later
#include "ReleaseDialog.h"

#include "Modals.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QShowEvent>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace varrow {

namespace {

QString text(const std::string& utf8) {
    return QString::fromStdString(utf8);
}

} // namespace

ReleaseDialog::ReleaseDialog(const std::vector<online::MusicBrainzRelease>& releases,
                             std::size_t preselected, QWidget* parent)
    : QDialog(parent) {
    setObjectName(QStringLiteral("ReleaseDialog"));
    setWindowTitle(QStringLiteral("Choose the release"));
    auto* layout = new QVBoxLayout(this);
    auto* question = new QLabel(
        QStringLiteral("This disc is on several releases. Choose the one you have: the label, "
                       "catalogue number and barcode on its case tell them apart."),
        this);
    question->setWordWrap(true);
    layout->addWidget(question);

    list_ = new QTreeWidget(this);
    list_->setObjectName(QStringLiteral("TreeWidget_Releases"));
    list_->setRootIsDecorated(false);
    list_->setAllColumnsShowFocus(true);
    list_->setUniformRowHeights(true);
    list_->setHeaderLabels({QStringLiteral("Title"), QStringLiteral("Artist"),
                            QStringLiteral("Date"), QStringLiteral("Country"),
                            QStringLiteral("Label"), QStringLiteral("Catalogue number"),
                            QStringLiteral("Barcode"), QStringLiteral("Format")});
    for (const online::MusicBrainzRelease& release : releases) {
        new QTreeWidgetItem(list_, {text(release.title), text(release.artist.name),
                                    text(release.date), text(release.country),
                                    text(release.labelNames()), text(release.catalogNumbers()),
                                    text(release.barcode), text(release.formatSummary())});
    }
    list_->setCurrentItem(list_->topLevelItem(static_cast<int>(preselected)));
    for (int column = 0; column < list_->columnCount(); ++column)
        list_->resizeColumnToContents(column);
    list_->header()->setStretchLastSection(true);
    layout->addWidget(list_);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("None of these"));
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(list_, &QTreeWidget::itemDoubleClicked, this, &QDialog::accept);
    resize(640, 280);
}

std::size_t ReleaseDialog::chosenRelease() const {
    const int row = list_->indexOfTopLevelItem(list_->currentItem());
    return row < 0 ? 0 : static_cast<std::size_t>(row);
}

void ReleaseDialog::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!event->spontaneous()) {
        if (const QWidget* owner = parentWidget() ? parentWidget()->window() : nullptr)
            moveCentredOver(*this, *owner);
        list_->setFocus();
    }
}

} // namespace varrow
