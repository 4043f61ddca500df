// The engine against the fake ffmpeg (FAKE_FFMPEG): what FFmpeg prints becomes notices, how it
// ends becomes the completion, and stopping or destroying the engine at any moment leaves no
// child and no thread behind.

#include "engine/ConvertProcess.h"
#include "base/Exception.h"
#include "platform/FileInUse.h"
#include "platform/MessageBox.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace fs = std::filesystem;
using kestrine::TConvertInfoEvent;
using kestrine::TConvertProcess;
using kestrine::TProcessInfo;
using platform::MessageAnswer;

namespace {

constexpr int kPatience = 60000; // ms; only a hang ever reaches it

class Receiver : public QObject {
public:
    std::vector<TProcessInfo> notices;

    bool event(QEvent* e) override {
        if (e->type() != kestrine::WM_CONVERTINFO)
            return QObject::event(e);
        notices.push_back(*static_cast<TConvertInfoEvent*>(e)->TakeInfo());
        return true;
    }

    std::vector<std::int32_t> Percents() const {
        std::vector<std::int32_t> out;
        for (const auto& n : notices)
            if (!n.IsCompletion())
                out.push_back(n.Percent);
        return out;
    }
    int Completions() const {
        return static_cast<int>(
            std::count_if(notices.begin(), notices.end(),
                          [](const TProcessInfo& n) { return n.IsCompletion(); }));
    }
    const TProcessInfo& Last() const { return notices.back(); }
};

// Serves the event loop until done() holds; false after a long time (a hang).
bool WaitUntil(const std::function<bool()>& done, int limitMs) {
    QElapsedTimer clock;
    clock.start();
    QTimer tick; // wakes the loop now and then to look at done() and the clock
    tick.start(20);
    while (!done()) {
        if (clock.elapsed() > limitMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return true;
}

bool ProcessGone(pid_t pid) {
    return kill(pid, 0) != 0 && errno == ESRCH;
}

std::vector<std::string> ReadArguments(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::vector<std::string> args;
    std::string arg;
    while (std::getline(in, arg, '\0'))
        args.push_back(arg);
    return args;
}

// Lets events run for a while, to see that nothing more arrives.
void Settle() {
    for (int i = 0; i < 10; ++i) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

class ConvertProcessTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir = fs::temp_directory_path() /
              ("kestrine-engine-" + std::to_string(getpid()) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir);
        fs::create_directories(dir);
        previousHook = platform::SetMessageBoxHook([this](const platform::MessageRequest& r) {
            questions.push_back(r);
            return answer;
        });
        engine = std::make_unique<TConvertProcess>();
        engine->NotifyWindow = &receiver;
        engine->Params = "-vn -ab 128k ";
        engine->FFmpegPath = FAKE_FFMPEG;
        engine->UseDefaultFFmpeg = false;
    }

    void TearDown() override {
        engine.reset();
        platform::SetMessageBoxHook(previousHook);
        fs::remove_all(dir);
    }

    std::string Input(const std::string& name, const std::string& mode) {
        const fs::path path = dir / name;
        std::ofstream(path) << mode << '\n';
        return path.string();
    }

    void StartFile(const std::string& input, const std::string& output) {
        engine->InputFile = input;
        engine->OutputFile = output;
        engine->Running = true;
        engine->Start();
    }

    // Converts one file of the given mode and waits for its completion.
    void Convert(const std::string& mode) {
        StartFile(Input("in.avi", mode), (dir / "out.mp3").string());
        ASSERT_TRUE(WaitUntil([&] { return receiver.Completions() > 0; }, kPatience));
        Settle();
        EXPECT_EQ(receiver.Completions(), 1);
        EXPECT_TRUE(receiver.Last().IsCompletion()) << "progress after the completion";
        ExpectIdle();
    }

    void ExpectIdle() {
        EXPECT_EQ(engine->MonitorThread, nullptr);
        EXPECT_EQ(engine->ProcessInfo.pid, 0);
        EXPECT_EQ(engine->ProcessInfo.pidFd, -1);
        for (int fd : {engine->StdInRead, engine->StdInWrite, engine->StdOutRead,
                       engine->StdOutWrite, engine->StdErrRead, engine->StdErrWrite})
            EXPECT_EQ(fd, -1);
    }

    fs::path dir;
    Receiver receiver;
    std::unique_ptr<TConvertProcess> engine;
    std::vector<platform::MessageRequest> questions;
    MessageAnswer answer = MessageAnswer::No;
    platform::MessageBoxHook previousHook;
};

} // namespace

TEST_F(ConvertProcessTest, ProgressLinesJoinedByLoneCrsRiseToOneHundred) {
    Convert("progress");
    EXPECT_EQ(receiver.Percents(),
              (std::vector<std::int32_t>{10, 20, 30, 40, 50, 60, 70, 80, 90, 100}));
    const TProcessInfo& done = receiver.Last();
    EXPECT_EQ(done.Elapsed, "some");
    EXPECT_EQ(done.Estimated, "");
    EXPECT_EQ(done.Status, 0);
    EXPECT_EQ(done.ExitCode, 0);
    EXPECT_TRUE(questions.empty());
    // The child got exactly the argument list, and no "-y" for a new output.
    const auto args = ReadArguments(dir / "out.mp3");
    EXPECT_EQ(args, engine->Arguments);
    // Launch tells the same without starting anything.
    const kestrine::TLaunch launch = engine->Launch(false);
    EXPECT_EQ(launch.Program, FAKE_FFMPEG);
    EXPECT_EQ(launch.Arguments, args);
    EXPECT_EQ(args, (std::vector<std::string>{FAKE_FFMPEG, "-i", (dir / "in.avi").string(), "-vn",
                                              "-ab", "128k", (dir / "out.mp3").string()}));
    EXPECT_EQ(engine->CommandLine, "\"" FAKE_FFMPEG "\" -i \"" + (dir / "in.avi").string() +
                                       "\" -vn -ab 128k \"" + (dir / "out.mp3").string() + "\"");
}

TEST_F(ConvertProcessTest, ManyProgressLinesOfOneReadPostTheFirstOnesAndTheLatest) {
    std::string chunk = "Duration: 00:01:40.00\n";
    for (int s = 1; s <= 100; ++s)
        chunk += "time=" + std::to_string(s) + ".00\r";
    engine->ParseOutput(chunk.data(), static_cast<std::int32_t>(chunk.size()));
    Settle();
    std::vector<std::int32_t> expected;
    for (int p = 1; p <= 15; ++p)
        expected.push_back(p);
    expected.push_back(100);
    EXPECT_EQ(receiver.Percents(), expected);
}

TEST_F(ConvertProcessTest, OutputQuirksOfFFmpeg) {
    const struct {
        const char* mode;
        std::vector<std::int32_t> percents;
    } cases[] = {
        // The two parts of the split line are read apart and scanned as one line.
        {"split", {50, 100}},
        // What follows a NUL byte in a read is not scanned.
        {"nul", {50}},
    };
    for (const auto& c : cases) {
        receiver.notices.clear();
        fs::remove(dir / "out.mp3");
        Convert(c.mode);
        EXPECT_EQ(receiver.Percents(), c.percents) << c.mode;
        EXPECT_EQ(receiver.Last().Elapsed, "some") << c.mode;
    }
}

TEST_F(ConvertProcessTest, FloodOnBothPipesIsReadWholeWithoutDeadlock) {
    std::size_t mismatches[3] = {0, 0, 0};
    std::string stderrHead;
    std::size_t floodAt[3] = {0, 0, 0}; // position within the flood pattern
    bool inFlood[3] = {false, true, false};
    engine->OutputObserver = [&](int stream, std::string_view chunk) {
        for (char c : chunk) {
            if (!inFlood[stream]) {
                // Standard error starts with the banner and the duration line.
                stderrHead += c;
                inFlood[stream] = c == '\n' && stderrHead.ends_with("kb/s\n");
                continue;
            }
            const std::size_t pos = floodAt[stream]++;
            if (pos >= 20u * 1024 * 1024)
                continue; // the closing progress line
            const char expected = pos % 64 == 63 ? '\n' : static_cast<char>('a' + (pos / 64) % 26);
            if (c != expected)
                ++mismatches[stream];
        }
    };
    Convert("flood");
    EXPECT_EQ(floodAt[1], 20u * 1024 * 1024);
    EXPECT_GT(floodAt[2], 20u * 1024 * 1024);
    EXPECT_EQ(mismatches[1], 0u);
    EXPECT_EQ(mismatches[2], 0u);
    EXPECT_EQ(receiver.Percents(), (std::vector<std::int32_t>{100}));
    EXPECT_EQ(receiver.Last().Elapsed, "some");
}

TEST_F(ConvertProcessTest, ProgressThenFailureIsNoSuccess) {
    const struct {
        const char* mode;
        std::vector<std::int32_t> percents;
        int exitCode;
        int signal;
    } cases[] = {
        {"fail", {50}, 1, 0},
        {"crash", {50}, -1, SIGSEGV},
        {"broken", {}, 1, 0},
    };
    for (const auto& c : cases) {
        receiver.notices.clear();
        fs::remove(dir / "out.mp3");
        Convert(c.mode);
        EXPECT_EQ(receiver.Percents(), c.percents) << c.mode;
        EXPECT_EQ(receiver.Last().Elapsed, "") << c.mode;
        EXPECT_EQ(receiver.Last().Status, 0) << c.mode;
        EXPECT_EQ(receiver.Last().ExitCode, c.exitCode) << c.mode;
        EXPECT_EQ(receiver.Last().ExitSignal, c.signal) << c.mode;
    }
}

TEST_F(ConvertProcessTest, StopKillsAHangingChildAndPostsNothing) {
    StartFile(Input("in.avi", "hang"), (dir / "out.mp3").string());
    ASSERT_TRUE(WaitUntil([&] { return !receiver.notices.empty(); }, kPatience));
    const pid_t pid = engine->ProcessInfo.pid;
    ASSERT_GT(pid, 0);

    engine->Stop(0);
    EXPECT_FALSE(engine->Running);
    ExpectIdle();
    EXPECT_TRUE(WaitUntil([&] { return ProcessGone(pid); }, kPatience));
    Settle();
    EXPECT_EQ(receiver.Completions(), 0);

    engine->Stop(0); // a second Stop does nothing
    EXPECT_FALSE(engine->Running);

    // The engine carries on with the next file as if nothing happened.
    receiver.notices.clear();
    Convert("progress");
    EXPECT_EQ(receiver.Last().Elapsed, "some");
}

TEST_F(ConvertProcessTest, StopOrDestroyWithAReadPendingNeitherDeadlocksNorReports) {
    for (const bool destroy : {false, true}) {
        for (const bool running : {true, false}) {
            SCOPED_TRACE(std::string(destroy ? "destroy" : "stop") +
                         (running ? "" : " not running"));
            receiver.notices.clear();
            StartFile(Input("in.avi", "flood"), (dir / "out.mp3").string());
            const pid_t pid = engine->ProcessInfo.pid;
            // The GUI thread serves nothing now, so the monitor thread soon waits in a read.
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            engine->Running = running;
            if (destroy) {
                engine.reset();
                // The destructor has waited for the monitor thread, which reaped the child.
                EXPECT_TRUE(ProcessGone(pid));
                engine = std::make_unique<TConvertProcess>();
                engine->NotifyWindow = &receiver;
                engine->FFmpegPath = FAKE_FFMPEG;
            } else {
                engine->Running = true;
                engine->Stop(0);
                EXPECT_TRUE(WaitUntil([&] { return ProcessGone(pid); }, kPatience));
                if (!running)
                    break; // Stop without Running does nothing; covered above
            }
            Settle();
            EXPECT_TRUE(receiver.notices.empty());
        }
    }
}

TEST_F(ConvertProcessTest, MissingProgramRaisesWithErrorNumberAndLeavesNothingOpen) {
    const std::string emptyDir = (dir / "empty").string();
    fs::create_directories(emptyDir);
    const std::string oldPath = getenv("PATH") ? getenv("PATH") : "";
    for (const bool useDefault : {false, true}) {
        engine->UseDefaultFFmpeg = useDefault;
        engine->FFmpegPath = (dir / "no such ffmpeg").string();
        setenv("PATH", emptyDir.c_str(), 1);
        try {
            StartFile(Input("in.avi", "progress"), (dir / "out.mp3").string());
            ADD_FAILURE() << "Start did not raise";
        } catch (const kestrine::Exception& e) {
            EXPECT_STREQ(e.what(), "Error while creating convert process!2");
        }
        setenv("PATH", oldPath.c_str(), 1);
        ExpectIdle();
        Settle();
        EXPECT_TRUE(receiver.notices.empty());
    }
}

TEST_F(ConvertProcessTest, ExistingOutputIsAskedAbout) {
    const auto writeOutput = [this] {
        const fs::path out = dir / "out.mp3";
        fs::remove(out);
        std::ofstream(out) << "old";
        return out;
    };

    // Yes, not in use: written over, with "-y".
    answer = MessageAnswer::Yes;
    const fs::path out = writeOutput();
    Convert("progress");
    ASSERT_EQ(questions.size(), 1u);
    EXPECT_EQ(questions[0].text.toStdString(), out.string() + " has existed,overite it?");
    EXPECT_EQ(questions[0].caption, "Kestrine with FFmpeg");
    EXPECT_EQ(questions[0].buttons, platform::MessageButtons::YesNo);
    EXPECT_EQ(questions[0].icon, platform::MessageIcon::Information);
    EXPECT_EQ(receiver.Last().Elapsed, "some");
    EXPECT_EQ(ReadArguments(out).at(1), "-y");
    EXPECT_EQ(engine->Launch(true).Arguments, ReadArguments(out));
    EXPECT_NE(engine->CommandLine.find("\" -y -i \""), std::string::npos);

    // No: nothing starts; a failed completion with status 0.
    answer = MessageAnswer::No;
    receiver.notices.clear();
    writeOutput();
    Convert("progress");
    EXPECT_EQ(receiver.notices.size(), 1u);
    EXPECT_EQ(receiver.Last().Elapsed, "");
    EXPECT_EQ(receiver.Last().Status, 0);
    EXPECT_EQ(receiver.Last().ExitCode, -1);
    std::string kept;
    std::ifstream(out) >> kept;
    EXPECT_EQ(kept, "old");

    // Yes, but read-only: in use, status 2.
    answer = MessageAnswer::Yes;
    receiver.notices.clear();
    writeOutput();
    chmod(out.c_str(), 0444);
    Convert("progress");
    EXPECT_EQ(receiver.notices.size(), 1u);
    EXPECT_EQ(receiver.Last().Status, 2);
    EXPECT_EQ(receiver.Last().Elapsed, "");
}

TEST_F(ConvertProcessTest, OutputHeldOpenElsewhereIsInUse) {
    const fs::path out = dir / "out.mp3";
    std::ofstream(out) << "old";
    {
        const int probe = open(out.c_str(), O_RDONLY);
        const bool leases = fcntl(probe, F_SETLEASE, F_RDLCK) == 0;
        fcntl(probe, F_SETLEASE, F_UNLCK);
        close(probe);
        if (!leases)
            GTEST_SKIP() << "this file system offers no leases";
    }
    const int holder = open(out.c_str(), O_RDONLY);
    answer = MessageAnswer::Yes;
    Convert("progress");
    close(holder);
    EXPECT_EQ(receiver.notices.size(), 1u);
    EXPECT_EQ(receiver.Last().Status, 2);
}

TEST_F(ConvertProcessTest, OutputThatIsTheInputIsNeverHandedToFFmpeg) {
    const std::string input = Input("song.mp3", "progress");
    answer = MessageAnswer::Yes;
    for (const std::string& output : {input, (dir / "." / "song.mp3").string()}) {
        receiver.notices.clear();
        StartFile(input, output);
        ASSERT_TRUE(WaitUntil([&] { return receiver.Completions() > 0; }, kPatience));
        EXPECT_EQ(receiver.notices.size(), 1u);
        EXPECT_EQ(receiver.Last().Elapsed, "");
        ExpectIdle();
    }
    EXPECT_TRUE(questions.empty());
    std::string content;
    std::ifstream(input) >> content;
    EXPECT_EQ(content, "progress");
}

TEST_F(ConvertProcessTest, ParamsAdapterShapesTheArgumentsOrRefusesTheFile) {
    std::string seenProgram;
    engine->AdaptParams = [&](const std::vector<std::string>& tokens, const std::string& exe) {
        seenProgram = exe;
        std::vector<std::string> out = tokens;
        out.push_back("-extra arg");
        return out;
    };
    Convert("progress");
    EXPECT_EQ(seenProgram, FAKE_FFMPEG);
    const auto args = ReadArguments(dir / "out.mp3");
    ASSERT_GE(args.size(), 2u);
    EXPECT_EQ(args[args.size() - 2], "-extra arg");
    EXPECT_EQ(engine->Launch(false).Arguments, args);

    receiver.notices.clear();
    engine->AdaptParams = [](const std::vector<std::string>&,
                             const std::string&) -> std::vector<std::string> {
        throw kestrine::Exception("no encoder for this profile");
    };
    fs::remove(dir / "out.mp3");
    EXPECT_THROW(engine->Launch(false), kestrine::Exception);
    EXPECT_THROW(StartFile(Input("in.avi", "progress"), (dir / "out.mp3").string()),
                 kestrine::Exception);
    ExpectIdle();
    Settle();
    EXPECT_TRUE(receiver.notices.empty());
}

TEST_F(ConvertProcessTest, FailedReadEndsTheChildAndReportsAFailedFile) {
    StartFile(Input("in.avi", "hang"), (dir / "out.mp3").string());
    ASSERT_TRUE(WaitUntil([&] { return !receiver.notices.empty(); }, kPatience));
    const pid_t pid = engine->ProcessInfo.pid;

    platform::CloseDescriptor(engine->StdOutRead);
    engine->BytesAvailable = 16;
    try {
        engine->ReadStdOut();
        ADD_FAILURE() << "the read did not fail";
    } catch (const kestrine::Exception& e) {
        EXPECT_STREQ(e.what(), "Error reading STDOUT pipe : 9");
    }
    ExpectIdle();
    EXPECT_TRUE(WaitUntil([&] { return ProcessGone(pid); }, kPatience));
    Settle();
    EXPECT_EQ(receiver.Completions(), 1);
    EXPECT_EQ(receiver.Last().Elapsed, "");
}
