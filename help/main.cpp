// varrow-help: shows a compiled HTML help file at a topic.
//   varrow-help /usr/share/varrow/Varrow.chm::/optionstab.htm
#include "HelpTopic.h"
#include "HelpViewer.h"

#include <QApplication>
#include <QMessageBox>
#include <cstdio>

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("varrow-help"));
    const QStringList arguments = QApplication::arguments();
    if (arguments.size() != 2) {
        std::fputs("Usage: varrow-help HELPFILE[::/TOPIC.htm[#ANCHOR]]\n", stderr);
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
