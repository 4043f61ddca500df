#include "platform/Process.h"

#include "base/Paths.h"

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utility>

extern char** environ;

namespace platform {

namespace {

int PidFdOpen(pid_t pid) {
#ifdef SYS_pidfd_open
    return static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
#else
    (void)pid;
    errno = ENOSYS;
    return -1;
#endif
}

int PidFdSendSignal(int pidFd, int signal) {
#ifdef SYS_pidfd_send_signal
    return static_cast<int>(syscall(SYS_pidfd_send_signal, pidFd, signal, nullptr, 0));
#else
    (void)pidFd;
    (void)signal;
    errno = ENOSYS;
    return -1;
#endif
}

// Moves fd to a number of 3 or above (close-on-exec).
int RaiseAboveStandard(int& fd) {
    if (fd > STDERR_FILENO)
        return 0;
    const int moved = fcntl(fd, F_DUPFD_CLOEXEC, STDERR_FILENO + 1);
    if (moved < 0)
        return errno;
    close(fd);
    fd = moved;
    return 0;
}

} // namespace

void CloseDescriptor(int& fd) {
    if (fd >= 0)
        close(fd);
    fd = -1;
}

UniqueFd& UniqueFd::operator=(UniqueFd&& other) noexcept {
    if (this != &other) {
        CloseDescriptor(fd_);
        fd_ = other.Release();
    }
    return *this;
}

int UniqueFd::Release() {
    return std::exchange(fd_, -1);
}

int CreatePipe(int& readEnd, int& writeEnd) {
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0)
        return errno;
    int error = RaiseAboveStandard(fds[0]);
    if (error == 0)
        error = RaiseAboveStandard(fds[1]);
    if (error != 0) {
        CloseDescriptor(fds[0]);
        CloseDescriptor(fds[1]);
        return error;
    }
    readEnd = fds[0];
    writeEnd = fds[1];
    return 0;
}

int SetNonBlocking(int fd) {
    const int flags = fcntl(fd, F_GETFL);
    if (flags < 0 || fcntl(fd, F_SETFL, flags | O_NONBLOCK) < 0)
        return errno;
    return 0;
}

int SetPipeCapacity(int fd, int bytes) {
    if (fcntl(fd, F_SETPIPE_SZ, bytes) < 0)
        return errno;
    return 0;
}

int DuplicateDescriptor(int fd, int& copy) {
    const int result = fcntl(fd, F_DUPFD_CLOEXEC, STDERR_FILENO + 1);
    if (result < 0)
        return errno;
    copy = result;
    return 0;
}

int BytesAvailable(int fd, int& count) {
    int n = 0;
    if (ioctl(fd, FIONREAD, &n) != 0)
        return errno;
    count = n;
    return 0;
}

int ReadAvailable(int fd, char* buffer, std::size_t count, std::size_t& got) {
    got = 0;
    while (got < count) {
        const ssize_t n = read(fd, buffer + got, count - got);
        if (n > 0) {
            got += static_cast<std::size_t>(n);
        } else if (n == 0) {
            break;
        } else if (errno == EINTR) {
            continue;
        } else if (errno == EAGAIN || errno == EWOULDBLOCK) {
            break;
        } else {
            return errno;
        }
    }
    return 0;
}

int SpawnChild(const std::string& program, const std::vector<std::string>& argv, int stdIn,
               int stdOut, int stdErr, ChildProcess& child) {
    std::vector<char*> args;
    args.reserve(argv.size() + 1);
    for (const std::string& arg : argv)
        args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attributes;
    int error = posix_spawn_file_actions_init(&actions);
    if (error != 0)
        return error;
    error = posix_spawnattr_init(&attributes);
    if (error != 0) {
        posix_spawn_file_actions_destroy(&actions);
        return error;
    }

    // The three pipe ends become 0, 1 and 2 (dup2 clears close-on-exec on the copies); every
    // other descriptor stays behind.
    if (error == 0)
        error = posix_spawn_file_actions_adddup2(&actions, stdIn, STDIN_FILENO);
    if (error == 0)
        error = posix_spawn_file_actions_adddup2(&actions, stdOut, STDOUT_FILENO);
    if (error == 0)
        error = posix_spawn_file_actions_adddup2(&actions, stdErr, STDERR_FILENO);
#if defined(__GLIBC__) && (__GLIBC__ > 2 || (__GLIBC__ == 2 && __GLIBC_MINOR__ >= 34))
    if (error == 0)
        error = posix_spawn_file_actions_addclosefrom_np(&actions, STDERR_FILENO + 1);
#endif

    // An ignored SIGPIPE or a blocked signal of ours must not reach the child.
    sigset_t none;
    sigset_t all;
    sigemptyset(&none);
    sigfillset(&all);
    if (error == 0)
        error = posix_spawnattr_setsigmask(&attributes, &none);
    if (error == 0)
        error = posix_spawnattr_setsigdefault(&attributes, &all);
    if (error == 0)
        error =
            posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

    pid_t pid = 0;
    if (error == 0)
        error = posix_spawn(&pid, program.c_str(), &actions, &attributes, args.data(), environ);
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    if (error != 0)
        return error;

    child.pid = pid;
    // The child is not reaped yet, so its number still names it.
    child.pidFd = PidFdOpen(pid);
    return 0;
}

bool HasEnded(const ChildProcess& child) {
    if (child.pid <= 0)
        return true;
    if (child.pidFd >= 0) {
        pollfd entry{child.pidFd, POLLIN, 0};
        return poll(&entry, 1, 0) > 0;
    }
    siginfo_t info{};
    if (waitid(P_PID, static_cast<id_t>(child.pid), &info, WEXITED | WNOHANG | WNOWAIT) != 0)
        return errno == ECHILD;
    return info.si_pid != 0;
}

void KillChild(const ChildProcess& child) {
    if (child.pidFd >= 0) {
        if (PidFdSendSignal(child.pidFd, SIGKILL) == 0 || errno != ENOSYS)
            return;
    }
    if (child.pid > 0)
        kill(child.pid, SIGKILL);
}

ExitStatus ReapChild(ChildProcess& child) {
    ExitStatus result;
    if (child.pid > 0) {
        int status = 0;
        pid_t done;
        do {
            done = waitpid(child.pid, &status, 0);
        } while (done < 0 && errno == EINTR);
        if (done == child.pid) {
            if (WIFEXITED(status))
                result.exitCode = WEXITSTATUS(status);
            else if (WIFSIGNALED(status))
                result.signal = WTERMSIG(status);
        }
    }
    CloseDescriptor(child.pidFd);
    child.pid = 0;
    return result;
}

void WaitReadable(std::span<const int> fds, int timeoutMs) {
    pollfd entries[8];
    nfds_t count = 0;
    for (int fd : fds) {
        if (fd >= 0 && count < std::size(entries))
            entries[count++] = pollfd{fd, POLLIN, 0};
    }
    // An interrupted wait just ends early; the caller looks again.
    poll(entries, count, timeoutMs);
}

WakeEvent::WakeEvent() : fd_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

WakeEvent::~WakeEvent() {
    CloseDescriptor(fd_);
}

void WakeEvent::Signal() {
    if (fd_ < 0)
        return;
    const std::uint64_t one = 1;
    // A full counter already reads as signalled.
    [[maybe_unused]] const ssize_t n = write(fd_, &one, sizeof one);
}

std::string OwnExecutableFolder() {
    char buffer[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer);
    if (n <= 0 || static_cast<std::size_t>(n) >= sizeof buffer)
        return {};
    return kestrine::ExtractFilePath(std::string_view(buffer, static_cast<std::size_t>(n)));
}

bool IsExecutableFile(const std::string& path) {
    struct stat info {};
    return !path.empty() && stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
           access(path.c_str(), X_OK) == 0;
}

std::string ProgramSearchPath() {
    if (const char* path = std::getenv("PATH"))
        return path;
    const std::size_t size = confstr(_CS_PATH, nullptr, 0);
    if (size == 0)
        return "/bin:/usr/bin";
    std::string path(size, '\0');
    confstr(_CS_PATH, path.data(), size);
    path.resize(size - 1);
    return path;
}

void IgnoreSigpipe() {
    struct sigaction current {};
    if (sigaction(SIGPIPE, nullptr, &current) == 0 && current.sa_handler == SIG_DFL)
        std::signal(SIGPIPE, SIG_IGN);
}

std::string FindProgram(std::string_view name, std::string_view ownFolder,
                        std::string_view searchPath) {
    if (!ownFolder.empty()) {
        std::string candidate =
            kestrine::IncludeTrailingPathDelimiter(ownFolder) + std::string(name);
        if (IsExecutableFile(candidate))
            return candidate;
    }
    std::size_t start = 0;
    while (start <= searchPath.size()) {
        const std::size_t colon = searchPath.find(':', start);
        std::string_view folder = searchPath.substr(
            start, colon == std::string_view::npos ? std::string_view::npos : colon - start);
        start = colon == std::string_view::npos ? searchPath.size() + 1 : colon + 1;
        if (folder.empty())
            folder = ".";
        std::string candidate = kestrine::IncludeTrailingPathDelimiter(folder) + std::string(name);
        if (IsExecutableFile(candidate))
            return candidate;
    }
    return {};
}

} // namespace platform
