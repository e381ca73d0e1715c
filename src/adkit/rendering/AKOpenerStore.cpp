// The opener's store sheets: opening the store inside the application, the
// prefetch of a sheet, the sheet's Done, and the sheets an opener keeps, which
// go to the application cache when the opener is destroyed.
#include <map>

#include "adkit/foundation/AKApplication.h"
#include "adkit/rendering/AKOpener.h"
#include "platform/base/ThreadAssertions.h"
#include "platform/dispatch/Dispatch.h"
#include "platform/foundation/ClassRegistry.h"
#include "platform/storekit/SKStoreProductViewController.h"

// The sheets an opener made, by product ID, and the sheets' delegate (the
// platform holds delegates weakly; this lives exactly as long as its opener).
class AKOpenerStoreSheets : public SKStoreProductViewControllerDelegate {
public:
    explicit AKOpenerStoreSheets(std::weak_ptr<AKOpener> opener) : opener_(std::move(opener)) {}
    ~AKOpenerStoreSheets() override {
        const auto application = AKApplication::sharedApplication();
        for (const auto& [productID, sheet] : sheets)
            application->finishedUsingStoreProductViewController(sheet, productID);
    }
    void productViewControllerDidFinish(const std::shared_ptr<SKStoreProductViewController>& controller) override {
        if (const auto opener = opener_.lock()) opener->productViewControllerDidFinish(controller);
    }

    std::map<std::string, std::shared_ptr<SKStoreProductViewController>> sheets;

private:
    std::weak_ptr<AKOpener> opener_;
};

namespace {
// Without a product ID the parameters name no product.
Value productParameters(const std::optional<std::string>& productID) {
    if (!productID) return Value::dictionary();
    return Value{{SKStoreProductParameterITunesItemIdentifier, Value(Value(*productID).integerValue())}};
}
}  // namespace

const std::shared_ptr<AKOpenerStoreSheets>& AKOpener::storeSheets() {
    if (!storeSheets_) storeSheets_ = std::make_shared<AKOpenerStoreSheets>(self<AKOpener>());
    return storeSheets_;
}

bool AKOpener::isInAppStoreSupported() const {
    return ClassRegistry::lookup("SKStoreProductViewController").has_value();
}

void AKOpener::openInAppStore(const std::optional<std::string>& productID,
                              const std::optional<std::string>& fallbackURLString) {
    QV_ASSERT_MAIN_THREAD();
    if (!shouldPerformOpenAction()) return;
    if (!isInAppStoreSupported()) {
        openApp(fallbackURLString.value_or(""));
        return;
    }
    auto sheet = std::make_shared<SKStoreProductViewController>();
    sheet->setDelegate(storeSheets());
    std::weak_ptr<AKOpener> weakOpener = self<AKOpener>();
    sheet->loadProductWithParameters(
        productParameters(productID), [weakOpener, sheet, fallbackURLString](bool loaded, NSErrorPtr) mutable {
            // The platform answers on a queue of its own; the screen and the opener are the main
            // thread's, and so is the sheet's last reference (moved along, not left behind here).
            auto finish = [weakOpener, sheet = std::move(sheet), fallbackURLString, loaded] {
                if (const auto opener = weakOpener.lock()) opener->finishStoreLoad(sheet, loaded, fallbackURLString);
            };
            dispatch_async(dispatch_get_main_queue(), std::move(finish));
        });
}

void AKOpener::finishStoreLoad(const std::shared_ptr<SKStoreProductViewController>& sheet, bool loaded,
                               const std::optional<std::string>& fallbackURLString) {
    QV_ASSERT_MAIN_THREAD();
    if (!loaded) {
        openApp(fallbackURLString.value_or(""));
        return;
    }
    const auto presenter = viewController();
    if (!presenter || presenter->isBeingDismissed()) return;
    presenter->presentViewController(sheet, true);
    // A presenter already showing something refuses the sheet: then nothing was opened.
    if (sheet->presentingViewController()) didOpenInApp();
}

void AKOpener::openInAppStoreWithProductID(const std::optional<std::string>& productID,
                                           const std::optional<std::string>& fallbackURLString,
                                           bool shouldWaitForFetch) {
    QV_ASSERT_MAIN_THREAD();
    if (!shouldPerformOpenAction()) return;
    if (shouldWaitForFetch || !productID) {
        openInAppStore(productID, fallbackURLString);
        return;
    }
    const auto sheet = fetchInAppStoreForProductID(*productID);
    sheet->setDelegate(storeSheets());
    const auto presenter = viewController();
    if (!presenter) return;
    std::weak_ptr<AKOpener> weakOpener = self<AKOpener>();
    presenter->presentViewController(sheet, true, [weakOpener] {
        if (const auto opener = weakOpener.lock()) opener->didOpenInApp();
    });
}

std::shared_ptr<SKStoreProductViewController> AKOpener::fetchInAppStoreForProductID(const std::string& productID) {
    QV_ASSERT_MAIN_THREAD();
    auto& kept = storeSheets()->sheets;
    if (const auto found = kept.find(productID); found != kept.end()) return found->second;
    if (auto prefetched = AKApplication::sharedApplication()->cachedStoreProductViewControllerForProductID(productID))
        return prefetched;
    auto sheet = std::make_shared<SKStoreProductViewController>();
    sheet->loadProductWithParameters(productParameters(productID));
    kept[productID] = sheet;
    return sheet;
}

void AKOpener::productViewControllerDidFinish(const std::shared_ptr<SKStoreProductViewController>& /*controller*/) {
    QV_ASSERT_MAIN_THREAD();
    const auto presenter = viewController();
    if (!presenter) return;
    presenter->dismissViewControllerAnimated(true);
    presenter->becomeFirstResponder();
}
