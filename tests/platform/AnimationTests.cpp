// Protects animations: view animation blocks set model values at once, record
// each change and finish on the virtual clock; layer animations are kept under
// their keys, end on the clock with their delegates told, and never change the
// model; transactions run their completion once their animations ended; a
// percent-driven presentation shows its percent and finishes or cancels on the clock.
#include <doctest/doctest.h>

#include "platform/quartzcore/CALayer.h"
#include "platform/quartzcore/CAShapeLayer.h"
#include "platform/quartzcore/CATransaction.h"
#include "platform/uikit/UIView.h"
#include "platform/uikit/UIViewController.h"
#include "platform/uikit/UIViewControllerTransitioning.h"
#include "UIKitTestSupport.h"

using namespace uikittest;

TEST_CASE("block animations set the model at once, record each change and complete after delay and duration") {
    VirtualTime time;
    auto view = std::make_shared<UIView>(CGRectMake(0, 0, 100, 100));
    std::vector<bool> completions;
    UIView::animateWithDuration(
        0.3, 0.2, UIViewAnimationOptionCurveLinear,
        [&] {
            view->setAlpha(0.5);
            view->setCenter({200, 100});
        },
        [&](bool finished) { completions.push_back(finished); });

    CHECK(view->alpha() == doctest::Approx(0.5));
    CHECK(view->center() == CGPoint{200, 100});
    auto opacity = view->animationRecordForKey("opacity");
    REQUIRE(opacity);
    CHECK(std::get<double>(opacity->fromValue) == doctest::Approx(1));
    CHECK(std::get<double>(opacity->toValue) == doctest::Approx(0.5));
    CHECK(opacity->duration == doctest::Approx(0.3));
    CHECK(opacity->delay == doctest::Approx(0.2));
    auto position = view->animationRecordForKey("position");
    REQUIRE(position);
    CHECK(std::get<CGPoint>(position->fromValue) == CGPoint{50, 50});
    CHECK_FALSE(view->animationRecordForKey("bounds"));
    REQUIRE(view->layer()->animationForKey("opacity"));

    time.advance(0.35);  // halfway through: the presentation moves, the model stays
    CHECK(completions.empty());
    CHECK(std::get<double>(view->layer()->presentationValueForKey("opacity")) == doctest::Approx(0.75));
    CHECK(view->alpha() == doctest::Approx(0.5));
    time.advance(0.2);
    REQUIRE(completions.size() == 1);
    CHECK(completions[0]);
    CHECK_FALSE(view->layer()->animationForKey("opacity"));
    CHECK(view->alpha() == doctest::Approx(0.5));

    // Outside a block nothing is recorded or animated; a zero duration still
    // completes on the run loop.
    view->clearAnimationRecords();
    view->setAlpha(1);
    CHECK(view->animationRecords().empty());
    bool done = false;
    UIView::animateWithDuration(0, [] {}, [&](bool) { done = true; });
    CHECK_FALSE(done);
    time.advance(0);
    CHECK(done);
}

TEST_CASE("an interrupted block reports not finished, begin/commit tells a living delegate only") {
    VirtualTime time;
    auto view = std::make_shared<UIView>(CGRectMake(0, 0, 10, 10));
    std::vector<bool> first, second;
    UIView::animateWithDuration(1, [&] { view->setAlpha(0); }, [&](bool f) { first.push_back(f); });
    UIView::animateWithDuration(0.5, [&] { view->setAlpha(1); view->setAlpha(0.8); }, [&](bool f) { second.push_back(f); });
    auto record = view->animationRecordForKey("opacity");
    REQUIRE(record);
    CHECK(std::get<double>(record->fromValue) == doctest::Approx(0));  // the block's first start
    CHECK(std::get<double>(record->toValue) == doctest::Approx(0.8));
    time.advance(1.1);
    CHECK(first == std::vector<bool>{false});
    CHECK(second == std::vector<bool>{true});

    struct Stops {
        std::vector<std::string> ids;
    };
    auto stops = std::make_shared<Stops>();
    for (bool keepDelegate : {true, false}) {
        CAPTURE(keepDelegate);
        auto delegate = std::make_shared<NSObject>();
        stops->ids.clear();
        UIView::beginAnimations("fade", nullptr);
        UIView::setAnimationDuration(0.3);
        UIView::setAnimationDelegate(delegate);
        UIView::setAnimationDidStopSelector([stops](const std::string& id, bool finished, void*) {
            if (finished) stops->ids.push_back(id);
        });
        view->setTransform({0.5, 0, 0, 0.5, 0, 0});
        UIView::commitAnimations();
        auto turn = view->animationRecordForKey("transform");
        REQUIRE(turn);
        CHECK(turn->animationID == "fade");
        if (!keepDelegate) delegate.reset();
        time.advance(0.31);
        CHECK(stops->ids == (keepDelegate ? std::vector<std::string>{"fade"} : std::vector<std::string>{}));
        view->setTransform({});
    }
}

TEST_CASE("layer animations live under their keys, end on the clock and leave the model alone") {
    VirtualTime time;
    struct Journal : CAAnimationDelegate {
        std::vector<std::string> events;
        void animationDidStart(CAAnimation&) override { events.push_back("start"); }
        void animationDidStop(CAAnimation&, bool finished) override {
            events.push_back(finished ? "stop finished" : "stop cut");
        }
    };
    auto root = CALayer::layer();
    auto shape = CAShapeLayer::layer();
    root->addSublayer(shape);
    auto journal = std::make_shared<Journal>();

    auto grow = CABasicAnimation::animationWithKeyPath("strokeEnd");
    grow->fromValue = 0.0;
    grow->toValue = 1.0;
    grow->duration = 2;
    grow->delegate = journal;
    shape->addAnimation(grow, "grow");
    CHECK(shape->animationKeys() == std::vector<std::string>{"grow"});
    CHECK(shape->animationForKey("grow") != grow);  // kept as a copy
    time.advance(0);
    CHECK(journal->events == std::vector<std::string>{"start"});
    time.advance(1);
    CHECK(std::get<double>(shape->presentationValueForKey("strokeEnd")) > 0.3);
    CHECK(shape->strokeEnd() == 1);
    time.advance(1.01);
    CHECK(journal->events == std::vector<std::string>{"start", "stop finished"});
    CHECK(shape->animationKeys().empty());

    // Removal (or a new animation under the key) ends it early.
    journal->events.clear();
    shape->addAnimation(grow, "grow");
    time.advance(0.5);
    shape->removeAnimationForKey("grow");
    CHECK(journal->events == std::vector<std::string>{"start", "stop cut"});
    time.advance(2);
    CHECK(journal->events.size() == 2);

    // Implicit animations of a standalone layer in a tree, unless disabled;
    // the transaction's completion waits for them.
    bool completed = false;
    CATransaction::begin();
    CATransaction::setAnimationDuration(0.5);
    CATransaction::setCompletionBlock([&] { completed = true; });
    shape->setOpacity(0.2f);
    CATransaction::commit();
    CHECK(shape->opacity() == doctest::Approx(0.2));
    REQUIRE(shape->animationForKey("opacity"));
    CHECK(shape->animationForKey("opacity")->duration == doctest::Approx(0.5));
    time.advance(0.3);
    CHECK_FALSE(completed);
    time.advance(0.3);
    CHECK(completed);

    CATransaction::begin();
    CATransaction::setDisableActions(true);
    shape->setStrokeEnd(0.5);
    CATransaction::commit();
    CHECK_FALSE(shape->animationForKey("strokeEnd"));
    CHECK(shape->strokeEnd() == doctest::Approx(0.5));
}

namespace {
// Slides the presented view up from below the container, over one second.
struct SlideUp : NSObject, UIViewControllerAnimatedTransitioning {
    double transitionDuration(const UIViewControllerTransitionContextPtr&) override { return 1; }
    void animateTransition(const UIViewControllerTransitionContextPtr& context) override {
        const auto view = context->toView();
        context->containerView()->addSubview(view);
        view->setFrame(CGRectMake(0, 568, 320, 568));
        UIView::animateWithDuration(1, [&] { view->setFrame(CGRectMake(0, 0, 320, 568)); },
                                    [context](bool) { context->completeTransition(!context->transitionWasCancelled()); });
    }
};
struct Interactive : UIViewControllerTransitioningDelegate {
    std::shared_ptr<SlideUp> animator = std::make_shared<SlideUp>();
    std::shared_ptr<UIPercentDrivenInteractiveTransition> interaction =
        std::make_shared<UIPercentDrivenInteractiveTransition>();
    std::shared_ptr<UIViewControllerAnimatedTransitioning> animationControllerForPresentedController(
        const std::shared_ptr<UIViewController>&, const std::shared_ptr<UIViewController>&,
        const std::shared_ptr<UIViewController>&) override {
        return animator;
    }
    std::shared_ptr<UIViewControllerInteractiveTransitioning> interactionControllerForPresentation(
        const std::shared_ptr<UIViewControllerAnimatedTransitioning>&) override {
        return interaction;
    }
};
}  // namespace

TEST_CASE("a percent-driven presentation shows its percent, then finishes or cancels over the time left") {
    for (const bool finish : {true, false}) {
        CAPTURE(finish);
        VirtualTime time;
        auto window = visibleWindow({320, 568});
        auto root = std::make_shared<UIViewController>();
        window->setRootViewController(root);
        auto presented = std::make_shared<UIViewController>();
        auto delegate = std::make_shared<Interactive>();
        presented->setTransitioningDelegate(delegate);
        const auto& interaction = delegate->interaction;
        bool completed = false;
        root->presentViewController(presented, true, [&] { completed = true; });
        CHECK(root->presentedViewController() == presented);
        interaction->cancelInteractiveTransition();  // before the start: nothing happens
        interaction->updateInteractiveTransition(0.25);  // kept for the start
        time.advance(0);
        REQUIRE(interaction->transitionContext());
        CHECK(presented->view()->frame().origin.y == doctest::Approx(426));
        interaction->updateInteractiveTransition(1.5);  // clamped
        CHECK(presented->view()->frame().origin.y == doctest::Approx(0));
        interaction->updateInteractiveTransition(0.5);
        CHECK(presented->view()->frame().origin.y == doctest::Approx(284));
        time.advance(3);  // the finger holds it there
        CHECK(presented->view()->frame().origin.y == doctest::Approx(284));
        CHECK_FALSE(completed);

        if (finish) interaction->finishInteractiveTransition();
        else interaction->cancelInteractiveTransition();
        time.advance(0.4);  // half a second of the way is left either way
        CHECK(interaction->transitionContext());
        time.advance(0.1);
        CHECK_FALSE(interaction->transitionContext());
        CHECK(completed == finish);
        CHECK(presented->view()->frame().origin.y == doctest::Approx(finish ? 0 : 568));
        CHECK(root->presentedViewController() == (finish ? presented : nullptr));
        CHECK(presented->view()->window() == (finish ? window : nullptr));
        CHECK(presented->isViewVisible() == finish);
    }
}
