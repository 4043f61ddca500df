#pragma once

// Opening a folder in the desktop's file manager or a page in the default web browser. Both go
// through one hook so a test can record them instead of starting another program.

#include <QString>

#include <functional>

namespace platform {

enum class ShellTarget { Folder, Url };

struct ShellRequest {
    ShellTarget kind = ShellTarget::Folder;
    QString target; // a folder path or a web address
};

// Returns whether the desktop took the request; callers are free to ignore it.
using ShellHook = std::function<bool(const ShellRequest&)>;

bool OpenFolder(const QString& folder);
bool OpenUrl(const QString& url);

// Sets the hook (an empty function restores the desktop); returns the previous one.
ShellHook SetShellHook(ShellHook hook);

} // namespace platform
