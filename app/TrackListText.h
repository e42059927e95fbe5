// SPDX-License-Identifier: GPL-3.0-or-later
// The texts of the drive lists, the track list and the status bar, built
// from plain values so that they can be checked without a window.
#pragma once

#include <QLocale>
#include <QString>
#include <cstdint>
#include <string>

struct TTrackEntry;
struct TDiscText;

namespace varrow {

// "[index]:identification", the identification stripped of blanks and control
// characters at both ends; "[index]:wrong CD-ROM name" when nothing is left.
QString driveEntryText(int32_t index, const std::string& identification);

// The "Track" column: two digits below 10 ("01" ... "09"), plain from 10 on.
QString trackNumberText(int position);

// The "Title" column: the track's name, with "Data" in front for a data track;
// an audio track the disc gives a title (`discTitle`, CD-Text) shows that.
QString trackTitleText(const TTrackEntry& entry, const std::string& discTitle = {});

// The window's caption while no batch runs: `base`, then the disc's
// performer and album title where it has them ("Varrow - Band - Album").
QString discCaptionText(const QString& base, const TDiscText& text);

// The only type text that makes a row an audio row.
inline const QString AudioTypeText = QStringLiteral("Audio");
bool isAudioTypeText(const QString& typeText);

// Status bar panel 1.
inline const QString NoCdText = QStringLiteral("no CD");
inline const QString CdLoadedText = QStringLiteral("CD is loaded");

// Status bar panel 2: "Tracks:12", or with a selection
// "Tracks:12, selected:3 (123.45 MB)", the megabytes (of 1,000,000 bytes)
// written with two decimals and `locale`'s separators.
QString tracksStatusText(int rows, int selectedRows, int64_t selectedBytes,
                         const QLocale& locale = QLocale());

} // namespace varrow
