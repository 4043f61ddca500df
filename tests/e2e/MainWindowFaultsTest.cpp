// The main window against bad inputs and faults, with the system FFmpeg and the fake one
// (FAKE_FFMPEG): each case ends in a clear message or a named failed file, the other files of
// the batch are converted, no FFmpeg is left running and no file that was there is lost.

#include "E2eSupport.h"
#include "Faults.h"

#include "../gui/GuiHooks.h"

#include "engine/ConvertProcess.h"
#include "ui/ConvertHint.h"
#include "ui/Main.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <sys/stat.h>

namespace fs = std::filesystem;
using kestrine::TfrmConvert;
using kestrine::TfrmMain;

namespace {

constexpr int kPatienceMs = 60000; // only a hang ever reaches it

QString Q(const fs::path& path) {
    return QFile::decodeName(QByteArray::fromStdString(path.string()));
}

std::vector<std::string> Names(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// Presses "Stop" on the progress window once its condition holds.
class StopWhen : public QObject {
public:
    explicit StopWhen(std::function<bool()> condition) : condition_(std::move(condition)) {
        connect(&timer_, &QTimer::timeout, this, [this] {
            auto* frm = qobject_cast<TfrmConvert*>(QApplication::activeModalWidget());
            if (frm != nullptr && !pressed && condition_()) {
                pressed = true;
                QTest::mouseClick(frm->findChild<QPushButton*>(QStringLiteral("bStop")),
                                  Qt::LeftButton);
            }
        });
        timer_.start(10);
    }
    bool pressed = false;

private:
    std::function<bool()> condition_;
    QTimer timer_;
};

class MainWindowFaults : public ::testing::Test {
protected:
    void SetUp() override {
        dir = e2e::ScratchDir();
        fs::create_directories(dir / "in");
        fs::create_directories(dir / "out");
        UseConfig(dir / "config");
    }
    void TearDown() override {
        frm.reset();
        // Every child is reaped: none running, none left unreaped.
        QElapsedTimer clock;
        clock.start();
        while (!faults::LeftoverChildren().empty() && clock.elapsed() < kPatienceMs)
            QTest::qWait(20);
        EXPECT_EQ(faults::LeftoverChildren(), std::vector<std::string>{});
        fs::remove_all(dir);
    }

    void UseConfig(const fs::path& config) {
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(Q(config)));
    }
    fs::path SettingsFile(const fs::path& config) const {
        return config / "Tallowmere" / "Kestrine" / "settings.ini";
    }

    // The main window as the program opens it, set to write MP3s into out/.
    void Open(bool withSystemFFmpeg = true) {
        frm = std::make_unique<TfrmMain>();
        frm->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(frm.get()));
        frm->findChild<QLineEdit*>(QStringLiteral("eOutputFolder"))->setText(Q(dir / "out"));
        frm->SetProfileText("MP3 - MPEG Layer-3 Audio");
        if (!withSystemFFmpeg) {
            frm->SetUseDefaultFFmpeg(false);
            frm->SetAnotherFFmpegPath(FAKE_FFMPEG);
        }
    }

    // "Convert..." with these picked files; returns once the batch is over.
    void Convert(const QStringList& picked) {
        hooks.pickedFiles = picked;
        QTest::mouseClick(frm->findChild<QPushButton*>(QStringLiteral("bConvert")), Qt::LeftButton);
    }

    fs::path dir;
    GuiHooks hooks;
    std::unique_ptr<TfrmMain> frm;
};

} // namespace

// A file that is not there (gone since it was picked), a 0-byte file, random bytes and a folder
// are named as failed, in order, between two files that convert; no input changes.
TEST_F(MainWindowFaults, InputsFFmpegCannotReadAreNamedAndTheRestConverts) {
    e2e::MakeClip(dir / "in" / "a.avi", "1");
    fs::copy_file(dir / "in" / "a.avi", dir / "in" / "b.avi");
    faults::WriteBytes(dir / "in" / "empty.avi", "");
    const std::string noise = faults::RandomBytes(64 * 1024, 11);
    faults::WriteBytes(dir / "in" / "noise.avi", noise);
    fs::create_directories(dir / "in" / "folder.avi");
    Open();
    Convert({Q(dir / "in" / "a.avi"), Q(dir / "in" / "missing.avi"), Q(dir / "in" / "empty.avi"),
             Q(dir / "in" / "noise.avi"), Q(dir / "in" / "folder.avi"), Q(dir / "in" / "b.avi")});

    EXPECT_EQ(
        hooks.MessageTexts(),
        QStringList{"missing.avi, empty.avi, noise.avi, folder.avi, file conversion failed."});
    EXPECT_EQ(e2e::ProbeFile(dir / "out" / "a.mp3").streams, "mp3,audio");
    EXPECT_EQ(e2e::ProbeFile(dir / "out" / "b.mp3").streams, "mp3,audio");
    EXPECT_EQ(Names(dir / "out"), (std::vector<std::string>{"a.mp3", "b.mp3"}));
    EXPECT_EQ(faults::ReadBytes(dir / "in" / "noise.avi"), noise);
    EXPECT_EQ(fs::file_size(dir / "in" / "empty.avi"), 0u);
    EXPECT_TRUE(fs::is_directory(dir / "in" / "folder.avi"));
}

// Blanks, quotes, a line break, a leading "-" and a colon in file names convert under their own
// names. A name that is not UTF-8 cannot pass through the toolkit's file dialog unchanged (it
// hands over U+FFFD for the bytes): that file is named as failed and left as it was.
TEST_F(MainWindowFaults, AwkwardFileNamesConvertOrAreNamed) {
    e2e::MakeClip(dir / "clip.avi", "1");
    const std::vector<std::string> stems = {"two  blanks", "quote's \"double\"", "new\nline",
                                            "-dash", "colon:name"};
    QStringList picked;
    for (const std::string& stem : stems) {
        fs::copy_file(dir / "clip.avi", dir / "in" / (stem + ".avi"));
        picked << Q(dir / "in" / (stem + ".avi"));
    }
    const fs::path latin1 = dir / "in" / "caf\xE9.avi";
    fs::copy_file(dir / "clip.avi", latin1);
    picked << Q(latin1); // what the dialog lists for it
    Open();
    Convert(picked);

    EXPECT_EQ(hooks.MessageTexts(),
              QStringList{QStringLiteral("caf\uFFFD.avi, file conversion failed.")});
    for (const std::string& stem : stems)
        EXPECT_EQ(e2e::ProbeFile(dir / "out" / (stem + ".mp3")).streams, "mp3,audio") << stem;
    EXPECT_EQ(Names(dir / "out").size(), stems.size());
    EXPECT_EQ(faults::ReadBytes(latin1), faults::ReadBytes(dir / "clip.avi"));
}

// The chosen FFmpeg passes the check of "Convert..." and is gone when the first file starts:
// the start error is reported, nothing runs and nothing is written until "Stop".
TEST_F(MainWindowFaults, ChosenFFmpegDeletedBetweenTheCheckAndTheStart) {
    fs::create_directories(dir / "bin");
    const fs::path ffmpeg = dir / "bin" / "ffmpeg";
    fs::copy_file(FAKE_FFMPEG, ffmpeg);
    faults::WriteBytes(dir / "in" / "a.avi", "progress\n");
    faults::WriteBytes(dir / "in" / "b.avi", "progress\n");
    Open(false);
    frm->SetAnotherFFmpegPath(ffmpeg.string());
    // The file dialog is where the time passes between the check and the start.
    platform::SetOpenFilesHook([&](const platform::OpenFilesRequest&) {
        fs::remove(ffmpeg);
        return QStringList{Q(dir / "in" / "a.avi"), Q(dir / "in" / "b.avi")};
    });
    StopWhen stop([&] { return !hooks.messages.empty(); });
    Convert({});

    EXPECT_TRUE(stop.pressed);
    ASSERT_EQ(hooks.MessageTexts(),
              QStringList{QStringLiteral("Error while creating convert process!2.")});
    EXPECT_EQ(hooks.messages[0].icon, platform::MessageIcon::Error);
    EXPECT_EQ(Names(dir / "out"), std::vector<std::string>{});
    EXPECT_EQ(faults::ReadBytes(dir / "in" / "a.avi"), "progress\n");
}

// An output that appears after the existence check, just before FFmpeg starts (another program
// wrote it): FFmpeg, asked to write over it without "-y", finds its question answered by the
// ended input and gives up. The file is kept, counted as failed, and the batch goes on.
TEST_F(MainWindowFaults, OutputAppearingAfterTheCheckIsKeptAndNothingWaits) {
    e2e::MakeClip(dir / "in" / "a.avi", "1");
    fs::copy_file(dir / "in" / "a.avi", dir / "in" / "b.avi");
    Open();
    kestrine::TConvertProcess& engine = *frm->ConvertProcess();
    const fs::path intruder = dir / "out" / "a.mp3";
    // The adapter runs after the check and just before the start.
    engine.AdaptParams = [&engine, intruder, adapt = engine.AdaptParams](
                             const std::vector<std::string>& tokens, const std::string& exe) {
        if (engine.OutputFile == intruder.string())
            faults::WriteBytes(intruder, "written by someone else");
        return kestrine::ApplyParamsAdapter(adapt, tokens, exe);
    };
    QElapsedTimer clock;
    clock.start();
    StopWhen watchdog([&] { return clock.elapsed() > kPatienceMs; });
    Convert({Q(dir / "in" / "a.avi"), Q(dir / "in" / "b.avi")});

    EXPECT_FALSE(watchdog.pressed) << "FFmpeg waited for an answer";
    EXPECT_EQ(hooks.MessageTexts(), QStringList{QStringLiteral("a.avi, file conversion failed.")});
    EXPECT_EQ(engine.CommandLine.find("-y"), std::string::npos);
    EXPECT_EQ(faults::ReadBytes(intruder), "written by someone else");
    EXPECT_EQ(e2e::ProbeFile(dir / "out" / "b.mp3").streams, "mp3,audio");
}

// A settings file of random bytes, one of 100 MB, and a named pipe in its place: the window
// opens with what can be read (the defaults, or the profile written after 100 MB of junk),
// says nothing, and closing keeps every byte that was there (the pipe stays a pipe).
TEST_F(MainWindowFaults, SettingsFileThatIsGarbageHugeOrAPipe) {
    // On a memory file system where there is one: the huge file is written five times over.
    const fs::path base = fs::is_directory("/dev/shm") ? fs::path("/dev/shm") : dir;
    const std::string garbage = faults::RandomBytes(256 * 1024, 5);
    const std::string junk(100u << 20, 'j');
    const struct {
        const char* what;
        std::function<void(const fs::path&)> make;
        std::string profile; // what the window shows
    } cases[] = {
        {"garbage", [&](const fs::path& file) { faults::WriteBytes(file, garbage); }, ""},
        {"huge",
         [&](const fs::path& file) {
             faults::WriteBytes(file, "[Options]\nJunk=" + junk +
                                          "\nOutputFormat=MP3 - MPEG Layer-3 Audio\n");
         },
         "MP3 - MPEG Layer-3 Audio"},
        {"pipe", [](const fs::path& file) { ASSERT_EQ(mkfifo(file.c_str(), 0644), 0); }, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const fs::path config = base / ("kestrine-settings-" + std::to_string(getpid()));
        fs::remove_all(config);
        const fs::path file = SettingsFile(config);
        fs::create_directories(file.parent_path());
        c.make(file);
        UseConfig(config);
        {
            TfrmMain frmMain;
            frmMain.show();
            EXPECT_EQ(frmMain.ProfileText(), c.profile);
            EXPECT_EQ(frmMain.OutputDir(), file.parent_path().string() + "/");
            EXPECT_TRUE(frmMain.UseDefaultFFmpeg());
            EXPECT_TRUE(frmMain.close());
        }
        EXPECT_TRUE(hooks.messages.empty());
        if (std::string(c.what) == "pipe") {
            struct stat info {};
            EXPECT_EQ(stat(file.c_str(), &info), 0);
            EXPECT_TRUE(S_ISFIFO(info.st_mode));
        } else {
            const std::string after = faults::ReadBytes(file);
            const std::string before =
                c.profile.empty() ? garbage : "[Options]\nJunk=" + junk + "\n";
            EXPECT_EQ(after.compare(0, before.size(), before), 0) << "bytes that were there";
            EXPECT_NE(after.find("\nOutputFormat=" + c.profile + "\n", before.size() - 1),
                      std::string::npos);
        }
        EXPECT_EQ(Names(file.parent_path()), std::vector<std::string>{"settings.ini"});
        fs::remove_all(config);
    }
}
