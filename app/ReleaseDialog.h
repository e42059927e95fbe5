// SPDX-License-Identifier: GPL-3.0-or-later
// The question the window asks when a disc is on several releases (the same
// pressing sold in several countries, reissues): one row per release with
// what tells them apart (title, artist, date, country, label, catalogue
// number, barcode, format), the one the lookup preselected chosen. OK takes
// the chosen row, a double click takes its row, and "None of these" keeps
// the disc's own names. The window runs it through the modal seam.
#pragma once

#include "MusicBrainzRelease.h"

#include <QDialog>
#include <cstddef>
#include <vector>

class QTreeWidget;

namespace varrow {

class ReleaseDialog final : public QDialog {
    Q_OBJECT
public:
    // `preselected` indexes `releases`.
    ReleaseDialog(const std::vector<online::MusicBrainzRelease>& releases, std::size_t preselected,
                  QWidget* parent);
    Q_DISABLE_COPY_MOVE(ReleaseDialog)

    // The row chosen, an index into the releases.
    std::size_t chosenRelease() const;

protected:
    void showEvent(QShowEvent* event) override;

private:
    QTreeWidget* list_ = nullptr;
};

} // namespace varrow
