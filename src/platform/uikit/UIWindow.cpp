#include "platform/uikit/UIWindow.h"

#include <algorithm>
#include <cassert>

#include "platform/foundation/Clock.h"
#include "platform/base/ThreadAssertions.h"
#include "platform/imageio/ImageCodecs.h"
#include "platform/runloop/NSRunLoop.h"
#include "platform/uikit/UIApplication.h"
#include "platform/uikit/UIControl.h"
#include "platform/uikit/UIGestureRecognizer.h"
#include "platform/uikit/UIScreen.h"
#include "platform/uikit/UIViewController.h"

namespace {
std::vector<std::weak_ptr<UIWindow>>& registry() {
    static auto* list = new std::vector<std::weak_ptr<UIWindow>>();
    return *list;
}

// The end-of-pass observer on the main run loop, installed with the first window shown.
void installPasses() {
    static bool installed = false;
    if (installed) return;
    installed = true;
    NSRunLoop::mainRunLoop()->addEndOfPassObserver([] {
        for (auto& w : UIWindow::allWindows())
            if (w->isVisible()) w->layoutAndDisplayIfNeeded();
    });
}
}  // namespace

UIWindow::UIWindow(CGRect frame) : UIView(frame) { UIView::setHidden(true); }

UIWindow::~UIWindow() = default;

void UIWindow::setHidden(bool hidden) {
    UIView::setHidden(hidden);
    if (hidden) return;
    QV_ASSERT_MAIN_THREAD();
    auto& list = registry();
    std::erase_if(list, [](const auto& w) { return w.expired(); });
    auto me = self<UIWindow>();
    if (std::none_of(list.begin(), list.end(), [&](const auto& w) { return w.lock() == me; })) list.push_back(me);
    installPasses();
}

std::vector<std::shared_ptr<UIWindow>> UIWindow::allWindows() {
    std::vector<std::shared_ptr<UIWindow>> out;
    for (auto& w : registry())
        if (auto s = w.lock()) out.push_back(s);
    std::stable_sort(out.begin(), out.end(), [](const auto& a, const auto& b) { return a->windowLevel() < b->windowLevel(); });
    return out;
}

void UIWindow::setRootViewController(std::shared_ptr<UIViewController> controller) {
    if (controller == rootViewController_) return;
    auto old = rootViewController_;
    bool visible = isVisible();
    if (old) {
        if (visible) old->beginAppearanceTransition(false, false);
        if (old->isViewLoaded() && old->view()->superview().get() == this) old->view()->removeFromSuperview();
    }
    rootViewController_ = std::move(controller);
    if (rootViewController_) {
        auto v = rootViewController_->view();
        v->setFrame(bounds());
        insertSubview(v, 0);
        if (visible) rootViewController_->beginAppearanceTransition(true, false);
    }
    if (visible) {
        if (old) old->endAppearanceTransition();
        if (rootViewController_) rootViewController_->endAppearanceTransition();
    }
}

void UIWindow::makeKeyAndVisible() {
    bool wasHidden = isHidden();
    setHidden(false);
    makeKeyWindow();
    if (wasHidden && rootViewController_) {
        rootViewController_->beginAppearanceTransition(true, false);
        rootViewController_->endAppearanceTransition();
    }
}

void UIWindow::makeKeyWindow() { UIApplication::sharedApplication()->setKeyWindow(self<UIWindow>()); }

bool UIWindow::isKeyWindow() const { return UIApplication::sharedApplication()->keyWindow().get() == this; }

std::shared_ptr<UIWindow> UIWindow::window() const {
    return std::const_pointer_cast<UIWindow>(self<UIWindow>());
}

std::shared_ptr<UIResponder> UIWindow::nextResponder() const { return UIApplication::sharedApplication(); }

// ---------------------------------------------------------------- passes and snapshots

void UIWindow::layoutAndDisplayIfNeeded() {
    auto keep = self<UIWindow>();
    layoutIfNeeded();
    layer()->displayTreeIfNeeded(UIScreen::mainScreen()->scale());
}

CGImageRef UIWindow::snapshotImage(CGFloat scale) {
    layoutAndDisplayIfNeeded();
    if (!(scale > 0)) scale = UIScreen::mainScreen()->scale();
    return CALayerRenderImage(*layer(), scale);
}

std::optional<Data> UIWindow::snapshotPNG(CGFloat scale) {
    CGImageRef image = snapshotImage(scale);
    if (!image) return std::nullopt;
    Data out;
    NSErrorPtr error;
    if (!imageio::encodePng(*image, out, &error)) return std::nullopt;
    return out;
}

// ---------------------------------------------------------------- touch driver

void UIWindow::deliver(const UITouchPtr& touch, UITouchPhase phase, CGPoint point, std::optional<double> timestamp) {
    touch->previous_ = touch->location_;
    touch->location_ = point;
    touch->phase_ = phase;
    touch->timestamp_ = timestamp.value_or(Clock::now());
    auto view = touch->view();
    if (!view) return;
    auto event = std::make_shared<UIEvent>();
    event->touches_.insert(touch);
    event->timestamp_ = touch->timestamp_;
    UITouchSet touches{touch};
    if (touch->takenByRecognizer_) {
        // The view lost the touch; its recognisers still follow it to the end.
        recognize(touch, phase, point);
        return;
    }
    if (recognize(touch, phase, point)) {
        touch->takenByRecognizer_ = true;
        if (phase != UITouchPhaseBegan) view->touchesCancelled(touches, event.get());
        return;
    }
    switch (phase) {
    case UITouchPhaseBegan: view->touchesBegan(touches, event.get()); break;
    case UITouchPhaseMoved:
    case UITouchPhaseStationary: view->touchesMoved(touches, event.get()); break;
    case UITouchPhaseEnded: view->touchesEnded(touches, event.get()); break;
    case UITouchPhaseCancelled: view->touchesCancelled(touches, event.get()); break;
    }
}

namespace {
// Whether another recogniser of the touch has recognised and excludes this one,
// which has not yet (it may not recognise together with that one).
bool excluded(const UIGestureRecognizer& recognizer, const std::vector<UIGestureRecognizerPtr>& recognizers) {
    if (recognizer.state() != UIGestureRecognizerStatePossible) return false;
    return std::ranges::any_of(recognizers, [&](const UIGestureRecognizerPtr& other) {
        return other.get() != &recognizer && other->hasRecognized() &&
               !recognizer.canRecognizeSimultaneouslyWith(*other);
    });
}
}  // namespace

bool UIWindow::recognize(const UITouchPtr& touch, UITouchPhase phase, CGPoint point) {
    UITouchSet touches{touch};
    bool cancels = false;
    auto recognizers = touch->recognizers_;
    const auto failExcluded = [&recognizers] {
        for (auto& r : recognizers)
            if (excluded(*r, recognizers)) r->setState(UIGestureRecognizerStateFailed);
    };
    // Also those that one recognising between two phases (a long press's timer) excludes.
    failExcluded();
    for (auto& r : recognizers) {
        if (!r->isEnabled() || r->state() == UIGestureRecognizerStateFailed) continue;
        if (excluded(*r, recognizers)) {  // one earlier in this phase recognised
            r->setState(UIGestureRecognizerStateFailed);
            continue;
        }
        bool recognized = false;
        switch (phase) {
        case UITouchPhaseBegan: recognized = r->touchesBegan(touches, point); break;
        case UITouchPhaseMoved:
        case UITouchPhaseStationary: recognized = r->touchesMoved(touches, point); break;
        case UITouchPhaseEnded: recognized = r->touchesEnded(touches, point); break;
        case UITouchPhaseCancelled: r->touchesCancelled(touches); break;
        }
        if (recognized && r->cancelsTouchesInView()) cancels = true;
    }
    failExcluded();  // those before one that recognised in this phase
    if (phase == UITouchPhaseEnded || phase == UITouchPhaseCancelled)
        for (auto& r : recognizers) r->reset();
    return cancels;
}

UITouchPtr UIWindow::touchBegan(CGPoint point, std::size_t tapCount) {
    QV_ASSERT_MAIN_THREAD();
    auto touch = std::make_shared<UITouch>();
    touch->window_ = self<UIWindow>();
    touch->tapCount_ = tapCount;
    auto event = std::make_shared<UIEvent>();
    auto hit = hitTest(point, event.get());
    if (!hit) return nullptr;
    touch->view_ = hit;
    touch->location_ = point;
    // A control's own action wins over a single-tap recogniser of a view above
    // it (a button taps as a button inside a view that hides the keyboard on a tap).
    bool aboveControl = false;
    for (auto v = hit; v; v = v->superview()) {
        for (auto& r : v->gestureRecognizers()) {
            auto* tap = dynamic_cast<UITapGestureRecognizer*>(r.get());
            if (aboveControl && tap && tap->numberOfTapsRequired() == 1) continue;
            if (r->isEnabled()) touch->recognizers_.push_back(r);
        }
        if (auto* control = dynamic_cast<UIControl*>(v.get()); control && control->isEnabled()) aboveControl = true;
    }
    deliver(touch, UITouchPhaseBegan, point);
    return touch;
}

void UIWindow::touchMoved(const UITouchPtr& touch, CGPoint point, std::optional<double> timestamp) {
    if (touch) deliver(touch, UITouchPhaseMoved, point, timestamp);
}

void UIWindow::touchEnded(const UITouchPtr& touch, CGPoint point, std::optional<double> timestamp) {
    if (touch) deliver(touch, UITouchPhaseEnded, point, timestamp);
}

void UIWindow::touchCancelled(const UITouchPtr& touch) {
    if (touch) deliver(touch, UITouchPhaseCancelled, touch->location_);
}

bool UIWindow::tap(CGPoint point) {
    auto touch = touchBegan(point);
    if (!touch) return false;
    touchEnded(touch, point);
    return true;
}
