// Protects the opener's web apps, rich-media expansion and in-app browser:
// each opens a full-screen controller from the opener's view controller with
// the orientations, custom close and slot asked for (a new page for a URL or
// HTML, the ad's own web view for an expansion, the landing page in the
// browser) and reports the opening once; the auto-click guard, a missing
// argument or view controller, or one that already presents another, open
// nothing and report nothing; an ad already full screen never expands, though
// it may open a web app over itself.
#include <algorithm>
#include <memory>
#include <string>

#include "AdkitTestSupport.h"
#include "RenderingScope.h"
#include "RenderingTestDoubles.h"
#include "adkit/rendering/AKBrowserViewController.h"
#include "adkit/rendering/AKWebAppViewController.h"
#include "platform/uikit/UIWindow.h"
#include "support/TestEnvironment.h"

using namespace adkittest;
using renderingtest::CallLog;
using renderingtest::RecordingSlot;

namespace {
struct RecordingOpenerDelegate : AKOpenerDelegate, CallLog {
    void didOpenInApplication() override { record("didOpenInApplication"); }
    void didLeaveApplication() override { record("didLeaveApplication"); }
};
}  // namespace

TEST_CASE("opener web apps and browser: what opens from where, with what, and what the guard and the checks refuse") {
    testsupport::TempHome home;
    RenderingScope scope;
    auto window = std::make_shared<UIWindow>(CGRectMake(0, 0, 320, 568));
    auto root = std::make_shared<UIViewController>();
    window->setRootViewController(root);
    window->makeKeyAndVisible();
    const auto slot = std::make_shared<RecordingSlot>();
    slot->richMedia = true;
    const auto ad = AKWebView::make(CGRectMake(0, 518, 320, 50));
    root->view()->addSubview(ad);
    slot->adWebView = ad;
    // An ad already full screen, for the last rows, which start from one.
    const auto fullScreen = AKWebAppViewController::make();

    enum class Op { url, html, expand, browser };
    enum class From { application, none, adOnScreen };
    struct Row {
        const char* name;
        Op op;
        From from = From::application;
        bool guardBlocks = false;  // protected and never touched
        std::string argument = "x";
        bool opens = true;
    };
    const Row rows[] = {
        {"a web app by URL", Op::url},
        {"a web app by HTML", Op::html},
        {"an expansion", Op::expand},
        {"a browser", Op::browser},
        {"a web app the guard blocks", Op::url, From::application, true, "x", false},
        {"an expansion the guard blocks", Op::expand, From::application, true, "x", false},
        {"a web app without a URL", Op::url, From::application, false, "", false},
        {"a web app without HTML", Op::html, From::application, false, "", false},
        {"a browser without a URL", Op::browser, From::application, false, "", false},
        {"a web app with no view controller", Op::url, From::none, false, "x", false},
        {"an expansion with no view controller", Op::expand, From::none, false, "x", false},
        {"an expansion of an ad already full screen", Op::expand, From::adOnScreen, false, "x", false},
        {"a web app over an ad already full screen", Op::url, From::adOnScreen},
        // The ad on screen stays: the application's controller presents it already.
        {"a web app from a controller that presents another", Op::url, From::application, false, "x", false},
        {"an expansion from a controller that presents another", Op::expand, From::application, false, "x", false},
        {"a browser from a controller that presents another", Op::browser, From::application, false, "x", false},
    };
    for (const Row& row : rows) {
        const std::string name = row.name;
        CAPTURE(name);
        if (row.from == From::adOnScreen && !fullScreen->isPresented()) {
            fullScreen->presentFromViewController(root);
            waitFor([&] { return fullScreen->isViewVisible(); }, "the full-screen ad on screen");
        }
        slot->calls.clear();
        const auto delegate = std::make_shared<RecordingOpenerDelegate>();
        const auto opener = std::make_shared<AKOpener>();
        opener->setSlot(slot);
        opener->setWebView(ad);
        opener->setDelegate(delegate);
        opener->setAutoClickProtected(row.guardBlocks);
        const std::shared_ptr<UIViewController> presenter =
            row.from == From::application ? root : row.from == From::adOnScreen ? fullScreen : nullptr;
        opener->setViewController(presenter);
        const std::string URL = row.argument.empty() ? "" : "http://webapp.test/" + row.argument;
        switch (row.op) {
        case Op::url: opener->openWebApp(URL, AKSupportedOrientationsLandscape, true); break;
        case Op::html: opener->openWebAppWithHTML(row.argument.empty() ? "" : "<p>app</p>", AKSupportedOrientationsPortrait, false); break;
        case Op::expand: opener->expandToWebAppWithSupportedOrientations(AKSupportedOrientationsAny, true); break;
        case Op::browser: opener->openBrowserToURL(URL, AKSupportedOrientationsLandscape); break;
        }
        const auto presented = presenter ? presenter->presentedViewController() : nullptr;
        auto shown = std::dynamic_pointer_cast<AKWebAppViewController>(presented);
        if (shown == fullScreen) shown = nullptr;
        const auto browser = std::dynamic_pointer_cast<AKBrowserViewController>(presented);
        if (!row.opens) {
            CHECK_FALSE(shown);
            CHECK_FALSE(browser);
            CHECK(delegate->calls.empty());
            CHECK(slot->calls.empty());
            CHECK(ad->superview() == root->view());
            continue;
        }
        CHECK(delegate->joined() == "didOpenInApplication");
        CHECK(std::ranges::count(slot->calls, "pingClickURLs") == 1);
        if (row.op == Op::browser) {
            REQUIRE(browser);
            CHECK(browser->slot() == slot);
            CHECK(browser->supportedOrientations() == 3);
            waitFor([&] { return browser->isViewVisible(); }, "the browser on screen");
            const auto request = browser->webView()->request();
            CHECK((request && request->URL() == URL));
            browser->relinquishScreen();
            waitFor([&] { return !presenter->presentedViewController(); }, "the browser to go");
            continue;
        }
        REQUIRE(shown);
        CHECK(shown->slot() == slot);
        CHECK(shown->supportedOrientations() == (row.op == Op::url ? 3 : row.op == Op::html ? 2 : 1));
        CHECK(shown->useCustomClose() == (row.op != Op::html));
        CHECK(shown->isExpandable() == (row.op == Op::expand));
        if (row.op == Op::expand) {
            CHECK(shown->webView() == ad);
        } else {
            CHECK(shown->webView() != ad);
            const auto request = shown->webView()->request();
            CHECK((row.op == Op::url ? request && request->URL() == URL : true));
        }
        waitFor([&] { return shown->isViewVisible(); }, "the web app on screen");
        shown->relinquishScreen();
        waitFor([&] { return !presenter->presentedViewController(); }, "the web app to go");
        CHECK(ad->superview() == root->view());
    }
    fullScreen->relinquishScreen();
    waitFor([&] { return !root->presentedViewController(); }, "the full-screen ad to go");
    UIApplication::sharedApplication()->setStatusBarHidden(false);
    UIApplication::sharedApplication()->setIdleTimerDisabled(false);
    UIApplication::sharedApplication()->setKeyWindow(nullptr);
}
