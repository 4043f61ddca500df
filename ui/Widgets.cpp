#include "ui/Widgets.h"

#include <QEnterEvent>
#include <QMouseEvent>

namespace kestrine {

TClickLabel::TClickLabel(QWidget* parent) : QLabel(parent) {}

void TClickLabel::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton)
        pressed = true;
    QLabel::mousePressEvent(event);
}

void TClickLabel::mouseReleaseEvent(QMouseEvent* event) {
    const bool click = pressed && event->button() == Qt::LeftButton &&
                       rect().contains(event->position().toPoint());
    if (event->button() == Qt::LeftButton)
        pressed = false;
    QLabel::mouseReleaseEvent(event);
    if (click)
        emit clicked();
}

TFlatPanel::TFlatPanel(QWidget* parent) : TClickLabel(parent) {
    setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    setTextFormat(Qt::PlainText);
    setAttribute(Qt::WA_Hover);
}

TShiftImage::TShiftImage(QWidget* parent) : TClickLabel(parent) {
    setAlignment(Qt::AlignCenter);
}

void TShiftImage::SetPictures(const QPixmap& noFocused, const QPixmap& focused) {
    noFocusedPicture = noFocused;
    focusedPicture = focused;
    setPixmap(underMouse() && isEnabled() ? focusedPicture : noFocusedPicture);
}

void TShiftImage::enterEvent(QEnterEvent* event) {
    if (isEnabled() && !focusedPicture.isNull())
        setPixmap(focusedPicture);
    TClickLabel::enterEvent(event);
}

void TShiftImage::leaveEvent(QEvent* event) {
    if (isEnabled() && !noFocusedPicture.isNull())
        setPixmap(noFocusedPicture);
    TClickLabel::leaveEvent(event);
}

void TShiftImage::mousePressEvent(QMouseEvent* event) {
    Shift(true);
    TClickLabel::mousePressEvent(event);
}

void TShiftImage::mouseReleaseEvent(QMouseEvent* event) {
    // Back in place once the last held button is let go.
    if (event->buttons() == Qt::NoButton)
        Shift(false);
    TClickLabel::mouseReleaseEvent(event);
}

void TShiftImage::Shift(bool down) {
    if (shifted == down)
        return;
    shifted = down;
    const int step = down ? 2 : -2;
    move(x() + step, y() + step);
}

} // namespace kestrine
