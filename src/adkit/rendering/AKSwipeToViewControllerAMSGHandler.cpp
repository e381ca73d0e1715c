#include "adkit/rendering/AKSwipeToViewControllerAMSGHandler.h"

#include "platform/foundation/ProcessLifetime.h"

using Table = AKAMSGHandler::ActionSelectorDictionary;

AKSwipeToViewControllerAMSGHandler::AKSwipeToViewControllerAMSGHandler(const std::shared_ptr<AKSlot>& slot)
    : AKAMSGHandler(actionSelectorDictionary()), slot_(slot) {}

std::shared_ptr<const Table> AKSwipeToViewControllerAMSGHandler::actionSelectorDictionary() {
    using H = AKSwipeToViewControllerAMSGHandler;
    static ProcessLifetime<std::shared_ptr<const Table>> table(makeActionTable({
        {"enableSwipeToViewController", action<H, &H::enableSwipeToViewController>()},
        {"disableSwipeToViewController", action<H, &H::disableSwipeToViewController>()},
    }));
    return *table;
}

AKSwipeDirection AKSwipeToViewControllerAMSGHandler::swipeDirectionFromString(const std::string& name) {
    if (name == "top_to_bottom") return AKSwipeDirectionTopToBottom;
    if (name == "bottom_to_top") return AKSwipeDirectionBottomToTop;
    return AKSwipeDirectionNone;
}

void AKSwipeToViewControllerAMSGHandler::enableSwipeToViewController(const AKAMSGHandlerArguments& arguments) {
    const auto slot = slot_.lock();
    if (!slot) return;
    if (const auto configuration = slot->swipeToViewControllerConfigurations()) {
        configuration->direction = swipeDirectionFromString(arguments.parameter("swipe_direction").value_or(""));
        configuration->adDraggable = arguments.parameter("ad_draggable") == "1";
    }
    slot->enableSwipeToViewController();
}

void AKSwipeToViewControllerAMSGHandler::disableSwipeToViewController(const AKAMSGHandlerArguments&) {
    const auto slot = slot_.lock();
    if (!slot) return;
    slot->disableSwipeToViewController();
    if (const auto configuration = slot->swipeToViewControllerConfigurations()) {
        configuration->direction = AKSwipeDirectionNone;
        configuration->adDraggable = false;
    }
}
