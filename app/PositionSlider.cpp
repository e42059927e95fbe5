// SPDX-License-Identifier: GPL-3.0-or-later
#include "PositionSlider.h"

#include <QPainter>
#include <QStyle>
#include <QStyleOptionSlider>

namespace {

constexpr int TickLength = 4;

} // namespace

PositionSlider::PositionSlider(QWidget* parent)
    : QSlider(Qt::Horizontal, parent) {
    // The room above the groove stays reserved for the ticks drawn here.
    setTickPosition(QSlider::TicksAbove);
}

void PositionSlider::setTicks(QList<int> values) {
    ticks_ = std::move(values);
    update();
}

void PositionSlider::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(this);
    QStyleOptionSlider option;
    initStyleOption(&option);
    // The style would draw evenly spaced ticks; only groove and thumb here.
    option.subControls = QStyle::SC_SliderGroove | QStyle::SC_SliderHandle;
    style()->drawComplexControl(QStyle::CC_Slider, &option, &painter, this);

    if (ticks_.isEmpty() || maximum() <= minimum())
        return;
    const QRect groove =
        style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderGroove, this);
    const QRect handle =
        style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, this);
    // Values map onto the span the thumb's centre travels.
    const int span = groove.width() - handle.width();
    const int left = groove.left() + handle.width() / 2;
    painter.setPen(palette().color(QPalette::WindowText));
    for (const int value : ticks_) {
        if (value < minimum() || value > maximum())
            continue;
        const int x = left + QStyle::sliderPositionFromValue(minimum(), maximum(), value, span);
        painter.drawLine(x, groove.top() - 1 - TickLength, x, groove.top() - 2);
    }
}
