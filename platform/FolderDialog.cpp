#include "platform/FolderDialog.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QScreen>
#include <QUrl>

#include <utility>

namespace platform {

namespace {

FolderDialogHook& Hook() {
    static FolderDialogHook hook;
    return hook;
}

// Qt's own folder dialog (not the desktop's), which can be kept under a root and placed.
class FolderDialog : public QFileDialog {
public:
    FolderDialog(QWidget* owner, const QString& title, const QString& rootFolder, bool centre)
        : QFileDialog(owner, title),
          root(rootFolder.isEmpty() ? QString() : QDir::cleanPath(rootFolder)),
          centreOnScreen(centre) {
        setFileMode(QFileDialog::Directory);
        setOptions(QFileDialog::ShowDirsOnly | QFileDialog::DontUseNativeDialog);
        if (!root.isEmpty()) {
            setSidebarUrls({QUrl::fromLocalFile(root)});
            connect(this, &QFileDialog::directoryEntered, this, [this](const QString& dir) {
                if (!Inside(dir))
                    setDirectory(root);
            });
        }
    }

    bool Inside(const QString& path) const {
        if (root.isEmpty() || root == QLatin1String("/"))
            return true;
        const QString clean = QDir::cleanPath(path);
        return clean == root || clean.startsWith(root + QLatin1Char('/'));
    }

    void accept() override {
        if (!Inside(selectedFiles().value(0))) {
            setDirectory(root);
            return;
        }
        QFileDialog::accept();
    }

protected:
    void showEvent(QShowEvent* event) override {
        QFileDialog::showEvent(event);
        if (!centreOnScreen)
            return;
        if (const QScreen* s = screen()) {
            QRect frame = frameGeometry();
            frame.moveCenter(s->geometry().center());
            move(frame.topLeft());
        }
    }

private:
    QString root;
    bool centreOnScreen;
};

} // namespace

std::optional<QString> ChooseFolder(const FolderRequest& request) {
    if (const auto& hook = Hook())
        return hook(request);
    if (qobject_cast<QApplication*>(QCoreApplication::instance()) == nullptr)
        return std::nullopt;

    QWidget* owner = request.owner;
    if (owner == nullptr)
        owner = QApplication::activeModalWidget() ? QApplication::activeModalWidget()
                                                  : QApplication::activeWindow();
    FolderDialog dialog(owner, request.title, request.root, !request.startFolder.isEmpty());
    if (!request.startFolder.isEmpty() && dialog.Inside(request.startFolder))
        dialog.setDirectory(request.startFolder);
    else if (!request.root.isEmpty())
        dialog.setDirectory(request.root);
    dialog.setWindowModality(Qt::ApplicationModal);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    const QString picked = dialog.selectedFiles().value(0);
    if (picked.isEmpty())
        return std::nullopt;
    return picked;
}

FolderDialogHook SetFolderDialogHook(FolderDialogHook hook) {
    return std::exchange(Hook(), std::move(hook));
}

} // namespace platform
