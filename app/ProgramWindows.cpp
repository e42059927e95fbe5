// SPDX-License-Identifier: GPL-3.0-or-later
#include "ProgramWindows.h"

#include "Application.h"

namespace varrow {

ProgramWindows::ProgramWindows()
    : mp3Dlg(&mainForm, mainForm.baseCaption())
    , ripProgress(mainForm, mainForm.baseCaption(), mainForm.helpFile()) {
    mainForm.setMP3Dlg(&mp3Dlg);
    mainForm.setRipProgress(&ripProgress);
    runHandler([this] { mainForm.LoadOptions(); });
    terminationSignals = std::make_unique<TerminationSignals>();
    QObject::connect(terminationSignals.get(), &TerminationSignals::received, &mainForm,
                     [this] { runHandler([this] { mainForm.closeWithoutAsking(); }); });
}

} // namespace varrow
