#pragma once

// Helpers of the fault tests: the processes a run left behind, a folder that nobody can add a
// file to (root included), and files of random bytes.

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>

namespace faults {

// The children of this process that are still there, running or not yet reaped, as
// "pid state name". With AdoptOrphans() this includes what a program we started left behind.
inline std::vector<std::string> LeftoverChildren() {
    std::vector<std::string> found;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator("/proc", error)) {
        const std::string name = entry.path().filename().string();
        if (name.find_first_not_of("0123456789") != std::string::npos)
            continue;
        std::ifstream stat(entry.path() / "stat");
        std::string text;
        std::getline(stat, text);
        // "pid (name) state ppid ...": the name may hold blanks and parentheses.
        const std::size_t close = text.rfind(')');
        const std::size_t open = text.find('(');
        if (close == std::string::npos || open == std::string::npos)
            continue;
        char state = '?';
        long parent = 0;
        if (std::sscanf(text.c_str() + close + 1, " %c %ld", &state, &parent) != 2)
            continue;
        if (parent == static_cast<long>(getpid()))
            found.push_back(name + " " + state + " " + text.substr(open + 1, close - open - 1));
    }
    return found;
}

// Makes this process the one that inherits the orphans of its descendants, so that an FFmpeg
// that a program we started left running becomes our child and shows in LeftoverChildren().
inline void AdoptOrphans() {
    ASSERT_EQ(prctl(PR_SET_CHILD_SUBREAPER, 1), 0);
}

// Random bytes from a fixed seed.
inline std::string RandomBytes(std::size_t size, std::uint32_t seed) {
    std::string bytes(size, '\0');
    for (char& c : bytes) {
        seed = seed * 1664525u + 1013904223u;
        c = static_cast<char>(seed >> 24);
    }
    return bytes;
}

inline void WriteBytes(const std::filesystem::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

// In one read: byte by byte, a file of 100 MB takes long under a sanitizer.
inline std::string ReadBytes(const std::filesystem::path& path) {
    std::error_code error;
    const std::uintmax_t size = std::filesystem::file_size(path, error);
    std::string bytes(error ? 0 : static_cast<std::size_t>(size), '\0');
    std::ifstream in(path, std::ios::binary);
    in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    bytes.resize(static_cast<std::size_t>(in.gcount()));
    return bytes;
}

// A folder in which no file can be created or removed, for root as well. Root passes every
// permission check of the mode bits, so for root the folder gets the immutable attribute
// (which the kernel enforces for everyone); for another user the write bits are taken away.
// Undone when the object goes. Ready() is false where neither can be had.
class ReadOnlyFolder {
public:
    explicit ReadOnlyFolder(std::filesystem::path folder) : path_(std::move(folder)) {
        if (geteuid() == 0) {
            immutable_ = SetImmutable(true);
        } else {
            chmod(path_.c_str(), 0555);
            modeSet_ = true;
        }
        // What counts is that a new file cannot be made there.
        const std::string probe = (path_ / ".probe").string();
        const int fd = open(probe.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd >= 0) {
            close(fd);
            unlink(probe.c_str());
        } else {
            ready_ = errno == EPERM || errno == EACCES || errno == EROFS;
        }
    }
    ~ReadOnlyFolder() {
        if (immutable_)
            SetImmutable(false);
        if (modeSet_)
            chmod(path_.c_str(), 0755);
    }
    ReadOnlyFolder(const ReadOnlyFolder&) = delete;
    ReadOnlyFolder& operator=(const ReadOnlyFolder&) = delete;

    bool Ready() const { return ready_; }

private:
    bool SetImmutable(bool on) {
        const int fd = open(path_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd < 0)
            return false;
        int flags = 0;
        bool done = ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
        if (done) {
            flags = on ? (flags | FS_IMMUTABLE_FL) : (flags & ~FS_IMMUTABLE_FL);
            done = ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
        }
        close(fd);
        return done;
    }

    std::filesystem::path path_;
    bool immutable_ = false;
    bool modeSet_ = false;
    bool ready_ = false;
};

} // namespace faults
