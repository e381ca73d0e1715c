// Protects ad-initiated purchases: the default purchase flow against the store
// stand-ins, with every status report pinged for real to the ad server's
// purchase report path (success 1 only once the publisher finishes, cancel 2,
// other failures 0, invalid or unconfirmed products 3 with the "Whoops!" alert,
// a publisher's refusal 0), transactions matched to purchases oldest first, the
// conversion report, the quantity and format-filling rules, the flow switch;
// the opener's purchase action behind the auto-click guard; and the road from a real ad page on the phone screen, tapped through the
// device input, to the publisher and the report.
#include <doctest/doctest.h>

#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "InterstitialTestSupport.h"
#include "SlotEngineRoad.h"
#include "adkit/foundation/AKMacros.h"
#include "adkit/rendering/AKClickTrackerCollection.h"
#include "adkit/rendering/AKPaymentTransactionObserver.h"
#include "adkit/rendering/AKViewController.h"
#include "adkit/requests/AKBannerView.h"
#include "platform/DeviceScreenTestSupport.h"
#include "platform/WebViewSupport.h"
#include "platform/foundation/ClassRegistry.h"
#include "platform/foundation/NSString.h"
#include "platform/uikit/UIAlertView.h"

using adkittest::waitFor;
using nlohmann::json;

namespace {

constexpr const char* kReportPath = "/adnet/purchase/report";
// A product ID a page might send: it must stay one value of the report URL.
constexpr const char* kProduct = "gold&coins#1";

// The publisher's delegate of the default flow.
struct Publisher : AKDefaultInAppPurchaseDelegate, renderingtest::CallLog {
    std::optional<bool> shouldStart;  // nullopt: the publisher does not implement the question
    std::vector<std::shared_ptr<AKDefaultInAppPurchase>> paid;
    void userDidPayForPurchase(const std::shared_ptr<AKDefaultInAppPurchase>& purchase) override {
        record(format("paid %@ x%lld", purchase->productID(), static_cast<long long>(purchase->quantity())));
        paid.push_back(purchase);
    }
    std::optional<bool> shouldStartPurchaseForProductID(const std::string& productID, std::int64_t quantity) override {
        record(format("shouldStart %@ x%lld", productID, static_cast<long long>(quantity)));
        return shouldStart;
    }
};
struct PublisherWithoutPayment : Publisher {
    bool respondsToUserDidPayForPurchase() const override { return false; }
};

struct PublisherLog : AKLogChecker {
    std::mutex mutex;
    std::vector<std::string> lines;
    void message(const std::string& text) override {
        std::lock_guard lock(mutex);
        lines.push_back(text);
    }
    void clear() {
        std::lock_guard lock(mutex);
        lines.clear();
    }
    std::size_t count(const std::string& text) {
        std::lock_guard lock(mutex);
        return static_cast<std::size_t>(std::ranges::count(lines, text));
    }
};

// The conversion class as a linked library would register it; the mode says
// whether it is there (absent: the registry makes nothing) and what it answers.
enum class ConversionMode { absent, reports, refuses };
struct ConversionReporter : NSObject, AKConversionReporterInterface {
    static inline ConversionMode mode = ConversionMode::absent;
    static inline std::vector<std::string> reported;
    std::string call;
    void initWithProductID(const std::string& productID, const Value& value, bool isRepeatable) override {
        call = format("%@ value=%@ repeatable=%d", productID, value, isRepeatable ? 1 : 0);
    }
    bool report() override {
        reported.push_back(call);
        return mode == ConversionMode::reports;
    }
    static void install(ConversionMode newMode) {
        mode = newMode;
        reported.clear();
        ClassRegistry::registerClass({kAKConversionReporterClassName, "NSObject", {}, []() -> std::shared_ptr<NSObject> {
                                          if (mode == ConversionMode::absent) return nullptr;
                                          return std::make_shared<ConversionReporter>();
                                      }});
    }
};

// A fresh flow, store and payment queue; reports pinged for real to the ad server.
struct PurchaseScope {
    testsupport::TempHome home;  // the session and its defaults are this test's own
    testtools::AdServerProcess server;
    std::shared_ptr<PublisherLog> log = std::make_shared<PublisherLog>();
    std::shared_ptr<Publisher> publisher = std::make_shared<Publisher>();

    PurchaseScope() {
        REQUIRE(server.started());
        reset();
        AKMacros::setLogChecker(log);
        ConversionReporter::install(ConversionMode::absent);
    }
    ~PurchaseScope() {
        AKMacros::setLogChecker(nullptr);
        reset();
    }
    static void reset() {
        AKPaymentTransactionObserver::setSharedInstance(nullptr);
        SKProductsRequest::resetStoreForTesting();
        SKPaymentQueue::defaultQueue()->resetForTesting();
        AKClickTrackerCollection::setSharedInstance(nullptr);
        UIAlertView::removeAllForTesting();
    }
    static std::shared_ptr<AKPaymentTransactionObserver> flow() { return AKPaymentTransactionObserver::sharedInstance(); }
    // A report format naming its case; "@tag@" has no value and goes.
    std::string reportFormat(const std::string& name) const {
        return server.origin("http") + kReportPath + "?case=" + name + "&sku=@sku@&status=@status@&quantity=@quantity@@tag@";
    }
    std::shared_ptr<AKInAppPurchase> offer(const std::string& name, std::int64_t quantity = 2) {
        auto purchase = AKInAppPurchase::make(kProduct, quantity, {reportFormat(name)});
        flow()->didReceiveInAppPurchase(purchase);
        return purchase;
    }
    // The reports of a case so far.
    std::vector<json> reportsNow(const std::string& name) const {
        std::vector<json> found;
        for (const auto& entry : server.log())
            if (entry["path"] == kReportPath && entry["query"].value("case", "") == name) found.push_back(entry["query"]);
        return found;
    }
    // The reports of a case, waited for.
    std::vector<json> reports(const std::string& name, std::size_t count = 1) const {
        std::vector<json> found;
        waitFor([&] { return (found = reportsNow(name)).size() >= count; }, "the purchase report of " + name);
        return found;
    }
    static SKPaymentTransactionPtr waitForTransaction(std::size_t index) {
        waitFor([&] { return SKPaymentQueue::defaultQueue()->transactions().size() > index; }, "a payment in the queue");
        return SKPaymentQueue::defaultQueue()->transactions()[index];
    }
};

enum class Outcome { paid, cancelled, failed, invalid, unconfirmed, declined };

}  // namespace

TEST_CASE("purchase flow: each outcome reports its status to the ad's report URL") {
    PurchaseScope scope;
    struct Row {
        const char* name;
        Outcome outcome;
        std::int64_t status;
    };
    for (const Row& row : {Row{"paid", Outcome::paid, 1}, Row{"cancelled", Outcome::cancelled, 2},
                           Row{"failed", Outcome::failed, 0}, Row{"invalid", Outcome::invalid, 3},
                           Row{"unconfirmed", Outcome::unconfirmed, 3}, Row{"declined", Outcome::declined, 0}}) {
        CAPTURE(row.name);
        PurchaseScope::reset();
        ConversionReporter::install(ConversionMode::reports);
        scope.log->clear();
        const auto publisher = std::make_shared<Publisher>();
        publisher->shouldStart = row.outcome == Outcome::declined ? std::optional(false) : std::nullopt;
        AKDefaultInAppPurchase::enableDefaultPurchaseFlowWithDelegate(publisher);
        REQUIRE(PurchaseScope::flow()->isDefaultPurchaseFlowEnabled());
        if (row.outcome != Outcome::invalid) SKProductsRequest::setStoreProducts({{kProduct, "0,99 €"}});
        if (row.outcome == Outcome::unconfirmed) SKProductsRequest::setStoreFailure(NSError::make(SKErrorDomain, 0, "offline"));
        const auto purchase = scope.offer(row.name);

        const bool paying = row.outcome == Outcome::paid || row.outcome == Outcome::cancelled || row.outcome == Outcome::failed;
        if (paying) {
            const auto transaction = PurchaseScope::waitForTransaction(0);
            CHECK(transaction->payment()->productIdentifier() == kProduct);
            CHECK(transaction->payment()->quantity() == 2);
            const auto queue = SKPaymentQueue::defaultQueue();
            if (row.outcome == Outcome::paid) {
                queue->settleTransaction(transaction, SKPaymentTransactionStatePurchased);
                waitFor([&] { return publisher->paid.size() == 1; }, "the publisher's paid purchase");
                CHECK(publisher->paid[0]->inAppPurchase() == purchase);
                CHECK(publisher->paid[0]->paymentTransaction() == transaction);
                adkittest::drainMainQueue();
                CHECK(scope.reportsNow(row.name).empty());  // nothing reported before the publisher finishes
                CHECK(queue->transactions().size() == 1);
                publisher->paid[0]->finishTransaction();
            } else {
                const long code = row.outcome == Outcome::cancelled ? SKErrorPaymentCancelled : SKErrorClientInvalid;
                queue->settleTransaction(transaction, SKPaymentTransactionStateFailed, NSError::make(SKErrorDomain, code, "no"));
            }
            waitFor([&] { return queue->finishedTransactions().size() == 1; }, "the transaction finished");
            CHECK(queue->transactions().empty());
        }

        const auto report = scope.reports(row.name).at(0);
        CHECK(report.value("status", "(none)") == std::to_string(row.status));
        CHECK(report.value("sku", "(none)") == kProduct);
        CHECK(report.value("quantity", "(none)") == "2");
        CHECK(purchase->purchaseStatus() == row.status);
        CHECK(PurchaseScope::flow()->activeInAppPurchases().empty());
        CHECK(ConversionReporter::reported.size() == (row.status == 1 ? 1u : 0u));
        const auto alerts = UIAlertView::visibleAlerts();
        const bool alerted = !paying;
        REQUIRE(alerts.size() == (alerted ? 1u : 0u));
        if (alerted) {
            CHECK(alerts[0]->title() == "Whoops!");
            CHECK(alerts[0]->message() == "Sorry, the product is currently unavailable.");
            CHECK(alerts[0]->numberOfButtons() == 1);
            CHECK(alerts[0]->buttonTitleAtIndex(0) == "OK");
            CHECK_FALSE(alerts[0]->delegate());
        }
        const bool invalid = row.status == 3;
        CHECK(scope.log->count(std::string("\"") + kProduct +
                               "\" is not a valid product ID or could not be validated. Verify your ad configuration.") ==
              (invalid ? 1u : 0u));
        CHECK(publisher->calls.front() == "shouldStart gold&coins#1 x2");
        CHECK(PurchaseScope::flow()->activeProductsRequestDelegates().empty());
    }
}

TEST_CASE("purchase flow: transactions meet the oldest equal purchase, and one no ad offered still reaches the publisher") {
    PurchaseScope scope;
    AKDefaultInAppPurchase::enableDefaultPurchaseFlowWithDelegate(scope.publisher);
    SKProductsRequest::setStoreProducts({{kProduct, "0,99 €"}});
    const auto first = scope.offer("first");
    const auto transactionA = PurchaseScope::waitForTransaction(0);
    CHECK(PurchaseScope::flow()->validProductIDs().contains(kProduct));
    const auto second = scope.offer("second");  // confirmed before: bought without asking the store again
    const auto transactionB = PurchaseScope::waitForTransaction(1);
    CHECK(SKProductsRequest::startedCount() == 1);
    CHECK(PurchaseScope::flow()->activeInAppPurchases() == std::vector{first, second});

    // The later transaction settles first: it takes the oldest purchase.
    const auto queue = SKPaymentQueue::defaultQueue();
    queue->settleTransaction(transactionB, SKPaymentTransactionStatePurchased);
    queue->settleTransaction(transactionA, SKPaymentTransactionStatePurchased);
    // A payment no ad asked for (restored states are left alone).
    const auto stray = queue->addPayment(SKPayment("silver", 3));
    queue->settleTransaction(stray, SKPaymentTransactionStateRestored);
    adkittest::drainMainQueue();
    queue->settleTransaction(stray, SKPaymentTransactionStatePurchased);
    waitFor([&] { return scope.publisher->paid.size() == 3; }, "three paid purchases");
    CHECK(scope.publisher->joined() == "shouldStart gold&coins#1 x2; shouldStart gold&coins#1 x2; paid gold&coins#1 x2; "
                                       "paid gold&coins#1 x2; paid silver x3");
    CHECK(scope.publisher->paid[0]->inAppPurchase() == first);
    CHECK(scope.publisher->paid[1]->inAppPurchase() == second);
    const auto unoffered = scope.publisher->paid[2]->inAppPurchase();
    REQUIRE(unoffered);
    CHECK(unoffered->description().ends_with("productID: silver quantity: 3"));
    CHECK(unoffered->reportingURLStringFormats().empty());
    for (const auto& paid : scope.publisher->paid) paid->finishTransaction();
    CHECK(scope.reports("first").size() + scope.reports("second").size() == 2);
    CHECK(queue->finishedTransactions() == std::vector{transactionB, transactionA, stray});
}

TEST_CASE("purchase: the conversion report, with the class missing, reporting or refusing") {
    PurchaseScope scope;
    const std::string warning =
        "Warning: Valid conversion tracking library was not linked. In-app purchase conversions will not be reported.";
    struct Row {
        ConversionMode mode;
        bool answer;
        const char* message;
        std::size_t warnings;
    };
    for (const Row& row : {Row{ConversionMode::absent, false, warning.c_str(), 1},
                           Row{ConversionMode::reports, true, "", 0},
                           Row{ConversionMode::refuses, false, "Unable to report in-app purchase conversion.", 0}}) {
        CAPTURE(static_cast<int>(row.mode));
        ConversionReporter::install(row.mode);
        const std::size_t before = scope.log->count(warning);
        const auto purchase = AKInAppPurchase::make("coins", 1, {});
        NSErrorPtr error;
        CHECK(purchase->reportConversionWithError(&error) == row.answer);
        CHECK(scope.log->count(warning) - before == row.warnings);
        if (row.answer) {
            CHECK_FALSE(error);
            CHECK(ConversionReporter::reported == std::vector<std::string>{"coins value=(null) repeatable=1"});
        } else {
            REQUIRE(error);
            CHECK(error->domain() == "com.adkit.ads.private");
            CHECK(error->code() == 2);
            CHECK(error->localizedDescription() == row.message);
        }
    }
}

TEST_CASE("purchase: quantities, status texts and filled report formats") {
    AKInAppPurchase purchase;
    CHECK(purchase.quantity() == 1);
    for (const auto& [given, stored] : std::vector<std::pair<std::int64_t, std::int64_t>>{
             {11, 0}, {0, 0}, {-1, 0}, {10, 10}, {1, 1}, {5, 5}}) {
        purchase.setQuantity(given);
        CHECK(purchase.quantity() == stored);
    }
    for (const auto& [status, text] : std::vector<std::pair<std::int64_t, std::string>>{
             {0, "error"}, {1, "success"}, {2, "cancel"}, {3, "invalid product"}, {4, "error"}, {-1, "error"}}) {
        CHECK(AKInAppPurchase::stringForStatus(status) == text);
    }

    const auto filled = AKInAppPurchase::make("a b&c#d@e=f", 3, {});
    for (const auto& [format, expected] : std::vector<std::pair<std::string, std::string>>{
             {"http://h/r?sku=@sku@&q=@quantity@", "http://h/r?sku=a%20b%26c%23d%40e%3Df&q=3"},
             {"http://h/r?s=@status@&again=@sku@-@sku@", "http://h/r?s=0&again=a%20b%26c%23d%40e%3Df-a%20b%26c%23d%40e%3Df"},
             {"http://h/r?x=@missing@&m=me@@example.org", "http://h/r?x=&m=me@example.org"},
             {"@@sku@@", "@sku@"},  // an escaped "@" is text, not a placeholder
             {"no placeholders", "no placeholders"},
         }) {
        CAPTURE(format);
        CHECK(filled->expandedURLStringForURLStringFormat(format) == expected);
    }
    CHECK(!filled->expandedURLStringForURLStringFormat("@sessionid@").empty());
    CHECK(filled->expandedURLStringForURLStringFormat("@timestamp@").find_first_not_of("0123456789") == std::string::npos);
    CHECK(filled->description().find("productID: a b&c#d@e=f quantity: 3") != std::string::npos);
}

TEST_CASE("purchase flow: switched on once for a delegate that takes payments, and off again") {
    PurchaseScope scope;
    const auto flow = PurchaseScope::flow();
    const auto queue = SKPaymentQueue::defaultQueue();
    AKDefaultInAppPurchase::enableDefaultPurchaseFlowWithDelegate(std::make_shared<PublisherWithoutPayment>());
    CHECK_FALSE(flow->isDefaultPurchaseFlowEnabled());
    CHECK(queue->observerCount() == 0);

    AKDefaultInAppPurchase::enableDefaultPurchaseFlowWithDelegate(scope.publisher);
    AKDefaultInAppPurchase::enableDefaultPurchaseFlowWithDelegate(std::make_shared<Publisher>());
    CHECK(flow->isDefaultPurchaseFlowEnabled());
    CHECK(flow->defaultInAppPurchaseDelegate() == scope.publisher);
    CHECK(queue->observerCount() == 1);

    AKDefaultInAppPurchase::disableDefaultPurchaseFlow();
    CHECK_FALSE(flow->isDefaultPurchaseFlowEnabled());
    CHECK_FALSE(flow->defaultInAppPurchaseDelegate());
    CHECK(queue->observerCount() == 0);
    // Off, a transaction reaches nobody.
    queue->settleTransaction(queue->addPayment(SKPayment(kProduct, 1)), SKPaymentTransactionStatePurchased);
    adkittest::drainMainQueue();
    CHECK(scope.publisher->paid.empty());
}

TEST_CASE("opener: an ad's purchase goes to the slot, then the in-app report and a full-screen ad's screen given back, past the guard") {
    struct Heard : renderingtest::RecordingSlot, AKOpenerDelegate {
        void didReceiveInAppPurchase(const std::shared_ptr<AKInAppPurchase>& purchase) override {
            std::string formats;
            for (const auto& f : purchase->reportingURLStringFormats()) formats += "[" + f + "]";
            record(format("purchase %@ x%lld %@", purchase->productID(), static_cast<long long>(purchase->quantity()), formats));
        }
        void didOpenInApplication() override { record("didOpenInApplication"); }
        void didLeaveApplication() override { record("didLeaveApplication"); }
    };
    struct FullScreenAd : AKViewController {
        std::shared_ptr<Heard> heard;
        void relinquishScreen() override { heard->record("relinquishScreen"); }
    };
    struct Row {
        bool guarded;
        bool fullScreen;
        std::int64_t quantity;
        const char* expected;
    };
    for (const Row& row : {Row{true, true, 3, ""},
                           Row{false, true, 3, "purchase coins x3 [http://r/1][http://r/2]; pingClickURLs; didOpenInApplication; relinquishScreen"},
                           Row{false, false, 3, "purchase coins x3 [http://r/1][http://r/2]; pingClickURLs; didOpenInApplication"},
                           Row{false, false, 11, "purchase coins x0 [http://r/1][http://r/2]; pingClickURLs; didOpenInApplication"}}) {
        CAPTURE(row.expected);
        const auto heard = std::make_shared<Heard>();
        const auto opener = std::make_shared<AKOpener>();
        opener->setSlot(heard);
        opener->setDelegate(heard);
        opener->setAutoClickProtected(row.guarded);
        std::shared_ptr<UIViewController> controller = std::make_shared<UIViewController>();
        if (row.fullScreen) {
            auto ad = std::make_shared<FullScreenAd>();
            ad->heard = heard;
            controller = ad;
        }
        opener->setViewController(controller);
        opener->openInAppPurchase("coins", row.quantity, {"http://r/1", "http://r/2"});
        CHECK(heard->joined() == row.expected);
    }
}

namespace {

constexpr CGPixel kPurchasePurple{0x6A, 0x1B, 0x9A, 255};
constexpr CGPoint kBuyPoint{160, 543};  // the banner's centre at the bottom of the phone screen

struct BannerLoads : AKBannerViewDelegate {
    int received = 0;
    void adViewDidReceiveAd(AKBannerView&) override { ++received; }
};

// The purchase creative asking for two of kProduct, reporting to the server's report path.
json purchaseUnits() {
    const std::string settings = json{{"product_id", kProduct}, {"quantity", "2"},
                                      {"report_urls", std::string("{origin}") + kReportPath +
                                                          "?case=road&sku=@sku@&status=@status@&quantity=@quantity@"}}
                                     .dump();
    const std::string body =
        "<!DOCTYPE html><html><head><meta charset=\"utf-8\">"
        "<meta name=\"viewport\" content=\"width=320,height=50,initial-scale=1\">"
        "<script>window.ADNET_PURCHASE = " + settings + ";</script>"
        "<script src=\"{origin}/adnet/static/sdk/native/adnet-page.js\"></script>"
        "<script src=\"{origin}/adnet/static/creatives/purchase.js\"></script></head><body></body></html>";
    return {{"purchase", slotroad::htmlUnit(body, "", {{"X-Adnet-Click-Tracking-Urls", "{origin}/adnet/ping/click?unit=purchase"}})}};
}

// The purchase banner at the bottom of a white root view on the served phone screen, real openers.
struct PurchaseScreen : slotroad::EngineSlots {
    devicescreentest::SavedDevice saved;
    UIApplicationState stateBefore = UIApplication::sharedApplication()->applicationState();
    interstitialtest::Screen screen;
    std::unique_ptr<DeviceScreenServer> device;
    std::shared_ptr<BannerLoads> loads = std::make_shared<BannerLoads>();
    std::shared_ptr<AKBannerView> banner;

    PurchaseScreen() : EngineSlots(purchaseUnits()) {
        AKOpener::setFactory(nullptr);
        UIApplication::sharedApplication()->setApplicationState(UIApplicationStateActive);
        screen.root->view()->setBackgroundColor(devicescreentest::rgb(1, 1, 1));
        DeviceScreenServerOptions options;
        options.port = 0;
        std::string error;
        device = DeviceScreenServer::start(options, error);
        REQUIRE_MESSAGE(device, error);
        banner = AKBannerView::makeWithAdSizeOrigin(kAKAdSizeBanner, CGPointMake(0, 518));
        REQUIRE(banner);
        banner->setAdUnitID("purchase");
        banner->setDelegate(loads);
        banner->setRootViewController(screen.root);
        screen.root->view()->addSubview(banner);
        banner->loadRequest(AKRequest::request());
        waitFor([&] { return loads->received == 1; }, "the purchase banner's ad", slotroad::kLoadBound);
        waitFor([&] {
            const auto pixel = webtest::layerPixel(*banner->webView()->webView(), 160, 25);
            return pixel && devicescreentest::near(*pixel, kPurchasePurple);
        }, "a painted frame of the purchase banner");
    }
    ~PurchaseScreen() {
        banner.reset();
        device.reset();
        UIApplication::sharedApplication()->setApplicationState(stateBefore);
    }
    void tap(CGPoint point) {
        std::optional<DeviceInputResult> result;
        device->input().tap(point, [&](const DeviceInputResult& r) { result = r; });
        waitFor([&] { return result.has_value(); }, "the tap to be carried out");
        CHECK(result->delivered);
    }
    std::vector<json> reports() const {
        std::vector<json> found;
        for (const auto& entry : logged(kReportPath)) found.push_back(entry["query"]);
        return found;
    }
};

}  // namespace

TEST_SUITE_BEGIN("engine");

TEST_CASE("purchase road: a tap on a purchase ad on the phone screen, first an unknown product, then a paid one") {
    PurchaseScope::reset();
    PurchaseScreen road;
    const auto publisher = std::make_shared<Publisher>();
    AKDefaultInAppPurchase::enableDefaultPurchaseFlowWithDelegate(publisher);
    const auto shot = devicescreentest::servedFrame(*road.device, "purchase-road-banner").first;
    CHECK(devicescreentest::near(devicescreentest::probe(shot, 160, 543), kPurchasePurple));

    // The store does not know the product: status 3 and the alert on the device screen.
    road.tap(kBuyPoint);
    waitFor([&] { return road.reports().size() == 1; }, "the invalid product's report");
    CHECK(road.reports()[0].value("status", "") == "3");
    CHECK(road.reports()[0].value("sku", "") == kProduct);
    const json views = devicescreentest::fetch(road.device->port(), "GET", "/api/tree").json()["views"];
    const auto alert = std::ranges::find_if(views, [](const json& node) { return node.value("class", "") == "UIAlertView"; });
    REQUIRE(alert != views.end());
    CHECK(alert->value("label", "") == "Whoops!");
    CHECK(alert->value("detail", "") == "Sorry, the product is currently unavailable.");
    CHECK(devicescreentest::post(road.device->port(), "/api/tap", {{"label", "OK"}}).status == 200);
    CHECK(UIAlertView::visibleAlerts().empty());

    // Now it does: the payment, the publisher, and status 1 once the publisher finishes.
    SKProductsRequest::setStoreProducts({{kProduct, "0,99 €"}});
    road.tap(kBuyPoint);
    const auto transaction = PurchaseScope::waitForTransaction(0);
    CHECK(transaction->payment()->quantity() == 2);
    SKPaymentQueue::defaultQueue()->settleTransaction(transaction, SKPaymentTransactionStatePurchased);
    waitFor([&] { return publisher->paid.size() == 1; }, "the publisher's paid purchase");
    CHECK(publisher->joined() == "shouldStart gold&coins#1 x2; shouldStart gold&coins#1 x2; paid gold&coins#1 x2");
    CHECK(road.reports().size() == 1);
    publisher->paid[0]->finishTransaction();
    waitFor([&] { return road.reports().size() == 2; }, "the paid purchase's report");
    CHECK(road.reports()[1].value("status", "") == "1");
    CHECK(road.reports()[1].value("sku", "") == kProduct);
    CHECK(road.reports()[1].value("quantity", "") == "2");
    // The two taps' click pings are sent without waiting for them: wait for them at the server.
    waitFor([&] { return road.loggedQuery("/adnet/ping/click", "unit").size() >= 2; }, "the two click pings");
    CHECK(road.loggedQuery("/adnet/ping/click", "unit") == std::vector<std::string>{"purchase", "purchase"});
    PurchaseScope::reset();
}

TEST_SUITE_END();
