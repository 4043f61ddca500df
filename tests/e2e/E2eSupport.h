#pragma once

// Helpers of the end-to-end tests: a scratch folder, clips made by the real FFmpeg, and what
// ffprobe says about a file. Programs are started with posix_spawnp rather than QProcess: the
// way QProcess starts a child confuses ThreadSanitizer about the threads of the test itself.

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <poll.h>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace e2e {

inline std::filesystem::path ScratchDir() {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("kestrine-e2e-" + std::to_string(getpid()) + "-" +
                                                  info->test_suite_name() + "-" + info->name());
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    return dir;
}

// How a program run ended: its exit status (-1 when it could not run or did not exit
// normally) and what it wrote on standard output and standard error.
struct Ran {
    int status = -1;
    std::string out;
    std::string err;
};

// Runs a program (searched on PATH) to its end, in the folder cwd when given, with standard
// input from /dev/null. Safe to call from several threads at once: the pipes of one run never
// reach the children of another.
inline Ran Capture(const std::vector<std::string>& argv, const std::string& cwd = {}) {
    Ran ran;
    int out[2];
    int err[2];
    if (pipe2(out, O_CLOEXEC) != 0)
        return ran;
    if (pipe2(err, O_CLOEXEC) != 0) {
        close(out[0]);
        close(out[1]);
        return ran;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, err[1], STDERR_FILENO);
    if (!cwd.empty())
        posix_spawn_file_actions_addchdir_np(&actions, cwd.c_str());
    std::vector<char*> args;
    for (const std::string& arg : argv)
        args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    pid_t pid = 0;
    const int error = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    close(err[1]);
    pollfd fds[] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
    std::string* texts[] = {&ran.out, &ran.err};
    int openPipes = error == 0 ? 2 : 0;
    while (openPipes > 0) {
        if (poll(fds, 2, -1) < 0) {
            if (errno == EINTR)
                continue;
            break;
        }
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || fds[i].revents == 0)
                continue;
            char buffer[4096];
            const ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
            if (n > 0) {
                texts[i]->append(buffer, static_cast<std::size_t>(n));
            } else if (n < 0 && errno == EINTR) {
                continue;
            } else {
                fds[i].fd = -1;
                --openPipes;
            }
        }
    }
    close(out[0]);
    close(err[0]);
    if (error != 0)
        return ran;
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    ran.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return ran;
}

// Runs a program to its end with its standard output collected into out (standard error goes
// to the test's own); returns its exit status (-1 when it could not run or did not exit normally).
inline int Run(const std::vector<std::string>& argv, std::string* out = nullptr) {
    const Ran ran = Capture(argv);
    if (!ran.err.empty())
        std::fwrite(ran.err.data(), 1, ran.err.size(), stderr);
    if (out)
        *out = ran.out;
    return ran.status;
}

// A clip with video and audio of the given length (seconds).
inline void MakeClip(const std::filesystem::path& path, const std::string& seconds) {
    ASSERT_EQ(Run({"ffmpeg", "-v", "error", "-nostdin", "-y", "-f", "lavfi", "-i",
                   "testsrc=duration=" + seconds + ":size=160x120:rate=10", "-f", "lavfi", "-i",
                   "sine=frequency=440:duration=" + seconds, "-c:v", "mpeg4", "-c:a", "pcm_s16le",
                   path.string()}),
              0);
}

inline std::string Trimmed(std::string text) {
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' '))
        text.pop_back();
    return text;
}

// "codec_name,codec_type" of each stream, one a line, and the duration in seconds.
struct Probe {
    std::string streams;
    double duration = 0;
};

inline Probe ProbeFile(const std::filesystem::path& path) {
    Probe probe;
    std::string out;
    if (Run({"ffprobe", "-v", "error", "-show_entries", "stream=codec_name,codec_type", "-of",
             "csv=p=0", path.string()},
            &out) == 0)
        probe.streams = Trimmed(out);
    if (Run({"ffprobe", "-v", "error", "-show_entries", "format=duration", "-of", "csv=p=0",
             path.string()},
            &out) == 0)
        probe.duration = std::atof(out.c_str());
    return probe;
}

} // namespace e2e
