#include "platform/FileInUse.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

bool FileExists(const std::string& path) {
    struct stat info {};
    return !path.empty() && stat(path.c_str(), &info) == 0 && !S_ISDIR(info.st_mode);
}

bool IsFileInUse(const std::string& path) {
    struct stat info {};
    if (path.empty() || stat(path.c_str(), &info) != 0 || S_ISDIR(info.st_mode))
        return false;
    if ((info.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0)
        return true;

    const int fd = open(path.c_str(), O_RDWR | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0)
        return true;
    // A write lease is granted only while no other descriptor anywhere has the file open.
    // Where leases are not offered (some file systems, a file of another user) this cannot be
    // told and the file counts as free.
    bool inUse = false;
    if (fcntl(fd, F_SETLEASE, F_WRLCK) == 0)
        fcntl(fd, F_SETLEASE, F_UNLCK);
    else
        inUse = errno == EAGAIN || errno == EBUSY;
    close(fd);
    return inUse;
}

bool IsSameFile(const std::string& a, const std::string& b) {
    if (a == b)
        return true;
    struct stat first {};
    struct stat second {};
    return stat(a.c_str(), &first) == 0 && stat(b.c_str(), &second) == 0 &&
           first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

} // namespace platform
