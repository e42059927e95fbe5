// SPDX-License-Identifier: GPL-3.0-or-later
// The viewer's argument: a help file path, optionally followed by "::" and
// a topic inside it ("/usr/share/varrow/Varrow.chm::/optionstab.htm#Hints").
// The "mk:@MSITStore:" and "ms-its:" prefixes other viewers use are accepted.
#pragma once

#include <QString>
#include <QUrl>

namespace varrowhelp {

struct HelpArgument {
    QString file;
    QString topic; // "/optionstab.htm#Hints"; empty for the file's start page
};

HelpArgument parseHelpArgument(const QString& argument);

// Pages are shown under this URL scheme: "chm:/optionstab.htm#Hints";
// relative links resolve against it as against any hierarchical URL.
inline constexpr char ChmScheme[] = "chm";
QUrl topicUrl(const QString& topic);
// The path inside the help file that `url` names ("/optionstab.htm"), or
// empty when it is no URL of the help file.
QString chmPathOf(const QUrl& url);

} // namespace varrowhelp
