#pragma once
// The progress of one piece of work in units (bytes for transfers): a total
// (-1 or 0 while unknown), a completed count and the fraction between them,
// with handlers for cancelling and pausing the work it reports on.
//
// Any thread may read and set it. Key-value observers of "totalUnitCount",
// "completedUnitCount", "fractionCompleted", "cancelled" and "paused" are told
// on the thread that made the change, after it (never under the progress's
// lock), and only when the value changed. The handlers run on the thread that
// calls cancel(), pause() or resume(), once per change of state.
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>

#include "platform/foundation/NSObject.h"

class NSProgress : public NSObject {
public:
    // A progress with the given total and nothing completed.
    static std::shared_ptr<NSProgress> progressWithTotalUnitCount(std::int64_t total);
    explicit NSProgress(std::int64_t total = -1) : total_(total) {}

    std::int64_t totalUnitCount() const;
    void setTotalUnitCount(std::int64_t total);
    std::int64_t completedUnitCount() const;
    void setCompletedUnitCount(std::int64_t completed);
    // completed / total while the total is positive, else 0.
    double fractionCompleted() const;
    // Whether the total is still unknown (negative) or nothing can complete (0).
    bool isIndeterminate() const;

    bool isCancellable() const;
    void setCancellable(bool cancellable);
    bool isPausable() const;
    void setPausable(bool pausable);
    bool isCancelled() const;
    bool isPaused() const;

    // Handlers given later than the event they handle are called at once
    // (a cancellation handler set on a cancelled progress runs right away).
    void setCancellationHandler(std::function<void()> handler);
    void setPausingHandler(std::function<void()> handler);
    void setResumingHandler(std::function<void()> handler);

    // Cancelling is final; pausing and resuming alternate. Each calls its handler.
    void cancel();
    void pause();
    void resume();

private:
    void changeCounts(std::int64_t total, std::int64_t completed);
    static double fraction(std::int64_t total, std::int64_t completed);

    mutable std::mutex mutex_;
    std::int64_t total_;
    std::int64_t completed_ = 0;
    bool cancellable_ = true;
    bool pausable_ = false;
    bool cancelled_ = false;
    bool paused_ = false;
    std::function<void()> cancellationHandler_;
    std::function<void()> pausingHandler_;
    std::function<void()> resumingHandler_;
};
