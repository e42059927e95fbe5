// SPDX-License-Identifier: GPL-3.0-or-later
// varrow-render-icon: renders the program's SVG icon as a square PNG of the
// given side, for the icon theme's fixed-size folders that desktops look in
// before the scalable one.
//   varrow-render-icon <icon.svg> <side> <icon.png>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QSaveFile>
#include <QSvgRenderer>
#include <cstdio>

int main(int argc, char* argv[]) {
    // A build step: nothing is shown, so no display is needed.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication application(argc, argv);
    const QStringList arguments = QGuiApplication::arguments();
    bool sideIsNumber = false;
    const int side = arguments.size() == 4 ? arguments[2].toInt(&sideIsNumber) : 0;
    if (!sideIsNumber || side <= 0 || side > 1024) {
        std::fputs("Usage: varrow-render-icon ICON.svg SIDE ICON.png (SIDE from 1 to 1024)\n",
                   stderr);
        return 2;
    }

    QSvgRenderer renderer(arguments[1]);
    if (!renderer.isValid()) {
        std::fprintf(stderr, "varrow-render-icon: %s is no SVG picture\n",
                     qPrintable(arguments[1]));
        return 1;
    }
    QImage image(side, side, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    {
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        renderer.render(&painter);
    }

    // The picture appears whole under its name or not at all, so that an
    // interrupted build does not install half an icon.
    QSaveFile file(arguments[3]);
    if (!file.open(QIODevice::WriteOnly) || !image.save(&file, "PNG") || !file.commit()) {
        std::fprintf(stderr, "varrow-render-icon: cannot write %s: %s\n", qPrintable(arguments[3]),
                     qPrintable(file.errorString()));
        return 1;
    }
    return 0;
}
