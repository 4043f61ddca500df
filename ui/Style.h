#pragma once

// The forms' common dress: the font, the style sheet and the pictures, all from the program's
// embedded resources.

#include <QFont>
#include <QPixmap>
#include <QSize>
#include <QString>

class QWidget;

namespace kestrine {

// The forms' font: the system's sans-serif at 8 points, in its narrower cut where there is one,
// so the texts keep to the places the forms give them.
QFont FormFont();

// The style sheet of every form (Kestrine.qss).
QString FormStyleSheet();

// Gives a form its font and style sheet; its children inherit both.
void DressForm(QWidget* form);

// One of the embedded pictures (":/images/<name>.svg") drawn at the given size, sharp on the
// screen the program runs on.
QPixmap Picture(const QString& name, QSize size);

} // namespace kestrine
