// SPDX-License-Identifier: GPL-3.0-or-later
// The contents (.hhc) and index (.hhk) files of a help file: HTML lists of
// <OBJECT type="text/sitemap"> entries, each with a Name and usually a Local
// (the page, "mainwindow.htm#PlayToolBar"); a nested list holds the
// entry's children.
#pragma once

#include <QByteArray>
#include <QString>
#include <vector>

namespace varrowhelp {

struct SitemapEntry {
    QString name;
    QString local; // empty for a heading without a page of its own
    std::vector<SitemapEntry> children;
};

// Lists nested deeper than this are attached at this depth, so a damaged
// file cannot nest without end.
inline constexpr int MaxSitemapDepth = 32;

// Reads what it can: unknown tags, unbalanced lists and entries without a
// name are passed over. The text is UTF-8 where it is valid, else Latin-1.
std::vector<SitemapEntry> parseSitemap(const QByteArray& text);

} // namespace varrowhelp
