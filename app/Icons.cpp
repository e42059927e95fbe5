// SPDX-License-Identifier: GPL-3.0-or-later
#include "Icons.h"

#include <QPainter>
#include <QPixmap>
#include <QSvgRenderer>

// Resources of a static library are registered by hand, outside any namespace.
static void registerArtwork() {
    Q_INIT_RESOURCE(icons);
}

namespace varrow {

namespace {

QPixmap render(QSvgRenderer& renderer, QSize size, qreal scale) {
    QPixmap pixmap(size * scale);
    pixmap.fill(Qt::transparent);
    {
        QPainter painter(&pixmap);
        renderer.render(&painter);
    }
    pixmap.setDevicePixelRatio(scale);
    return pixmap;
}

} // namespace

QIcon artwork(const QString& name, QSize size) {
    static const bool registered = (registerArtwork(), true);
    Q_UNUSED(registered);
    QSvgRenderer renderer(QStringLiteral(":/icons/%1.svg").arg(name));
    if (!renderer.isValid())
        return {};
    QIcon icon;
    icon.addPixmap(render(renderer, size, 1.0));
    icon.addPixmap(render(renderer, size, 2.0));
    return icon;
}

QIcon programIcon() {
    QIcon icon;
    for (const int side : {16, 22, 24, 32, 48, 64, 128, 256}) {
        icon.addPixmap(artwork(QStringLiteral("varrow"), QSize(side, side)).pixmap(side));
    }
    return icon;
}

} // namespace varrow
