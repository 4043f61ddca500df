#include "bench/BenchSupport.h"

#include "engine/ConvertProcess.h"
#include "platform/Process.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <poll.h>
#include <spawn.h>
#include <sstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace bench {

std::int64_t MonotonicNs() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<std::int64_t>(now.tv_sec) * 1000000000 + now.tv_nsec;
}

double MsSince(std::int64_t startNs) {
    return static_cast<double>(MonotonicNs() - startNs) / 1e6;
}

double Median(std::vector<double> samples) {
    if (samples.empty())
        return 0;
    std::sort(samples.begin(), samples.end());
    const std::size_t mid = samples.size() / 2;
    return samples.size() % 2 == 1 ? samples[mid] : (samples[mid - 1] + samples[mid]) / 2;
}

double MedianRatio(const std::vector<double>& a, const std::vector<double>& b) {
    std::vector<double> ratios;
    for (std::size_t i = 0; i < a.size() && i < b.size(); ++i)
        ratios.push_back(b[i] != 0 ? a[i] / b[i] : 0);
    return Median(ratios);
}

pid_t Spawn(const std::vector<std::string>& argv, int stdIn, int stdOut, int stdErr,
            const std::vector<std::string>& extraEnv) {
    std::vector<char*> args;
    for (const std::string& arg : argv)
        args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);

    std::vector<std::string> envStore;
    for (char** e = environ; *e != nullptr; ++e) {
        const std::string entry = *e;
        const bool replaced = std::any_of(extraEnv.begin(), extraEnv.end(), [&](const auto& x) {
            return entry.compare(0, x.find('=') + 1, x, 0, x.find('=') + 1) == 0;
        });
        if (!replaced)
            envStore.push_back(entry);
    }
    envStore.insert(envStore.end(), extraEnv.begin(), extraEnv.end());
    std::vector<char*> env;
    for (std::string& entry : envStore)
        env.push_back(entry.data());
    env.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    const int fds[3] = {stdIn, stdOut, stdErr};
    for (int target = 0; target < 3; ++target) {
        if (fds[target] >= 0)
            posix_spawn_file_actions_adddup2(&actions, fds[target], target);
        else
            posix_spawn_file_actions_addopen(&actions, target, "/dev/null",
                                             target == 0 ? O_RDONLY : O_WRONLY, 0);
    }
    pid_t pid = -1;
    const int error =
        posix_spawn(&pid, argv.at(0).c_str(), &actions, nullptr, args.data(), env.data());
    posix_spawn_file_actions_destroy(&actions);
    if (error != 0) {
        std::fprintf(stderr, "bench: cannot start %s: %s\n", argv[0].c_str(), std::strerror(error));
        return -1;
    }
    return pid;
}

int Wait(pid_t pid, struct rusage* usage) {
    if (pid <= 0)
        return -1;
    int status = 0;
    struct rusage own {};
    while (wait4(pid, &status, 0, usage != nullptr ? usage : &own) < 0) {
        if (errno != EINTR)
            return -1;
    }
    if (WIFEXITED(status))
        return WEXITSTATUS(status);
    if (WIFSIGNALED(status))
        return 128 + WTERMSIG(status);
    return -1;
}

int Run(const std::vector<std::string>& argv, struct rusage* usage) {
    return Wait(Spawn(argv), usage);
}

std::pair<int, int> MakePipe() {
    int fds[2] = {-1, -1};
    if (pipe2(fds, O_CLOEXEC) != 0)
        std::perror("bench: pipe");
    return {fds[0], fds[1]};
}

int RunReadingOutput(const std::vector<std::string>& argv) {
    auto [outRead, outWrite] = MakePipe();
    auto [errRead, errWrite] = MakePipe();
    platform::SetPipeCapacity(outRead, kestrine::TConvertProcess::kOutputPipeBytes);
    platform::SetPipeCapacity(errRead, kestrine::TConvertProcess::kOutputPipeBytes);
    const pid_t pid = Spawn(argv, -1, outWrite, errWrite);
    close(outWrite);
    close(errWrite);
    pollfd fds[2] = {{outRead, POLLIN, 0}, {errRead, POLLIN, 0}};
    std::vector<char> buffer(65536);
    int open = 2;
    while (open > 0) {
        if (poll(fds, 2, -1) < 0)
            continue;
        for (pollfd& entry : fds) {
            if (entry.fd < 0 || entry.revents == 0)
                continue;
            if (read(entry.fd, buffer.data(), buffer.size()) <= 0) {
                close(entry.fd);
                entry.fd = -1;
                --open;
            }
        }
    }
    return Wait(pid);
}

double CpuSeconds(const struct rusage& usage) {
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

double CpuSeconds(int who) {
    struct rusage usage {};
    getrusage(who, &usage);
    return CpuSeconds(usage);
}

namespace {

long StatusField(const std::string& path, const std::string& field) {
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) {
        if (line.compare(0, field.size(), field) == 0 && line.size() > field.size() &&
            line[field.size()] == ':')
            return std::strtol(line.c_str() + field.size() + 1, nullptr, 10);
    }
    return -1;
}

} // namespace

long ContextSwitches(pid_t pid) {
    const std::string tasks = "/proc/" + std::to_string(pid) + "/task";
    DIR* dir = opendir(tasks.c_str());
    if (dir == nullptr)
        return -1;
    long total = 0;
    while (dirent* entry = readdir(dir)) {
        if (entry->d_name[0] == '.')
            continue;
        const std::string status = tasks + "/" + entry->d_name + "/status";
        const long voluntary = StatusField(status, "voluntary_ctxt_switches");
        if (voluntary >= 0)
            total += voluntary;
    }
    closedir(dir);
    return total;
}

long ResidentKiB(pid_t pid) {
    return StatusField("/proc/" + std::to_string(pid) + "/status", "VmRSS");
}

std::string LoadAverage() {
    std::ifstream in("/proc/loadavg");
    std::string one, five, fifteen;
    in >> one >> five >> fifteen;
    return one + " " + five + " " + fifteen;
}

double LoadAverage1() {
    std::ifstream in("/proc/loadavg");
    double one = 0;
    in >> one;
    return one;
}

std::string MachineDescription(const std::string& ffmpeg) {
    std::ostringstream out;
    out << std::thread::hardware_concurrency() << " cores";
    {
        std::ifstream in("/proc/cpuinfo");
        std::string line;
        while (std::getline(in, line)) {
            if (line.rfind("model name", 0) == 0) {
                out << ", " << line.substr(line.find(':') + 2);
                break;
            }
        }
    }
    {
        const long kib = StatusField("/proc/meminfo", "MemTotal");
        char text[64];
        std::snprintf(text, sizeof text, ", %.1f GiB memory", static_cast<double>(kib) / 1048576);
        out << text;
    }
    auto [readEnd, writeEnd] = MakePipe();
    const pid_t pid = Spawn({ffmpeg, "-version"}, -1, writeEnd, -1);
    close(writeEnd);
    std::string text;
    char buffer[4096];
    ssize_t n;
    while ((n = read(readEnd, buffer, sizeof buffer)) > 0)
        text.append(buffer, static_cast<std::size_t>(n));
    close(readEnd);
    Wait(pid);
    const std::string version = text.substr(0, text.find('\n'));
    out << ", " << (version.empty() ? "no FFmpeg at " + ffmpeg : version.substr(0, 40));
    return out.str();
}

TempDir::TempDir() {
    const char* base = std::getenv("TMPDIR");
    std::string pattern =
        std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/kestrine-bench-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr)
        std::perror("bench: mkdtemp");
    path_ = pattern;
}

TempDir::~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

void EmptyFolder(const std::string& folder) {
    std::error_code ignored;
    for (const auto& entry : std::filesystem::directory_iterator(folder, ignored))
        std::filesystem::remove_all(entry.path(), ignored);
}

bool FileExists(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0;
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool MakeClip(const std::string& ffmpeg, const std::string& path, int seconds,
              const std::string& size, int variant) {
    const std::string duration = std::to_string(seconds);
    const std::string video = "testsrc=size=" + size + ":rate=25:duration=" + duration +
                              ",hue=h=" + std::to_string(variant * 37 % 360);
    const std::string audio = "sine=frequency=" + std::to_string(220 + 10 * variant) +
                              ":sample_rate=44100:duration=" + duration;
    return Run({ffmpeg, "-nostdin", "-loglevel",  "error", "-y",   "-f",   "lavfi", "-i",
                video,  "-f",       "lavfi",      "-i",    audio,  "-c:v", "mpeg4", "-q:v",
                "5",    "-c:a",     "libmp3lame", "-b:a",  "128k", path}) == 0;
}

std::string Fixed(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.2f", value);
    return text;
}

void Table::Add(Row row) {
    rows_.push_back(std::move(row));
}

void Table::SortByFigure() {
    std::stable_sort(rows_.begin(), rows_.end(),
                     [](const Row& a, const Row& b) { return a.figure < b.figure; });
}

namespace {

std::string Number(double value, const std::string& unit) {
    char text[64];
    const double magnitude = value < 0 ? -value : value;
    const char* format = magnitude >= 100 ? "%.0f" : magnitude >= 10 ? "%.1f" : "%.2f";
    if (unit == "%" || unit == "x")
        format = magnitude >= 10 ? "%.1f" : magnitude >= 1 ? "%.2f" : "%.3f";
    std::snprintf(text, sizeof text, format, value);
    return std::string(text) + (unit.empty() ? "" : " " + unit);
}

} // namespace

void Table::Print() const {
    std::printf("%-3s %-52s %12s  %-30s %7s  %-9s %s\n", "fig", "measure", "median", "baseline",
                "ratio", "goal", "");
    std::printf("%s\n", std::string(126, '-').c_str());
    for (const Row& row : rows_) {
        const std::string value = row.value ? Number(*row.value, row.unit) : "pending";
        std::string baseline;
        if (row.baseline)
            baseline = row.baselineName + " " + Number(*row.baseline, row.unit);
        else if (!row.baselineName.empty())
            baseline = row.baselineName;
        char ratio[32] = "";
        if (row.ratio)
            std::snprintf(ratio, sizeof ratio, *row.ratio < 0.01 ? "%.5f" : "%.3f", *row.ratio);
        const char* verdict = !row.met ? "" : *row.met ? "met" : "MISSED";
        std::printf("%-3s %-52s %12s  %-30s %7s  %-9s %s\n", row.figure.c_str(), row.what.c_str(),
                    value.c_str(), baseline.c_str(), ratio, row.goal.c_str(), verdict);
        if (!row.note.empty())
            std::printf("    %s\n", row.note.c_str());
    }
}

void Interleave(int runs, const std::function<double()>& a, const std::function<double()>& b,
                std::vector<double>& aSamples, std::vector<double>& bSamples) {
    for (int i = 0; i < runs; ++i) {
        aSamples.push_back(a());
        bSamples.push_back(b());
    }
}

} // namespace bench
