// Varrow: the main window, then the progress window, then the event loop.
#include "Application.h"
#include "UnitMain.h"
#include "UnitRipProgress.h"

int main(int argc, char* argv[]) {
    varrow::Application application(argc, argv);
    varrow::installEngineHooks();

    TForm1 mainForm;
    TDlg_RipProgress ripProgress(mainForm);
    mainForm.setRipProgress(&ripProgress);

    mainForm.show();
    return varrow::Application::exec();
}
