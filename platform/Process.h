#pragma once

// Child processes and anonymous pipes (POSIX). Functions that can fail return 0 or an errno
// value; a descriptor that is not open is -1.

#include <sys/types.h>

#include <cstddef>
#include <span>
#include <string>
#include <vector>

namespace platform {

// Closes fd if it is open and sets it to -1.
void CloseDescriptor(int& fd);

// A descriptor that closes itself.
class UniqueFd {
public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) : fd_(fd) {}
    ~UniqueFd() { CloseDescriptor(fd_); }
    UniqueFd(UniqueFd&& other) noexcept : fd_(other.Release()) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept;
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;

    int Get() const { return fd_; }
    int Release();
    void Reset() { CloseDescriptor(fd_); }

private:
    int fd_ = -1;
};

// An anonymous pipe: both ends close-on-exec and numbered 3 or above, so that handing them to a
// child as its standard handles can never overwrite one another.
int CreatePipe(int& readEnd, int& writeEnd);

// Makes reads from fd return at once when nothing is there.
int SetNonBlocking(int fd);

// Asks that the pipe of fd hold bytes before a writer must wait. The system may round it up, or
// refuse it (the pipe then keeps the size it has).
int SetPipeCapacity(int fd, int bytes);

// A close-on-exec copy of fd.
int DuplicateDescriptor(int fd, int& copy);

// The number of bytes waiting in a pipe.
int BytesAvailable(int fd, int& count);

// Reads up to count bytes without waiting: stops early when the pipe is empty or has ended.
int ReadAvailable(int fd, char* buffer, std::size_t count, std::size_t& got);

// A started child. pidFd refers to the process itself (not to its number), so waiting for it
// and signalling it can never reach another process; -1 where the kernel offers none.
struct ChildProcess {
    pid_t pid = 0;
    int pidFd = -1;
};

// How a child ended: exitCode is its exit status when it exited (-1 otherwise), signal the
// signal that ended it (0 otherwise).
struct ExitStatus {
    int exitCode = -1;
    int signal = 0;
};

// Starts program (a path, not searched) with the argument list argv, no shell involved. Its
// standard input, output and error are stdIn, stdOut and stdErr; no other descriptor of ours
// reaches it; its signal mask is empty and every signal has its default action. The child
// inherits the environment and the current folder. A program that cannot be run is reported
// here (ENOENT when it does not exist).
int SpawnChild(const std::string& program, const std::vector<std::string>& argv, int stdIn,
               int stdOut, int stdErr, ChildProcess& child);

// True once the child has ended (it may not have been reaped yet). Never waits.
bool HasEnded(const ChildProcess& child);

// Kills the child (SIGKILL). Harmless when it has already ended.
void KillChild(const ChildProcess& child);

// Waits until the child has ended and reaps it; closes its pidFd and zeroes the record.
ExitStatus ReapChild(ChildProcess& child);

// Waits until one of fds is readable (or, for a pidfd, its process has ended), at most
// timeoutMs milliseconds (-1: no limit). Descriptors of -1 are skipped.
void WaitReadable(std::span<const int> fds, int timeoutMs);

// A descriptor that another thread can make readable to wake a WaitReadable.
class WakeEvent {
public:
    WakeEvent();
    ~WakeEvent();
    WakeEvent(const WakeEvent&) = delete;
    WakeEvent& operator=(const WakeEvent&) = delete;

    // Any thread; never blocks. Once signalled, the event stays readable.
    void Signal();
    int Fd() const { return fd_; }

private:
    int fd_ = -1;
};

// The folder of the running program, with its trailing "/" ("" if it cannot be told).
std::string OwnExecutableFolder();

// A regular file that this process may execute.
bool IsExecutableFile(const std::string& path);

// The search list of programs: PATH, or the system's default when PATH is not set.
std::string ProgramSearchPath();

// The first executable file named name in ownFolder, then in the folders of searchPath
// (":"-separated; an empty entry is the current folder); "" when there is none.
std::string FindProgram(std::string_view name, std::string_view ownFolder,
                        std::string_view searchPath);

// Writing to a pipe whose reader has gone reports EPIPE instead of ending the program.
void IgnoreSigpipe();

} // namespace platform
