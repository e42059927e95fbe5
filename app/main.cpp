// SPDX-License-Identifier: GPL-3.0-or-later
// Varrow: the main window, the MP3 options dialog and the progress window,
// then the event loop.
#include "Application.h"
#include "ProgramWindows.h"

#include <cstdio>
#include <cstring>

namespace {

constexpr const char* HELP_TEXT =
    "Usage: Varrow [DISC]\n"
    "       Varrow --help | --version\n"
    "\n"
    "Varrow copies the tracks of audio CDs into files, one file per track: WAV,\n"
    "or MP3 encoded while the sectors are read. It lists the machine's CD drives\n"
    "and the disc images named in VARROW_CD_IMAGES, plays tracks through the\n"
    "drive, and extracts the tracks selected in its track list.\n"
    "\n"
    "Options:\n"
    "  --help       show this text and exit\n"
    "  --version    show the version and exit\n"
    "\n"
    "The Qt toolkit's own options (such as -platform and -style) are accepted as well.\n"
    "DISC, the disc the desktop names when it offers Varrow for an inserted audio CD\n"
    "(such as cdda://sr0), is accepted and needs no action: Varrow shows the disc in\n"
    "the first drive and lists every drive to choose from.\n"
    "\n"
    "Disc images (BIN/CUE, cdrdao TOC, NRG) work as drives: list their paths in\n"
    "VARROW_CD_IMAGES, separated by ':'; they come after the machine's drives.\n";

} // namespace

int main(int argc, char* argv[]) {
    // Answered before the application object exists, so that they work
    // without a display.
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::fputs("Varrow " VARROW_VERSION "\n", stdout);
        return 0;
    }
    if (argc == 2 && std::strcmp(argv[1], "--help") == 0) {
        std::fputs(HELP_TEXT, stdout);
        return 0;
    }

    varrow::Application application(argc, argv);
    varrow::installEngineHooks();

    varrow::ProgramWindows windows;
    windows.mainForm.show();
    return varrow::Application::exec();
}
