// The opener's in-app browser action.
#include "adkit/rendering/AKBrowserViewController.h"
#include "adkit/rendering/AKOpener.h"
#include "platform/base/ThreadAssertions.h"

void AKOpener::openBrowserToURL(const std::string& URL, AKSupportedOrientations orientations) {
    QV_ASSERT_MAIN_THREAD();
    if (!shouldPerformOpenAction()) return;
    if (!checkStateWithParamter(!URL.empty())) return;
    auto browser = AKBrowserViewController::make();
    browser->setSupportedOrientations(static_cast<std::int64_t>(orientations));
    browser->setSlot(slot());
    browser->setOpenedBy(self<AKOpener>());
    browser->load(URL, referringURL().empty() ? std::nullopt : std::optional<std::string>(referringURL()));
    browser->presentFromViewController(viewController());
    didOpenInApp();
}
