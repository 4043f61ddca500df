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
