// "Convert..." from the main window to the progress window and back, headless, with the fake
// ffmpeg (it does what the first word of its input file says: progress, broken, hang...).

#include "GuiHooks.h"

#include "engine/ConvertProcess.h"
#include "engine/ProcessInfo.h"
#include "ui/ConvertHint.h"
#include "ui/Main.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <functional>
#include <memory>
#include <string>
#include <vector>

using kestrine::TfrmConvert;
using kestrine::TfrmMain;

namespace {

// What the test saw of the progress window while it was up.
struct Sight {
    QStringList captions;     // every caption, in order
    QStringList names;        // the name label at each caption change
    std::vector<int> results; // modal result when it closed
};

// Watches the progress windows of one test: records what they show and lets a test step act
// on them once, when its condition holds.
class ProgressWatcher : public QObject {
public:
    using Step = std::function<bool(TfrmConvert*)>; // true: done

    ProgressWatcher() {
        qApp->installEventFilter(this);
        connect(&timer, &QTimer::timeout, this, [this] {
            if (auto* frm = qobject_cast<TfrmConvert*>(QApplication::activeModalWidget())) {
                if (step && step(frm))
                    step = nullptr;
            }
        });
        timer.start(5);
    }
    ~ProgressWatcher() override { qApp->removeEventFilter(this); }

    // Runs step on the progress window on every turn of the event loop until it returns true.
    void When(Step s) { step = std::move(s); }
    // Runs before every notice reaches a progress window.
    std::function<void(TfrmConvert*, const kestrine::TProcessInfo&)> onNotice;

    Sight sight;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        auto* frm = qobject_cast<TfrmConvert*>(watched);
        if (frm == nullptr)
            return false;
        if (event->type() == QEvent::WindowTitleChange) {
            sight.captions << frm->windowTitle();
        } else if (event->type() == kestrine::WM_CONVERTINFO && onNotice) {
            onNotice(frm, static_cast<kestrine::TConvertInfoEvent*>(event)->Info());
        } else if (event->type() == QEvent::Hide) {
            sight.results.push_back(frm->result());
            sight.names << frm->findChild<QLabel*>(QStringLiteral("lConvertName"))->text();
        }
        return false;
    }

private:
    QTimer timer;
    Step step;
};

// The pid the hanging fake wrote for itself, once it has written all of it; 0 before.
pid_t PidIn(const QString& pidFile) {
    QFile file(pidFile);
    if (!file.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray text = file.readAll();
    return text.endsWith('\n') ? static_cast<pid_t>(text.trimmed().toInt()) : 0;
}

bool ProcessGone(pid_t pid) {
    return pid > 0 && ::kill(pid, 0) != 0 && errno == ESRCH;
}

class ConvertFlowTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(home.isValid() && work.isValid());
        QApplication::setApplicationName(QStringLiteral("Kestrine with FFmpeg"));
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(home.path()));
        frm = std::make_unique<TfrmMain>();
        frm->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(frm.get()));
        QDir(work.path()).mkdir(QStringLiteral("in"));
        QDir(work.path()).mkdir(QStringLiteral("out"));
        Edit()->setText(Out());
        frm->SetProfileText("MP3 - MPEG Layer-3 Audio");
        frm->SetUseDefaultFFmpeg(false);
        frm->SetAnotherFFmpegPath(FAKE_FFMPEG);
    }
    void TearDown() override { frm.reset(); }

    QString In() const { return work.path() + QStringLiteral("/in"); }
    QString Out() const { return work.path() + QStringLiteral("/out"); }
    QLineEdit* Edit() { return frm->findChild<QLineEdit*>(QStringLiteral("eOutputFolder")); }

    // Input files named name.avi whose first word tells the fake what to do.
    QStringList Inputs(const std::vector<std::pair<const char*, const char*>>& files) {
        QStringList paths;
        for (const auto& [name, mode] : files) {
            const QString path = In() + QLatin1Char('/') + QString::fromUtf8(name);
            QFile file(path);
            EXPECT_TRUE(file.open(QIODevice::WriteOnly));
            file.write(mode);
            paths << path;
        }
        return paths;
    }

    void Convert() {
        QTest::mouseClick(frm->findChild<QPushButton*>(QStringLiteral("bConvert")), Qt::LeftButton);
    }

    QTemporaryDir home;
    QTemporaryDir work;
    GuiHooks hooks;
    ProgressWatcher watcher;
    std::unique_ptr<TfrmMain> frm;
};

// Three files, the second fails: the batch goes on, the counter runs (1/3) to (3/3), the name
// label shows the output's name, and the main window names the failed input.
TEST_F(ConvertFlowTest, BatchGoesOnPastAFailureAndNamesIt) {
    hooks.pickedFiles =
        Inputs({{"one.avi", "progress"}, {"two.avi", "broken"}, {"three.avi", "progress"}});
    Convert();

    EXPECT_EQ(watcher.sight.captions, QStringList({QStringLiteral("Kestrine with FFmpeg"),
                                                   QStringLiteral("Kestrine with FFmpeg (1/3)"),
                                                   QStringLiteral("Kestrine with FFmpeg (2/3)"),
                                                   QStringLiteral("Kestrine with FFmpeg (3/3)")}));
    EXPECT_EQ(watcher.sight.results, std::vector<int>{TfrmConvert::kResultCancel});
    EXPECT_EQ(watcher.sight.names, QStringList{QStringLiteral("three.mp3")});
    ASSERT_EQ(hooks.messages.size(), 1u);
    EXPECT_EQ(hooks.messages[0].text, QStringLiteral("two.avi, file conversion failed."));
    EXPECT_EQ(hooks.messages[0].icon, platform::MessageIcon::Information);
    EXPECT_TRUE(QFile::exists(Out() + QStringLiteral("/one.mp3")));
    EXPECT_TRUE(QFile::exists(Out() + QStringLiteral("/three.mp3")));

    ASSERT_EQ(hooks.fileRequests.size(), 1u);
    EXPECT_EQ(hooks.fileRequests[0].title, QStringLiteral("Select one or more video files"));
    EXPECT_TRUE(hooks.fileRequests[0].multiple);
    EXPECT_EQ(frm->LastInputDir(), (In() + QLatin1Char('/')).toStdString());
    EXPECT_EQ(frm->SameInputDir(), "");
}

// At the start of the next file the bar goes back to 0 while both time labels keep what the
// previous file left in them until the new file's first progress notice.
TEST_F(ConvertFlowTest, NextFileResetsTheBarButKeepsTheTimes) {
    hooks.pickedFiles = Inputs({{"a.avi", "progress"}, {"b.avi", "progress"}});
    struct Seen {
        int bar = -1;
        QString elapsed, estimated;
    } firstOfSecond;
    bool completionSeen = false;
    bool checked = false;
    watcher.onNotice = [&](TfrmConvert* p, const kestrine::TProcessInfo& info) {
        auto* elapsed = p->findChild<QLabel*>(QStringLiteral("lTimeElapsed"));
        auto* estimated = p->findChild<QLabel*>(QStringLiteral("lTimeEstimated"));
        auto* bar = p->findChild<QProgressBar*>(QStringLiteral("suiProgressBar2"));
        if (info.IsCompletion() && !completionSeen) {
            completionSeen = true;
            EXPECT_EQ(bar->value(), 100);
            elapsed->setText(QStringLiteral("77:01"));
            estimated->setText(QStringLiteral("77:02"));
        } else if (completionSeen && !checked && !info.IsCompletion()) {
            checked = true;
            firstOfSecond = {bar->value(), elapsed->text(), estimated->text()};
        }
    };
    Convert();
    ASSERT_TRUE(checked);
    EXPECT_EQ(firstOfSecond.bar, 0);
    EXPECT_EQ(firstOfSecond.elapsed, QStringLiteral("77:01"));
    EXPECT_EQ(firstOfSecond.estimated, QStringLiteral("77:02"));
    EXPECT_TRUE(hooks.messages.empty());
}

// "Stop" and closing from the title bar, during the second of three files: the child is
// killed, the third file is never started, only the first file's failure is reported.
TEST_F(ConvertFlowTest, StopOrCloseDuringSecondFileEndsTheBatch) {
    const struct {
        const char* how;
        int result;
    } ways[] = {{"stop", TfrmConvert::kResultAbort}, {"close", TfrmConvert::kResultCancel}};
    for (const auto& way : ways) {
        SCOPED_TRACE(way.how);
        hooks.messages.clear();
        watcher.sight = {};
        QDir(Out()).removeRecursively();
        QDir().mkpath(Out());
        hooks.pickedFiles =
            Inputs({{"first.avi", "broken"}, {"second.avi", "hang"}, {"third.avi", "progress"}});
        const QString pidFile = Out() + QStringLiteral("/second.mp3.pid");
        watcher.When([&](TfrmConvert* p) {
            if (!p->windowTitle().endsWith(QStringLiteral("(2/3)")) || PidIn(pidFile) == 0)
                return false;
            if (QString::fromUtf8(way.how) == QStringLiteral("stop"))
                QTest::mouseClick(p->findChild<QPushButton*>(QStringLiteral("bStop")),
                                  Qt::LeftButton);
            else
                p->close();
            return true;
        });
        Convert();
        EXPECT_EQ(watcher.sight.results, std::vector<int>{way.result});
        const pid_t child = PidIn(pidFile);
        EXPECT_TRUE(QTest::qWaitFor([&] { return ProcessGone(child); })) << child;
        EXPECT_FALSE(QFile::exists(Out() + QStringLiteral("/third.mp3")));
        ASSERT_EQ(hooks.messages.size(), 1u);
        EXPECT_EQ(hooks.messages[0].text, QStringLiteral("first.avi, file conversion failed."));
    }
}

// An output in use (here: without any write permission) is asked about, then reported with an
// error box, counted as failed, and the batch goes on.
TEST_F(ConvertFlowTest, OutputInUseIsReportedAndCountsAsFailed) {
    hooks.pickedFiles = Inputs({{"busy.avi", "progress"}, {"free.avi", "progress"}});
    const QString busy = Out() + QStringLiteral("/busy.mp3");
    {
        QFile file(busy);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }
    QFile::setPermissions(busy, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther);
    hooks.answers = {platform::MessageAnswer::Yes}; // write over it
    Convert();
    const QStringList texts = hooks.MessageTexts();
    ASSERT_EQ(texts.size(), 3) << texts.join(QLatin1Char('|')).toStdString();
    EXPECT_EQ(texts[1], busy + QStringLiteral(" may be used, convert process failed!"));
    EXPECT_EQ(hooks.messages[1].icon, platform::MessageIcon::Error);
    EXPECT_EQ(texts[2], QStringLiteral("busy.avi, file conversion failed."));
    EXPECT_TRUE(QFile::exists(Out() + QStringLiteral("/free.mp3")));
}

// When the first file cannot even be started, the standard error report says why, the window
// shows no file and no counter, and only "Stop" ends it.
TEST_F(ConvertFlowTest, FailedFirstStartLeavesAnIdleWindow) {
    const QByteArray path = qgetenv("PATH");
    QTemporaryDir emptyPath;
    qputenv("PATH", QFile::encodeName(emptyPath.path()));
    frm->SetUseDefaultFFmpeg(true); // plain "ffmpeg", which the search cannot find
    hooks.pickedFiles = Inputs({{"one.avi", "progress"}, {"two.avi", "progress"}});
    QString captionSeen, nameSeen;
    watcher.When([&](TfrmConvert* p) {
        captionSeen = p->windowTitle();
        nameSeen = p->findChild<QLabel*>(QStringLiteral("lConvertName"))->text();
        QTest::mouseClick(p->findChild<QPushButton*>(QStringLiteral("bStop")), Qt::LeftButton);
        return true;
    });
    Convert();
    qputenv("PATH", path);
    EXPECT_EQ(captionSeen, QStringLiteral("Kestrine with FFmpeg"));
    EXPECT_EQ(nameSeen, QString());
    EXPECT_EQ(watcher.sight.results, std::vector<int>{TfrmConvert::kResultAbort});
    ASSERT_EQ(hooks.messages.size(), 1u); // the report; nothing failed by a completion
    EXPECT_EQ(hooks.messages[0].text, QStringLiteral("Error while creating convert process!2."));
    EXPECT_EQ(hooks.messages[0].icon, platform::MessageIcon::Error);
    EXPECT_EQ(hooks.messages[0].caption, QStringLiteral("Kestrine with FFmpeg"));
}

// With same-as-input the outputs go beside the inputs, the folder is neither read nor checked,
// and "Show Files..." then opens the input folder.
TEST_F(ConvertFlowTest, SameAsInputWritesBesideTheInputsAndShowsThatFolder) {
    const std::string before = frm->OutputDir();
    Edit()->setText(work.path() + QStringLiteral("/nowhere"));
    frm->SetSameInput(true);
    hooks.pickedFiles = Inputs({{"clip.avi", "progress"}});
    Convert();
    EXPECT_TRUE(hooks.messages.empty())
        << hooks.MessageTexts().join(QLatin1Char('|')).toStdString();
    EXPECT_TRUE(QFile::exists(In() + QStringLiteral("/clip.mp3")));
    EXPECT_EQ(frm->OutputDir(), before);
    EXPECT_EQ(frm->SameInputDir(), (In() + QLatin1Char('/')).toStdString());

    QTest::mouseClick(frm->findChild<QPushButton*>(QStringLiteral("bShowFiles")), Qt::LeftButton);
    ASSERT_EQ(hooks.shellRequests.size(), 1u);
    EXPECT_EQ(hooks.shellRequests[0].target, In() + QLatin1Char('/'));
    EXPECT_EQ(frm->OutputDir(), frm->SameInputDir());
}

// The next dialog starts in the last input folder while it exists, and keeps its previous
// start when that folder is gone; a cancelled dialog changes neither folder.
TEST_F(ConvertFlowTest, FileDialogStartsInTheLastInputFolder) {
    hooks.pickedFiles = Inputs({{"clip.avi", "progress"}});
    Convert();
    ASSERT_EQ(hooks.fileRequests.size(), 1u);
    EXPECT_EQ(hooks.fileRequests[0].startFolder, QString());

    hooks.pickedFiles.clear(); // cancel
    Convert();
    ASSERT_EQ(hooks.fileRequests.size(), 2u);
    EXPECT_EQ(hooks.fileRequests[1].startFolder, In() + QLatin1Char('/'));
    EXPECT_EQ(frm->LastInputDir(), (In() + QLatin1Char('/')).toStdString());

    QDir(In()).removeRecursively();
    Convert();
    ASSERT_EQ(hooks.fileRequests.size(), 3u);
    EXPECT_EQ(hooks.fileRequests[2].startFolder, In() + QLatin1Char('/'));
}

// A notice that comes after the batch has ended starts nothing; once the window is freed the
// engine has nowhere to post.
TEST_F(ConvertFlowTest, NoticeAfterTheBatchEndedIsIgnored) {
    kestrine::TConvertProcess& process = *frm->ConvertProcess();
    auto frmConvert = std::make_unique<TfrmConvert>(
        frm.get(), *frm, process,
        std::vector<std::string>{Inputs({{"x.avi", "hang"}})[0].toStdString(),
                                 Inputs({{"y.avi", "progress"}})[0].toStdString()});
    frmConvert->Ext = ".mp3";
    frmConvert->FFmpegPath = FAKE_FFMPEG;
    frmConvert->UseDefaultFFmpeg = false;
    frmConvert->open();
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return QFile::exists(Out() + QStringLiteral("/x.mp3.pid")); }));
    QTest::mouseClick(frmConvert->findChild<QPushButton*>(QStringLiteral("bStop")), Qt::LeftButton);
    EXPECT_FALSE(frmConvert->isVisible());
    EXPECT_FALSE(process.Running);

    auto completion = std::make_unique<kestrine::TProcessInfo>();
    completion->Percent = kestrine::kCompletionPercent;
    QCoreApplication::postEvent(frmConvert.get(),
                                new kestrine::TConvertInfoEvent(std::move(completion)));
    QCoreApplication::processEvents();
    EXPECT_EQ(frmConvert->Queue().Index, 0);
    EXPECT_EQ(frmConvert->FailedList(), "");
    EXPECT_FALSE(process.Running);
    EXPECT_FALSE(QFile::exists(Out() + QStringLiteral("/y.mp3")));

    frmConvert.reset();
    EXPECT_EQ(process.NotifyWindow.data(), nullptr);
}

} // namespace
