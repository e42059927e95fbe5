// SPDX-License-Identifier: GPL-3.0-or-later
// The program's artwork, SVG files compiled in as resources (:/icons/...).
#pragma once

#include <QIcon>
#include <QSize>
#include <QString>

namespace varrow {

inline constexpr QSize PlayButtonImageSize{16, 16};
inline constexpr QSize ExtractButtonImageSize{32, 16};
inline constexpr QSize TrackStateImageSize{16, 16};

// The icon of resource `name` ("play", "rip-mp3", "track-audio", ...),
// rendered at `size` and at twice that for dense screens. A name without a
// resource gives a null icon.
QIcon artwork(const QString& name, QSize size);

// The program's own icon (the "varrow" artwork, also installed in the icon
// theme), at the sizes window managers and task bars ask for.
QIcon programIcon();

} // namespace varrow
