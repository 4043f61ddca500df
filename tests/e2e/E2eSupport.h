#pragma once

// Helpers of the end-to-end tests: a scratch folder, clips made by the real FFmpeg, and what
// ffprobe says about a file. Programs are started with posix_spawnp rather than QProcess: the
// way QProcess starts a child confuses ThreadSanitizer about the threads of the test itself.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <filesystem>
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

// Runs a program (searched on PATH) to its end with its standard output collected into out;
// returns its exit status (-1 when it could not run or did not exit normally).
inline int Run(const std::vector<std::string>& argv, std::string* out = nullptr) {
    int fds[2];
    if (pipe(fds) != 0)
        return -1;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, fds[0]);
    posix_spawn_file_actions_addclose(&actions, fds[1]);
    std::vector<char*> args;
    for (const std::string& arg : argv)
        args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    pid_t pid = 0;
    const int error = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    std::string text;
    char buffer[4096];
    ssize_t n;
    while (error == 0 && (n = read(fds[0], buffer, sizeof buffer)) > 0)
        text.append(buffer, static_cast<std::size_t>(n));
    close(fds[0]);
    if (error != 0)
        return -1;
    int status = 0;
    waitpid(pid, &status, 0);
    if (out)
        *out = text;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
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
