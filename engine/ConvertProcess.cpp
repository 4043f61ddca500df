#include "engine/ConvertProcess.h"

#include "engine/ParamsAdapter.h"

#include "base/Exception.h"
#include "base/Strings.h"
#include "platform/FileInUse.h"
#include "platform/MessageBox.h"
#include "platform/Notice.h"

#include <QFile>
#include <QString>

#include <algorithm>
#include <atomic>
#include <thread>

namespace kestrine {

namespace {

constexpr int kIdleWaitMs = 100;
// Progress notices of one read at most: the first ones and the latest (see ParseChunk).
constexpr std::size_t kNoticesPerRead = 16;

constexpr std::string_view kStdInCreation = "Error on STDIN pipe creation : ";
constexpr std::string_view kStdOutCreation = "Error on STDOUT pipe creation : ";
constexpr std::string_view kStdErrCreation = "Error on STDERR pipe creation : ";
constexpr std::string_view kStdOutRead = "Error reading STDOUT pipe : ";
constexpr std::string_view kStdErrRead = "Error reading STDERR pipe : ";

QString FromUtf8(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

} // namespace

// Watches one child: looks at its two pipes and waits for it, and has the GUI thread read what
// the pipes hold and finish the child, through its synchronise call. It has its own copies of
// the descriptors it watches, so nothing the GUI thread closes is ever touched here, and it
// calls into the engine only through the channel, which the engine cancels when it lets go of
// the thread. It is the one that reaps the child: when it ends, a child that still runs is
// killed first.
class TConvertThread {
public:
    TConvertThread(TConvertProcess* process, platform::UniqueFd stdOut, platform::UniqueFd stdErr,
                   platform::ChildProcess child)
        : Process(process), stdOut_(std::move(stdOut)), stdErr_(std::move(stdErr)), child_(child) {
        try {
            thread_ = std::thread(&TConvertThread::Run, this);
        } catch (...) {
            platform::CloseDescriptor(child_.pidFd);
            throw;
        }
    }

    ~TConvertThread() {
        Release();
        if (thread_.joinable())
            thread_.join();
    }

    TConvertThread(const TConvertThread&) = delete;
    TConvertThread& operator=(const TConvertThread&) = delete;

    // The engine lets go: no call of this thread runs any more, and it ends at once.
    void Release() {
        terminated_ = true;
        channel_.Cancel();
        wake_.Signal();
    }

    bool Terminated() const { return terminated_; }
    bool Ended() const { return ended_; }

    TConvertProcess* const Process;

private:
    void Run() {
        try {
            Execute();
        } catch (...) {
            // A failed read has already ended the file; the thread just ends.
        }
        if (!reaped_) {
            platform::KillChild(child_);
            platform::ReapChild(child_);
        }
        stdOut_.Reset();
        stdErr_.Reset();
        ended_ = true;
    }

    void Execute() {
        while (true) {
            bool idle = PollPipes();
            if (stopped_)
                return;
            if (idle) {
                const int fds[] = {stdOut_.Get(), stdErr_.Get(), child_.pidFd, wake_.Fd()};
                // With the child's pidfd and the wake event, every reason to look again wakes
                // the wait, so a silent child costs no wake-ups; without either, look again
                // now and then.
                const bool wakesByItself = child_.pidFd >= 0 && wake_.Fd() >= 0;
                platform::WaitReadable(fds, wakesByItself ? -1 : kIdleWaitMs);
                if (Terminated())
                    return;
                if (platform::HasEnded(child_)) {
                    // What the child wrote before it ended is read before it is finished.
                    do {
                        idle = PollPipes();
                    } while (!idle && !stopped_);
                    if (stopped_)
                        return;
                    const platform::ExitStatus exit = platform::ReapChild(child_);
                    reaped_ = true;
                    if (!Terminated()) {
                        Sync([this, exit] {
                            Process->LastExit = exit;
                            Process->ProcessFinished();
                        });
                    }
                    return;
                }
            }
            if (Terminated() && idle)
                return;
        }
    }

    // True when neither pipe held anything.
    bool PollPipes() {
        bool idle = true;
        int count = 0;
        if (platform::BytesAvailable(stdOut_.Get(), count) == 0 && count > 0) {
            Sync([this, count] {
                Process->BytesAvailable = count;
                Process->ReadStdOut();
            });
            idle = false;
        }
        if (stopped_)
            return idle;
        if (platform::BytesAvailable(stdErr_.Get(), count) == 0 && count > 0) {
            Sync([this, count] {
                Process->BytesAvailable = count;
                Process->ReadStdErr();
            });
            idle = false;
        }
        return idle;
    }

    void Sync(const std::function<void()>& fn) {
        if (channel_.Call(fn) == platform::SyncChannel::Result::Cancelled)
            stopped_ = true;
    }

    platform::UniqueFd stdOut_;
    platform::UniqueFd stdErr_;
    platform::ChildProcess child_;
    platform::WakeEvent wake_;
    platform::SyncChannel channel_;
    std::atomic<bool> terminated_{false};
    std::atomic<bool> ended_{false};
    bool stopped_ = false; // a call was cancelled: the engine has let go
    bool reaped_ = false;
    std::thread thread_;
};

QEvent::Type ConvertInfoEventType() {
    static const QEvent::Type type = platform::RegisterNoticeType(QEvent::User + 0x1702);
    return type;
}

TConvertInfoEvent::TConvertInfoEvent(std::unique_ptr<TProcessInfo> info)
    : QEvent(ConvertInfoEventType()), info_(std::move(info)) {
    if (!info_)
        info_ = std::make_unique<TProcessInfo>();
}

TConvertInfoEvent::~TConvertInfoEvent() = default;

std::unique_ptr<TProcessInfo> TConvertInfoEvent::TakeInfo() {
    return std::exchange(info_, std::make_unique<TProcessInfo>());
}

TConvertProcess::TConvertProcess() {
    platform::IgnoreSigpipe();
    // Profiles written for old FFmpeg builds are adapted to the one that will run.
    AdaptParams = MakeParamsAdapter([this] { return OutputFile; });
}

TConvertProcess::~TConvertProcess() {
    if (Running)
        Stop(0);
    // A child left without Running is ended as well: nobody would watch or reap it otherwise.
    DropChild();
    ClosePipes();
    // Every thread has been let go of, so none waits for this thread: each ends at once.
    threads_.clear();
}

void TConvertProcess::Start() {
    // A child still watched here was never finished or stopped; it goes first.
    DropChild();
    ClosePipes();
    JoinEndedThreads();
    Parse = TParseState{};
    for (TLineJoiner& joiner : lines_)
        joiner.Clear();
    LastExit = platform::ExitStatus{};
    CommandLine.clear();
    Arguments.clear();

    // FFmpeg would destroy the input while reading it.
    if (platform::IsSameFile(InputFile, OutputFile)) {
        NotifyFinished(kStatusDone);
        return;
    }

    bool overwrite = false;
    if (platform::FileExists(OutputFile)) {
        platform::MessageRequest question;
        question.text = QFile::decodeName(QByteArray::fromStdString(OutputFile)) +
                        FromUtf8(strings::kOverwriteQuestion);
        question.caption = FromUtf8(strings::kAppTitle);
        question.buttons = platform::MessageButtons::YesNo;
        question.icon = platform::MessageIcon::Information;
        if (platform::ShowMessage(question) == platform::MessageAnswer::No) {
            NotifyFinished(kStatusDone);
            return;
        }
        if (platform::IsFileInUse(OutputFile)) {
            NotifyFinished(kStatusInUse);
            return;
        }
        overwrite = true;
    }

    CreatePipes();
    CommandLine = BuildCommandLineText(Pieces(overwrite));
    Parse.DurationSec = 0;

    try {
        TLaunch launch = Launch(overwrite);
        Arguments = std::move(launch.Arguments);

        int error = platform::SpawnChild(launch.Program, Arguments, StdInRead, StdOutWrite,
                                         StdErrWrite, ProcessInfo);
        if (error != 0)
            RaiseLastError(strings::kCreateProcessError, error);
        // Nothing is ever written to the child, so its standard input reads as ended from the
        // start, as with "< /dev/null": FFmpeg never waits on it for a key or an answer. An
        // output that appeared after the check above is then refused by FFmpeg's own question
        // ("Not overwriting - exiting") instead of leaving it waiting until "Stop".
        platform::CloseDescriptor(StdInWrite);

        int outCopy = -1;
        int errCopy = -1;
        int pidCopy = -1;
        error = platform::DuplicateDescriptor(StdOutRead, outCopy);
        platform::UniqueFd out(outCopy);
        if (error == 0)
            error = platform::DuplicateDescriptor(StdErrRead, errCopy);
        platform::UniqueFd err(errCopy);
        if (error == 0 && ProcessInfo.pidFd >= 0)
            error = platform::DuplicateDescriptor(ProcessInfo.pidFd, pidCopy);
        if (error != 0)
            RaiseLastError(strings::kCreateProcessError, error);

        threads_.reserve(threads_.size() + 1);
        auto thread = std::make_unique<TConvertThread>(
            this, std::move(out), std::move(err), platform::ChildProcess{ProcessInfo.pid, pidCopy});
        MonitorThread = thread.get();
        threads_.push_back(std::move(thread));
    } catch (...) {
        // No thread owns the child yet: end it here. No notice follows.
        ClosePipes();
        if (ProcessInfo.pid > 0) {
            platform::KillChild(ProcessInfo);
            platform::ReapChild(ProcessInfo);
        }
        CloseChildInfo();
        throw;
    }
}

TCommandPieces TConvertProcess::Pieces(bool overwrite) const {
    TCommandPieces pieces;
    pieces.UseDefaultFFmpeg = UseDefaultFFmpeg;
    pieces.FFmpegPath = FFmpegPath;
    pieces.Overwrite = overwrite;
    pieces.InputFile = InputFile;
    pieces.Params = Params;
    pieces.OutputFile = OutputFile;
    return pieces;
}

TLaunch TConvertProcess::Launch(bool overwrite) const {
    TLaunch launch;
    launch.Program = ResolveFFmpeg(UseDefaultFFmpeg, FFmpegPath);
    if (launch.Program.empty())
        RaiseLastError(strings::kCreateProcessError, ENOENT);
    launch.Arguments = BuildArgv(
        Pieces(overwrite), ApplyParamsAdapter(AdaptParams, SplitParams(Params), launch.Program));
    return launch;
}

void TConvertProcess::Stop(std::int32_t /*exitCode*/) {
    if (!Running)
        return;
    Running = false;
    DropChild();
    ClosePipes();
}

void TConvertProcess::ProcessFinished() {
    if (MonitorThread != nullptr) {
        MonitorThread->Release();
        MonitorThread = nullptr;
    }
    ClosePipes();
    CloseChildInfo();
    // A last line without a break still counts.
    for (TLineJoiner& joiner : lines_) {
        const std::string rest = joiner.Flush();
        if (!rest.empty())
            ParseOutput(rest.data(), static_cast<std::int32_t>(rest.size()));
    }
    NotifyFinished(kStatusDone);
}

void TConvertProcess::NotifyFinished(std::int32_t status) {
    auto info = std::make_unique<TProcessInfo>();
    info->Percent = kCompletionPercent;
    info->Status = status;
    // Converted: FFmpeg showed progress and said it succeeded.
    if (Parse.SawProgress && LastExit.exitCode == 0)
        info->Elapsed = std::string(kElapsedConverted);
    info->ExitCode = LastExit.exitCode;
    info->ExitSignal = LastExit.signal;
    platform::PostNotice(NotifyWindow.data(), std::make_unique<TConvertInfoEvent>(std::move(info)));
}

void TConvertProcess::CreatePipes() {
    const struct {
        int& readEnd;
        int& writeEnd;
        std::string_view message;
    } pipes[] = {
        {StdInRead, StdInWrite, kStdInCreation},
        {StdOutRead, StdOutWrite, kStdOutCreation},
        {StdErrRead, StdErrWrite, kStdErrCreation},
    };
    for (const auto& pipe : pipes) {
        int error = platform::CreatePipe(pipe.readEnd, pipe.writeEnd);
        // Our read ends never wait: a read takes what is there.
        if (error == 0 && &pipe.readEnd != &StdInRead) {
            error = platform::SetNonBlocking(pipe.readEnd);
            // A pipe that cannot grow keeps its size: a wish, not a need.
            platform::SetPipeCapacity(pipe.readEnd, kOutputPipeBytes);
        }
        if (error != 0) {
            ClosePipes();
            RaiseLastError(pipe.message, error);
        }
    }
}

void TConvertProcess::ClosePipes() {
    platform::CloseDescriptor(StdInRead);
    platform::CloseDescriptor(StdInWrite);
    platform::CloseDescriptor(StdOutRead);
    platform::CloseDescriptor(StdOutWrite);
    platform::CloseDescriptor(StdErrRead);
    platform::CloseDescriptor(StdErrWrite);
}

void TConvertProcess::ReadStdOut() {
    ReadPipe(StdOutRead, 1, kStdOutRead);
}

void TConvertProcess::ReadStdErr() {
    ReadPipe(StdErrRead, 2, kStdErrRead);
}

void TConvertProcess::ReadPipe(int fd, int stream, std::string_view errorText) {
    const auto count = static_cast<std::size_t>(std::max<std::int32_t>(BytesAvailable, 0));
    TLineJoiner& joiner = lines_[stream == 1 ? 0 : 1];
    // The bytes go straight behind the unfinished line this pipe left last time.
    char* const room = joiner.Room(count);
    std::size_t got = 0;
    const int error = fd < 0 ? EBADF : platform::ReadAvailable(fd, room, count, got);
    if (error != 0) {
        // The child can no longer be watched: it ends, and the file counts as failed.
        DropChild();
        ClosePipes();
        LastExit = platform::ExitStatus{};
        NotifyFinished(kStatusDone);
        RaiseLastError(errorText, error);
    }
    if (OutputObserver && got > 0)
        OutputObserver(stream, std::string_view(room, got));
    const std::string_view lines = joiner.Commit(got);
    if (!lines.empty())
        ParseOutput(lines.data(), static_cast<std::int32_t>(lines.size()));
}

void TConvertProcess::ParseOutput(const char* buffer, std::int32_t count) {
    const std::string_view chunk(buffer,
                                 static_cast<std::size_t>(std::max<std::int32_t>(count, 0)));
    for (const TProgress& progress :
         ParseChunk(chunk, Parse, MonotonicClock::now(), kNoticesPerRead)) {
        platform::PostNotice(NotifyWindow.data(),
                             std::make_unique<TConvertInfoEvent>(
                                 std::make_unique<TProcessInfo>(ProgressNotice(progress))));
    }
}

void TConvertProcess::RaiseLastError(std::string_view message, int error) {
    throw Exception(std::string(message) + std::to_string(static_cast<unsigned>(error)));
}

void TConvertProcess::DropChild() {
    if (MonitorThread != nullptr) {
        MonitorThread->Release();
        MonitorThread = nullptr;
    }
    // Through the pidfd the signal cannot reach another process even if the child has just been
    // reaped; without one the thread kills it as it ends.
    if (ProcessInfo.pid > 0 && ProcessInfo.pidFd >= 0)
        platform::KillChild(ProcessInfo);
    CloseChildInfo();
}

void TConvertProcess::CloseChildInfo() {
    platform::CloseDescriptor(ProcessInfo.pidFd);
    ProcessInfo.pid = 0;
}

void TConvertProcess::JoinEndedThreads() {
    std::erase_if(threads_, [this](const std::unique_ptr<TConvertThread>& thread) {
        return thread.get() != MonitorThread && thread->Ended();
    });
}

} // namespace kestrine
