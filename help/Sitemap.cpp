// SPDX-License-Identifier: GPL-3.0-or-later
#include "Sitemap.h"

#include <QHash>
#include <QStringDecoder>
#include <optional>

namespace varrowhelp {

namespace {

struct Tag {
    QString name;                       // lower case, "/ul" for a closing tag
    QHash<QString, QString> attributes; // names in lower case
};

QString decodeText(const QByteArray& bytes) {
    QStringDecoder utf8(QStringDecoder::Utf8);
    const QString text = utf8(bytes);
    if (!utf8.hasError())
        return text;
    return QString::fromLatin1(bytes);
}

QString decodeEntities(const QString& value) {
    if (!value.contains(QLatin1Char('&')))
        return value;
    static const QHash<QString, QChar> named = {
        {QStringLiteral("amp"), QLatin1Char('&')},   {QStringLiteral("lt"), QLatin1Char('<')},
        {QStringLiteral("gt"), QLatin1Char('>')},    {QStringLiteral("quot"), QLatin1Char('"')},
        {QStringLiteral("apos"), QLatin1Char('\'')}, {QStringLiteral("nbsp"), QChar(0xA0)}};
    QString result;
    qsizetype at = 0;
    while (at < value.size()) {
        const qsizetype end = value.indexOf(QLatin1Char(';'), at);
        if (value[at] != QLatin1Char('&') || end < 0 || end - at > 10) {
            result += value[at++];
            continue;
        }
        const QString entity = value.mid(at + 1, end - at - 1);
        std::optional<char32_t> code;
        bool ok = false;
        if (entity.startsWith(QLatin1String("#x")) || entity.startsWith(QLatin1String("#X")))
            code = entity.mid(2).toUInt(&ok, 16);
        else if (entity.startsWith(QLatin1Char('#')))
            code = entity.mid(1).toUInt(&ok, 10);
        else if (named.contains(entity.toLower()))
            code = named.value(entity.toLower()).unicode(), ok = true;
        if (!ok || !code || *code == 0 || *code > 0x10FFFF) {
            result += value[at++];
            continue;
        }
        result += QString::fromUcs4(&*code, 1);
        at = end + 1;
    }
    return result;
}

// Reads the tag that starts at text[at] == '<' and moves `at` past it.
// Comments and declarations come back as a tag without a name.
Tag readTag(const QString& text, qsizetype& at) {
    Tag tag;
    if (text.mid(at, 4) == QLatin1String("<!--")) {
        const qsizetype end = text.indexOf(QLatin1String("-->"), at + 4);
        at = end < 0 ? text.size() : end + 3;
        return tag;
    }
    ++at;
    const auto skipBlanks = [&] {
        while (at < text.size() && text[at].isSpace())
            ++at;
    };
    const auto readName = [&] {
        const qsizetype start = at;
        while (at < text.size() && !text[at].isSpace() && text[at] != QLatin1Char('>') &&
               text[at] != QLatin1Char('=') && !(text[at] == QLatin1Char('/') && at > start))
            ++at;
        return text.mid(start, at - start).toLower();
    };
    skipBlanks();
    tag.name = readName();
    if (tag.name.startsWith(QLatin1Char('!')) || tag.name.startsWith(QLatin1Char('?')))
        tag.name.clear();
    while (at < text.size() && text[at] != QLatin1Char('>')) {
        skipBlanks();
        if (at < text.size() && text[at] == QLatin1Char('/')) {
            ++at;
            continue;
        }
        const QString name = readName();
        if (name.isEmpty()) {
            if (at < text.size() && text[at] != QLatin1Char('>'))
                ++at;
            continue;
        }
        skipBlanks();
        QString value;
        if (at < text.size() && text[at] == QLatin1Char('=')) {
            ++at;
            skipBlanks();
            if (at < text.size() &&
                (text[at] == QLatin1Char('"') || text[at] == QLatin1Char('\''))) {
                const QChar quote = text[at++];
                const qsizetype end = text.indexOf(quote, at);
                const qsizetype stop = end < 0 ? text.size() : end;
                value = text.mid(at, stop - at);
                at = end < 0 ? text.size() : end + 1;
            } else {
                const qsizetype start = at;
                while (at < text.size() && !text[at].isSpace() && text[at] != QLatin1Char('>'))
                    ++at;
                value = text.mid(start, at - start);
            }
        }
        tag.attributes.insert(name, decodeEntities(value));
    }
    if (at < text.size())
        ++at;
    return tag;
}

} // namespace

std::vector<SitemapEntry> parseSitemap(const QByteArray& bytes) {
    const QString text = decodeText(bytes);
    std::vector<SitemapEntry> top;
    // One element per open list, innermost last: the list its entries join.
    // A list opened after an entry holds that entry's children; one opened
    // with no entry before it, or too deep, joins the list around it. Only
    // the innermost list grows, so the pointers to the outer ones stay valid.
    std::vector<std::vector<SitemapEntry>*> open;
    std::optional<SitemapEntry> entry;

    const auto currentList = [&]() -> std::vector<SitemapEntry>& {
        return open.empty() ? top : *open.back();
    };

    qsizetype at = 0;
    while (at < text.size()) {
        const qsizetype start = text.indexOf(QLatin1Char('<'), at);
        if (start < 0)
            break;
        at = start;
        const Tag tag = readTag(text, at);
        if (tag.name == QLatin1String("ul")) {
            std::vector<SitemapEntry>& list = currentList();
            const bool nests = !open.empty() && !list.empty() && open.size() < MaxSitemapDepth;
            open.push_back(nests ? &list.back().children : &list);
        } else if (tag.name == QLatin1String("/ul")) {
            if (!open.empty())
                open.pop_back();
        } else if (tag.name == QLatin1String("object")) {
            if (tag.attributes.value(QStringLiteral("type"))
                    .compare(QLatin1String("text/sitemap"), Qt::CaseInsensitive) == 0)
                entry.emplace();
        } else if (tag.name == QLatin1String("param") && entry) {
            const QString name = tag.attributes.value(QStringLiteral("name")).toLower();
            const QString value = tag.attributes.value(QStringLiteral("value"));
            // Index entries may name several pages; the first is the one shown.
            if (name == QLatin1String("name") && entry->name.isEmpty())
                entry->name = value.trimmed();
            else if (name == QLatin1String("local") && entry->local.isEmpty())
                entry->local = value.trimmed();
        } else if (tag.name == QLatin1String("/object") && entry) {
            if (!entry->name.isEmpty())
                currentList().push_back(std::move(*entry));
            entry.reset();
        }
    }
    return top;
}

} // namespace varrowhelp
