#include "engine/FFmpegCapabilities.h"

#include "platform/AppDirs.h"
#include "platform/Process.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QFile>
#include <QStandardPaths>

#include <array>
#include <bit>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <future>
#include <mutex>
#include <span>
#include <thread>
#include <vector>

#include <elf.h>
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

bool Spawn(Probe& probe, const std::string& program, const std::vector<std::string>& args,
           char* const* env = environ) {
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
    int rc = ::posix_spawnp(&probe.pid, program.c_str(), &actions, nullptr, argv.data(), env);
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
void Drain(std::span<Probe> probes, std::chrono::steady_clock::time_point deadline) {
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

// The cache file's first line; another one (an older format) is not read.
constexpr std::string_view kCacheHeader = "Kestrine FFmpeg capabilities 1";
constexpr std::size_t kCacheFileLimit = 8u << 20;
// What the dynamic loader reads to find the libraries: another value, other libraries.
constexpr const char* kLoaderVariables[] = {"LD_LIBRARY_PATH", "LD_PRELOAD"};

// "device inode size mtime ctime" of a file, the times in nanoseconds; "" when it cannot be
// told.
std::string FileIdentity(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0)
        return {};
    auto ns = [](const timespec& t) {
        return std::to_string(static_cast<long long>(t.tv_sec) * 1000000000LL + t.tv_nsec);
    };
    return std::to_string(info.st_dev) + ' ' + std::to_string(info.st_ino) + ' ' +
           std::to_string(info.st_size) + ' ' + ns(info.st_mtim) + ' ' + ns(info.st_ctim);
}

// A name fits a line of the cache file: not empty, no tab, no line break.
bool Writable(std::string_view name) {
    return !name.empty() && name.find_first_of("\t\r\n") == std::string_view::npos;
}

std::vector<std::string_view> SplitTabs(std::string_view line) {
    std::vector<std::string_view> fields;
    while (true) {
        const std::size_t tab = line.find('\t');
        fields.push_back(line.substr(0, tab));
        if (tab == std::string_view::npos)
            return fields;
        line.remove_prefix(tab + 1);
    }
}

bool AllKnown(const FFmpegCapabilities& caps) {
    return caps.encoders && caps.options && caps.acceptsUnitWithB && caps.acceptsAviTagInMp4;
}

// Whether path is an ELF executable, and whether it names a program interpreter (the dynamic
// loader); nothing when it is no ELF file (a script, say, whose real program the loader would
// not show).
std::optional<bool> ElfHasInterpreter(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::array<unsigned char, 64> header{};
    in.read(reinterpret_cast<char*>(header.data()), header.size());
    if (in.gcount() < 52 || header[0] != 0x7f || header[1] != 'E' || header[2] != 'L' ||
        header[3] != 'F')
        return std::nullopt;
    if (header[EI_CLASS] != ELFCLASS32 && header[EI_CLASS] != ELFCLASS64)
        return std::nullopt;
    const bool wide = header[EI_CLASS] == ELFCLASS64;
    if (header[EI_DATA] != (std::endian::native == std::endian::little ? ELFDATA2LSB : ELFDATA2MSB))
        return std::nullopt; // not for this machine
    std::uint64_t offset = 0;
    std::uint16_t entrySize = 0, count = 0;
    if (wide) {
        Elf64_Ehdr e;
        std::memcpy(&e, header.data(), sizeof e);
        offset = e.e_phoff;
        entrySize = e.e_phentsize;
        count = e.e_phnum;
    } else {
        Elf32_Ehdr e;
        std::memcpy(&e, header.data(), sizeof e);
        offset = e.e_phoff;
        entrySize = e.e_phentsize;
        count = e.e_phnum;
    }
    if (entrySize < (wide ? sizeof(Elf64_Phdr) : sizeof(Elf32_Phdr)) || count > 4096)
        return std::nullopt;
    for (std::uint16_t i = 0; i < count; ++i) {
        std::array<char, sizeof(Elf64_Phdr)> entry{};
        in.clear();
        in.seekg(static_cast<std::streamoff>(offset + std::uint64_t{i} * entrySize));
        in.read(entry.data(), wide ? sizeof(Elf64_Phdr) : sizeof(Elf32_Phdr));
        if (!in)
            return std::nullopt;
        std::uint32_t type = 0;
        std::memcpy(&type, entry.data(), sizeof type); // p_type comes first in both
        if (type == PT_INTERP)
            return true;
    }
    return false;
}

// The shared libraries the dynamic loader gives executable, as it names them when asked to
// trace them (LD_TRACE_LOADED_OBJECTS: it resolves them and ends before the program runs);
// none for a static executable; nothing when that cannot be told.
std::optional<std::vector<std::string>> LoadedLibraries(const std::string& executable) {
    const std::optional<bool> dynamic = ElfHasInterpreter(executable);
    if (!dynamic)
        return std::nullopt;
    std::vector<std::string> libraries;
    if (!*dynamic)
        return libraries;

    std::vector<std::string> envText;
    for (char** e = environ; *e != nullptr; ++e) {
        if (std::string_view(*e).rfind("LD_TRACE_LOADED_OBJECTS=", 0) != 0)
            envText.emplace_back(*e);
    }
    envText.emplace_back("LD_TRACE_LOADED_OBJECTS=1");
    std::vector<char*> env;
    for (std::string& entry : envText)
        env.push_back(entry.data());
    env.push_back(nullptr);

    std::array<Probe, 1> trace;
    const auto deadline = std::chrono::steady_clock::now() + kProbeTimeout;
    if (!Spawn(trace[0], executable, {}, env.data()))
        return std::nullopt;
    Drain(trace, deadline);
    Reap(trace[0], deadline);
    if (!trace[0].finished || trace[0].exitCode != 0)
        return std::nullopt;
    // "\tlibavcodec.so.59 => /lib/x86_64-linux-gnu/libavcodec.so.59 (0x...)", the loader as
    // "\t/lib64/ld-linux-x86-64.so.2 (0x...)", the kernel's "\tlinux-vdso.so.1 (0x...)".
    bool missing = false;
    ForEachLine(trace[0].text[0], [&](std::string_view line) {
        line = TrimLeft(line);
        if (const std::size_t arrow = line.find(" => "); arrow != std::string_view::npos)
            line.remove_prefix(arrow + 4);
        else if (line.empty() || line.front() != '/')
            return;
        const std::string_view path = line.substr(0, line.find(" ("));
        if (path.empty() || path.front() != '/')
            missing = missing || line.find("not found") != std::string_view::npos;
        else
            libraries.emplace_back(path);
    });
    if (missing || libraries.empty())
        return std::nullopt;
    return libraries;
}

std::string CacheFileOf(const std::string& executable) {
    const std::string folder = CapabilityCacheFolder();
    if (folder.empty())
        return {};
    std::uint64_t hash = 14695981039346656037ull; // FNV-1a of the path
    for (unsigned char c : executable)
        hash = (hash ^ c) * 1099511628211ull;
    char name[40];
    std::snprintf(name, sizeof name, "ffmpeg-%016llx.cache", static_cast<unsigned long long>(hash));
    return folder + name;
}

std::optional<FFmpegCapabilities> ReadCacheFile(const std::string& executable) {
    const std::string file = CacheFileOf(executable);
    if (file.empty())
        return std::nullopt;
    std::ifstream in(file, std::ios::binary);
    // Read in pieces: a room of the whole limit would be zero-filled on every start, which
    // costs more than reading the file.
    std::string text;
    char piece[64 * 1024];
    while (text.size() <= kCacheFileLimit && in.read(piece, sizeof piece).gcount() > 0)
        text.append(piece, static_cast<std::size_t>(in.gcount()));
    if (text.empty() || text.size() > kCacheFileLimit)
        return std::nullopt;
    return ReadCapabilityCacheText(text, executable);
}

// Written beside its final name and renamed over it: a reader sees the old file or the new.
void WriteCacheFile(const std::string& executable, const FFmpegCapabilities& caps) {
    if (!AllKnown(caps))
        return;
    const std::string file = CacheFileOf(executable);
    if (file.empty())
        return;
    std::optional<std::vector<std::string>> files = LoadedLibraries(executable);
    if (!files)
        return;
    files->insert(files->begin(), executable);
    const std::string text = CapabilityCacheText(caps, *files);
    if (text.empty())
        return;
    const std::string folder = CapabilityCacheFolder();
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    const std::string temporary = file + ".tmp" + std::to_string(::getpid());
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out << text;
        if (!out.flush())
            error = std::make_error_code(std::errc::io_error);
    }
    if (error || ::rename(temporary.c_str(), file.c_str()) != 0)
        std::filesystem::remove(temporary, error);
}

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
        if (std::optional<FFmpegCapabilities> kept = ReadCacheFile(canonical)) {
            result = std::make_shared<const FFmpegCapabilities>(std::move(*kept));
        } else {
            FFmpegCapabilities probed = ProbeFFmpegCapabilities(canonical, kProbeTimeout);
            WriteCacheFile(canonical, probed);
            result = std::make_shared<const FFmpegCapabilities>(std::move(probed));
        }
    } catch (...) {
        result = Unknown();
    }
    promise.set_value(result);
    return result;
}

void ForgetCapabilities() {
    CapabilityCache& cache = TheCache();
    std::lock_guard lock(cache.mutex);
    cache.entries.clear();
}

std::string CapabilityCacheFolder() {
    const std::string home = platform::CacheHomeDir();
    return home.empty() ? std::string() : home + "Tallowmere/Kestrine/";
}

std::string CapabilityCacheText(const FFmpegCapabilities& caps,
                                const std::vector<std::string>& files) {
    if (!AllKnown(caps) || files.empty())
        return {};
    std::string text(kCacheHeader);
    text += '\n';
    for (const char* variable : kLoaderVariables) {
        const char* value = std::getenv(variable);
        if (value != nullptr && !Writable(value))
            return {};
        text += std::string("env\t") + variable + '\t' + (value != nullptr ? value : "") + '\n';
    }
    for (const std::string& file : files) {
        const std::string identity = FileIdentity(file);
        if (!Writable(file) || identity.empty())
            return {};
        text += "file\t" + file + '\t' + identity + '\n';
    }
    text += std::string("unit\t") + (*caps.acceptsUnitWithB ? "1" : "0") + '\n';
    text += std::string("tag\t") + (*caps.acceptsAviTagInMp4 ? "1" : "0") + '\n';
    for (const auto& [name, info] : *caps.encoders) {
        if (!Writable(name) || !Writable(info.codec))
            return {};
        text += "encoder\t" + name + '\t' + info.kind + '\t' + info.codec + '\t' +
                (info.experimental ? "1" : "0") + '\n';
    }
    for (const auto& [name, info] : *caps.options) {
        if (!Writable(name))
            return {};
        text += "option\t" + name + '\t' + (info.takesValue ? "1" : "0");
        for (const std::string& constant : info.constants) {
            if (!Writable(constant))
                return {};
            text += '\t' + constant;
        }
        text += '\n';
    }
    for (const std::string& name : caps.optionClasses) {
        if (!Writable(name))
            return {};
        text += "class\t" + name + '\n';
    }
    text += "end\n";
    return text;
}

std::optional<FFmpegCapabilities> ReadCapabilityCacheText(std::string_view text,
                                                          const std::string& executable) {
    FFmpegCapabilities caps;
    caps.encoders.emplace();
    caps.options.emplace();
    bool header = false, ended = false, valid = true, first = true;
    std::size_t variables = 0;
    // Lines as written: fields may end in blanks or be empty.
    while (valid && !text.empty()) {
        const std::size_t lineEnd = text.find('\n');
        if (lineEnd == std::string_view::npos) {
            valid = false; // cut short
            break;
        }
        const std::string_view line = text.substr(0, lineEnd);
        text.remove_prefix(lineEnd + 1);
        if (ended) {
            valid = false;
            break;
        }
        if (!header) {
            header = valid = line == kCacheHeader;
            continue;
        }
        const std::vector<std::string_view> f = SplitTabs(line);
        const std::string_view kind = f[0];
        if (kind == "env" && f.size() == 3 && variables < std::size(kLoaderVariables) &&
            f[1] == kLoaderVariables[variables]) {
            const char* value = std::getenv(kLoaderVariables[variables++]);
            valid = f[2] == (value != nullptr ? value : "");
        } else if (kind == "file" && f.size() == 3) {
            // The executable first; every file as it was.
            valid = (!first || f[1] == executable) && FileIdentity(std::string(f[1])) == f[2];
            first = false;
        } else if ((kind == "unit" || kind == "tag") && f.size() == 2 &&
                   (f[1] == "0" || f[1] == "1")) {
            (kind == "unit" ? caps.acceptsUnitWithB : caps.acceptsAviTagInMp4) = f[1] == "1";
        } else if (kind == "encoder" && f.size() == 5 && f[2].size() == 1) {
            EncoderInfo& info = (*caps.encoders)[std::string(f[1])];
            info.kind = f[2][0];
            info.codec = std::string(f[3]);
            info.experimental = f[4] == "1";
        } else if (kind == "option" && f.size() >= 3) {
            OptionInfo& info = (*caps.options)[std::string(f[1])];
            info.takesValue = f[2] == "1";
            for (std::size_t i = 3; i < f.size(); ++i)
                info.constants.emplace(f[i]);
        } else if (kind == "class" && f.size() == 2) {
            caps.optionClasses.emplace(f[1]);
        } else if (kind == "end" && f.size() == 1) {
            ended = true;
        } else {
            valid = false;
        }
    }
    if (!valid || !ended || first || variables != std::size(kLoaderVariables) ||
        caps.encoders->empty() || caps.options->empty() || !caps.acceptsUnitWithB ||
        !caps.acceptsAviTagInMp4)
        return std::nullopt;
    return caps;
}

} // namespace kestrine
