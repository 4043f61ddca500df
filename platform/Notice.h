#pragma once

// Notices between threads. A notice is an event posted to a receiver's queue and handled there
// in the order posted; a worker thread that must have work done on the GUI thread asks for it
// through a SyncChannel and waits.

#include <QEvent>

#include <functional>
#include <memory>

class QObject;

namespace platform {

// Posts event to receiver's queue; the receiver's thread handles it later, and the event goes
// with it. Without a receiver the event is dropped and false is returned.
bool PostNotice(QObject* receiver, std::unique_ptr<QEvent> event);

// A registered event type, preferring the number hint when it is free.
QEvent::Type RegisterNoticeType(int hint);

// The synchronise call of one worker thread: Call runs a function on the thread that created
// the channel (the GUI thread) when that thread next serves its event queue, also inside a
// modal box's loop, blocks until it has run and raises again any exception it raised.
//
// Cancel ends the channel: a call that is queued and every later call return Cancelled at once
// without running, so a worker waiting on one never holds up the GUI thread, and the GUI thread
// may wait for the worker after cancelling. A call already running finishes first.
//
// The channel is created and destroyed on the GUI thread, which needs an event loop
// (QCoreApplication); it must outlive every worker that calls it.
class SyncChannel {
public:
    enum class Result { Done, Cancelled };

    SyncChannel();
    ~SyncChannel();
    SyncChannel(const SyncChannel&) = delete;
    SyncChannel& operator=(const SyncChannel&) = delete;

    // One worker thread at a time. Called on the GUI thread itself, fn simply runs.
    Result Call(const std::function<void()>& fn);

    // Any thread; never blocks.
    void Cancel();
    bool IsCancelled() const;

private:
    struct State;
    std::unique_ptr<State> state_;
};

} // namespace platform
