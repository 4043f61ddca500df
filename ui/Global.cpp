#include "ui/Global.h"

#include "platform/AppDirs.h"
#include "platform/FolderDialog.h"

#include <QFile>

#include <filesystem>
#include <system_error>

namespace kestrine {

std::string GetAppDataDir() {
    return platform::ConfigHomeDir();
}

bool DirectoryExists(const std::string& path) {
    std::error_code error;
    return !path.empty() && std::filesystem::is_directory(path, error);
}

bool ForceDirectories(const std::string& path) {
    if (path.empty())
        return false;
    std::error_code error;
    std::filesystem::create_directories(path, error);
    return DirectoryExists(path);
}

bool BrowseForFolder(const std::string& title, const std::string& root, std::string& folder) {
    if (!DirectoryExists(folder))
        folder.clear();
    platform::FolderRequest request;
    request.title = QString::fromStdString(title);
    request.root = QFile::decodeName(QByteArray::fromStdString(root));
    request.startFolder = QFile::decodeName(QByteArray::fromStdString(folder));
    const auto picked = platform::ChooseFolder(request);
    if (!picked)
        return false;
    folder = QFile::encodeName(*picked).toStdString();
    return true;
}

} // namespace kestrine
