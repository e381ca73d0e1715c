// Protects the progress overlay's timing on the virtual clock: the grace time
// (a hide during it means the overlay never appears), the minimum show time,
// one finish step per showing, delayed hides, timers that neither keep the
// overlay alive nor outlive it, the show and hide animations, and tasks on
// threads and queues that hide the overlay when they end.
#include "ui/ProgressHUDTestSupport.h"

#include <atomic>
#include <thread>

#include "platform/runloop/NSThread.h"
#include "support/TestEnvironment.h"
#include "ui/progresshud/LORoundProgressView.h"

using namespace hudtest;
using uikittest::VirtualTime;

namespace {

struct Fixture {
    VirtualTime time;
    std::shared_ptr<UIView> host = std::make_shared<UIView>(CGRectMake(0, 0, 320, 480));
    std::shared_ptr<LOProgressHUD> hud = LOProgressHUD::initWithView(host);
    std::shared_ptr<RecordingDelegate> delegate = std::make_shared<RecordingDelegate>();
    int completions = 0;
    double start = Clock::now();

    Fixture() {
        host->addSubview(hud);
        hud->setDelegate(delegate);
        hud->setRemoveFromSuperViewOnHide(true);
        hud->setCompletionBlock([this] { ++completions; });
    }
    double elapsed() const { return Clock::now() - start; }
};

}  // namespace

TEST_CASE("grace time: a hide during it finishes at once and the overlay never appears") {
    Fixture f;
    f.hud->setGraceTime(0.5f);
    f.hud->setTaskInProgress(true);  // as for an overlay running a task
    f.hud->show(true);
    CHECK(f.hud->alpha() == 0);
    f.time.advance(0.2);
    f.hud->hide(true);
    CHECK(f.completions == 1);
    CHECK(f.delegate->hidden.size() == 1);
    CHECK_FALSE(f.hud->superview());
    CHECK_FALSE(f.hud->showStarted());
    f.time.advance(0.5);  // the grace timer would have fired here
    CHECK(f.hud->alpha() == 0);
    CHECK_FALSE(f.hud->showStarted());
    CHECK_FALSE(f.hud->animationRecordForKey("opacity"));
    CHECK(f.delegate->hidden.size() == 1);
}

TEST_CASE("grace time: it shows only a running task, and a new grace timer replaces the pending one") {
    Fixture f;
    f.hud->setGraceTime(0.5f);
    SUBCASE("without a task the overlay stays invisible") {
        f.hud->show(false);
        f.time.advance(0.6);
        CHECK(f.hud->alpha() == 0);
        f.hud->hide(false);
        CHECK(f.delegate->hidden.size() == 1);
    }
    SUBCASE("a second show restarts the grace time") {
        f.hud->setTaskInProgress(true);
        f.hud->show(false);
        f.time.advance(0.3);
        f.hud->show(false);
        f.time.advance(0.3);  // 0.6: the first timer's time has passed
        CHECK(f.hud->alpha() == 0);
        f.time.advance(0.25);  // 0.85: the second one's
        CHECK(f.hud->alpha() == 1);
        CHECK(f.hud->showStarted());
    }
}

TEST_CASE("minimum show time: a hide at 0.3 lands at 1.0, once, however often it is asked") {
    Fixture f;
    f.hud->setMinShowTime(1.0f);
    f.hud->show(false);
    CHECK(f.hud->alpha() == 1);
    f.time.advance(0.3);
    f.hud->hide(false);
    CHECK(f.hud->alpha() == 1);
    f.time.advance(0.2);
    f.hud->hide(false);  // replaces the pending timer: still one finish
    f.time.advance(0.49);
    CHECK(f.hud->alpha() == 1);
    CHECK(f.completions == 0);
    f.time.advance(0.02);
    CHECK(f.hud->alpha() == 0);
    CHECK(f.completions == 1);
    REQUIRE(f.delegate->times.size() == 1);
    CHECK(f.delegate->times[0] - f.start == doctest::Approx(1.0).epsilon(0.011));
    f.time.advance(1);
    CHECK(f.delegate->hidden.size() == 1);

    // A show while the hide waits keeps the overlay up.
    auto hud = LOProgressHUD::initWithView(f.host);
    hud->setMinShowTime(1.0f);
    hud->show(false);
    hud->hide(false);
    hud->show(false);
    f.time.advance(1.5);
    CHECK(hud->alpha() == 1);
}

TEST_CASE("the finish step runs once per showing, also with a second hide during the fade-out") {
    Fixture f;
    SUBCASE("two animated hides") {
        f.hud->show(true);
        f.time.advance(0.4);
        f.hud->hide(true);
        CHECK(f.hud->alpha() == doctest::Approx(0.02));
        f.time.advance(0.1);
        f.hud->hide(true);
        f.time.advance(0.3);
        CHECK(f.hud->alpha() == 0);
        CHECK(f.completions == 1);
        CHECK(f.delegate->hidden.size() == 1);
    }
    SUBCASE("an animated hide, then one without animation") {
        f.hud->show(true);
        f.time.advance(0.4);
        f.hud->hide(true);
        f.time.advance(0.1);
        f.hud->hide(false);  // finishes now
        CHECK(f.hud->alpha() == 0);
        CHECK(f.delegate->hidden.size() == 1);
        f.time.advance(0.3);  // the fade's end adds nothing
        CHECK(f.completions == 1);
        CHECK(f.delegate->hidden.size() == 1);
    }
    SUBCASE("a show during the fade-out keeps the overlay") {
        f.hud->setRemoveFromSuperViewOnHide(false);
        f.hud->show(true);
        f.time.advance(0.4);
        f.hud->hide(true);
        f.time.advance(0.1);
        f.hud->show(false);
        f.time.advance(0.5);
        CHECK(f.hud->alpha() == 1);
        CHECK(f.delegate->hidden.empty());
        f.hud->hide(false);
        CHECK(f.delegate->hidden.size() == 1);
    }
    SUBCASE("each new showing finishes again, the completion block only when set again") {
        f.hud->setRemoveFromSuperViewOnHide(false);
        f.hud->show(false);
        f.hud->hide(false);
        f.hud->hide(false);
        f.hud->show(false);
        f.hud->hide(false);
        CHECK(f.completions == 1);
        CHECK(f.delegate->hidden.size() == 2);
        CHECK_FALSE(f.hud->completionBlock());
    }
}

TEST_CASE("show and hide animate for 0.3 seconds by fading or zooming") {
    struct Case {
        long type;
        double inScale, outScale;
    };
    for (Case c : {Case{LOProgressHUDAnimationFade, 1, 1}, Case{LOProgressHUDAnimationZoomOut, 1.5, 0.5},
                   Case{LOProgressHUDAnimationZoomIn, 0.5, 1.5}}) {
        CAPTURE(c.type);
        Fixture f;
        f.hud->setAnimationType(c.type);
        f.hud->show(true);
        auto opacity = f.hud->animationRecordForKey("opacity");
        REQUIRE(opacity);
        CHECK(opacity->duration == doctest::Approx(0.3));
        CHECK(std::get<double>(opacity->toValue) == doctest::Approx(1));
        auto transform = f.hud->animationRecordForKey("transform");
        CHECK(static_cast<bool>(transform) == (c.type != LOProgressHUDAnimationFade));
        if (transform)
            CHECK(std::get<CATransform3D>(transform->fromValue).m11 == doctest::Approx(c.inScale));
        f.time.advance(0.5);
        f.hud->hide(true);
        CHECK(std::get<double>(f.hud->animationRecordForKey("opacity")->toValue) == doctest::Approx(0.02));
        CHECK(f.hud->transform().a == doctest::Approx(c.outScale));
        f.time.advance(0.29);
        CHECK(f.delegate->hidden.empty());
        f.time.advance(0.02);
        CHECK(f.delegate->hidden.size() == 1);
        CHECK(f.hud->alpha() == 0);
    }
}

TEST_CASE("delayed hides, timers and hand-offs hold the overlay weakly and end with it") {
    VirtualTime time;
    auto host = std::make_shared<UIView>(CGRectMake(0, 0, 320, 480));
    SUBCASE("a delayed hide lands after its delay; an earlier hide cancels it") {
        auto hud = LOProgressHUD::initWithView(host);
        auto delegate = std::make_shared<RecordingDelegate>();
        hud->setDelegate(delegate);
        hud->show(false);
        hud->hide(false, 0.5);
        time.advance(0.4);
        CHECK(hud->alpha() == 1);
        time.advance(0.2);
        CHECK(hud->alpha() == 0);
        CHECK(delegate->hidden.size() == 1);

        hud->show(false);
        hud->hide(false, 1.0);
        hud->hide(false);
        hud->show(false);
        time.advance(1.5);
        CHECK(hud->alpha() == 1);  // the cancelled delayed hide did not land
        CHECK(delegate->hidden.size() == 2);
    }
    SUBCASE("pending timers do not keep an overlay alive, and fire into nothing after it is gone") {
        std::weak_ptr<LOProgressHUD> graceOnly, minShow, delayed;
        {
            auto a = LOProgressHUD::initWithView(host);
            a->setGraceTime(0.5f);
            a->setTaskInProgress(true);
            a->show(false);
            graceOnly = a;
            auto b = LOProgressHUD::initWithView(host);
            b->setMinShowTime(1.0f);
            b->show(false);
            b->hide(false);
            minShow = b;
            auto c = LOProgressHUD::initWithView(host);
            c->show(false);
            c->hide(true, 0.5);
            delayed = c;
        }
        CHECK(graceOnly.expired());
        CHECK(minShow.expired());
        CHECK(delayed.expired());
        time.advance(1.5);  // nothing left to fire into
    }
    SUBCASE("a fade-out in progress does not keep the overlay alive either") {
        std::weak_ptr<LOProgressHUD> weak;
        {
            auto hud = LOProgressHUD::initWithView(host);
            hud->show(false);
            hud->hide(true);
            weak = hud;
        }
        CHECK(weak.expired());
        time.advance(0.5);
    }
}

TEST_CASE("a task on a queue runs off the main thread, the overlay hides, then the completion runs on main") {
    auto host = std::make_shared<UIView>(CGRectMake(0, 0, 320, 480));
    auto hud = LOProgressHUD::showHUDAddedTo(host, false);
    std::atomic<bool> ranOffMain{false};
    bool hiddenFirst = false, completed = false, completedOnMain = false;
    hud->showAnimated(
        false, [&] { ranOffMain = !NSThread::isMainThread(); }, nullptr,
        [&] {
            completed = true;
            completedOnMain = NSThread::isMainThread();
            hiddenFirst = hud->alpha() == 0 && !hud->superview();
        });
    CHECK(hud->taskInProgress());
    REQUIRE_MESSAGE(testsupport::runMainUntil([&] { return completed; }), "waited for the task's completion");
    CHECK(ranOffMain);
    CHECK(completedOnMain);
    CHECK(hiddenFirst);
    CHECK_FALSE(hud->taskInProgress());

    // On a queue of the caller's.
    auto queue = dispatch_queue_create("com.quorvane.tests.hud", DISPATCH_QUEUE_SERIAL);
    std::string label;
    auto second = LOProgressHUD::showHUDAddedTo(host, false);
    second->showAnimated(false, [&] { label = dispatch_queue_get_label(nullptr); }, queue);
    REQUIRE_MESSAGE(testsupport::runMainUntil([&] { return !second->superview(); }), "waited for the overlay to go");
    CHECK(label == "com.quorvane.tests.hud");
}

TEST_CASE("a task on a thread gets its target and object, and they are let go when the overlay hides") {
    auto host = std::make_shared<UIView>(CGRectMake(0, 0, 320, 480));
    auto hud = LOProgressHUD::showHUDAddedTo(host, false);
    auto target = std::make_shared<NSObject>();
    auto object = std::make_shared<NSObject>();
    std::weak_ptr<NSObject> weakTarget = target, weakObject = object;
    std::atomic<bool> sawBoth{false}, offMain{false};
    hud->showWhileExecuting(
        [&](const std::shared_ptr<NSObject>& t, const std::shared_ptr<NSObject>& o) {
            sawBoth = t.get() == weakTarget.lock().get() && o.get() == weakObject.lock().get();
            offMain = !NSThread::isMainThread();
        },
        target, object, false);
    target.reset();
    object.reset();
    CHECK(hud->taskInProgress());
    REQUIRE_MESSAGE(testsupport::runMainUntil([&] { return !hud->superview(); }), "waited for the task to end");
    CHECK(sawBoth);
    CHECK(offMain);
    CHECK_FALSE(hud->taskInProgress());
    CHECK(weakTarget.expired());
    CHECK(weakObject.expired());
}

TEST_CASE("a worker task sets progress and label a thousand times while the main thread draws") {
    auto window = patternedWindow(CGSizeMake(200, 200));
    auto hud = LOProgressHUD::showHUDAddedTo(window, false);
    hud->setMode(LOProgressHUDModeDeterminate);
    bool completed = false;
    std::size_t frames = 0;
    hud->setRemoveFromSuperViewOnHide(false);
    hud->showAnimated(
        false,
        [hud] {
            for (int i = 1; i <= 1000; ++i) {
                hud->setProgress(float(i) / 1000);
                hud->setLabelText("Step " + std::to_string(i));
                if (i % 250 == 0) hud->setDetailsLabelText(std::to_string(i / 10) + " %");
            }
        },
        [&] { completed = true; });
    REQUIRE_MESSAGE(testsupport::runMainUntil([&] {
                        if (render(window)) ++frames;
                        return completed;
                    }, 60),
                    "waited for the worker task to end");
    CHECK(frames > 0);
    CHECK(hud->label()->text() == "Step 1000");
    CHECK(hud->detailsLabel()->text() == "100 %");
    auto pie = std::dynamic_pointer_cast<LORoundProgressView>(hud->indicator());
    REQUIRE(pie);
    CHECK(pie->progress() == doctest::Approx(1));
    CHECK(hud->progress() == doctest::Approx(1));
}
