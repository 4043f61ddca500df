#pragma once

// The small widgets the forms are made of beyond Qt's own: a clickable label, the flat profile
// panel and the picture that swaps under the mouse. They are dressed by the style sheet.

#include <QLabel>
#include <QPixmap>

namespace kestrine {

// A label that reports a click of the left button released over it.
class TClickLabel : public QLabel {
    Q_OBJECT
public:
    explicit TClickLabel(QWidget* parent = nullptr);

signals:
    void clicked();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    bool pressed = false;
};

// A flat panel that shows one line of text in a thin frame and reports clicks.
class TFlatPanel : public TClickLabel {
    Q_OBJECT
public:
    explicit TFlatPanel(QWidget* parent = nullptr);
};

// A picture that shows FocusedPicture while the mouse is over it and NoFocusedPicture after the
// mouse has left, both only while it is enabled. While a mouse button is held down on it, it sits
// 2 pixels right and 2 pixels down, so it looks pressed.
class TShiftImage : public TClickLabel {
    Q_OBJECT
public:
    explicit TShiftImage(QWidget* parent = nullptr);

    void SetPictures(const QPixmap& noFocused, const QPixmap& focused);
    bool IsShifted() const { return shifted; }

protected:
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void Shift(bool down);

    QPixmap focusedPicture;
    QPixmap noFocusedPicture;
    bool shifted = false;
};

} // namespace kestrine
