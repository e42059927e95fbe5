// Varrow: the main window, the MP3 options dialog and the progress window,
// then the event loop.
#include "Application.h"
#include "ProgramWindows.h"

int main(int argc, char* argv[]) {
    varrow::Application application(argc, argv);
    varrow::installEngineHooks();

    varrow::ProgramWindows windows;
    windows.mainForm.show();
    return varrow::Application::exec();
}
