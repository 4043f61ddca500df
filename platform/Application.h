#pragma once

// The application object: a QApplication whose event dispatch catches every exception that no
// handler of the program caught and shows it in the default error box; the program keeps running.

#include <QApplication>
#include <QString>

namespace platform {

// The text of the default error box: the message, with "." appended when its last character
// sorts after "." (an empty message stays empty).
QString DefaultErrorBoxText(const QString& message);

// Shows the default error box: the text above, an error icon, the application title as caption.
void ShowDefaultErrorBox(const QString& message);

class Application : public QApplication {
    Q_OBJECT
public:
    Application(int& argc, char** argv);

    bool notify(QObject* receiver, QEvent* event) override;
};

} // namespace platform
