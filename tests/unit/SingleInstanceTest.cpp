#include "platform/SingleInstance.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>

#include <gtest/gtest.h>

#include <csignal>
#include <memory>
#include <unistd.h>
#include <vector>

namespace {

// Every test has a channel of its own, so it neither meets a running program nor another test.
QString ChannelName(const char* test) {
    return QStringLiteral("kestrine-test-%1-%2").arg(QCoreApplication::applicationPid()).arg(test);
}

std::unique_ptr<QProcess> StartRunner(const QString& name, int lifetimeMs = 20000) {
    auto process = std::make_unique<QProcess>();
    process->start(QStringLiteral(INSTANCE_RUNNER), {name, QString::number(lifetimeMs)});
    EXPECT_TRUE(process->waitForStarted(5000));
    return process;
}

// Reads lines until one equals `line` or the time is up.
bool WaitForLine(QProcess& process, const QByteArray& line, int timeoutMs = 5000) {
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < timeoutMs) {
        while (process.canReadLine()) {
            if (process.readLine().trimmed() == line)
                return true;
        }
        process.waitForReadyRead(100);
    }
    return false;
}

void Kill(QProcess& process) {
    if (process.state() != QProcess::NotRunning) {
        process.kill();
        process.waitForFinished(5000);
    }
}

} // namespace

TEST(SingleInstance, ChannelNameIsFixedPerUserAndFits) {
    const QString name = platform::MainWindowClassName();
    EXPECT_LE(name.size(), 63);
    EXPECT_TRUE(name.endsWith(QString::number(::getuid())));
    EXPECT_EQ(name, platform::MainWindowClassName());
}

TEST(SingleInstance, SecondStartAsksTheFirstToShowAndEndsAtOnce) {
    const QString name = ChannelName("second");
    auto first = StartRunner(name);
    ASSERT_TRUE(WaitForLine(*first, "primary"));

    QElapsedTimer timer;
    timer.start();
    auto second = StartRunner(name);
    ASSERT_TRUE(second->waitForFinished(5000));
    EXPECT_EQ(second->exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second->exitCode(), 0);
    EXPECT_EQ(second->readAllStandardOutput().trimmed(), "secondary");
    EXPECT_TRUE(WaitForLine(*first, "show"));
    Kill(*first);
}

TEST(SingleInstance, ChannelOfACrashedInstanceIsTakenOver) {
    const QString name = ChannelName("crashed");
    auto first = StartRunner(name);
    ASSERT_TRUE(WaitForLine(*first, "primary"));
    ::kill(static_cast<pid_t>(first->processId()), SIGKILL);
    first->waitForFinished(5000);

    auto next = StartRunner(name);
    EXPECT_TRUE(WaitForLine(*next, "primary"));
    // And the new instance is found by the start after it.
    auto after = StartRunner(name);
    ASSERT_TRUE(after->waitForFinished(5000));
    EXPECT_EQ(after->readAllStandardOutput().trimmed(), "secondary");
    Kill(*next);
}

TEST(SingleInstance, StartsAtTheSameMomentLeaveExactlyOneRunning) {
    const QString name = ChannelName("race");
    for (int round = 0; round < 5; ++round) {
        std::vector<std::unique_ptr<QProcess>> starts;
        for (int i = 0; i < 4; ++i)
            starts.push_back(StartRunner(name, 3000));
        int primaries = 0;
        int secondaries = 0;
        for (auto& start : starts) {
            start->waitForReadyRead(5000);
            const QByteArray role = start->readLine().trimmed();
            primaries += role == "primary";
            secondaries += role == "secondary";
        }
        EXPECT_EQ(primaries, 1) << "round " << round;
        EXPECT_EQ(secondaries, 3) << "round " << round;
        for (auto& start : starts)
            Kill(*start);
    }
}
