#include "Application.h"

#include "CDRIP.h"
#include "Icons.h"
#include "Modals.h"

#include <chrono>

namespace varrow {

Application::Application(int& argc, char** argv)
    : QApplication(argc, argv) {
    // Every window shows the program's icon; the desktop entry of the same
    // name gives it on Wayland, where windows carry no icon of their own.
    setWindowIcon(programIcon());
    setDesktopFileName(QStringLiteral(VARROW_APP_ID));
}

bool Application::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& error) {
        reportException(error);
    } catch (...) {
        reportUnknownException();
    }
    return false;
}

void reportException(const std::exception& error) {
    MessageDlgCentered(QApplication::activeWindow(), QString::fromLocal8Bit(error.what()),
                       MsgDlgType::Error, MsgButtons::Ok);
}

void reportUnknownException() {
    MessageDlgCentered(QApplication::activeWindow(), QStringLiteral("Unknown error"),
                       MsgDlgType::Error, MsgButtons::Ok);
}

void installEngineHooks() {
    EngineHooks hooks;
    hooks.processMessages = [] {
        QCoreApplication::processEvents();
    };
    hooks.showMessage = [](const std::string& text) {
        modals().plainMessage(QString::fromStdString(text));
    };
    hooks.now = [] {
        return std::chrono::steady_clock::now();
    };
    setEngineHooks(std::move(hooks));
}

} // namespace varrow
