#include "cli/CliApp.h"

#include "base/Exception.h"
#include "base/Paths.h"
#include "base/Strings.h"
#include "base/Text.h"
#include "engine/BatchQueue.h"
#include "engine/CommandLine.h"
#include "engine/ConvertProcess.h"
#include "platform/FileInUse.h"
#include "platform/MessageBox.h"
#include "platform/Process.h"
#include "profiles/Catalogue.h"
#include "profiles/ProfileLookup.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QSocketNotifier>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <iostream>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace kestrine::cli {

namespace {

// The signal that stops the batch, and a pipe that tells the event loop about it.
volatile std::sig_atomic_t gStopSignal = 0;
int gSignalPipe[2] = {-1, -1};

extern "C" void OnStopSignal(int signal) {
    gStopSignal = signal;
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = write(gSignalPipe[1], &byte, 1);
}

// Ctrl+C, a terminal hang-up and a polite kill stop the batch as "Stop" does, for as long as
// this object lives.
class StopSignals {
public:
    static constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};

    StopSignals() {
        gStopSignal = 0;
        if (platform::CreatePipe(gSignalPipe[0], gSignalPipe[1]) == 0) {
            platform::SetNonBlocking(gSignalPipe[0]);
            platform::SetNonBlocking(gSignalPipe[1]);
        }
        struct sigaction action {};
        action.sa_handler = OnStopSignal;
        sigemptyset(&action.sa_mask);
        action.sa_flags = 0; // no restart: a question waiting on the terminal gives up
        for (std::size_t i = 0; i < std::size(kSignals); ++i)
            sigaction(kSignals[i], &action, &previous_[i]);
    }

    ~StopSignals() {
        for (std::size_t i = 0; i < std::size(kSignals); ++i)
            sigaction(kSignals[i], &previous_[i], nullptr);
        platform::CloseDescriptor(gSignalPipe[0]);
        platform::CloseDescriptor(gSignalPipe[1]);
    }

    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

    int ReadFd() const { return gSignalPipe[0]; }

private:
    struct sigaction previous_[std::size(kSignals)]{};
};

bool IsFolder(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

std::string Lowered(std::string text) {
    return LowerAscii(TrimControl(text));
}

// Converts the queue's files one after another with the engine, as the progress window does.
class CliBatch : public QObject {
public:
    CliBatch(TConvertProcess& engine, TBatchQueue& queue, const ConvertOptions& options,
             std::ostream& out, std::ostream& err, bool terminal)
        : engine_(engine), queue_(queue), options_(options), out_(out), err_(err),
          terminal_(terminal && !options.notices) {}

    int Run(int signalFd) {
        QSocketNotifier stopper(signalFd, QSocketNotifier::Read);
        if (signalFd >= 0)
            QObject::connect(&stopper, &QSocketNotifier::activated, this, [this] { StopBatch(); });
        StartCurrent();
        const int code = finished_ ? exitCode_ : loop_.exec();
        if (engine_.Running)
            engine_.Stop(0);
        return code;
    }

    bool event(QEvent* e) override {
        if (e->type() != WM_CONVERTINFO)
            return QObject::event(e);
        const std::unique_ptr<TProcessInfo> info = static_cast<TConvertInfoEvent*>(e)->TakeInfo();
        if (finished_)
            return true; // a notice of a batch that has ended
        if (!info->IsCompletion())
            Progress(*info);
        else
            Completion(*info);
        return true;
    }

private:
    void StartCurrent() {
        while (!queue_.Finished()) {
            if (gStopSignal != 0) {
                StopBatch();
                return;
            }
            const std::string input = queue_.CurrentInput();
            const std::string output = queue_.CurrentOutput();
            if (platform::IsSameFile(input, output)) {
                err_ << "kestrine-cli: " << input
                     << ": the output would be the input file itself; not converted\n";
            }
            engine_.Running = true;
            engine_.InputFile = input;
            engine_.OutputFile = output;
            engine_.NotifyWindow = this;
            engine_.Params = GetProfileParams(options_.profile);
            engine_.UseDefaultFFmpeg = !options_.ffmpeg.has_value();
            engine_.FFmpegPath = options_.ffmpeg.value_or("");
            engine_.OutputObserver = [this](int stream, std::string_view bytes) {
                if (stream == 2)
                    KeepTail(bytes);
            };
            ffmpegTail_.clear();
            try {
                engine_.Start();
                return; // its completion notice moves the batch on
            } catch (const Exception& e) {
                err_ << "kestrine-cli: " << ExtractFileName(input) << ": " << e.what() << '\n';
                queue_.RecordFailure();
                queue_.MoveNext();
            }
        }
        Finish(queue_.FailedList.empty() ? kExitOk : kExitSomeFailed);
    }

    void Progress(const TProcessInfo& info) {
        if (options_.notices) {
            out_ << "progress " << info.Percent << ' ' << info.Elapsed << ' ' << info.Estimated
                 << std::endl;
        } else if (terminal_) {
            out_ << '\r' << queue_.Counter() << ' ' << ExtractFileName(engine_.OutputFile) << "  "
                 << info.Percent << "%  elapsed " << info.Elapsed << "  estimated "
                 << info.Estimated << "\x1b[K" << std::flush;
            lineOpen_ = true;
        }
    }

    void Completion(const TProcessInfo& info) {
        if (options_.notices) {
            out_ << "done " << info.Status << ' ' << (info.Converted() ? "some" : "none")
                 << std::endl;
        } else if (terminal_) {
            out_ << '\r' << queue_.Counter() << ' ' << ExtractFileName(engine_.OutputFile) << "  "
                 << (info.Converted() ? "converted" : "failed") << "\x1b[K" << std::endl;
            lineOpen_ = false;
        }
        if (info.Status == kStatusInUse)
            err_ << "kestrine-cli: " << engine_.OutputFile << strings::kFileInUse << '\n';
        else if (!info.Converted() && (info.ExitCode >= 0 || info.ExitSignal != 0))
            ExplainFailure(info);
        if (queue_.Complete(info))
            StartCurrent();
        else
            Finish(queue_.FailedList.empty() ? kExitOk : kExitSomeFailed);
    }

    // The end of what FFmpeg printed on standard error, to tell why a file failed.
    void KeepTail(std::string_view bytes) {
        constexpr std::size_t kKeep = 8192;
        ffmpegTail_ += bytes;
        if (ffmpegTail_.size() > kKeep)
            ffmpegTail_.erase(0, ffmpegTail_.size() - kKeep);
    }

    void ExplainFailure(const TProcessInfo& info) {
        err_ << "kestrine-cli: " << ExtractFileName(queue_.CurrentInput()) << " failed (FFmpeg ";
        if (info.ExitSignal != 0)
            err_ << "ended by signal " << info.ExitSignal;
        else
            err_ << "exit status " << info.ExitCode;
        err_ << ")";
        std::vector<std::string> lines;
        std::size_t start = 0;
        while (start < ffmpegTail_.size()) {
            const std::size_t end = ffmpegTail_.find_first_of("\r\n", start);
            std::string line = TrimControl(ffmpegTail_.substr(start, end - start));
            if (!line.empty())
                lines.push_back(std::move(line));
            start = end == std::string::npos ? ffmpegTail_.size() : end + 1;
        }
        err_ << (lines.empty() ? "\n" : ":\n");
        const std::size_t shown = std::min<std::size_t>(lines.size(), 3);
        for (std::size_t i = lines.size() - shown; i < lines.size(); ++i)
            err_ << "    " << lines[i] << '\n';
    }

    void StopBatch() {
        if (finished_ || gStopSignal == 0)
            return;
        engine_.Stop(0);
        if (lineOpen_)
            out_ << std::endl;
        err_ << "kestrine-cli: stopped\n";
        Finish(kExitSignalBase + gStopSignal);
    }

    void Finish(int code) {
        if (finished_)
            return;
        finished_ = true;
        exitCode_ = code;
        loop_.exit(code);
    }

    TConvertProcess& engine_;
    TBatchQueue& queue_;
    const ConvertOptions& options_;
    std::ostream& out_;
    std::ostream& err_;
    const bool terminal_;
    QEventLoop loop_;
    bool finished_ = false;
    bool lineOpen_ = false;
    int exitCode_ = kExitOk;
    std::string ffmpegTail_;
};

int Usage(std::ostream& err, const std::string& error) {
    if (!error.empty())
        err << "kestrine-cli: " << error << '\n';
    err << UsageText();
    return kExitUsage;
}

// The mistakes of set-up that end the run before any file: exit status 2 and a message.
bool SetUpIsSound(const ConvertOptions& options, std::ostream& err) {
    if (GetProfileExt(options.profile).empty()) {
        err << "kestrine-cli: unknown profile \"" << options.profile
            << "\" (see kestrine-cli --list-profiles)\n";
        return false;
    }
    if (options.outputDir && !IsFolder(*options.outputDir)) {
        err << "kestrine-cli: " << *options.outputDir << strings::kOutputDirMissing << '\n';
        return false;
    }
    if (options.ffmpeg && !platform::IsExecutableFile(*options.ffmpeg)) {
        err << "kestrine-cli: " << *options.ffmpeg << ": no FFmpeg program there\n";
        return false;
    }
    if (!options.ffmpeg && ResolveFFmpeg(true, "").empty()) {
        err << "kestrine-cli: ffmpeg was found neither beside kestrine-cli nor on PATH"
               " (install it, or name it with --ffmpeg PATH)\n";
        return false;
    }
    for (const std::string& file : options.files) {
        if (!platform::FileExists(file)) {
            err << "kestrine-cli: " << file
                << (IsFolder(file) ? ": a folder, not a file\n" : ": no such file\n");
            return false;
        }
    }
    return true;
}

TBatchQueue QueueOf(const ConvertOptions& options) {
    TBatchQueue queue(options.files);
    queue.Ext = GetProfileExt(options.profile);
    queue.SameAsInput = options.sameAsInput;
    queue.OutputFolder = options.outputDir.value_or("");
    return queue;
}

// For each file, the command the engine would launch for it as a new output, one a line;
// nothing is run and nothing is asked.
int PrintCommands(const ConvertOptions& options, std::ostream& out, std::ostream& err) {
    if (!SetUpIsSound(options, err))
        return kExitUsage;
    TBatchQueue queue = QueueOf(options);
    TConvertProcess engine;
    engine.Params = GetProfileParams(options.profile);
    engine.UseDefaultFFmpeg = !options.ffmpeg.has_value();
    engine.FFmpegPath = options.ffmpeg.value_or("");
    int code = kExitOk;
    for (; !queue.Finished(); queue.MoveNext()) {
        engine.InputFile = queue.CurrentInput();
        engine.OutputFile = queue.CurrentOutput();
        if (platform::IsSameFile(engine.InputFile, engine.OutputFile)) {
            err << "kestrine-cli: " << engine.InputFile
                << ": the output would be the input file itself; nothing would be launched\n";
            code = kExitSomeFailed;
            continue;
        }
        try {
            const TLaunch launch = engine.Launch(false);
            out << ShellCommand(launch.Program, launch.Arguments) << '\n';
        } catch (const Exception& e) {
            err << "kestrine-cli: " << ExtractFileName(engine.InputFile) << ": " << e.what()
                << '\n';
            code = kExitSomeFailed;
        }
    }
    out << std::flush;
    return code;
}

int Convert(const ConvertOptions& options, std::istream& in, std::ostream& out, std::ostream& err,
            bool terminal) {
    if (!SetUpIsSound(options, err))
        return kExitUsage;

    static int argc = 1;
    static char name[] = "kestrine-cli";
    static char* argv[] = {name, nullptr};
    std::unique_ptr<QCoreApplication> ownApp;
    if (QCoreApplication::instance() == nullptr)
        ownApp = std::make_unique<QCoreApplication>(argc, argv);

    const platform::MessageBoxHook previousHook =
        platform::SetMessageBoxHook([&](const platform::MessageRequest& request) {
            const std::string text = request.text.toStdString();
            switch (options.overwrite) {
            case OverwriteAnswer::Yes:
                return platform::MessageAnswer::Yes;
            case OverwriteAnswer::No:
                err << "kestrine-cli: " << text << " no (--overwrite no)\n";
                return platform::MessageAnswer::No;
            case OverwriteAnswer::Ask:
                break;
            }
            err << text << " [y/N] " << std::flush;
            std::string answer;
            if (!std::getline(in, answer)) {
                in.clear();
                err << '\n';
                return platform::MessageAnswer::No;
            }
            const std::string word = Lowered(answer);
            return word == "y" || word == "yes" ? platform::MessageAnswer::Yes
                                                : platform::MessageAnswer::No;
        });

    TBatchQueue queue = QueueOf(options);

    int code;
    {
        StopSignals stopSignals;
        TConvertProcess engine;
        CliBatch batch(engine, queue, options, out, err, terminal);
        code = batch.Run(stopSignals.ReadFd());
    }
    platform::SetMessageBoxHook(previousHook);

    if (const std::string failed = queue.FailedMessage(); !failed.empty())
        out << failed << std::endl;
    return code;
}

} // namespace

std::string ShellQuote(std::string_view word) {
    const auto plain = [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
               std::string_view("_-+=.,:/@%").find(c) != std::string_view::npos;
    };
    // A leading "=" is a path lookup in zsh.
    if (!word.empty() && word.front() != '=' && std::all_of(word.begin(), word.end(), plain))
        return std::string(word);
    std::string quoted = "'";
    for (char c : word) {
        if (c == '\'')
            quoted += "'\\''";
        else
            quoted += c;
    }
    return quoted + "'";
}

std::string ShellCommand(const std::string& program, const std::vector<std::string>& arguments) {
    std::string line =
        ShellQuote(program.find('/') == std::string::npos ? "./" + program : program);
    for (std::size_t i = 1; i < arguments.size(); ++i)
        line += ' ' + ShellQuote(arguments[i]);
    return line;
}

std::string UsageText() {
    return "Usage: kestrine-cli --profile TEXT (--output-dir DIR | --same-as-input)\n"
           "                   [--ffmpeg PATH] [--overwrite ask|yes|no] [--notices] FILE...\n"
           "       kestrine-cli --print-command --profile TEXT (--output-dir DIR |\n"
           "                   --same-as-input) [--ffmpeg PATH] FILE...\n"
           "       kestrine-cli --list-profiles\n"
           "\n"
           "  --profile TEXT    a profile caption (see --list-profiles) or a manual profile\n"
           "                    text such as \"ffmpeg -i %1 -vn -ab 128k %1.mp3\"\n"
           "  --output-dir DIR  write the outputs into DIR\n"
           "  --same-as-input   write each output beside its input\n"
           "  --ffmpeg PATH     the FFmpeg program to run (default: \"ffmpeg\" beside\n"
           "                    kestrine-cli, else on PATH)\n"
           "  --overwrite ...   an existing output: ask on the terminal (default), or\n"
           "                    answer yes or no for every file\n"
           "  --notices         print every notice: \"progress PERCENT ELAPSED ESTIMATED\"\n"
           "                    or \"done STATUS some|none\"\n"
           "  --print-command   print, for each file, the FFmpeg command that would be\n"
           "                    launched for a new output, quoted for a POSIX shell, one file\n"
           "                    a line; nothing is run and nothing is asked\n"
           "  --list-profiles   print the built-in profiles, one a line:\n"
           "                    category, caption, arguments and extension, separated by TABs\n"
           "\n"
           "The files are converted one after another; the names of those that failed are\n"
           "printed at the end. Exit status: 0 all converted, 1 some failed, 2 a usage or\n"
           "set-up error, 130 stopped by Ctrl+C.\n";
}

void PrintProfiles(std::ostream& out) {
    for (const Profile& row : Catalogue())
        out << row.category << '\t' << row.caption << '\t' << row.arguments << '\t' << row.extension
            << '\n';
}

std::optional<ConvertOptions> ParseConvertOptions(const std::vector<std::string>& args,
                                                  std::string& error) {
    ConvertOptions options;
    bool profileGiven = false;
    bool optionsEnded = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (optionsEnded || arg.empty() || arg[0] != '-' || arg == "-") {
            options.files.push_back(arg);
            continue;
        }
        if (arg == "--") {
            optionsEnded = true;
            continue;
        }
        std::string option = arg;
        std::optional<std::string> value;
        if (const auto eq = arg.find('='); eq != std::string::npos && arg.rfind("--", 0) == 0) {
            option = arg.substr(0, eq);
            value = arg.substr(eq + 1);
        }
        const bool takesValue = option == "--profile" || option == "--output-dir" ||
                                option == "--ffmpeg" || option == "--overwrite";
        if (takesValue && !value) {
            if (i + 1 >= args.size()) {
                error = option + " needs a value";
                return std::nullopt;
            }
            value = args[++i];
        } else if (!takesValue && value) {
            error = option + " takes no value";
            return std::nullopt;
        }

        if (option == "--profile") {
            options.profile = *value;
            profileGiven = true;
        } else if (option == "--output-dir") {
            options.outputDir = *value;
        } else if (option == "--ffmpeg") {
            options.ffmpeg = *value;
        } else if (option == "--overwrite") {
            if (*value == "ask")
                options.overwrite = OverwriteAnswer::Ask;
            else if (*value == "yes")
                options.overwrite = OverwriteAnswer::Yes;
            else if (*value == "no")
                options.overwrite = OverwriteAnswer::No;
            else {
                error = "--overwrite takes ask, yes or no, not \"" + *value + "\"";
                return std::nullopt;
            }
        } else if (option == "--same-as-input") {
            options.sameAsInput = true;
        } else if (option == "--notices") {
            options.notices = true;
        } else if (option == "--print-command") {
            options.printCommand = true;
        } else {
            error = "unknown option " + arg;
            return std::nullopt;
        }
    }
    if (!profileGiven) {
        error = "--profile is missing";
        return std::nullopt;
    }
    if (options.outputDir.has_value() == options.sameAsInput) {
        error = "give either --output-dir DIR or --same-as-input";
        return std::nullopt;
    }
    if (options.files.empty()) {
        error = "no files to convert";
        return std::nullopt;
    }
    return options;
}

int RunCli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    const bool terminal = &out == &std::cout && isatty(STDOUT_FILENO) == 1;
    return RunCli(args, std::cin, out, err, terminal);
}

int RunCli(const std::vector<std::string>& args, std::istream& in, std::ostream& out,
           std::ostream& err, bool terminal) {
    if (args.size() == 1 && args[0] == "--list-profiles") {
        PrintProfiles(out);
        return kExitOk;
    }
    if (args.size() == 1 && (args[0] == "--help" || args[0] == "-h")) {
        out << UsageText();
        return kExitOk;
    }
    if (args.empty())
        return Usage(err, "");
    std::string error;
    const std::optional<ConvertOptions> options = ParseConvertOptions(args, error);
    if (!options)
        return Usage(err, error);
    if (options->printCommand)
        return PrintCommands(*options, out, err);
    return Convert(*options, in, out, err, terminal);
}

} // namespace kestrine::cli
