#include "engine/FFmpegCapabilities.h"

#include "platform/Process.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QFile>
#include <QStandardPaths>

#include <array>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <future>
#include <mutex>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace kestrine {

namespace {

template <typename Map>
auto FindIn(const Map& map, std::string_view key) {
    return map.find(std::string(key));
}

std::string_view TrimRight(std::string_view s) {
    while (!s.empty() && (s.back() == '\r' || s.back() == ' ' || s.back() == '\t'))
        s.remove_suffix(1);
    return s;
}

std::string_view TrimLeft(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    return s;
}

// The first blank-separated word of s, and s after it.
std::string_view FirstWord(std::string_view s, std::string_view* rest = nullptr) {
    s = TrimLeft(s);
    std::size_t end = s.find_first_of(" \t");
    if (end == std::string_view::npos)
        end = s.size();
    if (rest)
        *rest = s.substr(end);
    return s.substr(0, end);
}

template <typename Fn>
void ForEachLine(std::string_view text, Fn fn) {
    while (!text.empty()) {
        std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        fn(TrimRight(line));
        if (end == std::string_view::npos)
            break;
        text.remove_prefix(end + 1);
    }
}

} // namespace

const EncoderInfo* FFmpegCapabilities::FindEncoder(std::string_view name) const {
    if (!encoders)
        return nullptr;
    auto it = FindIn(*encoders, name);
    return it == encoders->end() ? nullptr : &it->second;
}

bool FFmpegCapabilities::HasEncoder(std::string_view name) const {
    if (!encoders)
        return false;
    if (FindEncoder(name))
        return true;
    for (const auto& [encoder, info] : *encoders)
        if (info.codec == name)
            return true;
    return false;
}

bool FFmpegCapabilities::KnownToLackEncoder(std::string_view name) const {
    return encoders && !HasEncoder(name);
}

bool FFmpegCapabilities::HasOption(std::string_view name) const {
    return options && FindIn(*options, name) != options->end();
}

bool FFmpegCapabilities::KnownToLackOption(std::string_view name) const {
    return options && FindIn(*options, name) == options->end();
}

bool FFmpegCapabilities::OptionTakesValue(std::string_view name) const {
    if (!options)
        return false;
    auto it = FindIn(*options, name);
    return it != options->end() && it->second.takesValue;
}

bool FFmpegCapabilities::HasConstant(std::string_view option, std::string_view constant) const {
    if (!options)
        return false;
    auto it = FindIn(*options, option);
    return it != options->end() && it->second.constants.count(std::string(constant)) > 0;
}

bool FFmpegCapabilities::KnownToLackConstant(std::string_view option,
                                             std::string_view constant) const {
    return HasOption(option) && !HasConstant(option, constant);
}

bool FFmpegCapabilities::HasOptionClass(std::string_view name) const {
    return options && optionClasses.count(std::string(name)) > 0;
}

std::map<std::string, EncoderInfo> ParseEncoderList(std::string_view text) {
    // " V.S..D name                 Description (codec other)": six flag letters, the name, the
    // description; "(codec x)" ends it when the encoder's name is not the codec's.
    std::map<std::string, EncoderInfo> result;
    ForEachLine(text, [&](std::string_view line) {
        if (line.size() < 9 || line[0] != ' ' || line[7] != ' ')
            return;
        std::string_view flags = line.substr(1, 6);
        if (flags.find_first_not_of("VASFXBD.") != std::string_view::npos ||
            std::string_view("VAS").find(flags[0]) == std::string_view::npos)
            return;
        std::string_view description;
        std::string_view name = FirstWord(line.substr(8), &description);
        if (name.empty() || name == "=")
            return;
        EncoderInfo info;
        info.kind = flags[0];
        info.experimental = flags[3] == 'X';
        info.codec = std::string(name);
        description = TrimLeft(description);
        constexpr std::string_view kCodecMark = "(codec ";
        std::size_t mark = description.rfind(kCodecMark);
        if (!description.empty() && description.back() == ')' && mark != std::string_view::npos) {
            std::size_t from = mark + kCodecMark.size();
            info.codec = std::string(description.substr(from, description.size() - 1 - from));
        }
        result[std::string(name)] = std::move(info);
    });
    return result;
}

std::map<std::string, OptionInfo> ParseOptionHelp(std::string_view text,
                                                  std::set<std::string>* classes) {
    // The program's own options stand at the start of a line: "-name arg" padded, two blanks,
    // the help; an argument word means the option takes a value. Class options are indented:
    // "-name <type> flags help", followed by their named values, indented further.
    std::map<std::string, OptionInfo> result;
    OptionInfo* current = nullptr;
    constexpr std::string_view kClassMark = " AVOptions:";
    ForEachLine(text, [&](std::string_view line) {
        if (line.empty()) {
            current = nullptr;
            return;
        }
        if (line.ends_with(kClassMark) && line[0] != ' ') {
            if (classes)
                classes->insert(std::string(line.substr(0, line.size() - kClassMark.size())));
            current = nullptr;
            return;
        }
        std::string_view body = TrimLeft(line);
        bool indented = body.size() != line.size();
        if (body.size() > 1 && body[0] == '-') {
            std::string_view rest;
            std::string_view word = FirstWord(body.substr(1), &rest);
            if (word.empty())
                return;
            OptionInfo& option = result[std::string(word)];
            std::string_view type = FirstWord(rest);
            if (!type.empty() && type[0] == '<') {
                option.takesValue = true;
                current = &option;
            } else if (!indented) {
                std::size_t gap = body.find("  ");
                std::string_view head = body.substr(0, gap);
                if (head.find(' ') != std::string_view::npos)
                    option.takesValue = true;
                current = nullptr;
            } else {
                current = nullptr;
            }
            return;
        }
        if (!indented) {
            current = nullptr;
            return;
        }
        if (current) {
            std::string_view constant = FirstWord(body);
            if (!constant.empty())
                current->constants.insert(std::string(constant));
        }
    });
    return result;
}

namespace {

// The probes. Each is an ordinary FFmpeg run that ends by itself within a few tens of
// milliseconds; options are spelled the way builds of every age read them, so that a build
// which refuses a probe for another reason than the one tried is told apart (its answer stays
// unknown).
enum ProbeIndex : std::size_t { kHelp, kEncoders, kUnit, kTag, kProbeCount };

// clang-format off
std::vector<std::string> ProbeArguments(ProbeIndex index) {
    switch (index) {
    case kHelp:
        return {"-h", "full"};
    case kEncoders:
        return {"-encoders"};
    case kUnit: // a bit rate written "1kb", on a silent signal
        return {"-nostdin", "-loglevel", "error", "-f", "lavfi", "-i", "anullsrc=r=8000:cl=mono",
                "-t", "0.05", "-acodec", "pcm_s16le", "-ab", "1kb", "-f", "null", "-"};
    case kTag: // the XVID fourcc on an MPEG-4 stream in MP4
        return {"-nostdin", "-loglevel", "error", "-f", "lavfi", "-i", "testsrc=size=16x16:rate=1",
                "-t", "1", "-vcodec", "mpeg4", "-vtag", "XVID", "-f", "mp4", "-y", "/dev/null"};
    case kProbeCount:
        break;
    }
    return {};
}
// clang-format on

// One probe run: a child with its standard output and error on pipes, its input on /dev/null.
struct Probe {
    pid_t pid = -1;
    std::array<int, 2> fds{-1, -1}; // read ends: output, error
    std::array<std::string, 2> text;
    bool finished = false; // ended by itself, not by a signal or the time limit
    int exitCode = -1;

    ~Probe() {
        for (int fd : fds)
            if (fd != -1)
                ::close(fd);
    }
};

void CloseFd(int& fd) {
    if (fd != -1)
        ::close(fd);
    fd = -1;
}

bool Spawn(Probe& probe, const std::string& program, const std::vector<std::string>& args) {
    std::array<std::array<int, 2>, 2> pipes{{{-1, -1}, {-1, -1}}};
    for (auto& pipe : pipes)
        if (::pipe2(pipe.data(), O_CLOEXEC) != 0) {
            for (auto& p : pipes)
                for (int& fd : p)
                    CloseFd(fd);
            return false;
        }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, pipes[0][1], 1);
    posix_spawn_file_actions_adddup2(&actions, pipes[1][1], 2);
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    int rc = ::posix_spawnp(&probe.pid, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    for (auto& pipe : pipes)
        CloseFd(pipe[1]);
    probe.fds = {pipes[0][0], pipes[1][0]};
    if (rc != 0) {
        probe.pid = -1;
        return false;
    }
    return true;
}

// Reads every probe's pipes until all of them have ended or the deadline has passed.
void Drain(std::array<Probe, kProbeCount>& probes, std::chrono::steady_clock::time_point deadline) {
    for (;;) {
        std::vector<pollfd> polled;
        std::vector<std::pair<std::size_t, std::size_t>> owner; // probe, pipe
        for (std::size_t i = 0; i < probes.size(); ++i)
            for (std::size_t k = 0; k < 2; ++k)
                if (probes[i].fds[k] != -1) {
                    polled.push_back({probes[i].fds[k], POLLIN, 0});
                    owner.emplace_back(i, k);
                }
        if (polled.empty())
            return;
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            return;
        int ready = ::poll(polled.data(), polled.size(), static_cast<int>(left.count()));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0)
            return;
        for (std::size_t j = 0; j < polled.size(); ++j) {
            if (polled[j].revents == 0)
                continue;
            Probe& probe = probes[owner[j].first];
            int& fd = probe.fds[owner[j].second];
            char buffer[65536];
            ssize_t got = ::read(fd, buffer, sizeof buffer);
            if (got > 0)
                probe.text[owner[j].second].append(buffer, static_cast<std::size_t>(got));
            else if (got == 0 || errno != EINTR)
                CloseFd(fd);
        }
    }
}

// Collects the child's end; a child still running at the deadline is killed.
void Reap(Probe& probe, std::chrono::steady_clock::time_point deadline) {
    if (probe.pid == -1)
        return;
    int status = 0;
    for (;;) {
        pid_t done = ::waitpid(probe.pid, &status, WNOHANG);
        if (done == probe.pid)
            break;
        if (done == -1 && errno != EINTR)
            return;
        if (std::chrono::steady_clock::now() >= deadline) {
            ::kill(probe.pid, SIGKILL);
            while (::waitpid(probe.pid, &status, 0) == -1 && errno == EINTR) {
            }
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    if (WIFEXITED(status)) {
        probe.finished = true;
        probe.exitCode = WEXITSTATUS(status);
    }
}

// A yes when the run succeeded, a no when it failed naming what it tried, unknown otherwise.
std::optional<bool> Verdict(const Probe& probe, std::string_view named) {
    if (!probe.finished)
        return std::nullopt;
    if (probe.exitCode == 0)
        return true;
    if (probe.text[1].find(named) != std::string::npos)
        return false;
    return std::nullopt;
}

} // namespace

FFmpegCapabilities ProbeFFmpegCapabilities(const std::string& executable,
                                           std::chrono::milliseconds timeout) {
    auto deadline = std::chrono::steady_clock::now() + timeout;
    std::array<Probe, kProbeCount> probes;
    for (std::size_t i = 0; i < kProbeCount; ++i)
        Spawn(probes[i], executable, ProbeArguments(static_cast<ProbeIndex>(i)));
    Drain(probes, deadline);
    for (Probe& probe : probes)
        Reap(probe, deadline);

    FFmpegCapabilities caps;
    const Probe& help = probes[kHelp];
    if (help.finished && help.exitCode == 0) {
        std::set<std::string> classes;
        auto options = ParseOptionHelp(help.text[0], &classes);
        if (!options.empty()) {
            caps.options = std::move(options);
            caps.optionClasses = std::move(classes);
        }
    }
    const Probe& list = probes[kEncoders];
    if (list.finished && list.exitCode == 0) {
        auto encoders = ParseEncoderList(list.text[0]);
        if (!encoders.empty())
            caps.encoders = std::move(encoders);
    }
    caps.acceptsUnitWithB = Verdict(probes[kUnit], "1kb");
    caps.acceptsAviTagInMp4 = Verdict(probes[kTag], "XVID");
    return caps;
}

std::string ResolveFFmpegExecutable(const std::string& executable) {
    if (executable.empty() || executable.find('/') != std::string::npos)
        return executable;
    return platform::FindProgram(executable, platform::OwnExecutableFolder(),
                                 platform::ProgramSearchPath());
}

namespace {

using SharedCapabilities = std::shared_ptr<const FFmpegCapabilities>;

struct CapabilityCache {
    std::mutex mutex;
    std::map<std::string, std::shared_future<SharedCapabilities>> entries;
};

CapabilityCache& TheCache() {
    static CapabilityCache cache;
    return cache;
}

SharedCapabilities Unknown() {
    static const SharedCapabilities unknown = std::make_shared<const FFmpegCapabilities>();
    return unknown;
}

} // namespace

SharedCapabilities CapabilitiesOf(const std::string& executable) {
    std::string path = ResolveFFmpegExecutable(executable);
    if (path.empty())
        return Unknown();
    char canonical[PATH_MAX];
    struct stat info {};
    if (!::realpath(path.c_str(), canonical) || ::stat(canonical, &info) != 0 ||
        !S_ISREG(info.st_mode))
        return Unknown();
    std::string key = std::string(canonical) + '\n' + std::to_string(info.st_size) + '\n' +
                      std::to_string(info.st_mtim.tv_sec) + '.' +
                      std::to_string(info.st_mtim.tv_nsec);

    CapabilityCache& cache = TheCache();
    std::promise<SharedCapabilities> promise;
    std::shared_future<SharedCapabilities> entry;
    bool probeHere = false;
    {
        std::lock_guard lock(cache.mutex);
        auto it = cache.entries.find(key);
        if (it != cache.entries.end()) {
            entry = it->second;
        } else {
            entry = promise.get_future().share();
            cache.entries.emplace(key, entry);
            probeHere = true;
        }
    }
    if (!probeHere)
        return entry.get();
    SharedCapabilities result;
    try {
        result = std::make_shared<const FFmpegCapabilities>(
            ProbeFFmpegCapabilities(canonical, kProbeTimeout));
    } catch (...) {
        result = Unknown();
    }
    promise.set_value(result);
    return result;
}

} // namespace kestrine
