// kestrine-cli (KESTRINE_CLI) against bad inputs and faults, with the system FFmpeg and the fake
// one (FAKE_FFMPEG): each case ends in a clear message or a named failed file, the other files
// of the batch are converted, no FFmpeg is left running and no file that was there is lost.

#include "E2eSupport.h"
#include "Faults.h"

#include <algorithm>
#include <chrono>
#include <csignal>
#include <thread>

namespace fs = std::filesystem;

namespace {

const std::string kCli = KESTRINE_CLI;
const std::string kFake = FAKE_FFMPEG;
const std::string kMp3 = "MP3 - MPEG Layer-3 Audio";

struct CliRun {
    pid_t pid = 0;
    fs::path out;
    fs::path err;
};

struct CliResult {
    int exitCode = -1; // -1 when it did not exit normally
    int signal = 0;
    std::string out;
    std::string err;
};

// Starts kestrine-cli with args, its standard input empty and its output and error into files
// of dir. cwd: the folder it runs in (ours when empty); prefix: a program that runs it (prlimit).
CliRun StartCli(const fs::path& dir, const std::vector<std::string>& args, const fs::path& cwd = {},
                const std::vector<std::string>& prefix = {}) {
    CliRun run;
    run.out = dir / "cli.out";
    run.err = dir / "cli.err";
    std::vector<std::string> argv = prefix;
    argv.push_back(kCli);
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<char*> pointers;
    for (std::string& arg : argv)
        pointers.push_back(arg.data());
    pointers.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, run.out.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, run.err.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (!cwd.empty())
        posix_spawn_file_actions_addchdir_np(&actions, cwd.c_str());
    const int error =
        posix_spawnp(&run.pid, pointers[0], &actions, nullptr, pointers.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    EXPECT_EQ(error, 0) << argv[0];
    if (error != 0)
        run.pid = 0;
    return run;
}

CliResult WaitCli(const CliRun& run) {
    CliResult result;
    int status = 0;
    if (run.pid > 0 && waitpid(run.pid, &status, 0) == run.pid) {
        if (WIFEXITED(status))
            result.exitCode = WEXITSTATUS(status);
        else if (WIFSIGNALED(status))
            result.signal = WTERMSIG(status);
    }
    result.out = faults::ReadBytes(run.out);
    result.err = faults::ReadBytes(run.err);
    return result;
}

CliResult RunCli(const fs::path& dir, const std::vector<std::string>& args,
                 const fs::path& cwd = {}, const std::vector<std::string>& prefix = {}) {
    return WaitCli(StartCli(dir, args, cwd, prefix));
}

// The last line kestrine-cli printed on standard output.
std::string LastLine(const std::string& text) {
    const std::string trimmed = e2e::Trimmed(text);
    const std::size_t newline = trimmed.rfind('\n');
    return newline == std::string::npos ? trimmed : trimmed.substr(newline + 1);
}

// The pid that the hanging fake writes once it runs, read when its whole line is there; 0 when
// it never came.
pid_t HangingChild(const fs::path& pidFile) {
    for (int i = 0; i < 6000; ++i) {
        const std::string text = faults::ReadBytes(pidFile);
        if (!text.empty() && text.back() == '\n')
            return static_cast<pid_t>(std::stol(text));
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return 0;
}

std::vector<std::string> Names(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

class CliFaults : public ::testing::Test {
protected:
    void SetUp() override {
        faults::AdoptOrphans();
        dir = e2e::ScratchDir();
        fs::create_directories(dir / "in");
        fs::create_directories(dir / "out");
    }
    void TearDown() override {
        EXPECT_EQ(faults::LeftoverChildren(), std::vector<std::string>{});
        fs::remove_all(dir);
    }

    fs::path dir;
};

} // namespace

// A 0-byte file and a file of random bytes are named as failed between two files that convert;
// neither input changes.
TEST_F(CliFaults, InputsFFmpegCannotReadFailByNameAndTheRestConverts) {
    e2e::MakeClip(dir / "in" / "a.avi", "1");
    fs::copy_file(dir / "in" / "a.avi", dir / "in" / "b.avi");
    faults::WriteBytes(dir / "in" / "empty.avi", "");
    const std::string noise = faults::RandomBytes(64 * 1024, 7);
    faults::WriteBytes(dir / "in" / "noise.avi", noise);

    const CliResult r =
        RunCli(dir, {"--profile", kMp3, "--output-dir", (dir / "out").string(),
                     (dir / "in" / "a.avi").string(), (dir / "in" / "empty.avi").string(),
                     (dir / "in" / "noise.avi").string(), (dir / "in" / "b.avi").string()});
    EXPECT_EQ(r.exitCode, 1) << r.err;
    EXPECT_EQ(LastLine(r.out), "empty.avi, noise.avi, file conversion failed.");
    EXPECT_NE(r.err.find("empty.avi failed (FFmpeg exit status"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("noise.avi failed (FFmpeg exit status"), std::string::npos) << r.err;
    EXPECT_EQ(e2e::ProbeFile(dir / "out" / "a.mp3").streams, "mp3,audio");
    EXPECT_EQ(e2e::ProbeFile(dir / "out" / "b.mp3").streams, "mp3,audio");
    EXPECT_EQ(fs::file_size(dir / "in" / "empty.avi"), 0u);
    EXPECT_EQ(faults::ReadBytes(dir / "in" / "noise.avi"), noise);
}

// A file that is not there, or a folder, among the inputs is a mistake on the command line: it
// is named before anything starts, and nothing is written.
TEST_F(CliFaults, MissingFileOrFolderAmongTheInputsIsRefusedBeforeAnythingStarts) {
    faults::WriteBytes(dir / "in" / "a.avi", "progress\n");
    fs::create_directories(dir / "in" / "folder.avi");
    const struct {
        const char* name;
        const char* message;
    } cases[] = {
        {"missing.avi", "missing.avi: no such file"},
        {"folder.avi", "folder.avi: a folder, not a file"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const CliResult r =
            RunCli(dir, {"--profile", kMp3, "--output-dir", (dir / "out").string(), "--ffmpeg",
                         kFake, (dir / "in" / "a.avi").string(), (dir / "in" / c.name).string()});
        EXPECT_EQ(r.exitCode, 2);
        EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(Names(dir / "out"), std::vector<std::string>{});
    }
}

// Names that a shell or FFmpeg could misread: blanks, quotes, a line break, a leading "-" (here
// given relative, after "--"), a colon that looks like a protocol, shell characters and bytes
// that are not UTF-8. Each converts under its own name.
TEST_F(CliFaults, AwkwardFileNamesConvert) {
    e2e::MakeClip(dir / "clip.avi", "1");
    const std::vector<std::string> stems = {
        "two  blanks", "quote's \"double\"",  "new\nline",        "-dash",
        "colon:name",  "shell $(x) `y` ;|&*", "caf\xE9 \xFF\xFE",
    };
    std::vector<std::string> args = {"--profile", kMp3, "--output-dir", "../out", "--"};
    for (const std::string& stem : stems) {
        fs::copy_file(dir / "clip.avi", dir / "in" / (stem + ".avi"));
        args.push_back(stem + ".avi");
    }
    const CliResult r = RunCli(dir, args, dir / "in");
    EXPECT_EQ(r.exitCode, 0) << r.err;
    for (const std::string& stem : stems) {
        SCOPED_TRACE(stem);
        EXPECT_EQ(e2e::ProbeFile(dir / "out" / (stem + ".mp3")).streams, "mp3,audio");
        EXPECT_TRUE(fs::exists(dir / "in" / (stem + ".avi")));
    }
    EXPECT_EQ(Names(dir / "out").size(), stems.size());
}

// Outputs beside their inputs, the first input in a folder where no file can be made: that
// file fails with FFmpeg's reason, the folder is left as it was, the second file converts.
TEST_F(CliFaults, ReadOnlyOutputFolderFailsItsFileAndTheRestConverts) {
    fs::create_directories(dir / "locked");
    e2e::MakeClip(dir / "locked" / "a.avi", "1");
    fs::copy_file(dir / "locked" / "a.avi", dir / "in" / "b.avi");
    faults::WriteBytes(dir / "locked" / "notes.txt", "keep me");
    {
        faults::ReadOnlyFolder locked(dir / "locked");
        if (!locked.Ready())
            GTEST_SKIP() << "no way here to make a folder read-only for this user";
        const CliResult r =
            RunCli(dir, {"--profile", kMp3, "--same-as-input", (dir / "locked" / "a.avi").string(),
                         (dir / "in" / "b.avi").string()});
        EXPECT_EQ(r.exitCode, 1) << r.err;
        EXPECT_EQ(LastLine(r.out), "a.avi, file conversion failed.");
        EXPECT_NE(r.err.find("a.avi failed (FFmpeg exit status"), std::string::npos) << r.err;
        EXPECT_TRUE(r.err.find("Operation not permitted") != std::string::npos ||
                    r.err.find("Permission denied") != std::string::npos)
            << r.err;
        EXPECT_EQ(Names(dir / "locked"), (std::vector<std::string>{"a.avi", "notes.txt"}));
        EXPECT_EQ(faults::ReadBytes(dir / "locked" / "notes.txt"), "keep me");
    }
    EXPECT_EQ(e2e::ProbeFile(dir / "in" / "b.mp3").streams, "mp3,audio");
}

// A full disk, played by a file size limit on kestrine-cli and so on its FFmpeg: the output
// that does not fit fails by name (FFmpeg ends by SIGXFSZ), the small one after it converts.
TEST_F(CliFaults, FullDiskFailsTheFileThatDoesNotFit) {
    constexpr int kLimit = 128 * 1024;
    e2e::MakeClip(dir / "in" / "long.avi", "20"); // about 320 kB of MP3
    e2e::MakeClip(dir / "in" / "short.avi", "1");
    const CliResult r =
        RunCli(dir,
               {"--profile", kMp3, "--output-dir", (dir / "out").string(),
                (dir / "in" / "long.avi").string(), (dir / "in" / "short.avi").string()},
               {}, {"prlimit", "--fsize=" + std::to_string(kLimit)});
    EXPECT_EQ(r.exitCode, 1) << r.err;
    EXPECT_EQ(LastLine(r.out), "long.avi, file conversion failed.");
    EXPECT_NE(r.err.find("long.avi failed (FFmpeg ended by signal " + std::to_string(SIGXFSZ)),
              std::string::npos)
        << r.err;
    EXPECT_LE(fs::file_size(dir / "out" / "long.mp3"), static_cast<std::uintmax_t>(kLimit));
    EXPECT_EQ(e2e::ProbeFile(dir / "out" / "short.mp3").streams, "mp3,audio");
}

// FFmpeg killed from outside half-way, and one that dies of a signal of its own: both fail by
// name with the signal, and the file after them converts.
TEST_F(CliFaults, FFmpegKilledHalfWayFailsThatFileOnly) {
    faults::WriteBytes(dir / "in" / "killed.avi", "hang\n");
    faults::WriteBytes(dir / "in" / "crashed.avi", "crash\n");
    faults::WriteBytes(dir / "in" / "fine.avi", "progress\n");
    const CliRun run =
        StartCli(dir, {"--profile", kMp3, "--output-dir", (dir / "out").string(), "--ffmpeg", kFake,
                       (dir / "in" / "killed.avi").string(), (dir / "in" / "crashed.avi").string(),
                       (dir / "in" / "fine.avi").string()});
    const pid_t child = HangingChild(dir / "out" / "killed.mp3.pid");
    ASSERT_GT(child, 0);
    EXPECT_EQ(kill(child, SIGKILL), 0);

    const CliResult r = WaitCli(run);
    EXPECT_EQ(r.exitCode, 1) << r.err;
    EXPECT_EQ(LastLine(r.out), "killed.avi, crashed.avi, file conversion failed.");
    EXPECT_NE(r.err.find("killed.avi failed (FFmpeg ended by signal " + std::to_string(SIGKILL)),
              std::string::npos)
        << r.err;
    EXPECT_NE(r.err.find("crashed.avi failed (FFmpeg ended by signal " + std::to_string(SIGSEGV)),
              std::string::npos)
        << r.err;
    EXPECT_TRUE(fs::exists(dir / "out" / "fine.mp3"));
}

// The chosen FFmpeg passes the check before the batch and is gone when the second file starts:
// that file is named with the start error, the first one (killed meanwhile) as failed.
TEST_F(CliFaults, ChosenFFmpegDeletedBeforeAStartNamesTheFile) {
    const fs::path ffmpeg = dir / "ffmpeg";
    fs::copy_file(kFake, ffmpeg);
    faults::WriteBytes(dir / "in" / "first.avi", "hang\n");
    faults::WriteBytes(dir / "in" / "second.avi", "progress\n");
    const CliRun run =
        StartCli(dir, {"--profile", kMp3, "--output-dir", (dir / "out").string(), "--ffmpeg",
                       ffmpeg.string(), (dir / "in" / "first.avi").string(),
                       (dir / "in" / "second.avi").string()});
    const pid_t child = HangingChild(dir / "out" / "first.mp3.pid");
    ASSERT_GT(child, 0);
    fs::remove(ffmpeg);
    kill(child, SIGKILL);

    const CliResult r = WaitCli(run);
    EXPECT_EQ(r.exitCode, 1) << r.err;
    EXPECT_EQ(LastLine(r.out), "first.avi, second.avi, file conversion failed.");
    EXPECT_NE(r.err.find("second.avi: Error while creating convert process!2"), std::string::npos)
        << r.err;
    EXPECT_FALSE(fs::exists(dir / "out" / "second.mp3"));
}
