// Modal presentation: full screen over the presenter, or as a sheet centred
// over a dimmed presenter on a tablet.
#include <cmath>

#include "platform/dispatch/Dispatch.h"
#include "platform/foundation/NSLog.h"
#include "platform/base/ThreadAssertions.h"
#include "platform/uikit/UIDevice.h"
#include "platform/uikit/UIDimmingView.h"
#include "platform/uikit/UIView.h"
#include "platform/uikit/UIViewController.h"
#include "platform/uikit/UIWindow.h"

bool UIViewController::presentsAsSheet(const UIViewController& controller) {
    const auto style = controller.modalPresentationStyle();
    if (style != UIModalPresentationFormSheet && style != UIModalPresentationPageSheet) return false;
    return UIDevice::currentDevice()->userInterfaceIdiom() == UIUserInterfaceIdiomPad;
}

CGRect UIViewController::formSheetFrameInBounds(CGRect bounds) {
    const CGFloat width = std::min(kFormSheetSize.width, bounds.size.width);
    const CGFloat height = std::min(kFormSheetSize.height, bounds.size.height);
    return CGRectMake(bounds.origin.x + std::floor((bounds.size.width - width) / 2),
                      bounds.origin.y + std::floor((bounds.size.height - height) / 2), width, height);
}

void UIViewController::layoutPresentationInWindow(const UIWindow& window) {
    if (!view_ || view_->superview().get() != &window) return;
    const CGRect bounds = window.bounds();
    if (dimmingView_) {
        dimmingView_->setFrame(bounds);
        view_->setFrame(formSheetFrameInBounds(bounds));
    } else {
        view_->setFrame(bounds);
    }
    view_->setNeedsLayout();
}

void UIViewController::presentViewController(const std::shared_ptr<UIViewController>& controller, bool animated,
                                             Completion completion) {
    QV_ASSERT_MAIN_THREAD();
    if (!controller) return;
    auto me = self<UIViewController>();
    if (controller == me || controller->presenting_.lock() || controller->parent_.lock() ||
        presentationRoot() == controller) {
        NSLog("Application tried to present modally an active controller %@.", controller);
        return;
    }
    if (auto already = presentedViewController()) {
        NSLog("Warning: Attempt to present %@ on %@ which is already presenting %@", controller, me, already);
        return;
    }
    if (beingDismissed_) {
        NSLog("Warning: Attempt to present %@ on %@ while a dismissal is in progress!", controller, me);
        return;
    }

    if (animated && presentWithTransition(controller, completion)) return;
    presented_ = controller;
    controller->presenting_ = me;
    controller->beingPresented_ = true;
    const bool sheet = presentsAsSheet(*controller);

    // A full-screen presentation hides whatever shows below it; a sheet leaves
    // the presenter on view.
    auto covered = presentationRoot();
    if (!sheet && (covered->appearance_ == Appearance::Appeared || covered->appearance_ == Appearance::Appearing)) {
        covered->beginAppearanceTransition(false, animated);
        controller->coveredRoot_ = covered;
    } else {
        controller->coveredRoot_.reset();
    }
    auto presentedView = controller->view();
    if (auto window = view()->window()) {
        if (sheet) {
            controller->dimmingView_ = UIDimmingView::formSheetDimmingView(window->bounds());
            window->addSubview(controller->dimmingView_);
        }
        window->addSubview(presentedView);
        controller->layoutPresentationInWindow(*window);
    }
    controller->beginAppearanceTransition(true, animated);

    finishTransition(animated, [controller, covered, completion = std::move(completion)] {
        controller->beingPresented_ = false;
        controller->endAppearanceTransition();
        if (controller->coveredRoot_.lock() == covered) covered->endAppearanceTransition();
        if (completion) completion();
    });
}

void UIViewController::dismissViewControllerAnimated(bool animated, Completion completion) {
    QV_ASSERT_MAIN_THREAD();
    // The controller whose presentation ends: this one when it presents, else the
    // one presenting it (or a parent of it).
    std::shared_ptr<UIViewController> host;
    for (auto vc = self<UIViewController>(); vc && !host; vc = vc->parent_.lock()) {
        if (vc->presented_) host = vc;
        else if (auto p = vc->presenting_.lock()) host = p;
    }
    if (!host) return;
    dismissPresentationOf(host, animated, std::move(completion));
}

void UIViewController::dismissPresentationOf(const std::shared_ptr<UIViewController>& host, bool animated,
                                             Completion completion) {
    auto presented = host->presented_;
    if (presented->beingPresented_ || presented->beingDismissed_) {
        // Still animating in (or out): try again once that transition has finished,
        // which was queued on the main queue before this retry.
        std::weak_ptr<UIViewController> weakHost = host;
        dispatch_async(dispatch_get_main_queue(), [weakHost, animated, completion = std::move(completion)] {
            auto h = weakHost.lock();
            if (h && h->presented_) h->dismissPresentationOf(h, animated, completion);
        });
        return;
    }

    // The chain of controllers presented from here, bottom first.
    std::vector<std::shared_ptr<UIViewController>> chain;
    for (auto vc = presented; vc; vc = vc->presented_) chain.push_back(vc);
    if (animated && dismissWithTransition(host, chain, completion)) return;
    auto top = chain.back();
    auto covered = presented->coveredRoot_.lock();

    top->beingDismissed_ = true;
    top->beginAppearanceTransition(false, animated);
    if (covered) covered->beginAppearanceTransition(true, animated);

    for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
        auto& vc = *it;
        if (vc->isViewLoaded()) vc->view_->removeFromSuperview();
        if (vc->dimmingView_) vc->dimmingView_->removeFromSuperview();
        vc->dimmingView_.reset();
        vc->presented_.reset();
        vc->presenting_.reset();
        vc->coveredRoot_.reset();
    }
    host->presented_.reset();

    finishTransition(animated, [chain, top, covered, completion = std::move(completion)] {
        top->beingDismissed_ = false;
        top->endAppearanceTransition();
        for (auto& vc : chain)  // the ones that were hidden below the top end hidden
            if (vc != top) vc->endAppearanceTransition();
        if (covered) covered->endAppearanceTransition();
        if (completion) completion();
    });
}
