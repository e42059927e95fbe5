// SPDX-License-Identifier: GPL-3.0-or-later
// The application object: an exception that reaches the event loop is shown
// in an error box and the program goes on; windows may look at every key
// press before its receiver does.
#pragma once

#include <QApplication>
#include <QPointer>
#include <exception>
#include <functional>
#include <vector>

class QKeyEvent;

namespace varrow {

class Application final : public QApplication {
    Q_OBJECT
public:
    Application(int& argc, char** argv);

    bool notify(QObject* receiver, QEvent* event) override;

    // Shows `preview` every key press sent to a widget, once, before the
    // widget and its parents see it, for as long as `owner` lives. A key
    // that its receiver leaves alone goes on to the receiver's parents
    // within the same delivery: the preview does not see it again there,
    // however long the receivers take (a shortcut may run a whole batch
    // with its own event loops before the parents get the key). Without
    // the program's application object (a tool, a test of its own) there
    // is no preview.
    using KeyPreview = std::function<void(QWidget* receiver, const QKeyEvent& event)>;
    static void addKeyPreview(QObject* owner, KeyPreview preview);

private:
    bool deliverKeyPress(QWidget* receiver, QKeyEvent* event);

    struct Preview {
        QPointer<QObject> owner;
        KeyPreview look;
    };
    std::vector<Preview> keyPreviews_;
    // The key presses on their way, outermost first: a key press that a
    // receiver hands on with the same event is no new press.
    std::vector<const QKeyEvent*> keysInDelivery_;
};

// The error box for an exception that no handler dealt with, centred over the
// active window.
void reportException(const std::exception& error);
void reportUnknownException();

// Runs an event handler of the program. An exception it throws is reported
// here, like one that reaches the event loop: unwinding through Qt's own
// frames is not supported, so every handler Qt calls goes through this.
template <typename Handler> void runHandler(Handler&& handler) noexcept {
    try {
        handler();
    } catch (const std::exception& error) {
        reportException(error);
    } catch (...) {
        reportUnknownException();
    }
}

// A slot that runs `member` of `object` as an event handler, through
// runHandler.
template <typename Object> auto handlerCalling(Object* object, void (Object::*member)()) {
    return [object, member] {
        runHandler([object, member] { (object->*member)(); });
    };
}

// Connects the engine to this application: pending input is processed
// between chunks, its plain messages go through the modal seam, and its clock
// is the steady clock.
void installEngineHooks();

} // namespace varrow
