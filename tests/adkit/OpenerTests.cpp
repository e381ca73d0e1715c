// Protects the opener's click road: a page's "open" message through the ad's
// web-view delegate and the auto-click guard ("navigationBlocked" to the core
// page, nothing opened, until a real tap), the platform application opening
// the URL, and the reports to the opener's delegate and the slot, once and
// before the URL opens.
#include "RenderingScope.h"

#include "adkit/rendering/AKBannerWebViewDelegate.h"
#include "adkit/rendering/AKCorePage.h"
#include "platform/uikit/UIApplication.h"
#include "platform/uikit/UIWindow.h"

using namespace adkittest;
using renderingtest::CallLog;
using renderingtest::RecordedAdWebView;
using renderingtest::RecordingSlot;

namespace {
// Records each report with the number of URLs the application had opened by then.
class RecordingOpenerDelegate : public AKOpenerDelegate, public CallLog {
public:
    void didOpenInApplication() override { record(format("didOpenInApplication opened=%zu", opened())); }
    void didLeaveApplication() override { record(format("didLeaveApplication opened=%zu", opened())); }
    static std::size_t opened() { return UIApplication::sharedApplication()->openedURLs().size(); }
};

// A recorded page stands in for the active core page while it lives.
struct StandInCorePage {
    const RecordedAdWebView page;
    const AKCorePage::Source replaced;
    StandInCorePage() : replaced(AKCorePage::setActiveWebViewSource([view = page.view] { return view; })) {}
    ~StandInCorePage() { AKCorePage::setActiveWebViewSource(replaced); }
};
}  // namespace

TEST_CASE("opener: the auto-click guard blocks an untouched ad's open toward the core page, a tapped or unguarded one leaves the application once") {
    testsupport::TempHome home;
    const auto application = UIApplication::sharedApplication();
    application->resetOpenedURLs();
    const StandInCorePage corePage;
    auto window = std::make_shared<UIWindow>(CGRectMake(0, 0, 320, 480));
    window->makeKeyAndVisible();

    struct Row {
        const char* name;
        bool guarded;
        bool tapped;
        const char* page;     // the landing page the ad asks to open, on http://landing.test/
        const char* blocked;  // the core page's event, or empty when the URL opens
    };
    const Row rows[] = {
        {"guard on, no tap", true, false, "a",
         R"(ADNET_ReceiveMessage('navigationBlocked', {"debugDialog":"why","navigationURL":"amsg://x/open?u=http%3A%2F%2Flanding.test%2Fa"});)"},
        {"guard on, after a tap", true, true, "b", ""},
        {"guard off, no tap", false, false, "c", ""},
    };
    std::vector<std::string> opened;
    for (const Row& row : rows) {
        CAPTURE(row.name);
        const RecordedAdWebView ad(CGRectMake(0, 430, 320, 50));
        window->addSubview(ad.view);
        ad.view->setAdDebugDialog("why");
        auto slot = std::make_shared<RecordingSlot>();
        slot->adWebView = ad.view;
        auto webViewDelegate = std::make_shared<AKBannerWebViewDelegate>(slot);
        ad.view->setDelegate(webViewDelegate);
        const auto& opener = webViewDelegate->opener();
        auto openerDelegate = std::make_shared<RecordingOpenerDelegate>();
        opener->setDelegate(openerDelegate);
        opener->setAutoClickProtected(row.guarded);
        if (row.tapped) window->touchEnded(window->touchBegan(CGPointMake(160, 455)), CGPointMake(160, 455));
        CHECK(ad.view->touched() == row.tapped);
        const std::size_t coreEventsBefore = corePage.page.events().size();

        const std::string message = std::string("amsg://x/open?u=http%3A%2F%2Flanding.test%2F") + row.page;
        CHECK_FALSE(UIWebViewRecorder::of(*ad.view->webView()).navigate(message, UIWebViewNavigationTypeOther));
        const std::string clickURL = slot->clickURLPrefix + "http://landing.test/" + row.page;
        if (*row.blocked) {
            waitFor([&] { return corePage.page.events().size() > coreEventsBefore; }, "the core page's event");
            CHECK(corePage.page.events().back() == row.blocked);
            drainMainQueue();
            CHECK(slot->joined() == "adWasClicked");
            CHECK(openerDelegate->joined().empty());
            CHECK_FALSE(opener->didOpenAnotherApplication());
        } else {
            opened.push_back(clickURL);
            waitFor([&] { return application->openedURLs().size() == opened.size(); }, "the application to open the URL");
            CHECK(slot->joined() == "adWasClicked; pingClickURLs; adWillLeaveApplication; willLeaveAppDueToClick");
            CHECK(openerDelegate->joined() == format("didLeaveApplication opened=%zu", opened.size() - 1));
            CHECK(opener->didOpenAnotherApplication());
            CHECK(corePage.page.events().size() == coreEventsBefore);
        }
        // In call order: a blocked open queued nothing that a later row's open could overtake.
        CHECK(application->openedURLs() == opened);
        ad.view->removeFromSuperview();
    }
}
