// The URL opener's publisher toolbar.
#include "adkit/rendering/AKOpener.h"
#include "adkit/rendering/AKPublisherToolbarController.h"
#include "adkit/rendering/AKSlot.h"
#include "platform/base/ThreadAssertions.h"

void AKOpener::openPublisherToolbar(const std::optional<std::string>& adUnitID, const std::string& adContent) {
    QV_ASSERT_MAIN_THREAD();
    if (!shouldPerformOpenAction()) return;
    std::optional<std::string> unit = adUnitID;
    if (!unit) {
        if (const auto theSlot = slot()) unit = theSlot->adUnitID();
    }
    const auto toolbar = AKPublisherToolbarController::initWithAdContent(adContent, unit);
    const auto presenter = viewController();
    if (presenter && presenter->presentedViewController()) {
        std::weak_ptr<UIViewController> weakPresenter = presenter;
        presenter->dismissViewControllerAnimated(true, [toolbar, weakPresenter] {
            toolbar->presentFromViewController(weakPresenter.lock());
        });
        return;
    }
    toolbar->presentFromViewController(presenter);
}
