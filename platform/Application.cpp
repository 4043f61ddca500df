#include "platform/Application.h"

#include "platform/MessageBox.h"

#include <exception>

namespace platform {

QString DefaultErrorBoxText(const QString& message) {
    if (!message.isEmpty() && message.back() > QLatin1Char('.'))
        return message + QLatin1Char('.');
    return message;
}

void ShowDefaultErrorBox(const QString& message) {
    MessageRequest request;
    request.text = DefaultErrorBoxText(message);
    request.caption = QApplication::applicationDisplayName();
    request.buttons = MessageButtons::Ok;
    request.icon = MessageIcon::Error;
    ShowMessage(request);
}

Application::Application(int& argc, char** argv) : QApplication(argc, argv) {}

bool Application::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& error) {
        ShowDefaultErrorBox(QString::fromUtf8(error.what()));
    } catch (...) {
        ShowDefaultErrorBox(QStringLiteral("Unknown error"));
    }
    return false;
}

} // namespace platform
