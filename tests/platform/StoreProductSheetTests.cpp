// The store product sheet stand-in: its load outcomes (per product or global,
// success or an error, after a delay on the Clock), a completion that arrives
// off the main thread after the sheet changed, and Done telling the delegate.
#include <doctest/doctest.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "platform/base/MainThread.h"
#include "platform/foundation/ClassRegistry.h"
#include "platform/foundation/Clock.h"
#include "platform/storekit/SKStoreProductViewController.h"
#include "platform/uikit/UIButton.h"
#include "platform/uikit/UILabel.h"
#include "support/TestEnvironment.h"

using testsupport::runMainUntil;

namespace {

struct Finished : SKStoreProductViewControllerDelegate {
    std::shared_ptr<SKStoreProductViewController> sheet;
    void productViewControllerDidFinish(const std::shared_ptr<SKStoreProductViewController>& controller) override {
        sheet = controller;
    }
};

// One load's completion as the caller sees it.
struct Heard {
    std::mutex mutex;
    std::optional<bool> result;
    std::string error;
    bool onMain = true;
    bool arrived() {
        std::lock_guard lock(mutex);
        return result.has_value();
    }
};

}  // namespace

TEST_CASE("store sheet: outcomes per product, completion off the main thread, and Done tells the delegate") {
    struct Row {
        const char* name;
        Value identifier;
        std::string productID;
        bool loaded;
        const char* stateText;
    };
    SKStoreProductViewController::resetOutcomes();
    SKStoreProductViewController::setDefaultOutcome({NSError::make("SKErrorDomain", 0, "offline"), 0});
    SKStoreProductViewController::setOutcomeForProductID("42", {nullptr, 3});
    CHECK(ClassRegistry::lookup("SKStoreProductViewController"));
    Clock::useVirtualTime(1000000);
    const Row rows[] = {
        {"a number naming a product set to load after a delay", Value(42), "42", true, "Loaded"},
        {"a text naming a product without its own outcome", Value("7"), "7", false, "Cannot connect"},
    };
    for (const auto& row : rows) {
        CAPTURE(row.name);
        auto sheet = std::make_shared<SKStoreProductViewController>();
        auto heard = std::make_shared<Heard>();
        sheet->loadProductWithParameters(Value{{SKStoreProductParameterITunesItemIdentifier, row.identifier}},
                                         [heard](bool result, NSErrorPtr error) {
                                             std::lock_guard lock(heard->mutex);
                                             heard->onMain = isProcessMainThread();
                                             heard->error = error ? error->localizedDescription() : "";
                                             heard->result = result;
                                         });
        CHECK(sheet->productID() == row.productID);
        CHECK(sheet->loadState() == SKStoreProductViewController::LoadState::Loading);
        if (row.loaded) {
            // Nothing arrives before the Clock reaches the delay.
            Clock::advance(2.9);
            REQUIRE(runMainUntil([] { return true; }));
            CHECK_FALSE(heard->arrived());
            Clock::advance(0.1);
        }
        REQUIRE_MESSAGE(runMainUntil([&] { return heard->arrived() && sheet->loadState() != SKStoreProductViewController::LoadState::Loading; }),
                        "the load's completion and the sheet's new state");
        CHECK(*heard->result == row.loaded);
        CHECK(heard->error == (row.loaded ? "" : "offline"));
        CHECK_FALSE(heard->onMain);
        CHECK(sheet->productLabel()->text() == "Product " + row.productID);
        CHECK(sheet->stateLabel()->text() == row.stateText);
    }
    Clock::useRealTime();
    SKStoreProductViewController::resetOutcomes();

    auto sheet = std::make_shared<SKStoreProductViewController>();
    auto delegate = std::make_shared<Finished>();
    sheet->setDelegate(delegate);
    sheet->doneButton()->sendActionsForControlEvents(UIControlEventTouchUpInside);
    CHECK(delegate->sheet == sheet);
}
