// kestrine-cli (KESTRINE_CLI) converting files: with the system FFmpeg, and with the fake one
// (FAKE_FFMPEG) where a child must be made to hang.

#include "E2eSupport.h"

#include <QProcess>
#include <QRegularExpression>
#include <QStringList>

#include <csignal>
#include <fstream>

namespace fs = std::filesystem;

namespace {

const QString kCli = QStringLiteral(KESTRINE_CLI);
const QString kFake = QStringLiteral(FAKE_FFMPEG);
const QString kManualMp3 = QStringLiteral("ffmpeg -i %1 -vn -acodec libmp3lame -ab 128k %1.mp3");

QString Q(const fs::path& path) {
    return QString::fromStdString(path.string());
}

struct CliResult {
    int exitCode = -1;
    QString out;
    QString err;
};

CliResult RunCli(const QStringList& args, const QByteArray& input = {}) {
    QProcess process;
    process.start(kCli, args);
    process.write(input);
    process.closeWriteChannel();
    CliResult result;
    if (process.waitForFinished(120000) && process.exitStatus() == QProcess::NormalExit)
        result.exitCode = process.exitCode();
    result.out = QString::fromUtf8(process.readAllStandardOutput());
    result.err = QString::fromUtf8(process.readAllStandardError());
    return result;
}

void WriteText(const fs::path& path, const char* text) {
    std::ofstream(path) << text << '\n';
}

} // namespace

TEST(CliConvert, BatchWithABrokenFileInTheMiddleReportsExactlyThatFile) {
    const auto dir = e2e::ScratchDir();
    e2e::MakeClip(dir / "a.avi", "1.5");
    WriteText(dir / "broken.avi", "this is no video");
    fs::copy_file(dir / "a.avi", dir / "c d.avi");
    fs::create_directories(dir / "out");

    const CliResult r =
        RunCli({"--profile", kManualMp3, "--output-dir", Q(dir / "out"), "--notices",
                Q(dir / "a.avi"), Q(dir / "broken.avi"), Q(dir / "c d.avi")});
    EXPECT_EQ(r.exitCode, 1) << r.err.toStdString();
    QStringList lines = r.out.split('\n', Qt::SkipEmptyParts);
    ASSERT_FALSE(lines.isEmpty());
    EXPECT_EQ(lines.takeLast(), "broken.avi, file conversion failed.");
    const QRegularExpression notice(
        "^(progress (100|[1-9][0-9]?) [0-9]{2,}:[0-9]{2} [0-9]{2,}:[0-9]{2}|done [02] (some|none))$");
    QStringList done;
    int full = 0; // progress notices of 100 %: the real FFmpeg's progress is read
    for (const QString& line : lines) {
        EXPECT_TRUE(notice.match(line).hasMatch()) << line.toStdString();
        if (line.startsWith("done"))
            done << line;
        full += line.startsWith("progress 100 ") ? 1 : 0;
    }
    EXPECT_EQ(done, (QStringList{"done 0 some", "done 0 none", "done 0 some"}));
    EXPECT_GE(full, 2) << r.out.toStdString();
    EXPECT_TRUE(r.err.contains("broken.avi failed (FFmpeg exit status")) << r.err.toStdString();
    EXPECT_EQ(e2e::ProbeFile(dir / "out" / "a.mp3").streams, "mp3,audio");
    EXPECT_EQ(e2e::ProbeFile(dir / "out" / "c d.mp3").streams, "mp3,audio");
    fs::remove_all(dir);
}

TEST(CliConvert, CtrlCStopsTheBatchAndLeavesNoFFmpegBehind) {
    const auto dir = e2e::ScratchDir();
    WriteText(dir / "first.avi", "hang");
    WriteText(dir / "second.avi", "progress");

    QProcess cli;
    cli.start(kCli, {"--profile", "MP3 - MPEG Layer-3 Audio", "--same-as-input", "--ffmpeg", kFake,
                     "--notices", Q(dir / "first.avi"), Q(dir / "second.avi")});
    ASSERT_TRUE(cli.waitForStarted());
    QByteArray out;
    while (!out.contains("progress") && cli.waitForReadyRead(60000))
        out += cli.readAllStandardOutput();
    ASSERT_TRUE(out.contains("progress 50")) << out.toStdString();
    pid_t child = 0;
    std::ifstream(dir / "first.mp3.pid") >> child;
    ASSERT_GT(child, 0);

    kill(static_cast<pid_t>(cli.processId()), SIGINT);
    ASSERT_TRUE(cli.waitForFinished(60000));
    EXPECT_EQ(cli.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(cli.exitCode(), 130);
    out += cli.readAllStandardOutput();
    EXPECT_FALSE(out.contains("done")) << out.toStdString();
    // kestrine-cli reaped its child before it ended: the process is gone, not a zombie.
    EXPECT_NE(kill(child, 0), 0);
    EXPECT_EQ(errno, ESRCH);
    EXPECT_FALSE(fs::exists(dir / "second.mp3"));
    fs::remove_all(dir);
}

TEST(CliConvert, ExistingOutputIsAskedOnTheTerminalOrAnswered) {
    const auto dir = e2e::ScratchDir();
    WriteText(dir / "in.avi", "progress");
    const struct {
        QStringList extra;
        QByteArray input;
        int exitCode;
    } cases[] = {
        {{"--overwrite", "yes"}, {}, 0},
        {{"--overwrite", "no"}, "y\n", 1},
        {{}, "y\n", 0},
        {{"--overwrite", "ask"}, "n\n", 1},
        {{}, {}, 1}, // no answer at all keeps the file
    };
    for (const auto& c : cases) {
        WriteText(dir / "in.mp3", "old");
        const CliResult r = RunCli(QStringList{"--profile", "MP3 - MPEG Layer-3 Audio",
                                               "--same-as-input", "--ffmpeg", kFake} +
                                       c.extra + QStringList{Q(dir / "in.avi")},
                                   c.input);
        SCOPED_TRACE(c.extra.join(' ').toStdString() + " / " + c.input.toStdString());
        EXPECT_EQ(r.exitCode, c.exitCode) << r.err.toStdString();
        std::string head;
        std::ifstream(dir / "in.mp3") >> head;
        EXPECT_EQ(head == "old", c.exitCode != 0);
        if (c.extra.value(1) != "yes" && c.extra.value(1) != "no") {
            EXPECT_TRUE(r.err.contains("in.mp3 has existed,overite it? [y/N]"))
                << r.err.toStdString();
        }
    }
    fs::remove_all(dir);
}

TEST(CliConvert, SetUpMistakesExitTwoWithAClearMessage) {
    const auto dir = e2e::ScratchDir();
    WriteText(dir / "in.avi", "progress");
    const QString in = Q(dir / "in.avi");
    const QString mp3 = "MP3 - MPEG Layer-3 Audio";
    const struct {
        QStringList args;
        const char* message;
    } cases[] = {
        {{"--profile", "No Such Profile", "--same-as-input", in},
         "unknown profile \"No Such Profile\""},
        {{"--profile", mp3, "--output-dir", Q(dir / "missing"), in},
         "the output directory does not exist."},
        {{"--profile", mp3, "--same-as-input", "--ffmpeg", Q(dir / "no-ffmpeg"), in},
         "no FFmpeg program there"},
        {{"--profile", mp3, "--same-as-input", Q(dir / "missing.avi")},
         "missing.avi: no such file"},
        {{"--profile", mp3, "--same-as-input", "--output-dir", Q(dir), in},
         "either --output-dir DIR or --same-as-input"},
        {{"--profile", mp3, in}, "either --output-dir DIR or --same-as-input"},
        {{"--profile", mp3, "--same-as-input"}, "no files to convert"},
        {{"--profile", mp3, "--same-as-input", "--overwrite", "maybe", in},
         "--overwrite takes ask, yes or no"},
        {{"--same-as-input", in}, "--profile is missing"},
        {{"--profile", mp3, "--same-as-input", "--frobnicate", in}, "unknown option --frobnicate"},
        {{"--profile"}, "--profile needs a value"},
    };
    for (const auto& c : cases) {
        const CliResult r = RunCli(c.args);
        SCOPED_TRACE(c.args.join(' ').toStdString());
        EXPECT_EQ(r.exitCode, 2);
        EXPECT_TRUE(r.err.contains(QString::fromUtf8(c.message))) << r.err.toStdString();
        EXPECT_TRUE(r.out.isEmpty());
    }
    EXPECT_FALSE(fs::exists(dir / "in.mp3"));
    fs::remove_all(dir);
}

namespace {

// The words a POSIX shell makes of a command line.
std::vector<std::string> ShellWords(const std::string& line) {
    const e2e::Ran ran = e2e::Capture({"/bin/sh", "-c", "printf '%s\\0' " + line});
    EXPECT_EQ(ran.status, 0) << ran.err;
    std::vector<std::string> words;
    std::size_t start = 0;
    for (std::size_t end; (end = ran.out.find('\0', start)) != std::string::npos; start = end + 1)
        words.push_back(ran.out.substr(start, end - start));
    return words;
}

// The argument list the fake FFmpeg was started with, as it wrote it into its output file.
std::vector<std::string> RecordedArguments(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::vector<std::string> args;
    for (std::string arg; std::getline(in, arg, '\0');)
        args.push_back(arg);
    return args;
}

} // namespace

TEST(CliPrintCommand, EachLineGivesTheShellTheArgumentsTheEngineLaunches) {
    const auto dir = e2e::ScratchDir();
    // The program sits in a folder whose name needs quoting as well.
    fs::create_directories(dir / "my 'ff' dir");
    const fs::path fake = dir / "my 'ff' dir" / "ffmpeg";
    fs::create_symlink(FAKE_FFMPEG, fake);
    // Relative names, given from their folder, so that a leading "-" reaches the command.
    const std::vector<std::string> names{
        "a b.avi",           "it's \"q\".avi",        "-lead.avi",    "x:y.avi",
        "\xff\xfe \xe9.avi", "$HOME `id` \\ * ?.avi", "~tilde.avi",   "=eq.avi",
        "a;b&c|d<e>f.avi",   "tab\there.avi",         "new\nline.avi"};
    for (const std::string& name : names)
        WriteText(dir / name, "progress");
    const std::vector<std::string> options{
        KESTRINE_CLI,      "--profile", "MP3 - MPEG Layer-3 Audio",
        "--same-as-input", "--ffmpeg",  fake.string()};
    const auto withFiles = [&](std::vector<std::string> args,
                               const std::vector<std::string>& files) {
        args.push_back("--");
        args.insert(args.end(), files.begin(), files.end());
        return args;
    };
    std::vector<std::string> printOptions = options;
    printOptions.insert(printOptions.begin() + 1, "--print-command");

    std::string allLines;
    for (const std::string& name : names) {
        SCOPED_TRACE(name);
        const fs::path output = dir / (name.substr(0, name.rfind('.')) + ".mp3");
        const e2e::Ran printed = e2e::Capture(withFiles(printOptions, {name}), dir.string());
        ASSERT_EQ(printed.status, 0) << printed.err;
        EXPECT_EQ(printed.err, "");
        ASSERT_FALSE(printed.out.empty());
        EXPECT_EQ(printed.out.back(), '\n');
        const std::string line = printed.out.substr(0, printed.out.size() - 1);
        if (name.find('\n') == std::string::npos) {
            EXPECT_EQ(line.find('\n'), std::string::npos) << line;
            allLines += printed.out;
        }
        EXPECT_FALSE(fs::exists(output)) << "printing the command ran it";

        // The same file converted: the fake FFmpeg records the arguments it was started with.
        const e2e::Ran converted = e2e::Capture(withFiles(options, {name}), dir.string());
        ASSERT_EQ(converted.status, 0) << converted.err;
        const std::vector<std::string> launched = RecordedArguments(output);
        ASSERT_GT(launched.size(), 4u);
        EXPECT_EQ(launched[0], fake.string());
        EXPECT_EQ(ShellWords(line), launched) << line;
    }

    // Several files: one line each, in the order given.
    std::vector<std::string> oneLineNames = names;
    std::erase_if(oneLineNames, [](const std::string& n) { return n.find('\n') != n.npos; });
    const e2e::Ran all = e2e::Capture(withFiles(printOptions, oneLineNames), dir.string());
    EXPECT_EQ(all.status, 0) << all.err;
    EXPECT_EQ(all.out, allLines);
    fs::remove_all(dir);
}

// What the rules make of some profiles with the FFmpeg of today (libfaac gone, "kb" refused,
// -trellis taking a value, the crop options gone): the line shows the adapted arguments.
TEST(CliPrintCommand, ProfilesGetTheLineAdaptedToTheInstalledFFmpeg) {
    const auto dir = e2e::ScratchDir();
    const std::string ffmpeg = e2e::Trimmed(e2e::Capture({"sh", "-c", "command -v ffmpeg"}).out);
    ASSERT_FALSE(ffmpeg.empty()) << "no ffmpeg on PATH";
    const fs::path input = dir / "in.avi";
    WriteText(input, "not even a video: nothing reads it");
    fs::create_directories(dir / "out");
    // An existing output is not asked about, and the line has no "-y".
    WriteText(dir / "out" / "in.m4a", "old");
    const struct {
        const char* profile;
        const char* ext;
        const char* params;
    } cases[] = {
        {"M4A - MPEG4 Audio", ".m4a", "-vn -acodec aac -ab 112k -ac 2 -ar 48000"},
        {"ffmpeg -i %1 -vn -acodec libfaac -ab 128kb %1.m4a", ".m4a", "-vn -acodec aac -ab 128k"},
        {"NTSC DVD Fullscreen", ".mpg",
         "-f dvd -vcodec mpeg2video -r 29.97 -s 352x480 -aspect 4:3 -b 4000k -mbd rd -trellis 1 "
         "-mpv_flags +mv0 -cmp 2 -subcmp 2 -acodec mp2 -ab 192k -ar 48000 -ac 2"},
        {"AVI - XviD Widescreen Anamorphic (30 fps, 640x272, 1.5MBit; MP3)", ".avi",
         "-f avi -r 29.97 -vf crop=iw:ih-58-62:0:58 -vcodec libxvid -vtag XVID -s 640x272 "
         "-aspect 2.35 -maxrate 1800k -b 1500k -qmin 3 -qmax 5 -bufsize 4096 -mbd 2 -bf 2 "
         "-flags +mv4+aic -trellis 1 -cmp 2 -subcmp 2 -g 300 -acodec libmp3lame -ar 48000 "
         "-ab 128k -ac 2"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.profile);
        const e2e::Ran r = e2e::Capture({KESTRINE_CLI, "--print-command", "--profile", c.profile,
                                         "--output-dir", (dir / "out").string(), input.string()});
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.err, "");
        EXPECT_EQ(r.out, ffmpeg + " -i " + input.string() + " " + c.params + " " +
                             (dir / "out" / "in").string() + c.ext + "\n");
    }
    std::string kept;
    std::ifstream(dir / "out" / "in.m4a") >> kept;
    EXPECT_EQ(kept, "old");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir / "out"), fs::directory_iterator()), 1);

    // A file whose output would be itself gets no line, and the others still do.
    WriteText(dir / "song.m4a", "audio");
    const e2e::Ran r =
        e2e::Capture({KESTRINE_CLI, "--print-command", "--profile", "M4A - MPEG4 Audio",
                      "--same-as-input", (dir / "song.m4a").string(), input.string()});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("song.m4a: the output would be the input file itself"), std::string::npos)
        << r.err;
    EXPECT_EQ(r.out, ffmpeg + " -i " + input.string() +
                         " -vn -acodec aac -ab 112k -ac 2 -ar 48000 " + (dir / "in.m4a").string() +
                         "\n");

    // Arguments the adaptation refuses: no line, and the reason.
    const e2e::Ran refused = e2e::Capture({KESTRINE_CLI, "--print-command", "--profile",
                                           "ffmpeg -i %1 -acodec libnosuch %1.mp3", "--output-dir",
                                           (dir / "out").string(), input.string()});
    EXPECT_EQ(refused.status, 1);
    EXPECT_EQ(refused.out, "");
    EXPECT_NE(refused.err.find("in.avi: This FFmpeg has no \"libnosuch\" encoder"),
              std::string::npos)
        << refused.err;
    fs::remove_all(dir);
}
