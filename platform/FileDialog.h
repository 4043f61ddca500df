#pragma once

// The file-open dialog. Every "pick files" goes through GetOpenFileNames, so a test can answer it
// through a hook instead of a window.

#include <QString>
#include <QStringList>

#include <functional>

class QWidget;

namespace platform {

struct OpenFilesRequest {
    QWidget* owner = nullptr;
    QString title;
    QString startFolder;  // empty: wherever the dialog opens by itself
    QString filter;       // Qt's filter form, "All files (*)"
    bool multiple = true; // several existing files may be picked
};

using OpenFilesHook = std::function<QStringList(const OpenFilesRequest&)>;

// Shows a modal, resizable file-open dialog and returns the full paths picked, in the order the
// dialog gives them; an empty list when the user cancels. With a hook set, the hook answers.
QStringList GetOpenFileNames(const OpenFilesRequest& request);

// Sets the hook (an empty function restores the real dialog); returns the previous one.
OpenFilesHook SetOpenFilesHook(OpenFilesHook hook);

} // namespace platform
