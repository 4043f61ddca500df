#pragma once

// The forms' message boxes (caption "Kestrine with FFmpeg", through platform::ShowMessage) and
// the text conversions at the Qt boundary.

#include "platform/MessageBox.h"

#include <QString>

#include <string>
#include <string_view>

class QWidget;

namespace kestrine {

// UTF-8 text to and from Qt.
QString ToQt(std::string_view text);
std::string FromQt(const QString& text);

// A path in its file-system bytes to and from Qt.
QString PathToQt(const std::string& path);
std::string PathFromQt(const QString& path);

// Shows a box with the program's caption, modal to the whole program.
platform::MessageAnswer
ShowAppMessage(QWidget* owner, const QString& text, platform::MessageIcon icon,
               platform::MessageButtons buttons = platform::MessageButtons::Ok);

} // namespace kestrine
