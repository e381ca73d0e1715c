// The opener's in-app browser action: reported as opened only once the
// browser is really presented.
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
    const auto keepAlive = self<AKOpener>();  // presenting may let the opener's owner go
    browser->presentFromViewController(viewController());
    // A presentation the view controller refuses (it already shows another)
    // opened nothing: no click pings, no report. The browser goes unshown (its
    // page loads only once its view is built, which never happens).
    if (browser->isPresented()) didOpenInApp();
}
