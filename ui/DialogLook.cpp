#include "ui/DialogLook.h"

#include <QFont>
#include <QPainter>
#include <QSvgRenderer>
#include <QWidget>

#include <cmath>

namespace kestrine {

void ApplyDialogFont(QWidget* dialog) {
    QFont font(QStringLiteral("Sans Serif"));
    font.setStyleHint(QFont::SansSerif);
    font.setPointSize(8);
    font.setStretch(QFont::SemiCondensed);
    dialog->setFont(font);
}

QPixmap SvgPixmap(const QString& resource, QSize size, qreal devicePixelRatio) {
    QSvgRenderer renderer(resource);
    if (!renderer.isValid() || size.isEmpty())
        return {};
    const QSize pixels(static_cast<int>(std::ceil(size.width() * devicePixelRatio)),
                       static_cast<int>(std::ceil(size.height() * devicePixelRatio)));
    QPixmap pixmap(pixels);
    pixmap.fill(Qt::transparent);
    {
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        renderer.render(&painter);
    }
    pixmap.setDevicePixelRatio(devicePixelRatio);
    return pixmap;
}

} // namespace kestrine
