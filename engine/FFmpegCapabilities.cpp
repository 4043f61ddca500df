#include "engine/FFmpegCapabilities.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QDateTime>
#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QStringList>

#include <array>
#include <future>
#include <mutex>

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

struct Probe {
    QStringList arguments;
    QProcess process;
    bool finished = false; // ended by itself, not by a crash or the time limit
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

// The probes. Each is an ordinary FFmpeg run that ends by itself within a few tens of
// milliseconds; options are spelled the way builds of every age read them.
enum ProbeIndex { kHelp, kEncoders, kUnit, kTag, kProbeCount };

QStringList ProbeArguments(ProbeIndex index) {
    switch (index) {
    case kHelp:
        return {"-h", "full"};
    case kEncoders:
        return {"-encoders"};
    case kUnit:
        return {"-nostdin",
                "-loglevel",
                "error",
                "-f",
                "lavfi",
                "-i",
                "anullsrc=r=8000:cl=mono",
                "-aframes",
                "1",
                "-acodec",
                "pcm_s16le",
                "-ab",
                "1kb",
                "-f",
                "null",
                "-"};
    case kTag:
        return {"-nostdin",
                "-loglevel",
                "error",
                "-f",
                "lavfi",
                "-i",
                "testsrc=size=16x16:rate=1",
                "-vframes",
                "1",
                "-vcodec",
                "mpeg4",
                "-vtag",
                "XVID",
                "-f",
                "mp4",
                "-y",
                "/dev/null"};
    case kProbeCount:
        break;
    }
    return {};
}

// A yes when the run succeeded, a no when it failed naming what it tried, unknown otherwise.
std::optional<bool> Verdict(const Probe& probe, const char* named) {
    if (!probe.finished)
        return std::nullopt;
    if (probe.exitCode == 0)
        return true;
    if (probe.err.contains(named))
        return false;
    return std::nullopt;
}

} // namespace

FFmpegCapabilities ProbeFFmpegCapabilities(const std::string& executable,
                                           std::chrono::milliseconds timeout) {
    std::array<Probe, kProbeCount> probes;
    QString program = QFile::decodeName(QByteArray::fromStdString(executable));
    for (int i = 0; i < kProbeCount; ++i) {
        Probe& probe = probes[static_cast<std::size_t>(i)];
        probe.arguments = ProbeArguments(static_cast<ProbeIndex>(i));
        probe.process.setStandardInputFile(QProcess::nullDevice());
        probe.process.start(program, probe.arguments, QIODevice::ReadOnly);
    }
    // The help is by far the longest text; wait for it first while the others, whose output
    // fits in a pipe, end meanwhile.
    QDeadlineTimer deadline(timeout);
    for (Probe& probe : probes) {
        int left = static_cast<int>(std::max<qint64>(deadline.remainingTime(), 50));
        if (probe.process.waitForFinished(left) &&
            probe.process.exitStatus() == QProcess::NormalExit) {
            probe.finished = true;
            probe.exitCode = probe.process.exitCode();
            probe.out = probe.process.readAllStandardOutput();
            probe.err = probe.process.readAllStandardError();
        } else if (probe.process.state() != QProcess::NotRunning) {
            probe.process.kill();
            probe.process.waitForFinished(1000);
        }
    }

    FFmpegCapabilities caps;
    const Probe& help = probes[kHelp];
    if (help.finished && help.exitCode == 0) {
        std::set<std::string> classes;
        auto options = ParseOptionHelp(help.out.toStdString(), &classes);
        if (!options.empty()) {
            caps.options = std::move(options);
            caps.optionClasses = std::move(classes);
        }
    }
    const Probe& list = probes[kEncoders];
    if (list.finished && list.exitCode == 0) {
        auto encoders = ParseEncoderList(list.out.toStdString());
        if (!encoders.empty())
            caps.encoders = std::move(encoders);
    }
    caps.acceptsUnitWithB = Verdict(probes[kUnit], "1kb");
    caps.acceptsAviTagInMp4 = Verdict(probes[kTag], "XVID");
    return caps;
}

std::string ResolveFFmpegExecutable(const std::string& executable) {
    if (executable.empty())
        return {};
    QString name = QFile::decodeName(QByteArray::fromStdString(executable));
    if (executable.find('/') != std::string::npos)
        return executable;
    QString found;
    if (QCoreApplication::instance())
        found = QStandardPaths::findExecutable(name, {QCoreApplication::applicationDirPath()});
    if (found.isEmpty())
        found = QStandardPaths::findExecutable(name);
    return QFile::encodeName(found).toStdString();
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
    QFileInfo info(QFile::decodeName(QByteArray::fromStdString(path)));
    if (!info.isFile())
        return Unknown();
    QString canonical = info.canonicalFilePath();
    std::string key = QFile::encodeName(canonical).toStdString() + '\n' +
                      std::to_string(info.size()) + '\n' +
                      std::to_string(info.lastModified().toMSecsSinceEpoch());

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
            ProbeFFmpegCapabilities(QFile::encodeName(canonical).toStdString(), kProbeTimeout));
    } catch (...) {
        result = Unknown();
    }
    promise.set_value(result);
    return result;
}

} // namespace kestrine
