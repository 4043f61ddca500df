#include "ui/Style.h"

#include <QFile>
#include <QGuiApplication>
#include <QPainter>
#include <QSvgRenderer>
#include <QWidget>

// The resources live in this static library; nothing would pull them in otherwise.
static void InitKestrineResources() {
    Q_INIT_RESOURCE(resources);
}

namespace kestrine {

namespace {

void EnsureResources() {
    static const bool done = (InitKestrineResources(), true);
    (void)done;
}

} // namespace

QFont FormFont() {
    QFont font(QStringLiteral("Sans Serif"));
    font.setStyleHint(QFont::SansSerif);
    font.setPointSize(8);
    font.setStretch(QFont::SemiCondensed);
    return font;
}

QString FormStyleSheet() {
    EnsureResources();
    QFile file(QStringLiteral(":/Kestrine.qss"));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll());
}

void DressForm(QWidget* form) {
    form->setFont(FormFont());
    form->setStyleSheet(FormStyleSheet());
}

QPixmap Picture(const QString& name, QSize size) {
    EnsureResources();
    const qreal ratio = qGuiApp != nullptr ? qGuiApp->devicePixelRatio() : 1.0;
    QPixmap pixmap(size * ratio);
    pixmap.fill(Qt::transparent);
    QSvgRenderer renderer(QStringLiteral(":/images/%1.svg").arg(name));
    if (renderer.isValid()) {
        QPainter painter(&pixmap);
        renderer.render(&painter);
    }
    pixmap.setDevicePixelRatio(ratio);
    return pixmap;
}

} // namespace kestrine
