// SPDX-License-Identifier: GPL-3.0-or-later
#include "Application.h"

#include "CDRIP.h"
#include "Icons.h"
#include "Modals.h"

#include <QKeyEvent>
#include <algorithm>
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
        if (event->type() == QEvent::KeyPress && receiver->isWidgetType())
            return deliverKeyPress(static_cast<QWidget*>(receiver), static_cast<QKeyEvent*>(event));
        return QApplication::notify(receiver, event);
    } catch (const std::exception& error) {
        reportException(error);
    } catch (...) {
        reportUnknownException();
    }
    return false;
}

void Application::addKeyPreview(QObject* owner, KeyPreview preview) {
    auto* application = qobject_cast<Application*>(QCoreApplication::instance());
    if (application == nullptr)
        return;
    std::erase_if(application->keyPreviews_, [](const Preview& entry) { return !entry.owner; });
    application->keyPreviews_.push_back({owner, std::move(preview)});
}

bool Application::deliverKeyPress(QWidget* receiver, QKeyEvent* event) {
    if (std::find(keysInDelivery_.begin(), keysInDelivery_.end(), event) != keysInDelivery_.end())
        return QApplication::notify(receiver, event);
    keysInDelivery_.push_back(event);
    struct Delivered {
        std::vector<const QKeyEvent*>& keys;
        ~Delivered() { keys.pop_back(); }
    } delivered{keysInDelivery_};
    // A preview may add or remove previews (a window it closes or opens).
    const std::vector<Preview> previews = keyPreviews_;
    for (const Preview& preview : previews) {
        if (preview.owner)
            preview.look(receiver, *event);
    }
    return QApplication::notify(receiver, event);
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
