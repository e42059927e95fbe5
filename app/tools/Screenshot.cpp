// varrow-screenshot: starts the windows as Varrow does and saves pictures of
// the main window's first two tabs, for the documentation.
//   varrow-screenshot <main-window.png> <options-tab.png>
#include "Application.h"
#include "UnitMain.h"
#include "UnitRipProgress.h"

#include <QTabWidget>
#include <QTableWidget>
#include <QTest>
#include <cstdio>

namespace {

bool save(QWidget& window, const char* path) {
    QTest::qWait(200);
    if (window.grab().save(QString::fromLocal8Bit(path)))
        return true;
    std::fprintf(stderr, "varrow-screenshot: cannot write %s\n", path);
    return false;
}

} // namespace

int main(int argc, char* argv[]) {
    varrow::Application application(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: varrow-screenshot <main-window.png> <options-tab.png>\n");
        return 2;
    }
    varrow::installEngineHooks();

    TForm1 mainForm;
    TDlg_RipProgress ripProgress(mainForm);
    mainForm.setRipProgress(&ripProgress);
    mainForm.show();
    if (!QTest::qWaitForWindowExposed(&mainForm)) {
        std::fprintf(stderr, "varrow-screenshot: the window was not shown\n");
        return 1;
    }
    // Two tracks selected, so that the status bar shows the selection.
    QTableWidget* list = mainForm.ListView1;
    for (int row = 1; row <= 2 && row < list->rowCount(); ++row)
        list->selectionModel()->select(list->model()->index(row, 0),
                                       QItemSelectionModel::Select | QItemSelectionModel::Rows);
    if (!save(mainForm, argv[1]))
        return 1;
    mainForm.PageControl1->setCurrentIndex(1);
    return save(mainForm, argv[2]) ? 0 : 1;
}
