#pragma once

// The forms' message boxes (caption "Kestrine with FFmpeg", through platform::ShowMessage) and
// the text conversions at the Qt boundary.

#include "platform/MessageBox.h"

#include <QString>

#include <exception>
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

// The text of the standard error report of a failure that reaches no handler of its own: the
// message, with "." appended when its last character sorts after ".".
std::string ErrorReportText(std::string_view message);

// Shows that report: the program's caption, an error icon and an OK button.
void ShowErrorReport(QWidget* owner, const std::exception& error);

} // namespace kestrine
