// SPDX-License-Identifier: GPL-3.0-or-later
// The program's windows, created in the order the program starts them: the
// main window (its creation handler runs now), the MP3 options dialog, then
// the progress window, and then the options are loaded from the settings
// file. From then on SIGTERM and SIGHUP close the main window as its close
// box does, without asking. The program, the screenshot tool and the tests
// all start the windows through this one type.
#pragma once

#include "TerminationSignals.h"
#include "UnitMP3Dlg.h"
#include "UnitMain.h"
#include "UnitRipProgress.h"

#include <QtGlobal>
#include <memory>

namespace varrow {

struct ProgramWindows final {
    ProgramWindows();
    Q_DISABLE_COPY_MOVE(ProgramWindows)

    TForm1 mainForm;
    // The main window's child only so that it is modal over it; members go
    // in reverse order, so it is destroyed before the main window.
    TMP3Dlg mp3Dlg;
    TDlg_RipProgress ripProgress;
    // Set up once the options are loaded: a signal that comes earlier ends
    // the program before there is anything to save, and so cannot save the
    // defaults over the user's file.
    std::unique_ptr<TerminationSignals> terminationSignals;
};

} // namespace varrow
