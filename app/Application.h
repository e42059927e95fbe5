// The application object: an exception that reaches the event loop is shown
// in an error box and the program goes on.
#pragma once

#include <QApplication>
#include <exception>

namespace varrow {

class Application final : public QApplication {
    Q_OBJECT
public:
    Application(int& argc, char** argv);

    bool notify(QObject* receiver, QEvent* event) override;
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
