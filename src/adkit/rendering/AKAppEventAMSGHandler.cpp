#include "adkit/rendering/AKAppEventAMSGHandler.h"

#include "adkit/rendering/AKSlot.h"
#include "platform/foundation/ProcessLifetime.h"

using Table = AKAMSGHandler::ActionSelectorDictionary;

AKAppEventAMSGHandler::AKAppEventAMSGHandler(const std::shared_ptr<AKSlot>& slot)
    : AKAMSGHandler(actionSelectorDictionary()), slot_(slot) {}

std::shared_ptr<const Table> AKAppEventAMSGHandler::actionSelectorDictionary() {
    using H = AKAppEventAMSGHandler;
    static ProcessLifetime<std::shared_ptr<const Table>> table(makeActionTable({
        {"appEvent", action<H, &H::didReceiveAppEventNotification>()},
    }));
    return *table;
}

void AKAppEventAMSGHandler::didReceiveAppEventNotification(const AKAMSGHandlerArguments& arguments) {
    const auto name = arguments.parameter("name");
    const auto slot = slot_.lock();
    if (!name || !slot) return;
    const auto delegate = slot->slotDelegate();
    if (delegate && delegate->respondsToAppEvent()) delegate->didReceiveAppEvent(*name, arguments.parameter("info"));
}
