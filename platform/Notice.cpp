#include "platform/Notice.h"

#include "platform/Process.h"

#include <QCoreApplication>
#include <QObject>
#include <QSocketNotifier>

#include <condition_variable>
#include <cstdint>
#include <exception>
#include <mutex>
#include <sys/eventfd.h>
#include <thread>
#include <unistd.h>
#include <utility>

namespace platform {

bool PostNotice(QObject* receiver, std::unique_ptr<QEvent> event) {
    if (receiver == nullptr || event == nullptr)
        return false;
    QCoreApplication::postEvent(receiver, event.release());
    return true;
}

QEvent::Type RegisterNoticeType(int hint) {
    return static_cast<QEvent::Type>(QEvent::registerEventType(hint));
}

// The worker and the GUI thread meet under the mutex; the event descriptor only tells the GUI
// thread's event loop that a call is waiting. The worker never touches a Qt object.
struct SyncChannel::State {
    enum class Phase { Idle, Queued, Running, Done };

    std::mutex mutex;
    std::condition_variable changed;
    Phase phase = Phase::Idle;
    bool cancelled = false;
    const std::function<void()>* pending = nullptr;
    std::exception_ptr error;

    std::thread::id owner = std::this_thread::get_id();
    UniqueFd wakeFd{eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)};
    std::unique_ptr<QSocketNotifier> notifier;

    void Serve() {
        std::uint64_t count = 0;
        [[maybe_unused]] const ssize_t n = read(wakeFd.Get(), &count, sizeof count);

        const std::function<void()>* fn = nullptr;
        {
            std::lock_guard lock(mutex);
            if (phase != Phase::Queued || cancelled)
                return;
            phase = Phase::Running;
            fn = pending;
        }
        std::exception_ptr raised;
        try {
            (*fn)();
        } catch (...) {
            raised = std::current_exception();
        }
        // The exception goes over whole: no reference to it stays on this thread.
        std::lock_guard lock(mutex);
        error = std::move(raised);
        phase = Phase::Done;
        changed.notify_all();
    }
};

SyncChannel::SyncChannel() : state_(std::make_unique<State>()) {
    if (state_->wakeFd.Get() >= 0) {
        state_->notifier =
            std::make_unique<QSocketNotifier>(state_->wakeFd.Get(), QSocketNotifier::Read);
        State* state = state_.get();
        QObject::connect(state_->notifier.get(), &QSocketNotifier::activated,
                         state_->notifier.get(), [state] { state->Serve(); });
    }
}

SyncChannel::~SyncChannel() = default;

SyncChannel::Result SyncChannel::Call(const std::function<void()>& fn) {
    State& s = *state_;
    if (std::this_thread::get_id() == s.owner) {
        if (IsCancelled())
            return Result::Cancelled;
        fn();
        return Result::Done;
    }

    {
        std::lock_guard lock(s.mutex);
        if (s.cancelled || s.notifier == nullptr)
            return Result::Cancelled;
        s.pending = &fn;
        s.phase = State::Phase::Queued;
        s.error = nullptr;
    }
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t n = write(s.wakeFd.Get(), &one, sizeof one);

    std::unique_lock lock(s.mutex);
    s.changed.wait(lock, [&s] {
        return s.phase == State::Phase::Done || (s.cancelled && s.phase == State::Phase::Queued);
    });
    const bool done = s.phase == State::Phase::Done;
    std::exception_ptr raised = std::exchange(s.error, nullptr);
    s.phase = State::Phase::Idle;
    s.pending = nullptr;
    lock.unlock();

    if (raised)
        std::rethrow_exception(raised);
    return done ? Result::Done : Result::Cancelled;
}

void SyncChannel::Cancel() {
    std::lock_guard lock(state_->mutex);
    state_->cancelled = true;
    state_->changed.notify_all();
}

bool SyncChannel::IsCancelled() const {
    std::lock_guard lock(state_->mutex);
    return state_->cancelled;
}

} // namespace platform
