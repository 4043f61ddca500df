#pragma once

// What the small dialogs share in their looks: the font and the pictures drawn from SVG.

#include <QPixmap>
#include <QSize>
#include <QString>

class QWidget;

namespace kestrine {

// The dialogs' font: the system's sans-serif at 8 points, in its narrower cut where there is one.
void ApplyDialogFont(QWidget* dialog);

// Renders an SVG resource at the given size in device-independent pixels, sharp on a screen of
// the given pixel ratio. A resource that cannot be read gives a null pixmap.
QPixmap SvgPixmap(const QString& resource, QSize size, qreal devicePixelRatio = 1.0);

} // namespace kestrine
