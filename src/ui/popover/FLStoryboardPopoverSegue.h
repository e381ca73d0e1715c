#pragma once
// A storyboard segue that presents its destination in a popover. The caller
// takes the popover from popoverControllerWithSender (and configures it)
// before the segue performs. A bar button item sender presents from the item
// (Up or Down); a view sender from its bounds; any other sender from the key
// window's root view. The popover stays shown until dismissed, even when the
// segue is gone. Main thread only.
#include <memory>
#include <string>

#include "platform/uikit/UIStoryboardSegue.h"
#include "ui/popover/FLPopoverController.h"

class FLStoryboardPopoverSegue : public UIStoryboardSegue {
public:
    using UIStoryboardSegue::UIStoryboardSegue;

    std::shared_ptr<FLPopoverController> popoverControllerWithSender(const std::shared_ptr<NSObject>& sender,
                                                                     FLArrowDirection arrowDirections, bool animated,
                                                                     FLAnimationOptions options = FLAnimationOptionFade);
    void perform() override;

    const std::shared_ptr<FLPopoverController>& popoverController() const { return popoverController_; }

private:
    std::shared_ptr<FLPopoverController> popoverController_;
    std::shared_ptr<NSObject> sender_;
    FLArrowDirection arrowDirections_ = FLArrowDirectionAny;
    FLAnimationOptions options_ = FLAnimationOptionFade;
    bool animated_ = false;
};
