#include "platform/Shell.h"

#include <QDesktopServices>
#include <QUrl>

#include <utility>

namespace platform {

namespace {

ShellHook& Hook() {
    static ShellHook hook;
    return hook;
}

} // namespace

void OpenFolder(const QString& path) {
    if (const auto& hook = Hook()) {
        hook(ShellTarget::Folder, path);
        return;
    }
    QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}

void OpenUrl(const QString& url) {
    if (const auto& hook = Hook()) {
        hook(ShellTarget::Url, url);
        return;
    }
    QDesktopServices::openUrl(QUrl(url));
}

ShellHook SetShellHook(ShellHook hook) {
    return std::exchange(Hook(), std::move(hook));
}

} // namespace platform
