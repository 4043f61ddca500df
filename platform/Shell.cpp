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

bool Open(const ShellRequest& request) {
    if (const auto& hook = Hook())
        return hook(request);
    const QUrl url = request.kind == ShellTarget::Folder ? QUrl::fromLocalFile(request.target)
                                                         : QUrl(request.target);
    return QDesktopServices::openUrl(url);
}

} // namespace

bool OpenFolder(const QString& folder) {
    return Open({ShellTarget::Folder, folder});
}

bool OpenUrl(const QString& url) {
    return Open({ShellTarget::Url, url});
}

ShellHook SetShellHook(ShellHook hook) {
    return std::exchange(Hook(), std::move(hook));
}

} // namespace platform
