#pragma once

// Opening a folder in the file manager or a web page in the browser, as the desktop chooses.
// A test hook records the requests instead of opening anything.

#include <QString>

#include <functional>

namespace platform {

enum class ShellTarget { Folder, Url };

using ShellHook = std::function<void(ShellTarget target, const QString& location)>;

// Opens a local folder. A failure reports nothing.
void OpenFolder(const QString& path);

// Opens a web address in the default browser. A failure reports nothing.
void OpenUrl(const QString& url);

// Sets the hook (an empty function restores the desktop); returns the previous one.
ShellHook SetShellHook(ShellHook hook);

} // namespace platform
