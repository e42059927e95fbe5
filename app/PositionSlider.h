// SPDX-License-Identifier: GPL-3.0-or-later
// The play position slider: a horizontal slider whose tick marks stand at
// chosen values (track boundaries on the disc) rather than at even steps,
// drawn above the groove.
#pragma once

#include <QList>
#include <QSlider>

class PositionSlider final : public QSlider {
public:
    explicit PositionSlider(QWidget* parent = nullptr);

    void setTicks(QList<int> values);
    const QList<int>& ticks() const { return ticks_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QList<int> ticks_;
};
