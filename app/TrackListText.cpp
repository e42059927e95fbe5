// SPDX-License-Identifier: GPL-3.0-or-later
#include "TrackListText.h"

#include "CDRIP.h"
#include "NumberText.h"

namespace varrow {

namespace {

// Blanks and control characters, as the drive's identification may be padded
// with either.
bool isTrimmed(char c) {
    return static_cast<unsigned char>(c) <= ' ';
}

} // namespace

QString driveEntryText(int32_t index, const std::string& identification) {
    std::string::size_type first = 0;
    std::string::size_type last = identification.size();
    while (first < last && isTrimmed(identification[first]))
        ++first;
    while (last > first && isTrimmed(identification[last - 1]))
        --last;
    const QString prefix = QStringLiteral("[%1]:").arg(index);
    if (first == last)
        return prefix + QStringLiteral("wrong CD-ROM name");
    return prefix + QString::fromLocal8Bit(identification.data() + first,
                                           static_cast<qsizetype>(last - first));
}

QString trackNumberText(int position) {
    return QString::fromStdString(TrackNumberText(position));
}

QString trackTitleText(const TTrackEntry& entry, const std::string& discTitle) {
    const QString name = QString::fromStdString(entry.Name);
    if (entry.Track.TrackType == "Data")
        return QStringLiteral("Data") + name;
    if (!discTitle.empty())
        return QString::fromStdString(discTitle);
    return name;
}

QString discCaptionText(const QString& base, const TDiscText& text) {
    QString caption = base;
    for (const std::string* part : {&text.Performer, &text.Title}) {
        const QString shown = QString::fromStdString(*part).simplified();
        if (!shown.isEmpty())
            caption += QStringLiteral(" - ") + shown;
    }
    return caption;
}

bool isAudioTypeText(const QString& typeText) {
    return typeText == AudioTypeText;
}

QString tracksStatusText(int rows, int selectedRows, int64_t selectedBytes, const QLocale& locale) {
    QString text = QStringLiteral("Tracks:") + QString::number(rows);
    if (selectedRows > 0) {
        text += QStringLiteral(", selected:") + QString::number(selectedRows) +
                QStringLiteral(" (") + megabytesText(selectedBytes, locale) + QStringLiteral(")");
    }
    return text;
}

} // namespace varrow
