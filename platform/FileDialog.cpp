#include "platform/FileDialog.h"

#include <QFileDialog>

#include <utility>

namespace platform {

namespace {

OpenFilesHook& Hook() {
    static OpenFilesHook hook;
    return hook;
}

} // namespace

QStringList GetOpenFileNames(const OpenFilesRequest& request) {
    if (const auto& hook = Hook())
        return hook(request);

    QFileDialog dialog(request.owner, request.title, request.startFolder, request.filter);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(request.multiple ? QFileDialog::ExistingFiles : QFileDialog::ExistingFile);
    dialog.setSizeGripEnabled(true);
    if (dialog.exec() != QDialog::Accepted)
        return {};
    return dialog.selectedFiles();
}

OpenFilesHook SetOpenFilesHook(OpenFilesHook hook) {
    return std::exchange(Hook(), std::move(hook));
}

} // namespace platform
