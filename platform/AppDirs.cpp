#include "platform/AppDirs.h"

#include <QCoreApplication>
#include <QFile>

#include <cstdlib>

#include <pwd.h>
#include <unistd.h>

namespace platform {

namespace {

std::string WithTrailingSlash(std::string path) {
    if (path.empty() || path.back() != '/')
        path += '/';
    return path;
}

std::string HomeDir() {
    const char* home = std::getenv("HOME");
    if (home != nullptr && *home != '\0')
        return home;
    if (const passwd* entry = ::getpwuid(::getuid()); entry != nullptr && entry->pw_dir != nullptr)
        return entry->pw_dir;
    return {};
}

} // namespace

std::string ConfigHomeDir() {
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    if (xdg != nullptr && xdg[0] == '/') // a relative path is not valid there and is ignored
        return WithTrailingSlash(xdg);
    const std::string home = HomeDir();
    if (home.empty())
        return {};
    return WithTrailingSlash(home) + ".config/";
}

std::string CacheHomeDir() {
    const char* xdg = std::getenv("XDG_CACHE_HOME");
    if (xdg != nullptr && xdg[0] == '/')
        return WithTrailingSlash(xdg);
    const std::string home = HomeDir();
    if (home.empty())
        return {};
    return WithTrailingSlash(home) + ".cache/";
}

std::string ProgramDir() {
    if (QCoreApplication::instance() != nullptr)
        return WithTrailingSlash(
            QFile::encodeName(QCoreApplication::applicationDirPath()).toStdString());
    std::string path(4096, '\0');
    const ssize_t length = ::readlink("/proc/self/exe", path.data(), path.size());
    if (length <= 0 || static_cast<std::size_t>(length) >= path.size())
        return "./";
    path.resize(static_cast<std::size_t>(length));
    return path.substr(0, path.rfind('/') + 1);
}

} // namespace platform
