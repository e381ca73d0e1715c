#include "adkit/rendering/AKSlotSwipeToViewController.h"

#include "adkit/foundation/AKApplication.h"
#include "adkit/foundation/AKDevice.h"
#include "adkit/foundation/AKObjectAdditions.h"
#include "adkit/rendering/AKNotificationCenter.h"
#include "adkit/rendering/AKWebView.h"
#include "platform/base/ThreadAssertions.h"
#include "platform/uikit/UIPanGestureRecognizer.h"
#include "platform/uikit/UIScrollView.h"
#include "platform/uikit/UIViewController.h"

namespace {
const char kSwipeStateKey = 0;

// The four values the creative hears in "onAdVisible".
Value visibilityParameters(const std::shared_ptr<AKWebView>& webView) {
    const auto device = AKDevice::currentDevice();
    bool scrollable = false;
    CGRect creative = CGRectZero;
    if (webView) {
        creative = webView->convertRectToView(webView->bounds(), nullptr);
        for (auto v = webView->superview(); v && !scrollable; v = v->superview())
            scrollable = static_cast<bool>(std::dynamic_pointer_cast<UIScrollView>(v));
    }
    return Value{{"creativeFrame", AKDictionaryFromCGRect(creative)},
                 {"deviceFrame", AKDictionaryFromCGRect(device->standardizedApplicationFrame())},
                 {"deviceOrientation", device->isOrientationLandscape() ? "landscape" : "portrait"},
                 {"anySuperViewScrollable", scrollable ? "1" : "0"}};
}
}  // namespace

std::shared_ptr<AKSlotSwipeToViewController> AKSlotSwipeToViewController::forSlot(AKSlot& slot) {
    QV_ASSERT_MAIN_THREAD();
    if (auto state = slot.associated<AKSlotSwipeToViewController>(&kSwipeStateKey)) return state;
    auto state = std::make_shared<AKSlotSwipeToViewController>();
    state->slot_ = slot.self<AKSlot>();
    slot.setAssociatedObject(&kSwipeStateKey, state);
    return state;
}

std::shared_ptr<AKSwipeToViewControllerConfigurations> AKSlotSwipeToViewController::settings(const AKSlot& slot) const {
    return std::dynamic_pointer_cast<AKSwipeToViewControllerConfigurations>(slot.swipeToViewControllerConfigurations());
}

void AKSlotSwipeToViewController::post(const char* name) {
    const auto slot = slot_.lock();
    if (!slot) return;
    const auto swipe = settings(*slot);
    const Value metadata = swipe ? swipe->swipeEventCreativeMetadata() : Value();
    AKNotificationCenter::postJSNotification(name, metadata ? std::optional<Value>(metadata) : std::nullopt,
                                             slot->webView());
}

// ---- Eligibility, on and off ---------------------------------------------------------------

void AKSlotSwipeToViewController::canEnableSwipeToViewController() {
    QV_ASSERT_MAIN_THREAD();
    const auto slot = slot_.lock();
    if (!slot || !settings(*slot) || strongSlot_) return;
    Value parameters = visibilityParameters(slot->webView());
    if (savedParams_ && savedParams_ == parameters) return;
    savedParams_ = parameters.copy();
    AKNotificationCenter::postJSNotification("onAdVisible", parameters, slot->webView());
}

void AKSlotSwipeToViewController::setUpAnimationController() {
    if (initialized_) return;
    const auto slot = slot_.lock();
    const auto swipe = slot ? settings(*slot) : nullptr;
    animation_ = AKViewControllerFullScreenSwipeAnimation::init();
    if (animation_ && swipe) animation_->transitionDuration_ = swipe->swipeAnimationTransitionDuration();
    animationController_ = AKPercentDrivenUserInteractionAnimationController::initWithAnimation(animation_);
    recognizer_ = std::make_shared<UIPanGestureRecognizer>();
    initialized_ = true;
}

void AKSlotSwipeToViewController::enableSwipeToViewController() {
    QV_ASSERT_MAIN_THREAD();
    const auto slot = slot_.lock();
    const auto delegate = slot ? slot->slotDelegate() : nullptr;
    const auto view = delegate ? delegate->swipeToViewControllerView() : nullptr;
    if (!view) return;
    setUpAnimationController();
    if (!animationController_) return;  // before system 7.0.0
    view->addGestureRecognizer(recognizer_);
    enabled_ = true;
    animationController_->setDelegate(self<AKSlotSwipeToViewController>());
    recognizer_->removeAllTargets();
    std::weak_ptr<AKSlotSwipeToViewController> weak = self<AKSlotSwipeToViewController>();
    recognizer_->addTarget(slot, [weak](UIGestureRecognizer& r) {
        if (const auto me = weak.lock()) me->handlePanGesture(static_cast<UIPanGestureRecognizer&>(r));
    });
    const auto swipe = settings(*slot);
    animation_->direction = swipe ? swipe->swipeDirection() : AKSwipeDirectionNone;
    animation_->draggableView = swipe && swipe->isAdDraggable() ? view : nullptr;
}

void AKSlotSwipeToViewController::disableSwipeToViewController() {
    QV_ASSERT_MAIN_THREAD();
    if (!enabled_) return;
    savedParams_ = Value();
    enabled_ = false;
    recognizer_->removeAllTargets();
    const auto slot = slot_.lock();
    const auto delegate = slot ? slot->slotDelegate() : nullptr;
    if (const auto view = delegate ? delegate->swipeToViewControllerView() : nullptr)
        view->removeGestureRecognizer(recognizer_);
}

// ---- The swipe ---------------------------------------------------------------------------

bool AKSlotSwipeToViewController::shouldProcessTouch(CGPoint point, const UIView* view) const {
    const auto slot = slot_.lock();
    const auto swipe = slot ? settings(*slot) : nullptr;
    if (!swipe || !swipe->swipeableRectangles() || !view) return false;
    const CGPoint local = view->convertPointFromView(point, nullptr);
    for (const CGRect& rect : *swipe->swipeableRectangles())
        if (CGRectContainsPoint(rect, local)) return true;
    return false;
}

void AKSlotSwipeToViewController::handlePanGesture(UIPanGestureRecognizer& recognizer) {
    QV_ASSERT_MAIN_THREAD();
    const auto keep = self<AKSlotSwipeToViewController>();  // through the delegate calls below
    const auto slot = slot_.lock();
    if (!slot || !animationController_) return;
    switch (recognizer.state()) {
    case UIGestureRecognizerStateBegan: {
        const CGPoint touch = recognizer.locationInView(nullptr);
        const auto delegate = slot->slotDelegate();
        const auto view = delegate ? delegate->swipeToViewControllerView() : nullptr;
        if (!shouldProcessTouch(touch, view.get())) {
            recognizer.setEnabled(false);  // cancels the gesture; re-armed on its cancelled state
            return;
        }
        animation_->startY = touch.y;
        const auto root = delegate->rootViewController();
        const auto swipe = settings(*slot);
        if (root && swipe && swipe->swipeableInAppStoreProductID()) {
            strongSlot_ = slot;
            loadStoreProductViewController();
            root->presentViewController(sheet_, true);
        }
        break;
    }
    case UIGestureRecognizerStateCancelled: recognizer.setEnabled(true); return;
    default: break;
    }
    animationController_->handlePanGesture(recognizer);
}

void AKSlotSwipeToViewController::loadStoreProductViewController() {
    const auto slot = slot_.lock();
    const auto swipe = slot ? settings(*slot) : nullptr;
    if (!swipe) return;
    const std::string productID = swipe->swipeableInAppStoreProductID().stringValue();
    if (sheet_ && sheetProductID_ == productID && !sheet_->presentingViewController()) {
        // the sheet of an earlier, cancelled swipe serves again
    } else if (auto cached = AKApplication::sharedApplication()->cachedStoreProductViewControllerForProductID(productID)) {
        sheet_ = std::move(cached);
    } else {
        sheet_ = std::make_shared<SKStoreProductViewController>();
        sheet_->loadProductWithParameters(
            Value{{SKStoreProductParameterITunesItemIdentifier, swipe->swipeableInAppStoreProductID()}});
    }
    sheetProductID_ = productID;
    sheet_->setDelegate(self<AKSlotSwipeToViewController>());
    sheet_->setTransitioningDelegate(animationController_);
    sheet_->setModalPresentationStyle(UIModalPresentationFullScreen);
}

// ---- Outcomes ----------------------------------------------------------------------------

void AKSlotSwipeToViewController::animationControllerDidFinishAnimationTransition(
    AKPercentDrivenUserInteractionAnimationController&) {
    post("onSwipeableViewControllerPresentationFinished");
}

void AKSlotSwipeToViewController::animationControllerDidCancelAnimationTransition(
    AKPercentDrivenUserInteractionAnimationController&) {
    post("onSwipeableViewControllerPresentationCanceled");
    strongSlot_.reset();
}

void AKSlotSwipeToViewController::productViewControllerDidFinish(
    const std::shared_ptr<SKStoreProductViewController>& controller) {
    QV_ASSERT_MAIN_THREAD();
    const auto keep = self<AKSlotSwipeToViewController>();
    const auto sheet = controller ? controller : sheet_;
    if (!sheet) return;
    std::weak_ptr<AKSlotSwipeToViewController> weak = keep;
    const std::string productID = sheetProductID_;
    // Back to the cache once off the screen, where another ad may take it.
    sheet->dismissViewControllerAnimated(true, [sheet, productID] {
        AKApplication::sharedApplication()->finishedUsingStoreProductViewController(sheet, productID);
    });
    post("onSwipeToViewControllerDismissed");
    if (sheet == sheet_) sheet_.reset();
    strongSlot_.reset();
}

void AKSlotSwipeToViewController::slotWillResetRequestState() {
    if (!sheet_ || sheet_->presentingViewController()) return;  // one on screen goes back when closed
    giveSheetBack();
}

void AKSlotSwipeToViewController::giveSheetBack() {
    AKApplication::sharedApplication()->finishedUsingStoreProductViewController(sheet_, sheetProductID_);
    sheet_.reset();
}
