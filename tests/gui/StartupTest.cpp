// Start-up and the single instance with real processes of the built program, headless.

#include "platform/SingleInstance.h"
#include "ui/Main.h"

#include "GuiHooks.h"

#include <QDialog>
#include <QElapsedTimer>
#include <QLocalSocket>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <csignal>
#include <memory>
#include <vector>

namespace {

// True when some instance answers on this user's channel.
bool ChannelAnswers() {
    QLocalSocket socket;
    socket.connectToServer(platform::MainWindowClassName());
    const bool up = socket.waitForConnected(200);
    socket.abort();
    return up;
}

class Startup : public ::testing::Test {
protected:
    void SetUp() override {
        // The channel is per user: a program the developer runs would take part in every test.
        if (ChannelAnswers())
            GTEST_SKIP() << "a Kestrine instance of this user is running";
        ASSERT_TRUE(config.isValid());
        qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
    }
    void TearDown() override {
        for (auto& p : processes) {
            if (p->state() != QProcess::NotRunning) {
                p->kill();
                p->waitForFinished(5000);
            }
        }
    }

    // Starts the program as the desktop would, with arguments it must not read.
    QProcess& Launch() {
        auto process = std::make_unique<QProcess>();
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", "offscreen");
        env.insert("XDG_CONFIG_HOME", config.path());
        process->setProcessEnvironment(env);
        process->start(QStringLiteral(KESTRINE_APP), {"/no/such/file.avi", "--help"});
        EXPECT_TRUE(process->waitForStarted(5000));
        processes.push_back(std::move(process));
        return *processes.back();
    }

    // Runs the event loop until the process ends; false when it still runs after timeoutMs.
    static bool WaitForEnd(QProcess& process, int timeoutMs = 10000) {
        QElapsedTimer timer;
        timer.start();
        while (process.state() != QProcess::NotRunning && timer.elapsed() < timeoutMs)
            QTest::qWait(10);
        return process.state() == QProcess::NotRunning;
    }

    static bool WaitForChannel(int timeoutMs = 10000) {
        QElapsedTimer timer;
        timer.start();
        while (!ChannelAnswers() && timer.elapsed() < timeoutMs)
            QTest::qWait(20);
        return ChannelAnswers();
    }

    QTemporaryDir config;
    std::vector<std::unique_ptr<QProcess>> processes;
};

// This test process plays the running instance, so the effect of the request can be seen.
class RunningHere : public Startup {
protected:
    void SetUp() override {
        Startup::SetUp();
        if (IsSkipped())
            return;
        ASSERT_TRUE(channel.Claim());
        frmMain = std::make_unique<kestrine::TfrmMain>();
        QObject::connect(&channel, &platform::InstanceChannel::ShowRequested, frmMain.get(),
                         &kestrine::TfrmMain::WMShowInstance);
    }
    void TearDown() override {
        frmMain.reset();
        Startup::TearDown();
    }

    void SecondStartEndsWithZero() {
        QProcess& second = Launch();
        ASSERT_TRUE(WaitForEnd(second));
        EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(second.exitCode(), 0);
        QTest::qWait(50); // the request is on its way over the channel
    }

    GuiHooks hooks;
    platform::InstanceChannel channel;
    std::unique_ptr<kestrine::TfrmMain> frmMain;
};

} // namespace

TEST_F(RunningHere, SecondStartShowsAHiddenMainWindow) {
    ASSERT_FALSE(frmMain->isVisible());
    SecondStartEndsWithZero();
    EXPECT_TRUE(QTest::qWaitFor([&] { return frmMain->isVisible(); }, 5000));
}

TEST_F(RunningHere, SecondStartRestoresAMinimisedMainWindow) {
    frmMain->showMinimized();
    ASSERT_TRUE(QTest::qWaitFor([&] { return frmMain->isMinimized(); }, 5000));
    SecondStartEndsWithZero();
    EXPECT_TRUE(QTest::qWaitFor([&] { return !frmMain->isMinimized(); }, 5000));
    EXPECT_TRUE(frmMain->isVisible());
}

TEST_F(RunningHere, SecondStartBringsTheModalWindowToTheFront) {
    frmMain->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(frmMain.get()));
    QDialog dialog(frmMain.get());
    dialog.setModal(true);
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    frmMain->activateWindow(); // something else has the focus now
    QTest::qWait(50);
    ASSERT_NE(QApplication::activeWindow(), &dialog);
    SecondStartEndsWithZero();
    EXPECT_TRUE(QTest::qWaitFor([&] { return QApplication::activeWindow() == &dialog; }, 5000));
}

TEST_F(Startup, RunsAgainAfterTheFirstInstanceWasKilled) {
    QProcess& first = Launch();
    ASSERT_TRUE(WaitForChannel());
    ::kill(static_cast<pid_t>(first.processId()), SIGKILL);
    ASSERT_TRUE(WaitForEnd(first));

    QProcess& next = Launch();
    ASSERT_TRUE(WaitForChannel());
    EXPECT_EQ(next.state(), QProcess::Running);
    // And it is the instance that a later start finds.
    QProcess& later = Launch();
    ASSERT_TRUE(WaitForEnd(later));
    EXPECT_EQ(later.exitCode(), 0);
    EXPECT_EQ(next.state(), QProcess::Running);
}

TEST_F(Startup, StartsAtTheSameMomentLeaveExactlyOneRunning) {
    std::vector<QProcess*> starts;
    for (int i = 0; i < 3; ++i)
        starts.push_back(&Launch());
    ASSERT_TRUE(WaitForChannel());
    // The others end by themselves with 0; one keeps running.
    QElapsedTimer timer;
    timer.start();
    auto running = [&] {
        int n = 0;
        for (QProcess* p : starts)
            n += p->state() != QProcess::NotRunning;
        return n;
    };
    while (running() > 1 && timer.elapsed() < 10000)
        QTest::qWait(20);
    QTest::qWait(300);
    EXPECT_EQ(running(), 1);
    for (QProcess* p : starts) {
        if (p->state() == QProcess::NotRunning) {
            EXPECT_EQ(p->exitStatus(), QProcess::NormalExit);
            EXPECT_EQ(p->exitCode(), 0);
        }
    }
}
