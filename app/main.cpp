// Varrow: the main window, the MP3 options dialog and the progress window,
// created in this order, then the event loop.
#include "Application.h"
#include "UnitMP3Dlg.h"
#include "UnitMain.h"
#include "UnitRipProgress.h"

int main(int argc, char* argv[]) {
    varrow::Application application(argc, argv);
    varrow::installEngineHooks();

    // The windows live on this stack frame for the whole run. The dialog is
    // the main window's child only so that it is modal over it; it is
    // destroyed first, which takes it out of the main window's children.
    TForm1 mainForm;
    TMP3Dlg mp3Dlg(&mainForm, mainForm.BaseCaption);
    mainForm.setMP3Dlg(&mp3Dlg);
    TDlg_RipProgress ripProgress(mainForm);
    mainForm.setRipProgress(&ripProgress);

    mainForm.show();
    return varrow::Application::exec();
}
