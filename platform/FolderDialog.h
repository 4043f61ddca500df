#pragma once

// The modal folder chooser. Every folder choice of the program goes through ChooseFolder, so a
// test can answer it through a hook instead of a window.

#include <QString>

#include <functional>
#include <optional>

class QWidget;

namespace platform {

struct FolderRequest {
    QWidget* owner = nullptr; // nullptr: the active window of the program, if any
    QString title;
    QString root;        // top of what is offered; empty: the whole file system
    QString startFolder; // existing folder to open in, centred on the screen; empty: none
};

using FolderDialogHook = std::function<std::optional<QString>(const FolderRequest&)>;

// Shows a modal dialog that offers folders only and returns the path of the folder picked, or
// nothing when the user cancelled. The dialog opens in the start folder (or at the root when the
// start folder lies outside it) and does not let the user leave the root. With a hook set, the
// hook answers instead. Without a GUI application nothing can be shown: nothing is returned.
std::optional<QString> ChooseFolder(const FolderRequest& request);

// Sets the hook (an empty function restores the real dialog); returns the previous one.
FolderDialogHook SetFolderDialogHook(FolderDialogHook hook);

} // namespace platform
