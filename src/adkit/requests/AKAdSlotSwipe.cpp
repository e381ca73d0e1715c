// The slot extensions that carry the ad slot's swipe-to-store calls to ad
// rendering's operations (AKSlotSwipeToViewController).
#include <mutex>

#include "adkit/foundation/AKApplication.h"
#include "adkit/rendering/AKSlotSwipeToViewController.h"
#include "adkit/requests/AKAdSlot.h"
#include "adkit/requests/AKSlotServices.h"

namespace {

class AKAdSlotSwipeExtensions final : public AKSlotExtensions {
public:
    void canEnableSwipeToViewController(AKAdSlot& slot) override {
        AKSlotSwipeToViewController::forSlot(slot)->canEnableSwipeToViewController();
    }
    void enableSwipeToViewController(AKAdSlot& slot) override {
        AKSlotSwipeToViewController::forSlot(slot)->enableSwipeToViewController();
    }
    void disableSwipeToViewController(AKAdSlot& slot) override {
        AKSlotSwipeToViewController::forSlot(slot)->disableSwipeToViewController();
    }
    void slotWillResetRequestState(AKAdSlot& slot) override {
        AKSlotSwipeToViewController::forSlot(slot)->slotWillResetRequestState();
    }
};

}  // namespace

void AKSlotSwipeExtensionsRegister() {
    static std::once_flag once;
    std::call_once(once, [] {
        AKApplication::addEarlyActivity(
            [] { AKSlotExtensions::install(std::make_shared<AKAdSlotSwipeExtensions>()); });
    });
}
