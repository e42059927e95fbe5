// SPDX-License-Identifier: GPL-3.0-or-later
// varrow-help: shows a compiled HTML help file at a topic.
//   varrow-help /usr/share/varrow/Varrow.chm::/optionstab.htm
#include "HelpTopic.h"
#include "HelpViewer.h"

#include <QApplication>
#include <QMessageBox>
#include <cstdio>
#include <cstring>

namespace {

constexpr const char* USAGE = "Usage: varrow-help HELPFILE[::/TOPIC.htm[#ANCHOR]]\n"
                              "       varrow-help --help | --version\n";

constexpr const char* HELP_TEXT =
    "\n"
    "varrow-help shows a compiled HTML help file (CHM): its contents and index\n"
    "beside the page of the topic named after \"::\", or the file's start page.\n"
    "Varrow starts it when F1 or a Help button is pressed.\n"
    "\n"
    "Options:\n"
    "  --help       show this text and exit\n"
    "  --version    show the version and exit\n"
    "\n"
    "The Qt toolkit's own options (such as -platform and -style) are accepted as well.\n";

} // namespace

int main(int argc, char* argv[]) {
    // Answered before the application object exists, so that they work
    // without a display.
    if (argc < 2) {
        std::fputs(USAGE, stderr);
        return 2;
    }
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::fputs("varrow-help " VARROW_VERSION "\n", stdout);
        return 0;
    }
    if (argc == 2 && std::strcmp(argv[1], "--help") == 0) {
        std::fputs(USAGE, stdout);
        std::fputs(HELP_TEXT, stdout);
        return 0;
    }

    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("varrow-help"));
    const QStringList arguments = QApplication::arguments();
    if (arguments.size() != 2) {
        std::fputs(USAGE, stderr);
        return 2;
    }
    const varrowhelp::HelpArgument argument = varrowhelp::parseHelpArgument(arguments[1]);
    varrowhelp::HelpViewer viewer;
    if (const QString error = viewer.openFile(argument.file); !error.isEmpty()) {
        QMessageBox::critical(nullptr, QStringLiteral("Help"), error);
        return 1;
    }
    viewer.showTopic(argument.topic);
    viewer.show();
    return QApplication::exec();
}
