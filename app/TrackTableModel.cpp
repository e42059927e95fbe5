// SPDX-License-Identifier: GPL-3.0-or-later
#include "TrackTableModel.h"

#include "TrackListText.h"

namespace varrow {

namespace {

const QString ColumnCaptions[TRACK_COLUMNS] = {
    QStringLiteral("Title"),     QStringLiteral("Track"),        QStringLiteral("Type"),
    QStringLiteral("Play Time"), QStringLiteral("Size (Bytes)"), QStringLiteral("Start Sector"),
    QStringLiteral("End Sector")};

constexpr Qt::Alignment ColumnAlignments[TRACK_COLUMNS] = {
    Qt::AlignLeft,  Qt::AlignHCenter, Qt::AlignHCenter, Qt::AlignHCenter,
    Qt::AlignRight, Qt::AlignLeft,    Qt::AlignLeft};

} // namespace

TrackTableModel::TrackTableModel(QObject* parent)
    : QAbstractTableModel(parent) {}

void TrackTableModel::setStateImages(const QIcon& audio, const QIcon& data) {
    audioImage_ = audio;
    dataImage_ = data;
}

void TrackTableModel::showDisc(const TCDRIP& engine) {
    beginResetModel();
    rows_.clear();
    const std::vector<TTrackEntry>& tracks = engine.Tracks();
    const TDiscText& discText = engine.DiscText();
    rows_.reserve(tracks.size() + 1);
    // Audio a disc hides before track 1 comes first, as track 0.
    if (const std::optional<TTrack>& hidden = engine.HiddenTrack()) {
        Row row;
        row.entry = {"Track" + TrackNumberText(0), *hidden};
        row.text = {HiddenTrackTitle.toStdString(), {}};
        row.playTime = QString::fromStdString(engine.TrackPlayTime(*hidden));
        rows_.push_back(std::move(row));
    }
    for (std::size_t index = 0; index < tracks.size(); ++index) {
        Row row;
        row.entry = tracks[index];
        row.playTime = QString::fromStdString(engine.TrackPlayTime(tracks[index].Track));
        if (index < discText.Tracks.size())
            row.text = discText.Tracks[index];
        rows_.push_back(std::move(row));
    }
    endResetModel();
}

void TrackTableModel::clear() {
    beginResetModel();
    rows_.clear();
    endResetModel();
}

void TrackTableModel::setRelease(const online::DiscMetadata* release) {
    for (std::size_t index = 0; index < rows_.size(); ++index) {
        Row& row = rows_[index];
        QString title;
        QString artist;
        if (release != nullptr &&
            isAudioTypeText(QString::fromStdString(row.entry.Track.TrackType))) {
            for (const online::TrackMetadata& track : release->tracks) {
                if (track.number == row.entry.Track.Number && !track.title.empty()) {
                    title = QString::fromStdString(track.title);
                    artist = QString::fromStdString(track.artist);
                }
            }
        }
        // Only the rows whose names change are told: a row being edited
        // keeps what the user is typing when an answer brings it nothing new.
        if (title == row.releaseTitle && artist == row.releaseArtist)
            continue;
        row.releaseTitle = title;
        row.releaseArtist = artist;
        const QModelIndex cell = this->index(static_cast<int>(index), COL_TITLE);
        Q_EMIT dataChanged(cell, cell, {Qt::DisplayRole, Qt::EditRole, Qt::ToolTipRole});
    }
}

bool TrackTableModel::isAudio(int row) const {
    return isAudioTypeText(
        QString::fromStdString(rows_.at(static_cast<std::size_t>(row)).entry.Track.TrackType));
}

int32_t TrackTableModel::trackNumber(int row) const {
    return rows_.at(static_cast<std::size_t>(row)).entry.Track.Number;
}

QString TrackTableModel::trackNumberText(int row) const {
    return varrow::trackNumberText(trackNumber(row));
}

QString TrackTableModel::title(int row) const {
    const Row& shown = rows_.at(static_cast<std::size_t>(row));
    return shown.typedTitle ? *shown.typedTitle : givenTitle(row);
}

QString TrackTableModel::givenTitle(int row) const {
    const Row& shown = rows_.at(static_cast<std::size_t>(row));
    if (!shown.releaseTitle.isEmpty())
        return shown.releaseTitle;
    return trackTitleText(shown.entry, isAudio(row) ? shown.text.Title : std::string());
}

QString TrackTableModel::discTitle(int row) const {
    return isAudio(row) ? QString::fromStdString(rows_.at(static_cast<std::size_t>(row)).text.Title)
                        : QString();
}

std::optional<QString> TrackTableModel::typedTitle(int row) const {
    return rows_.at(static_cast<std::size_t>(row)).typedTitle;
}

int64_t TrackTableModel::size(int row) const {
    return rows_.at(static_cast<std::size_t>(row)).entry.Track.Size;
}

uint32_t TrackTableModel::startSector(int row) const {
    return static_cast<uint32_t>(rows_.at(static_cast<std::size_t>(row)).entry.Track.StartSector);
}

uint32_t TrackTableModel::endSector(int row) const {
    return static_cast<uint32_t>(rows_.at(static_cast<std::size_t>(row)).entry.Track.EndSector);
}

int TrackTableModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int TrackTableModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : TRACK_COLUMNS;
}

QString TrackTableModel::displayText(const Row& row, int column) const {
    const TTrack& track = row.entry.Track;
    switch (column) {
    case COL_TRACK:
        return varrow::trackNumberText(track.Number);
    case COL_TYPE:
        return QString::fromStdString(track.TrackType);
    case COL_PLAYTIME:
        return row.playTime;
    case COL_SIZE:
        return QString::number(track.Size);
    case COL_STARTSECTOR:
        return QString::number(track.StartSector);
    case COL_ENDSECTOR:
        return QString::number(track.EndSector);
    default:
        return QString();
    }
}

QVariant TrackTableModel::data(const QModelIndex& index, int role) const {
    if (!checkIndex(index, CheckIndexOption::IndexIsValid))
        return {};
    const int row = index.row();
    const int column = index.column();
    const Row& shown = rows_[static_cast<std::size_t>(row)];
    switch (role) {
    case Qt::DisplayRole:
    case Qt::EditRole:
        return column == COL_TITLE ? title(row) : displayText(shown, column);
    case Qt::TextAlignmentRole:
        return QVariant::fromValue(ColumnAlignments[column] | Qt::AlignVCenter);
    case Qt::DecorationRole:
        if (column != COL_TITLE)
            return {};
        return isAudio(row) ? audioImage_ : dataImage_;
    case StateImageRole:
        if (column != COL_TITLE)
            return {};
        return isAudio(row) ? AudioStateImage : DataStateImage;
    case Qt::ToolTipRole:
        // The track's performer, where the release or the disc names one,
        // without a column of its own.
        if (column != COL_TITLE || !isAudio(row))
            return {};
        if (!shown.releaseArtist.isEmpty())
            return shown.releaseArtist;
        if (shown.text.Performer.empty())
            return {};
        return QString::fromStdString(shown.text.Performer);
    default:
        return {};
    }
}

bool TrackTableModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (role != Qt::EditRole || index.column() != COL_TITLE ||
        !checkIndex(index, CheckIndexOption::IndexIsValid))
        return false;
    Row& row = rows_[static_cast<std::size_t>(index.row())];
    // A title edited back to the one the release or the disc gives is
    // theirs again, and named as their titles are.
    const QString typed = value.toString();
    row.typedTitle =
        typed == givenTitle(index.row()) ? std::nullopt : std::optional<QString>(typed);
    Q_EMIT dataChanged(index, index, {Qt::DisplayRole, Qt::EditRole});
    return true;
}

Qt::ItemFlags TrackTableModel::flags(const QModelIndex& index) const {
    if (!checkIndex(index, CheckIndexOption::IndexIsValid))
        return Qt::NoItemFlags;
    Qt::ItemFlags flags = Qt::ItemIsSelectable | Qt::ItemIsEnabled | Qt::ItemNeverHasChildren;
    if (index.column() == COL_TITLE)
        flags |= Qt::ItemIsEditable;
    return flags;
}

QVariant TrackTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || section < 0 || section >= TRACK_COLUMNS)
        return QAbstractTableModel::headerData(section, orientation, role);
    if (role == Qt::DisplayRole)
        return ColumnCaptions[section];
    if (role == Qt::TextAlignmentRole && (section == COL_TITLE || section == COL_SIZE))
        return QVariant::fromValue(ColumnAlignments[section] | Qt::AlignVCenter);
    return {};
}

} // namespace varrow
