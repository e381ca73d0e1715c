#pragma once
// The repeating render check of a web view: a checker (a rendered checker of
// either kind: checkIsContentRenderedInWebView, setWebView, setDelegate) asked
// every `interval` seconds of Clock time on the main run loop. The owner of
// this object holds the checker; the timer holds it weakly.
//
// start and stop run on the main thread (from another thread the call is moved
// there and waited for). stop detaches the checker (web view and delegate
// cleared) before letting it go, so a check under way reports to no one.
// Destruction only invalidates the timer (any thread may).
#include <memory>

#include "adkit/foundation/AKMacros.h"
#include "adkit/foundation/AKWeakTimer.h"

template <class Checker>
class AKRenderCheckTimer {
public:
    AKRenderCheckTimer() = default;
    AKRenderCheckTimer(const AKRenderCheckTimer&) = delete;
    AKRenderCheckTimer& operator=(const AKRenderCheckTimer&) = delete;
    ~AKRenderCheckTimer() {
        if (auto timer = timer_.lock()) timer->invalidate();
    }

    void start(std::shared_ptr<Checker> checker, double interval) {
        AKRunSynchronouslyOnMainThread([&] {
            stopOnMain();
            checker_ = std::move(checker);
            timer_ = ak_scheduledTimerWithTimeInterval(
                interval, checker_,
                [](const std::shared_ptr<NSObject>& target, NSTimer&) {
                    if (auto held = std::dynamic_pointer_cast<Checker>(target)) held->checkIsContentRenderedInWebView();
                },
                Value(), true);
        });
    }
    void stop() {
        AKRunSynchronouslyOnMainThread([&] { stopOnMain(); });
    }

    const std::shared_ptr<Checker>& checker() const { return checker_; }
    bool isRunning() const {
        auto timer = timer_.lock();
        return timer && timer->isValid();
    }

private:
    void stopOnMain() {
        if (checker_) {
            checker_->setWebView(nullptr);
            checker_->setDelegate({});
        }
        checker_.reset();
        if (auto timer = timer_.lock()) timer->invalidate();
        timer_.reset();
    }

    std::shared_ptr<Checker> checker_;
    std::weak_ptr<NSTimer> timer_;
};
