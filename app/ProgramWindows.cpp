#include "ProgramWindows.h"

#include "Application.h"

namespace varrow {

ProgramWindows::ProgramWindows()
    : mp3Dlg(&mainForm, mainForm.BaseCaption)
    , ripProgress(mainForm, mainForm.BaseCaption, mainForm.HelpFile) {
    mainForm.setMP3Dlg(&mp3Dlg);
    mainForm.setRipProgress(&ripProgress);
    runHandler([this] { mainForm.LoadOptions(); });
}

} // namespace varrow
