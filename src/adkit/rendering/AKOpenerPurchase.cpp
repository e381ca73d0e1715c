// The opener's in-app purchase action.
#include "adkit/rendering/AKInAppPurchase.h"
#include "adkit/rendering/AKOpener.h"
#include "adkit/rendering/AKSlot.h"
#include "adkit/rendering/AKViewController.h"
#include "platform/base/ThreadAssertions.h"

void AKOpener::openInAppPurchase(const std::string& productID, std::int64_t quantity,
                                 const std::vector<std::string>& reportingURLStringFormats) {
    QV_ASSERT_MAIN_THREAD();
    if (!shouldPerformOpenAction()) return;
    // The reports may let the opener's owner go; the opener finishes this call.
    const auto keepAlive = self<AKOpener>();
    const auto purchase = AKInAppPurchase::make(productID, quantity, reportingURLStringFormats);
    if (const auto slot = this->slot()) slot->didReceiveInAppPurchase(purchase);
    didOpenInApp();
    if (const auto controller = std::dynamic_pointer_cast<AKViewController>(viewController())) {
        controller->relinquishScreen();
    }
}
