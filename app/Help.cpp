// SPDX-License-Identifier: GPL-3.0-or-later
#include "Help.h"

#include "Modals.h"

#include <QFileInfo>

namespace varrow {

void showHelpTopic(QWidget* owner, const QString& helpFile, const QString& topic) {
    // A folder of that name is no help file either.
    if (QFileInfo(helpFile).isFile()) {
        modals().openHelp(helpFile + topic);
        return;
    }
    MessageDlgCentered(
        owner, QStringLiteral("The help file ") + helpFile + QStringLiteral(" is not found!"),
        MsgDlgType::Error, MsgButtons::Ok);
}

} // namespace varrow
