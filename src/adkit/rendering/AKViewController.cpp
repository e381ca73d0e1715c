#include "adkit/rendering/AKViewController.h"

#include <cassert>

#include "adkit/foundation/AKMacros.h"
#include "adkit/foundation/AKTiming.h"
#include "adkit/rendering/AKSlot.h"
#include "platform/base/ThreadAssertions.h"
#include "platform/dispatch/NSOperation.h"
#include "platform/foundation/NSLog.h"
#include "platform/foundation/NSNotificationCenter.h"
#include "platform/runloop/NSRunLoop.h"
#include "platform/uikit/UIView.h"

namespace {
constexpr const char* kSafetyAppearance = "viewDidAppear:";

// Orientation code → interface-orientation mask: 30 all, 2 portrait, 24 both landscapes.
UIInterfaceOrientationMask maskForCode(std::int64_t code) {
    switch (code) {
    case 2: return UIInterfaceOrientationMaskPortrait;
    case 3: return UIInterfaceOrientationMaskLandscape;
    default: return UIInterfaceOrientationMaskAll;
    }
}
}  // namespace

AKViewController::AKViewController() { setModalTransitionStyle(UIModalTransitionStyleCoverVertical); }

AKViewController::~AKViewController() {
    NSNotificationCenter::defaultCenter()->removeObserver(this);
    NSRunLoop::mainRunLoop()->cancelPerforms(this, kSafetyAppearance);
    // No parent any more (the controller is going): the first of its stack.
    // A controller that was stacked tells did-dismiss too, as not announced:
    // it told no will-present, and the slot keeps its owner's calls paired.
    // One that was never presented (refused) had no screen to dismiss.
    if (presentation_ != Presentation::Idle) {
        if (const auto slot = slot_.lock()) slot->adDidDismissScreen(toldSlotWillPresent_);
    }
}

void AKViewController::moveTo(Presentation next) {
    [[maybe_unused]] const bool allowed = next == Presentation::Presented ? presentation_ != Presentation::Presented
                                                                          : presentation_ == Presentation::Presented;
    assert(allowed && "a presentation is given back once, and a new one starts only after that");
    presentation_ = next;
}

bool AKViewController::isFirstAKViewController() const {
    return !std::dynamic_pointer_cast<AKViewController>(parent());
}

void AKViewController::setSupportedOrientations(std::int64_t code) {
    if (code != 0) supportedOrientations_ = code;
}

bool AKViewController::shouldAutorotateToInterfaceOrientation(UIInterfaceOrientation orientation) const {
    switch (supportedOrientations_) {
    case 3: return UIInterfaceOrientationIsLandscape(orientation);
    case 2: return orientation == UIInterfaceOrientationPortrait;
    default: return true;
    }
}

UIInterfaceOrientationMask AKViewController::supportedInterfaceOrientations() const {
    return maskForCode(supportedOrientations_);
}

void AKViewController::viewDidLoad() {
    UIViewController::viewDidLoad();
    const auto root = view();
    root->setAutoresizingMask(UIViewAutoresizingFlexibleWidth | UIViewAutoresizingFlexibleHeight);
    root->setOpaque(true);
    root->setBackgroundColor(CGColorCreateSRGB(0, 0, 0, 1));
    root->setClipsToBounds(true);
}

// ---- Presentation ------------------------------------------------------------------------

void AKViewController::presentFromViewController(const std::shared_ptr<UIViewController>& presenter) {
    QV_ASSERT_MAIN_THREAD();
    if (!presenter) {
        AKMacros::pubLog("No UIViewController supplied to the ad. Cannot continue.");
        return;
    }
    if (isPresented()) return;  // one presentation at a time
    if (!canPresentFrom(*presenter)) {
        // The platform would refuse it: nothing is started that no dismissal would end.
        NSLog("Full-screen ad: %@ cannot present now (it presents another view controller, or is being dismissed); "
              "%@ is not shown",
              presenter, self<NSObject>());
        return;
    }
    moveTo(Presentation::Presented);
    view()->setUserInteractionEnabled(false);
    auto me = self<AKViewController>();
    NSNotificationCenter::defaultCenter()->removeObserver(this, UIApplicationWillEnterForegroundNotification);
    std::weak_ptr<AKViewController> weak = me;
    NSNotificationCenter::defaultCenter()->addObserver(
        me,
        [weak](const NSNotification&) {
            if (const auto controller = weak.lock()) controller->appDidEnterForeground();
        },
        UIApplicationWillEnterForegroundNotification);
    retainCycle_ = me;
    wasPresentedFromViewController_ = true;
    NSNotificationCenter::defaultCenter()->postNotificationName(kAdModalViewControllerWillPresentFullScreen, me);

    if (!std::dynamic_pointer_cast<AKViewController>(presenter)) {
        interactingWithParent_ = true;
        toldSlotWillPresent_ = true;
        if (const auto slot = slot_.lock()) slot->adWillPresentScreen();
        hideStatusBar();
        const auto application = UIApplication::sharedApplication();
        publisherIdleTimerDisabled_ = application->isIdleTimerDisabled();
        application->setIdleTimerDisabled(true);
        scheduleAppearanceNotificationAndPresentFrom(presenter);
    } else {
        interactingWithParent_ = false;
        presentFrom(presenter);
    }
}

void AKViewController::scheduleAppearanceNotificationAndPresentFrom(const std::shared_ptr<UIViewController>& presenter) {
    presentFrom(presenter);
    auto me = self<AKViewController>();
    NSRunLoop::mainRunLoop()->schedulePerform(me, kSafetyAppearance, kAppearanceSafetyDelay, [weak = std::weak_ptr(me)] {
        // A presentation already given back needs no appearance.
        if (const auto controller = weak.lock(); controller && controller->isPresented()) controller->viewDidAppear(false);
    });
}

void AKViewController::viewDidAppear(bool animated) {
    const auto root = view();
    if (!root->isUserInteractionEnabled()) {
        UIViewController::viewDidAppear(animated);
        root->setUserInteractionEnabled(true);
        if (isFirstAKViewController() && interactingWithParent_) interactingWithParent_ = false;
    }
    viewDidAppear_ = true;
}

bool AKViewController::canPresentFrom(const UIViewController& presenter) const {
    return !presenter.presentedViewController() && !presenter.isBeingDismissed();
}

void AKViewController::presentFrom(const std::shared_ptr<UIViewController>& presenter) {
    presenter->presentViewController(self<UIViewController>(), true);
}

// ---- Dismissal ---------------------------------------------------------------------------

void AKViewController::relinquishScreen() {
    QV_ASSERT_MAIN_THREAD();
    if (!isPresented()) return;  // given back already (or never presented)
    moveTo(Presentation::Relinquished);
    NSRunLoop::mainRunLoop()->cancelPerforms(this, kSafetyAppearance);
    view()->setUserInteractionEnabled(false);
    const auto me = self<AKViewController>();  // held for the rest of the sequence
    if (wasPresentedFromViewController_) {
        retainCycle_.reset();
        wasPresentedFromViewController_ = false;
    }
    if (isFirstAKViewController()) {
        interactingWithParent_ = true;
        if (const auto slot = slot_.lock()) slot->adWillDismissScreen();
        restoreStatusBar();
        UIApplication::sharedApplication()->setIdleTimerDisabled(publisherIdleTimerDisabled_);
    } else {
        interactingWithParent_ = false;
    }
    dismiss();
    NSNotificationCenter::defaultCenter()->postNotificationName(kAdModalViewControllerDidDismissFullScreen, me);
}

void AKViewController::dismiss() {
    if (const auto presenter = parent()) presenter->dismissViewControllerAnimated(true);
}

void AKViewController::viewDidDisappear(bool animated) {
    UIViewController::viewDidDisappear(animated);
    recordDisappearanceTimings();
    if (isFirstAKViewController() && interactingWithParent_) interactingWithParent_ = false;
    viewDidAppear_ = false;
}

void AKViewController::recordDisappearanceTimings() {
    const auto slot = slot_.lock();
    if (!slot) return;
    const Value now(AKAbsoluteTime::absoluteTimeInMilliseconds());
    slot->setAdStatistic("tlanding_page_load_dismiss", now, false);
    const Value clicked = slot->adStatistic("tclickcurr");
    if (!clicked.isNull()) slot->addAdStatisticToArray("tclick", Value::array({clicked, now}));
}

// ---- Return to the application and the status bar ------------------------------------------

void AKViewController::appDidEnterForeground() {
    if (!shouldDismissOnAppClose()) {
        ensureStatusBarHidden();
        return;
    }
    if (!isFirstAKViewController()) {
        const auto parentController = std::dynamic_pointer_cast<AKViewController>(parent());
        if (parentController && parentController->shouldDismissOnAppClose()) {
            // The parent's dismissal takes this one away. Its presentation ends
            // here, so its did-dismiss goes out now: the two notifications pair
            // up once per presentation.
            const auto me = self<AKViewController>();
            retainCycle_.reset();
            if (isPresented()) {
                moveTo(Presentation::Relinquished);
                NSNotificationCenter::defaultCenter()->postNotificationName(kAdModalViewControllerDidDismissFullScreen, me);
            }
            return;
        }
    }
    NSOperationQueue::mainQueue()->addOperationWithBlock([weak = std::weak_ptr(self<AKViewController>())] {
        if (const auto me = weak.lock()) me->relinquishScreen();
    });
}

void AKViewController::ensureStatusBarHidden() {
    const bool remembered = statusBarWasHidden_;
    hideStatusBar();
    statusBarWasHidden_ = remembered;
}

void AKViewController::hideStatusBar() {
    if (modalPresentationStyle() != UIModalPresentationFullScreen) return;
    const auto application = UIApplication::sharedApplication();
    statusBarWasHidden_ = application->isStatusBarHidden();
    if (!statusBarWasHidden_) application->setStatusBarHidden(true);
}

void AKViewController::restoreStatusBar() {
    if (!statusBarWasHidden_ && modalPresentationStyle() == UIModalPresentationFullScreen)
        UIApplication::sharedApplication()->setStatusBarHidden(false);
}
