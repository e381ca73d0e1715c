// The store sheet: the application's cache of prefetched sheets (taken out
// once, given back under a product ID, bounded by a count, dropped at size 0).
#include <doctest/doctest.h>

#include <memory>

#include "AdkitTestSupport.h"
#include "adkit/foundation/AKApplication.h"
#include "platform/storekit/SKStoreProductViewController.h"

using adkittest::waitFor;

TEST_CASE("store sheet: the application cache hands each sheet out once and keeps as many as its limit") {
    auto application = AKApplication::sharedApplication();
    application->setDiscardableStoreProductViewControllerAppCacheMaxSize(1);
    auto first = std::make_shared<SKStoreProductViewController>();
    auto second = std::make_shared<SKStoreProductViewController>();
    std::weak_ptr<SKStoreProductViewController> firstGone = first;

    // Nothing for an empty ID or a null sheet; nothing cached yet.
    application->finishedUsingStoreProductViewController(first, "");
    application->finishedUsingStoreProductViewController(nullptr, "1");
    CHECK_FALSE(application->cachedStoreProductViewControllerForProductID("1"));
    CHECK_FALSE(application->cachedStoreProductViewControllerForProductID(""));

    application->finishedUsingStoreProductViewController(first, "1");
    application->finishedUsingStoreProductViewController(second, "2");  // the limit lets the first go
    first.reset();
    waitFor([&] { return firstGone.expired(); }, "the evicted sheet released on the main queue");
    CHECK_FALSE(application->cachedStoreProductViewControllerForProductID("1"));
    CHECK(application->cachedStoreProductViewControllerForProductID("2") == second);
    CHECK_FALSE(application->cachedStoreProductViewControllerForProductID("2"));  // taken out

    application->setDiscardableStoreProductViewControllerAppCacheMaxSize(2);
    application->finishedUsingStoreProductViewController(second, "2");
    application->finishedUsingStoreProductViewController(second, "3");
    CHECK(application->cachedStoreProductViewControllerForProductID("2") == second);
    CHECK(application->cachedStoreProductViewControllerForProductID("3") == second);

    // Size 0 drops the cache: a sheet given back is not kept.
    application->setDiscardableStoreProductViewControllerAppCacheMaxSize(0);
    CHECK_FALSE(application->discardableStoreProductViewControllerAppCache());
    application->finishedUsingStoreProductViewController(second, "2");
    CHECK_FALSE(application->cachedStoreProductViewControllerForProductID("2"));
    application->setDiscardableStoreProductViewControllerAppCacheMaxSize(1);
}
