#pragma once

// The conversion of one file by one FFmpeg child. The window that asked for it receives its
// notices (TProcessInfo, see ProcessInfo.h) as WM_CONVERTINFO events, always posted and handled
// on the GUI thread in the order posted. Everything here runs on the GUI thread; the child's
// monitor thread only looks at the pipes and waits, and has the reads and the clean-up run on
// the GUI thread through its synchronise call.

#include "engine/CommandLine.h"
#include "engine/OutputParser.h"
#include "engine/ProcessInfo.h"
#include "platform/Process.h"

#include <QEvent>
#include <QObject>
#include <QPointer>

#include <cerrno>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace kestrine {

// The event type of a notice, registered once (5890 above QEvent::User when free).
QEvent::Type ConvertInfoEventType();
inline const QEvent::Type WM_CONVERTINFO = ConvertInfoEventType();

// A notice on its way to the receiver; the record goes with the event.
class TConvertInfoEvent : public QEvent {
public:
    explicit TConvertInfoEvent(std::unique_ptr<TProcessInfo> info);
    ~TConvertInfoEvent() override;

    const TProcessInfo& Info() const { return *info_; }
    // Hands the record over (the event holds an empty record afterwards).
    std::unique_ptr<TProcessInfo> TakeInfo();

private:
    std::unique_ptr<TProcessInfo> info_;
};

class TConvertThread;

// What is launched for one file: the program that runs and the argument list it is handed.
struct TLaunch {
    std::string Program;
    std::vector<std::string> Arguments;
};

class TConvertProcess {
public:
    TConvertProcess();
    // Stops a conversion that still runs and waits for its monitor thread to end.
    ~TConvertProcess();
    TConvertProcess(const TConvertProcess&) = delete;
    TConvertProcess& operator=(const TConvertProcess&) = delete;

    // What the child's output and error pipes are asked to hold: FFmpeg writes on while the GUI
    // thread is busy elsewhere, and a flood is read in few large pieces.
    static constexpr int kOutputPipeBytes = 1 << 20;

    // The three pipes; a descriptor not open is -1. The child's ends (StdInRead, StdOutWrite,
    // StdErrWrite) are its standard handles; nothing is ever written to its standard input, and
    // StdInWrite is closed as soon as the child runs, so that the child reads an ended input.
    int StdInRead = -1;
    int StdInWrite = -1;
    int StdOutRead = -1;
    int StdOutWrite = -1;
    int StdErrRead = -1;
    int StdErrWrite = -1;
    // Bytes reported by the latest look at the pipe now being read.
    std::int32_t BytesAvailable = 0;
    // The running child (pid 0 and pidFd -1 when there is none).
    platform::ChildProcess ProcessInfo;
    // The thread watching the current child, or none. Owned by this object.
    TConvertThread* MonitorThread = nullptr;
    // DurationSec, StartTime and SawProgress of the current child.
    TParseState Parse;
    // How the last child ended; set just before ProcessFinished.
    platform::ExitStatus LastExit;

    // Set by the caller before every Start.
    QPointer<QObject> NotifyWindow; // receives the notices
    std::string InputFile;
    std::string OutputFile;
    bool Running = false; // a batch is under way: set before every Start; only Stop clears it
    std::string Params;   // the profile's FFmpeg arguments
    std::string FFmpegPath;
    bool UseDefaultFFmpeg = false; // plain "ffmpeg" from the program search; FFmpegPath ignored

    // Applied to the tokens of Params just before the argument list is built (none: as they are).
    ParamsAdapter AdaptParams;
    // Sees every chunk read from the child (stream 1 standard output, 2 standard error).
    std::function<void(int stream, std::string_view bytes)> OutputObserver;

    // What Start built for the latest child: the command-line text and the argument list.
    std::string CommandLine;
    std::vector<std::string> Arguments;

    // Asks before an existing output is written over (the overwrite question), builds the
    // command, starts FFmpeg and its monitor thread. Returning normally, exactly one completion
    // notice follows (already posted when the output was kept, is in use or is the input file
    // itself), unless Stop comes first. Raising (kestrine::Exception), no notice follows.
    void Start();
    // What Start launches for the fields as they are now, with "-y" when overwrite: the program
    // found for the FFmpeg choice and the argument list built from the pieces, the profile's
    // arguments split and passed through AdaptParams. Starts nothing and asks nothing. Raises
    // kestrine::Exception as Start does when no program is found or the arguments are refused.
    TLaunch Launch(bool overwrite) const;
    // Kills the running child and ends the batch (clears Running); posts nothing, waits for
    // nothing, and no notice of that child follows. Nothing when Running is false. A signal
    // cannot carry an exit code, so exitCode is not used.
    void Stop(std::int32_t exitCode);

    // Called through the synchronise call once the child has ended and both pipes are drained;
    // scans what is left of an unfinished last line, then posts the completion.
    void ProcessFinished();
    // Posts the completion notice.
    void NotifyFinished(std::int32_t status);
    void CreatePipes();
    void ClosePipes();
    // Read exactly BytesAvailable bytes and scan the whole lines they complete (the rest of a
    // line waits for the next read of that pipe). A failed read ends the child, posts its
    // completion (a failed file) and raises.
    void ReadStdOut();
    void ReadStdErr();
    // Scans whole lines and posts their progress notices: at most 16 for one read, the first
    // ones and the latest (a flood of progress lines would otherwise flood the receiver).
    void ParseOutput(const char* buffer, std::int32_t count);

    // Raises kestrine::Exception: message followed directly by the error number in decimal.
    [[noreturn]] static void RaiseLastError(std::string_view message, int error = errno);

private:
    TCommandPieces Pieces(bool overwrite) const;
    void ReadPipe(int fd, int stream, std::string_view errorText);
    // Lets go of the current child: its thread ends it (if it still runs) and reaps it.
    void DropChild();
    void CloseChildInfo();
    void JoinEndedThreads();

    TLineJoiner lines_[2]; // standard output, standard error
    std::vector<std::unique_ptr<TConvertThread>> threads_;
};

} // namespace kestrine
