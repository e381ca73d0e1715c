#pragma once
// Switches a banner creative's swipe-to-full-screen gesture on and off:
// "enableSwipeToViewController" sets the current ad's swipe direction
// ("swipe_direction": "top_to_bottom" 1, "bottom_to_top" 2, else none) and
// whether the ad drags ("ad_draggable" is "1"), then enables the gesture on the
// slot; "disableSwipeToViewController" disables it and clears both.
// Main thread only.
#include <memory>
#include <string>

#include "adkit/rendering/AKAMSGHandler.h"
#include "adkit/rendering/AKSlot.h"

class AKSwipeToViewControllerAMSGHandler : public AKAMSGHandler {
public:
    // initWithSlot:
    explicit AKSwipeToViewControllerAMSGHandler(const std::shared_ptr<AKSlot>& slot);
    static std::shared_ptr<const ActionSelectorDictionary> actionSelectorDictionary();
    static AKSwipeDirection swipeDirectionFromString(const std::string& name);

    std::shared_ptr<AKSlot> slot() const { return slot_.lock(); }
    void setSlot(const std::shared_ptr<AKSlot>& slot) { slot_ = slot; }

    void enableSwipeToViewController(const AKAMSGHandlerArguments& arguments);
    void disableSwipeToViewController(const AKAMSGHandlerArguments& arguments);

private:
    std::weak_ptr<AKSlot> slot_;
};
