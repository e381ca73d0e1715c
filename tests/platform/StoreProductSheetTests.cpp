// The store product sheet stand-in: load outcomes per product or global
// (success, or an error; a load naming no product fails), a completion that arrives off the main thread after
// the sheet shows the outcome, and Done telling the delegate.
#include <doctest/doctest.h>

#include <memory>
#include <mutex>
#include <optional>

#include "platform/base/MainThread.h"
#include "platform/foundation/ClassRegistry.h"
#include "platform/storekit/SKStoreProductViewController.h"
#include "platform/uikit/UIButton.h"
#include "platform/uikit/UILabel.h"
#include "support/TestEnvironment.h"

using Sheet = SKStoreProductViewController;

TEST_CASE("store sheet: outcomes per product, completion off the main thread, and Done tells the delegate") {
    Sheet::setOutcomeForProductID("7", {NSError::make("SKErrorDomain", 0, "offline"), 0});
    CHECK(ClassRegistry::lookup("SKStoreProductViewController"));
    struct Row {
        Value identifier;
        const char* product;
        const char* shown;  // the state line once loaded
        const char* heard;  // what the completion got, and where
    };
    for (const Row& row : {Row{Value(42), "Product 42", "Loaded", "1 - off main"},
                           Row{Value("7"), "Product 7", "Cannot connect", "0 offline off main"},
                           Row{Value(), "", "Cannot connect", "0 No product was named. off main"}}) {
        CAPTURE(row.product);
        auto sheet = std::make_shared<Sheet>();
        auto heard = std::make_shared<std::pair<std::mutex, std::optional<std::string>>>();
        const Value parameters = row.identifier.isNull()
                                     ? Value::dictionary()
                                     : Value{{SKStoreProductParameterITunesItemIdentifier, row.identifier}};
        sheet->loadProductWithParameters(parameters,
                                         [heard](bool result, NSErrorPtr error) {
                                             std::lock_guard lock(heard->first);
                                             heard->second = std::to_string(result) + " " +
                                                             (error ? error->localizedDescription() : "-") +
                                                             (isProcessMainThread() ? " on main" : " off main");
                                         });
        CHECK(sheet->stateLabel()->text() == "Loading");
        REQUIRE(testsupport::runMainUntil([&] {
            std::lock_guard lock(heard->first);
            return heard->second && sheet->loadState() != Sheet::LoadState::Loading;
        }));
        CHECK(*heard->second == row.heard);
        CHECK(sheet->productLabel()->text() == row.product);
        CHECK(sheet->stateLabel()->text() == row.shown);
    }
    Sheet::resetOutcomes();

    struct Finished : SKStoreProductViewControllerDelegate {
        std::shared_ptr<Sheet> sheet;
        void productViewControllerDidFinish(const std::shared_ptr<Sheet>& controller) override { sheet = controller; }
    };
    auto sheet = std::make_shared<Sheet>();
    auto delegate = std::make_shared<Finished>();
    sheet->setDelegate(delegate);
    sheet->doneButton()->sendActionsForControlEvents(UIControlEventTouchUpInside);
    CHECK(delegate->sheet == sheet);
}
