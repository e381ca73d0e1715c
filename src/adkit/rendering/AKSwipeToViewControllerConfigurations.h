#pragma once
// The swipe-to-store settings of an ad, read from the dictionary its response
// carries. The swipe state the page sets later (direction, draggable) is the
// base class's, which the slot hands to rendering. Not made before system
// 7.0.0. Main thread once shared with a slot.
#include <memory>
#include <optional>
#include <vector>

#include "adkit/rendering/AKSlot.h"
#include "platform/foundation/Value.h"
#include "platform/graphics/CGGeometry.h"

class AKSwipeToViewControllerConfigurations : public AKSwipeToViewControllerConfiguration {
public:
    // initWithSwipeConfigurations: null before system 7.0.0. A dictionary that
    // is null or not a dictionary gives the default settings.
    static std::shared_ptr<AKSwipeToViewControllerConfigurations> initWithSwipeConfigurations(const Value& dictionary);

    // "app_store_product_id" when a number, else null.
    const Value& swipeableInAppStoreProductID() const { return productID_; }
    // "swipeable_rectangles": the elements that read as rectangles; nothing when none does.
    const std::optional<std::vector<CGRect>>& swipeableRectangles() const { return rectangles_; }
    // "swipe_event_creative_metadata" when a dictionary (a copy), else null.
    const Value& swipeEventCreativeMetadata() const { return metadata_; }
    // "swipe_animation_transition_duration"; 1.0 when missing, not finite or not positive.
    double swipeAnimationTransitionDuration() const { return duration_; }
    AKSwipeDirection swipeDirection() const { return direction; }
    bool isAdDraggable() const { return adDraggable; }

private:
    Value productID_;
    std::optional<std::vector<CGRect>> rectangles_;
    Value metadata_;
    double duration_ = 1.0;
};
