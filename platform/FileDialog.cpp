#include "platform/FileDialog.h"

#include <QFileDialog>

#include <utility>

namespace platform {

namespace {

FileDialogHook& Hook() {
    static FileDialogHook hook;
    return hook;
}

} // namespace

QStringList GetOpenFileNames(const OpenFileRequest& request) {
    if (const auto& hook = Hook())
        return hook(request);
    if (request.multiple)
        return QFileDialog::getOpenFileNames(request.owner, request.title, request.directory,
                                             request.filter);
    const QString file = QFileDialog::getOpenFileName(request.owner, request.title,
                                                      request.directory, request.filter);
    return file.isEmpty() ? QStringList{} : QStringList{file};
}

FileDialogHook SetFileDialogHook(FileDialogHook hook) {
    return std::exchange(Hook(), std::move(hook));
}

} // namespace platform
