// SPDX-License-Identifier: GPL-3.0-or-later
// The help file: every window opens its own topic the same way, and says so
// over itself when the file is missing.
#pragma once

#include <QString>

class QWidget;

namespace varrow {

// Starts the help viewer on `helpFile` + `topic` when the help file exists;
// otherwise the error "The help file <path> is not found!" is shown over
// `owner`.
void showHelpTopic(QWidget* owner, const QString& helpFile, const QString& topic);

} // namespace varrow
