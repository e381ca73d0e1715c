#pragma once
// "appEvent": a creative's app event ("name", optional "info") passed to the
// slot's delegate when it takes app events; without a name nothing happens.
// Main thread only.
#include <memory>

#include "adkit/rendering/AKAMSGHandler.h"

class AKSlot;

class AKAppEventAMSGHandler : public AKAMSGHandler {
public:
    // initWithSlot:
    explicit AKAppEventAMSGHandler(const std::shared_ptr<AKSlot>& slot);
    static std::shared_ptr<const ActionSelectorDictionary> actionSelectorDictionary();

    std::shared_ptr<AKSlot> slot() const { return slot_.lock(); }
    void setSlot(const std::shared_ptr<AKSlot>& slot) { slot_ = slot; }

    void didReceiveAppEventNotification(const AKAMSGHandlerArguments& arguments);

private:
    std::weak_ptr<AKSlot> slot_;
};
