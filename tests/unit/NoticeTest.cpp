// The synchronise call: work asked for by a worker runs on the GUI thread, its exception comes
// back, and cancelling frees a waiting worker without the GUI thread.

#include "platform/Notice.h"
#include "base/Exception.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

using platform::SyncChannel;

namespace {

void ServeUntil(const std::function<bool()>& done) {
    QElapsedTimer clock;
    clock.start();
    QTimer tick;
    tick.start(20);
    while (!done() && clock.elapsed() < 60000)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

} // namespace

TEST(SyncChannel, RunsOnTheGuiThreadAndCarriesTheExceptionBack) {
    SyncChannel channel;
    const auto gui = std::this_thread::get_id();
    std::thread::id ranOn;
    std::string caught;
    std::atomic<bool> finished{false};
    SyncChannel::Result first = SyncChannel::Result::Cancelled;

    std::thread worker([&] {
        first = channel.Call([&] { ranOn = std::this_thread::get_id(); });
        try {
            channel.Call([] { throw kestrine::Exception("Error reading STDOUT pipe : 9"); });
        } catch (const kestrine::Exception& e) {
            caught = e.what();
        }
        finished = true;
    });
    ServeUntil([&] { return finished.load(); });
    worker.join();

    EXPECT_EQ(first, SyncChannel::Result::Done);
    EXPECT_EQ(ranOn, gui);
    EXPECT_EQ(caught, "Error reading STDOUT pipe : 9");
}

TEST(SyncChannel, CancelFreesAWaitingWorkerAndNothingRunsAfterwards) {
    SyncChannel channel;
    std::atomic<bool> ran{false};
    std::atomic<bool> waiting{false};
    SyncChannel::Result result = SyncChannel::Result::Done;
    SyncChannel::Result later = SyncChannel::Result::Done;

    std::thread worker([&] {
        waiting = true;
        result = channel.Call([&] { ran = true; });
        later = channel.Call([&] { ran = true; });
    });
    while (!waiting)
        std::this_thread::yield();
    // The GUI thread serves nothing here; joining after Cancel must not wait for it.
    channel.Cancel();
    worker.join();
    QCoreApplication::processEvents();

    EXPECT_EQ(result, SyncChannel::Result::Cancelled);
    EXPECT_EQ(later, SyncChannel::Result::Cancelled);
    EXPECT_FALSE(ran);
    EXPECT_TRUE(channel.IsCancelled());
}

TEST(SyncChannel, CallOnTheGuiThreadRunsAtOnce) {
    SyncChannel channel;
    bool ran = false;
    EXPECT_EQ(channel.Call([&] { ran = true; }), SyncChannel::Result::Done);
    EXPECT_TRUE(ran);
}

TEST(PostNotice, WithoutReceiverTheEventIsDropped) {
    EXPECT_FALSE(platform::PostNotice(nullptr, std::make_unique<QEvent>(QEvent::User)));
}
