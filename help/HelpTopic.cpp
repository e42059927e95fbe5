// SPDX-License-Identifier: GPL-3.0-or-later
#include "HelpTopic.h"

#include "ChmFile.h"

namespace varrowhelp {

HelpArgument parseHelpArgument(const QString& argument) {
    QString text = argument.trimmed();
    for (const QLatin1String prefix : {QLatin1String("mk:@MSITStore:"), QLatin1String("ms-its:")}) {
        if (text.startsWith(prefix, Qt::CaseInsensitive)) {
            text.remove(0, prefix.size());
            break;
        }
    }
    const qsizetype separator = text.indexOf(QLatin1String("::"));
    if (separator < 0)
        return {text, {}};
    return {text.left(separator), absoluteChmPath(text.mid(separator + 2).trimmed())};
}

QUrl topicUrl(const QString& topic) {
    QUrl url;
    url.setScheme(QString::fromLatin1(ChmScheme));
    const QString absolute = absoluteChmPath(topic);
    const qsizetype hash = absolute.indexOf(QLatin1Char('#'));
    url.setPath(hash < 0 ? absolute : absolute.left(hash), QUrl::DecodedMode);
    if (hash >= 0)
        url.setFragment(absolute.mid(hash + 1), QUrl::DecodedMode);
    return url;
}

QString chmPathOf(const QUrl& url) {
    if (url.scheme() != QLatin1String(ChmScheme))
        return {};
    return url.path(QUrl::FullyDecoded);
}

} // namespace varrowhelp
