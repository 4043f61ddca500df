#include "platform/MessageBox.h"

#include <QApplication>
#include <QMessageBox>

#include <cstdio>
#include <utility>

namespace platform {

namespace {

MessageBoxHook& Hook() {
    static MessageBoxHook hook;
    return hook;
}

MessageAnswer CancelAnswer(MessageButtons buttons) {
    switch (buttons) {
    case MessageButtons::Ok:
        return MessageAnswer::Ok;
    case MessageButtons::OkCancel:
        return MessageAnswer::Cancel;
    case MessageButtons::YesNo:
        return MessageAnswer::No;
    }
    return MessageAnswer::Cancel;
}

QMessageBox::Icon ToQt(MessageIcon icon) {
    switch (icon) {
    case MessageIcon::None:
        return QMessageBox::NoIcon;
    case MessageIcon::Information:
        return QMessageBox::Information;
    case MessageIcon::Warning:
        return QMessageBox::Warning;
    case MessageIcon::Error:
        return QMessageBox::Critical;
    case MessageIcon::Question:
        return QMessageBox::Question;
    }
    return QMessageBox::NoIcon;
}

QMessageBox::StandardButtons ToQt(MessageButtons buttons) {
    switch (buttons) {
    case MessageButtons::Ok:
        return QMessageBox::Ok;
    case MessageButtons::OkCancel:
        return QMessageBox::Ok | QMessageBox::Cancel;
    case MessageButtons::YesNo:
        return QMessageBox::Yes | QMessageBox::No;
    }
    return QMessageBox::Ok;
}

} // namespace

MessageAnswer ShowMessage(const MessageRequest& request) {
    if (const auto& hook = Hook())
        return hook(request);

    if (qobject_cast<QApplication*>(QCoreApplication::instance()) == nullptr) {
        std::fprintf(stderr, "%s: %s\n", request.caption.toLocal8Bit().constData(),
                     request.text.toLocal8Bit().constData());
        return CancelAnswer(request.buttons);
    }

    QWidget* owner = request.owner;
    if (owner == nullptr)
        owner = QApplication::activeModalWidget() ? QApplication::activeModalWidget()
                                                  : QApplication::activeWindow();
    QMessageBox box(ToQt(request.icon), request.caption, request.text, ToQt(request.buttons),
                    owner);
    if (request.buttons == MessageButtons::YesNo)
        box.setEscapeButton(QMessageBox::No);
    switch (box.exec()) {
    case QMessageBox::Ok:
        return MessageAnswer::Ok;
    case QMessageBox::Yes:
        return MessageAnswer::Yes;
    case QMessageBox::No:
        return MessageAnswer::No;
    default:
        return CancelAnswer(request.buttons);
    }
}

MessageBoxHook SetMessageBoxHook(MessageBoxHook hook) {
    return std::exchange(Hook(), std::move(hook));
}

} // namespace platform
