#include "ui/Messages.h"

#include "base/Strings.h"

#include <QFile>

namespace kestrine {

QString ToQt(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

std::string FromQt(const QString& text) {
    return text.toStdString();
}

QString PathToQt(const std::string& path) {
    return QFile::decodeName(QByteArray::fromStdString(path));
}

std::string PathFromQt(const QString& path) {
    return QFile::encodeName(path).toStdString();
}

platform::MessageAnswer ShowAppMessage(QWidget* owner, const QString& text,
                                       platform::MessageIcon icon,
                                       platform::MessageButtons buttons) {
    platform::MessageRequest request;
    request.owner = owner;
    request.text = text;
    request.caption = ToQt(strings::kAppTitle);
    request.buttons = buttons;
    request.icon = icon;
    return platform::ShowMessage(request);
}

} // namespace kestrine
