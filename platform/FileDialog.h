#pragma once

// The file-open dialog. A test hook answers it instead of a window.

#include <QString>
#include <QStringList>

#include <functional>

class QWidget;

namespace platform {

struct OpenFileRequest {
    QWidget* owner = nullptr;
    QString title;     // empty: the dialog's own title
    QString directory; // empty: wherever the dialog opens by itself
    QString filter;    // Qt's filter text, e.g. "ffmpeg (ffmpeg)"; empty: all files
    bool multiple = false;
};

using FileDialogHook = std::function<QStringList(const OpenFileRequest&)>;

// Shows a modal file-open dialog and returns the full paths picked, in the dialog's order; an
// empty list when the user cancels.
QStringList GetOpenFileNames(const OpenFileRequest& request);

// Sets the hook (an empty function restores the real dialog); returns the previous one.
FileDialogHook SetFileDialogHook(FileDialogHook hook);

} // namespace platform
