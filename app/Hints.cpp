// SPDX-License-Identifier: GPL-3.0-or-later
#include "Hints.h"

#include <QApplication>
#include <QEvent>
#include <QPointer>
#include <QToolTip>
#include <QWidget>

namespace varrow {

namespace {

constexpr const char* HintsOffProperty = "varrowHintsOff";
constexpr const char* HintAlwaysProperty = "varrowHintAlwaysShown";

class HintFilter final : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::ToolTip || !watched->isWidgetType())
            return false;
        if (hintShown(static_cast<QWidget*>(watched)))
            return false;
        QToolTip::hideText();
        return true;
    }
};

void installFilterOnce() {
    static QPointer<HintFilter> filter;
    if (filter == nullptr) {
        filter = new HintFilter(qApp);
        qApp->installEventFilter(filter);
    }
}

} // namespace

void setWindowHints(QWidget* window, bool shown) {
    installFilterOnce();
    window->setProperty(HintsOffProperty, !shown);
}

bool windowHints(const QWidget* window) {
    return !window->property(HintsOffProperty).toBool();
}

void setHintAlwaysShown(QWidget* widget) {
    widget->setProperty(HintAlwaysProperty, true);
}

bool hintShown(const QWidget* widget) {
    return widget->property(HintAlwaysProperty).toBool() || windowHints(widget->window());
}

void setHintDuration(QWidget* window, int milliseconds) {
    window->setToolTipDuration(milliseconds);
    for (QWidget* child : window->findChildren<QWidget*>())
        child->setToolTipDuration(milliseconds);
}

} // namespace varrow
