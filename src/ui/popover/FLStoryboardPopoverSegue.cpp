#include "ui/popover/FLStoryboardPopoverSegue.h"

#include "platform/foundation/NSLog.h"
#include "platform/uikit/UIBarButtonItem.h"
#include "platform/uikit/UIView.h"

std::shared_ptr<FLPopoverController> FLStoryboardPopoverSegue::popoverControllerWithSender(
    const std::shared_ptr<NSObject>& sender, FLArrowDirection arrowDirections, bool animated,
    FLAnimationOptions options) {
    sender_ = sender;
    arrowDirections_ = arrowDirections;
    animated_ = animated;
    options_ = options;
    popoverController_ = FLPopoverController::initWithContentViewController(destinationViewController());
    return popoverController_;
}

void FLStoryboardPopoverSegue::perform() {
    if (!popoverController_) {
        NSLog("FLStoryboardPopoverSegue: no popover controller was asked for before the segue performed");
        return;
    }
    if (auto item = std::dynamic_pointer_cast<UIBarButtonItem>(sender_)) {
        popoverController_->presentPopoverFromBarButtonItem(item, arrowDirections_, animated_, options_);
    } else if (auto view = std::dynamic_pointer_cast<UIView>(sender_)) {
        popoverController_->presentPopoverFromRect(view->bounds(), view, arrowDirections_, animated_, options_);
    } else {
        // No anchor of its own: the key window's root view, its middle.
        popoverController_->presentPopoverFromRect(CGRectZero, nullptr, arrowDirections_, animated_, options_);
    }
    popoverController_->retainWhileVisible();
}
