// SPDX-License-Identifier: GPL-3.0-or-later
// The tracks of the disc in the chosen drive, as the track list shows them:
// the engine's track table, the disc's CD-Text, the names of the release the
// user chose (MusicBrainz) and the titles the user typed in place. The
// list's columns, the hidden sector columns included, are the model's; the
// batch and playback read a row's values here, never back from the text a
// cell shows.
#pragma once

#include "CDRIP.h"
#include "DiscMetadata.h"

#include <QAbstractTableModel>
#include <QIcon>
#include <QString>
#include <cstdint>
#include <optional>
#include <vector>

// Columns of the track list, in order; the sector columns are hidden.
enum TrackColumn : int {
    COL_TITLE,
    COL_TRACK,
    COL_TYPE,
    COL_PLAYTIME,
    COL_SIZE,
    COL_STARTSECTOR,
    COL_ENDSECTOR,
    TRACK_COLUMNS
};

// The state image of a row (audio 0, data 1), on the title column.
inline constexpr int StateImageRole = Qt::UserRole;
inline constexpr int AudioStateImage = 0;
inline constexpr int DataStateImage = 1;

// The title of the row of audio a disc hides before track 1 (track 0).
inline const QString HiddenTrackTitle = QStringLiteral("Hidden track");

namespace varrow {

class TrackTableModel final : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit TrackTableModel(QObject* parent = nullptr);
    Q_DISABLE_COPY_MOVE(TrackTableModel)

    // The images the title column shows before audio and data rows.
    void setStateImages(const QIcon& audio, const QIcon& data);

    // One row per entry of the engine's track table, in its order, with the
    // disc's CD-Text, after a row for the hidden track when the disc has one;
    // titles typed before are dropped.
    void showDisc(const TCDRIP& engine);
    void clear();
    // The names of the chosen release, for the audio tracks it names; null
    // for none. Titles typed stay.
    void setRelease(const online::DiscMetadata* release);

    // A row's values. `row` lies in 0 .. rowCount() - 1.
    bool isAudio(int row) const;
    // The 1-based position in the table, which is the engine's track number.
    int32_t trackNumber(int row) const;
    // The "Track" column: "01" ... "09", "10" ...
    QString trackNumberText(int row) const;
    // The title shown: the one typed in place, else the release's, else the
    // disc's, else the table's name ("DataTrack02" for a data track).
    QString title(int row) const;
    // The title the disc gave an audio track; empty when it gave none.
    QString discTitle(int row) const;
    // The title the user typed in place, taken as it is; none when the row
    // shows the disc's or the table's.
    std::optional<QString> typedTitle(int row) const;
    int64_t size(int row) const;
    uint32_t startSector(int row) const;
    uint32_t endSector(int row) const;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    // Only the title takes an edit; any text is taken as it is.
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

private:
    struct Row {
        TTrackEntry entry;
        TTrackText text;
        QString playTime;
        std::optional<QString> typedTitle;
        // From the chosen release; empty where it names none.
        QString releaseTitle;
        QString releaseArtist;
    };

    QString displayText(const Row& row, int column) const;
    // The title the row shows unless the user typed one.
    QString givenTitle(int row) const;

    std::vector<Row> rows_;
    QIcon audioImage_;
    QIcon dataImage_;
};

} // namespace varrow
