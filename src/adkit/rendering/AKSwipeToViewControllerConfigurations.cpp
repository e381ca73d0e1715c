#include "adkit/rendering/AKSwipeToViewControllerConfigurations.h"

#include <cmath>

#include "adkit/foundation/AKDevice.h"
#include "adkit/foundation/AKObjectAdditions.h"

std::shared_ptr<AKSwipeToViewControllerConfigurations> AKSwipeToViewControllerConfigurations::initWithSwipeConfigurations(
    const Value& dictionary) {
    if (!AKDevice::isOSAtLeastMajor(7, 0, 0)) return nullptr;
    auto settings = std::make_shared<AKSwipeToViewControllerConfigurations>();
    settings->productID_ = ak_objectForKey(dictionary, "app_store_product_id", AKValueKind::Number).copy();
    if (auto items = ak_objectForKey(dictionary, "swipeable_rectangles", AKValueKind::Array).arrayRef()) {
        std::vector<CGRect> rectangles;
        for (const Value& item : *items) {
            NSErrorPtr error;  // also set for an element that is not a dictionary
            const CGRect rect = AKCGRectFromDictionary(item, &error);
            if (!error) rectangles.push_back(rect);
        }
        if (!rectangles.empty()) settings->rectangles_ = std::move(rectangles);
    }
    settings->metadata_ = ak_objectForKey(dictionary, "swipe_event_creative_metadata", AKValueKind::Dictionary).copy();
    const Value duration = ak_objectForKey(dictionary, "swipe_animation_transition_duration", AKValueKind::Number);
    if (duration && std::isfinite(duration.doubleValue()) && duration.doubleValue() > 0)
        settings->duration_ = duration.doubleValue();
    return settings;
}
